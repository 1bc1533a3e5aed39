#!/usr/bin/env bash
# Installs what is missing, builds and draws the bundled samples into build/samples. With a
# display, opens the viewer on them; without one, shows the main job with ravelle-cli: the file
# information of each sample, conversions between the bitmap forms, and a rendering of what the
# viewer would show.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
samples=build/samples
build/ravelle-make-samples "$samples"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ "${RAVELLE_NO_VIEWER:-0}" != 1 ]; then
  echo "== ravelle $samples/sunset.bmp (Exit closes it)"
  exec build/ravelle "$samples/sunset.bmp"
fi

cli=build/ravelle-cli
for f in "$samples"/*.bmp "$samples"/*.jpg "$samples"/*.png "$samples"/*.tif; do
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
"$cli" convert "$samples/sunset.bmp" "$samples/converted/sunset.jpg" --to jpeg
"$cli" convert "$samples/sunset-progressive.jpg" "$samples/converted/sunset.png" --to png
"$cli" convert "$samples/rings-adam7.png" "$samples/converted/rings-deflate.tif" --to tiff-deflate
echo "== tools: 16 best colours, then a quarter turn"
"$cli" convert "$samples/sunset.bmp" "$samples/converted/sunset-16-turned.png" --to png --apply best16 --apply rotate90
echo "== what the viewer shows in a 640x480 window, centred and tiled"
"$cli" render "$samples/sunset.bmp" "$samples/converted/sunset-viewer.png" --size 640x480
"$cli" render "$samples/quilt-rle4.bmp" "$samples/converted/quilt-tiled.png" --size 640x480 --tile
echo "== done: the samples are in $samples, the conversions and renderings in $samples/converted"
