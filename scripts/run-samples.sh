#!/usr/bin/env bash
# Installs what is missing, builds, draws the bundled samples into build/samples, and shows the
# main job on them: the file information of each, and conversions between the bitmap forms.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
samples=build/samples
build/ravelle-make-samples "$samples"
cli=build/ravelle-cli
for f in "$samples"/*.bmp; do
  echo "== ravelle-cli info $f"
  "$cli" info "$f"
done
mkdir -p "$samples/converted"
echo "== conversions"
"$cli" convert "$samples/rings-rle8.bmp" "$samples/converted/rings.bmp" --to bmp
"$cli" convert "$samples/sunset.bmp" "$samples/converted/sunset.bmp" --to bmp
"$cli" convert "$samples/dusk-565.bmp" "$samples/converted/dusk-555.bmp" --to bmp-bitfields
"$cli" convert "$samples/quilt-rle4.bmp" "$samples/converted/quilt.bmp" --to bmp
"$cli" convert "$samples/converted/quilt.bmp" "$samples/converted/quilt-rle4.bmp" --to bmp-rle
