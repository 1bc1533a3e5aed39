#!/usr/bin/env bash
# Peak resident memory of `ravelle-cli info` on each file of a 6000 x 4000 kit, as a multiple of
# the photograph's 72 MB raster, beside ImageMagick on the same file; then each TIFF's decode time
# beside `vips avg` (libvips through the same libtiff) in the same run. Medians of five runs. The
# kit is made once, from one ImageMagick plasma, by ravelle-cli's own writers. The viewer's load
# is measured by bench_viewer (BM_StartOnFile, load_peak_x_raster), on the same kit.
#
#   tests/bench/memory_bench.sh [build-dir]      (default: build)
set -euo pipefail
build=$(realpath "${1:-build}")
cli=$build/ravelle-cli
dir=${RAVELLE_BENCH_DIR:-/tmp/ravelle-bench}
mkdir -p "$dir"
cd "$dir"
[[ -f memory-24.bmp ]] || /usr/bin/convert -size 6000x4000 plasma:fractal -type truecolor "BMP3:memory-24.bmp"
raster=$((6000 * 4000 * 3))

# name, writer, tools applied first
kit=(
  "bmp-8.bmp bmp best256" "bmp-rle.bmp bmp-rle best256" "gif.gif gif -" "pcx-8.pcx pcx best256"
  "pcx-24.pcx pcx -" "tga.tga tga -" "tga-rle.tga tga-rle -" "iff.iff iff-packed -" "png.png png -"
  "jpeg.jpg jpeg -" "jpeg-progressive.jpg jpeg-progressive -" "tiff-none.tif tiff-none -"
  "tiff-lzw.tif tiff-lzw -" "tiff-deflate.tif tiff-deflate -" "tiff-deflate-tiles.tif tiff-deflate-tiles -"
  "tiff-packbits.tif tiff-packbits -" "tiff-jpeg.tif tiff-jpeg -"
)
files=(memory-24.bmp)
for row in "${kit[@]}"; do
  read -r name writer tool <<<"$row"
  files+=("kit-$name")
  [[ -f kit-$name ]] && continue
  apply=()
  [[ $tool != - ]] && apply=(--apply "$tool")
  "$cli" convert memory-24.bmp "kit-$name" --to "$writer" "${apply[@]}" >/dev/null
done

median() { sort -n | sed -n 3p; }
peak() {  # KB
  for _ in 1 2 3 4 5; do /usr/bin/time -f %M bash -c "exec $1 >/dev/null 2>&1" 2>&1 | tail -1; done | median
}
seconds() {
  for _ in 1 2 3 4 5; do /usr/bin/time -f %e bash -c "exec $1 >/dev/null 2>&1" 2>&1 | tail -1; done | median
}

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-26s %10s %8s %12s %8s\n' file "ours MB" "x72MB" "convert MB" "x72MB"
for f in "${files[@]}"; do
  ours=$(peak "$cli info $f")
  magick=$(peak "/usr/bin/convert $f -format %w info:")
  awk -v f="$f" -v o="$ours" -v m="$magick" -v r="$raster" \
    'BEGIN { printf "%-26s %10.1f %8.3f %12.1f %8.3f\n", f, o / 1024, o * 1024 / r, m / 1024, m * 1024 / r }'
done

if command -v vips >/dev/null; then
  printf '\n%-26s %8s %8s %8s\n' "TIFF decode" "ours s" "vips s" ratio
  for f in "${files[@]}"; do
    [[ $f == *.tif ]] || continue
    ours=$(seconds "$cli info $f")
    theirs=$(seconds "vips avg $f")
    awk -v f="$f" -v o="$ours" -v v="$theirs" 'BEGIN { printf "%-26s %8.2f %8.2f %8.2f\n", f, o, v, o / v }'
  done
fi
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
