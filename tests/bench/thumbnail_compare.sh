#!/usr/bin/env bash
# ravelle-cli thumbnail -s 256 against vipsthumbnail -s 256 (package libvips-tools) on the
# 6000 x 4000 photograph as JPEG, and on it as a 24-bit BMP, each writing a PNG. The commands take
# turns; medians of the rounds in ms, wall and processor (user + system), and our ratios.
#
#   tests/bench/thumbnail_compare.sh [build-dir] [rounds]      (default: build, 7)
set -euo pipefail
build=${1:-build}
rounds=${2:-7}
cli=$build/ravelle-cli
dir=${RAVELLE_BENCH_DIR:-/dev/shm/ravelle-bench}
command -v vipsthumbnail >/dev/null || { echo "needs vipsthumbnail (apt-get install libvips-tools)" >&2; exit 2; }
mkdir -p "$dir"
bmp=$dir/jpeg-photo.bmp
if [[ ! -f $bmp ]]; then
  photo=${RAVELLE_CORPUS:-../shared/corpus}/bmp/commons-imaging/1_Oregon_Scientific_DS6639_-_DSC_0307_-_small.bmp
  /usr/bin/convert "$photo" -resize '6000x4000!' -attenuate 0.5 +noise Gaussian -type TrueColor "BMP3:$bmp"
fi
[[ -f $dir/jpeg-photo.jpg ]] || "$cli" convert "$bmp" "$dir/jpeg-photo.jpg" --to jpeg >/dev/null

median() { tr ' ' '\n' | grep . | sort -n | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'; }
run() {
  /usr/bin/time -o "$dir/time.txt" -f "%e %U %S" "$@" >/dev/null 2>&1 || echo "failed: $*" >&2
  read -r e u s < "$dir/time.txt"
  awk -v e="$e" -v u="$u" -v s="$s" 'BEGIN {printf "%d %d\n", e * 1000, (u + s) * 1000}'
}
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) processors"
printf '%-10s %9s %9s %9s %9s %7s\n' "input" "ours wall" "ours cpu" "vips wall" "vips cpu" "ratio"
for input in jpg bmp; do
  in=$dir/jpeg-photo.$input
  ow="" oc="" vw="" vc=""
  for ((r = 0; r < rounds; ++r)); do
    read -r w c < <(run "$cli" thumbnail -s 256 "$in" "$dir/ours-thumb.png"); ow+="$w "; oc+="$c "
    read -r w c < <(run vipsthumbnail -s 256 "$in" -o "$dir/vips-thumb.png"); vw+="$w "; vc+="$c "
  done
  ow=$(echo "$ow" | median) oc=$(echo "$oc" | median) vw=$(echo "$vw" | median) vc=$(echo "$vc" | median)
  printf '%-10s %9d %9d %9d %9d %7.2f\n' "$input" "$ow" "$oc" "$vw" "$vc" "$(awk -v a="$ow" -v b="$vw" 'BEGIN {print a / b}')"
done
