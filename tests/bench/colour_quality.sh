#!/usr/bin/env bash
# Reports (does not judge) the quality of the best-colour reductions: PSNR in dB against the
# original for five photographs of the shared corpus reduced to 256, 32 and 16 colours by
# ravelle-cli, beside ImageMagick's -dither FloydSteinberg -colors N on the same files.
# Not run by CI.
#
#   tests/bench/colour_quality.sh [BUILD_DIR]      (default: build)
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
cli=$build/ravelle-cli
corpus=${RAVELLE_CORPUS:-$root/../shared/corpus}
im=/usr/bin/convert
compare=/usr/bin/compare

photos=(
  bmp/commons-imaging/1_Oregon_Scientific_DS6639_-_DSC_0307_-_small.bmp
  bmp/libjpeg-turbo/shira_bird8.bmp
  bmp/dotnet/almogaver24bits.bmp
  bmp/pillow/hopper.bmp
  bmp/libgdiplus/test.bmp
)

[ -x "$cli" ] || { echo "no $cli" >&2; exit 1; }
if [ ! -x "$im" ] || [ ! -x "$compare" ]; then echo "no ImageMagick" >&2; exit 1; fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

psnr() { "$compare" -metric PSNR "$1" "$2" null: 2>&1 || true; }
colours() { "$im" "$1" -format %k info:; }

printf '%-52s %6s %16s %16s\n' "photograph" "colours" "ours dB (n)" "ImageMagick dB (n)"
for photo in "${photos[@]}"; do
  source=$corpus/$photo
  [ -f "$source" ] || { echo "missing $source" >&2; continue; }
  for n in 256 32 16; do
    "$cli" convert "$source" "$work/ours.bmp" --to bmp --apply "best$n" >/dev/null
    "$im" "$source" -dither FloydSteinberg -colors "$n" "BMP3:$work/im.bmp"
    printf '%-52s %6s %11s (%3s) %11s (%3s)\n' "$(basename "$photo")" "$n" \
      "$(psnr "$source" "$work/ours.bmp")" "$(colours "$work/ours.bmp")" \
      "$(psnr "$source" "$work/im.bmp")" "$(colours "$work/im.bmp")"
  done
done
