#!/usr/bin/env bash
# Peak resident memory of `ravelle-cli info` on a 6000 x 4000 24-bit bitmap (72 MB of rows),
# against the raster's size, beside ImageMagick reading the same file in the same run. Median
# of five runs, in MB. The viewer's load is measured by bench_viewer (load_peak_x_raster).
#
#   tests/bench/memory_bench.sh [build-dir]      (default: build)
set -euo pipefail
build=${1:-build}
dir=${RAVELLE_BENCH_DIR:-/tmp/ravelle-bench}
mkdir -p "$dir"
bmp=$dir/memory-24.bmp
[[ -f $bmp ]] || /usr/bin/convert -size 6000x4000 plasma:fractal -type truecolor "BMP3:$bmp"
raster=$((6000 * 4000 * 3))

peak() {  # median peak resident memory of five runs of a command, in KB
  for _ in 1 2 3 4 5; do
    /usr/bin/time -f %M bash -c "exec $1 >/dev/null" 2>&1 | tail -1
  done | sort -n | sed -n 3p
}

ours=$(peak "$build/ravelle-cli info $bmp")
magick=$(peak "/usr/bin/convert $bmp -format %w info:")
awk -v o="$ours" -v m="$magick" -v r="$raster" 'BEGIN {
  printf "raster                %8.1f MB\n", r / 1048576
  printf "ravelle-cli info      %8.1f MB  %.3f x raster\n", o / 1024, o * 1024 / r
  printf "convert ... info:     %8.1f MB  %.3f x raster\n", m / 1024, m * 1024 / r
}'
