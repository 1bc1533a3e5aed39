#!/usr/bin/env bash
# Times the colour reductions, grayscale, the quarter turn and the mirrors on a 6000 x 4000
# 24-bit picture, beside ImageMagick's equivalent operations in the same run. Not run by CI.
#
#   tests/bench/colour_vs_imagemagick.sh [BUILD_DIR]      (default: build)
#
# The picture is a photograph of the shared corpus enlarged to 6000 x 4000 with a little noise
# (so that it has many colours), made in a temporary folder and removed afterwards.
#
# Our times come from bench_colour (the operation on an image in memory, one thread).
# ImageMagick's come from -bench 3 on a memory-mapped MPC copy of the picture written to null:,
# with 1 and with every available thread, minus the same command without the operation.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
bench=$build/tests/bench/bench_colour
corpus=${RAVELLE_CORPUS:-$root/../shared/corpus}
im=/usr/bin/convert
photo=$corpus/bmp/commons-imaging/1_Oregon_Scientific_DS6639_-_DSC_0307_-_small.bmp

[ -x "$bench" ] || { echo "no $bench: build with Google Benchmark installed" >&2; exit 1; }
[ -x "$im" ] || { echo "no ImageMagick at $im" >&2; exit 1; }
[ -f "$photo" ] || { echo "no corpus photograph at $photo" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$im" "$photo" -resize '6000x4000!' -attenuate 0.5 +noise Gaussian -type TrueColor "BMP3:$work/picture.bmp"
"$im" "$work/picture.bmp" "$work/picture.mpc"
"$bench" --write-palettes "$work"

# name|our benchmark|ImageMagick operation
operations=(
  "256 best colours|Reduce/best256|-dither FloydSteinberg -colors 256"
  "32 best colours|Reduce/best32|-dither FloydSteinberg -colors 32"
  "16 best colours|Reduce/best16|-dither FloydSteinberg -colors 16"
  "256 standard colours|Reduce/std256|-dither FloydSteinberg -remap $work/std256.ppm"
  "216 web colours|Reduce/web216|-dither FloydSteinberg -remap $work/web216.ppm"
  "16 standard colours|Reduce/std16|-dither FloydSteinberg -remap $work/std16.ppm"
  "monochrome|Reduce/mono|-dither FloydSteinberg -remap $work/mono.ppm"
  "grayscale|Grayscale/gray|-colorspace Gray"
  "rotate 90|Transform/rotate90|-rotate 90"
  "flip left-right|Transform/fliplr|-flop"
  "flip top-bottom|Transform/fliptb|-flip"
)

RAVELLE_BENCH_IMAGE=$work/picture.bmp "$bench" --benchmark_format=csv 2>/dev/null >"$work/ours.csv"

# Milliseconds per run of one ImageMagick command, with 1 and with N threads (-bench runs the
# command with each thread count in turn).
threads=$(nproc)
im_ms() {
  "$im" "$work/picture.mpc" -bench 3 "$@" null: 2>&1 |
    awk -v n="$threads" '$1 == "Performance[1]:" { sub("ips", "", $3); one = 1000 / $3 }
                         $1 == "Performance[" n "]:" { sub("ips", "", $3); many = 1000 / $3 }
                         END { printf "%.1f %.1f\n", one, many }'
}

read -r base1 baseN < <(im_ms)

printf '%-22s %10s %12s %14s %14s\n' "operation" "ours ms" "ours cpu ms" "IM 1 thread" "IM $threads threads"
for entry in "${operations[@]}"; do
  IFS='|' read -r name ours op <<<"$entry"
  read -r real cpu < <(awk -F, -v n="\"$ours/iterations" 'index($1, n) == 1 { printf "%.1f %.1f\n", $3, $4 }' "$work/ours.csv")
  # shellcheck disable=SC2086
  read -r one many < <(im_ms $op)
  printf '%-22s %10s %12s %14.1f %14.1f\n' "$name" "$real" "$cpu" "$(echo "$one - $base1" | bc)" "$(echo "$many - $baseN" | bc)"
done
