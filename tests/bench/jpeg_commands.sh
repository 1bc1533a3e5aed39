#!/usr/bin/env bash
# Whole commands against libjpeg's own tools on a 6000 x 4000 photograph: encoding it to JPEG
# (ravelle-cli convert --to jpeg from a 24-bit BMP against cjpeg -quality 85 from the same
# pixels as PPM, its fastest input) and decoding that JPEG (ravelle-cli convert --to bmp against
# djpeg writing PPM, its fastest output). The commands take turns; medians of the rounds in ms,
# wall and processor (user + system), and our ratios.
#
#   tests/bench/jpeg_commands.sh [build-dir] [rounds]      (default: build, 7)
set -euo pipefail
build=${1:-build}
rounds=${2:-7}
cli=$build/ravelle-cli
dir=${RAVELLE_BENCH_DIR:-/dev/shm/ravelle-bench}
mkdir -p "$dir"
bmp=$dir/jpeg-photo.bmp
if [[ ! -f $bmp ]]; then
  photo=${RAVELLE_CORPUS:-../shared/corpus}/bmp/commons-imaging/1_Oregon_Scientific_DS6639_-_DSC_0307_-_small.bmp
  /usr/bin/convert "$photo" -resize '6000x4000!' -attenuate 0.5 +noise Gaussian -type TrueColor "BMP3:$bmp"
fi
"$cli" convert "$bmp" "$dir/jpeg-photo.jpg" --to jpeg >/dev/null
[[ -f $dir/jpeg-photo.ppm ]] || bmptopnm "$bmp" > "$dir/jpeg-photo.ppm" 2>/dev/null

names=("encode ours" "encode cjpeg" "decode ours" "decode djpeg")
commands=("$cli convert $bmp $dir/o.jpg --to jpeg" "cjpeg -quality 85 -outfile $dir/c.jpg $dir/jpeg-photo.ppm"
          "$cli convert $dir/jpeg-photo.jpg $dir/o.bmp --to bmp" "djpeg -outfile $dir/d.ppm $dir/jpeg-photo.jpg")
declare -a walls cpus
for ((r = 0; r < rounds; ++r)); do
  for i in "${!commands[@]}"; do
    /usr/bin/time -o "$dir/time.txt" -f "%e %U %S" ${commands[$i]} >/dev/null 2>&1
    read -r e u s < "$dir/time.txt"
    walls[$i]+="$(awk -v e="$e" 'BEGIN {printf "%d", e * 1000}') "
    cpus[$i]+="$(awk -v u="$u" -v s="$s" 'BEGIN {printf "%d", (u + s) * 1000}') "
  done
done
median() { tr ' ' '\n' | grep . | sort -n | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'; }
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) processors"
printf '%-14s %9s %9s\n' "command" "wall ms" "cpu ms"
declare -a w c
for i in "${!commands[@]}"; do
  w[$i]=$(echo "${walls[$i]}" | median); c[$i]=$(echo "${cpus[$i]}" | median)
  printf '%-14s %9d %9d\n' "${names[$i]}" "${w[$i]}" "${c[$i]}"
done
awk -v a="${w[0]}" -v b="${w[1]}" -v c="${c[0]}" -v d="${c[1]}" 'BEGIN {printf "encode ours / cjpeg: %.2f wall, %.2f cpu\n", a / b, c / d}'
awk -v a="${w[2]}" -v b="${w[3]}" -v c="${c[2]}" -v d="${c[3]}" 'BEGIN {printf "decode ours / djpeg: %.2f wall, %.2f cpu\n", a / b, c / d}'
