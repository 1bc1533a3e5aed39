#!/usr/bin/env bash
# Whole commands against each photo format's own tools on a 6000 x 4000 photograph: encoding
# (ravelle-cli convert from a 24-bit BMP against the tool from the same pixels as PPM or PNG, with
# the same settings) and decoding (ravelle-cli convert --to bmp against the tool writing its
# fastest output: PPM where it can, else PNG, which costs it the compression). The commands take
# turns; medians of the rounds in ms, wall and processor (user + system), and our ratios.
#
#   tests/bench/photo_formats.sh [build-dir] [rounds] [formats]   (default: build, 3, "webp webp-lossless avif heif jxl jxl-lossless")
set -euo pipefail
build=${1:-build}
rounds=${2:-3}
formats=${3:-webp webp-lossless avif heif jxl jxl-lossless}
cli=$build/ravelle-cli
dir=${RAVELLE_BENCH_DIR:-/dev/shm/ravelle-bench}
mkdir -p "$dir"
bmp=$dir/jpeg-photo.bmp
if [[ ! -f $bmp ]]; then
  photo=${RAVELLE_CORPUS:-../shared/corpus}/bmp/commons-imaging/1_Oregon_Scientific_DS6639_-_DSC_0307_-_small.bmp
  /usr/bin/convert "$photo" -resize '6000x4000!' -attenuate 0.5 +noise Gaussian -type TrueColor "BMP3:$bmp"
fi
[[ -f $dir/jpeg-photo.ppm ]] || bmptopnm "$bmp" > "$dir/jpeg-photo.ppm" 2>/dev/null
[[ -f $dir/jpeg-photo.png ]] || pnmtopng -compression 1 "$dir/jpeg-photo.ppm" > "$dir/jpeg-photo.png" 2>/dev/null

# name: our --to name, extension, the tool's encode command (from $ppm / $png to $out), its decode
# command (from $in to $dir/d.*).
ppm=$dir/jpeg-photo.ppm png=$dir/jpeg-photo.png
declare -A to ext enc dec
to[webp]=webp ext[webp]=webp
enc[webp]="cwebp -quiet -q 90 -mt $ppm -o OUT" dec[webp]="dwebp -quiet -mt IN -ppm -o $dir/d.ppm"
to[webp-lossless]=webp-lossless ext[webp-lossless]=webp
enc[webp-lossless]="cwebp -quiet -lossless -z 2 -mt $ppm -o OUT" dec[webp-lossless]=${dec[webp]}
to[avif]=avif ext[avif]=avif
enc[avif]="avifenc -j 2 -s 8 --min 13 --max 13 $png OUT" dec[avif]="avifdec -j 2 IN $dir/d.png"
to[heif]="" ext[heif]=heic
enc[heif]="heif-enc -q 80 $png -o OUT" dec[heif]="heif-convert IN $dir/d.png"
to[jxl]=jxl ext[jxl]=jxl
enc[jxl]="cjxl --quiet -d 1 --num_threads 2 $png OUT" dec[jxl]="djxl --num_threads 2 IN $dir/d.ppm"
to[jxl-lossless]=jxl-lossless ext[jxl-lossless]=jxl
enc[jxl-lossless]="cjxl --quiet -d 0 -e 3 --num_threads 2 $png OUT" dec[jxl-lossless]=${dec[jxl]}

median() { tr ' ' '\n' | grep . | sort -n | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'; }
run() {  # command... : appends "wall cpu" in ms to the named arrays
  /usr/bin/time -o "$dir/time.txt" -f "%e %U %S" "$@" >/dev/null 2>&1 || echo "failed: $*" >&2
  read -r e u s < "$dir/time.txt"
  awk -v e="$e" -v u="$u" -v s="$s" 'BEGIN {printf "%d %d\n", e * 1000, (u + s) * 1000}'
}
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) processors"
printf '%-24s %9s %9s %9s %9s %7s\n' "row" "ours wall" "ours cpu" "tool wall" "tool cpu" "ratio"
for f in $formats; do
  file=$dir/photo.${f}.${ext[$f]}
  # The file both decoders read: the tool's own for HEIF (we write none), ours for the others.
  if [[ -z ${to[$f]} ]]; then ${enc[$f]//OUT/$file} >/dev/null 2>&1; else "$cli" convert "$bmp" "$file" --to "${to[$f]}" >/dev/null; fi
  for kind in encode decode; do
    [[ $kind == encode && -z ${to[$f]} ]] && continue
    if [[ $kind == encode ]]; then
      ours=("$cli" convert "$bmp" "$dir/o.${ext[$f]}" --to "${to[$f]}"); read -ra tool <<< "${enc[$f]//OUT/$dir/t.${ext[$f]}}"
    else
      ours=("$cli" convert "$file" "$dir/o.bmp" --to bmp); read -ra tool <<< "${dec[$f]//IN/$file}"
    fi
    ow="" oc="" tw="" tc=""
    for ((r = 0; r < rounds; ++r)); do
      read -r w c < <(run "${ours[@]}"); ow+="$w "; oc+="$c "
      read -r w c < <(run "${tool[@]}"); tw+="$w "; tc+="$c "
    done
    ow=$(echo "$ow" | median) oc=$(echo "$oc" | median) tw=$(echo "$tw" | median) tc=$(echo "$tc" | median)
    printf '%-24s %9d %9d %9d %9d %7.2f\n' "$kind $f" "$ow" "$oc" "$tw" "$tc" "$(awk -v a="$ow" -v b="$tw" 'BEGIN {print a / b}')"
  done
done
