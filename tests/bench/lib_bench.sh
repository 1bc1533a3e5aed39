#!/usr/bin/env bash
# Decode and encode times of a 6000 x 4000 photograph as JPEG, PNG and TIFF: our readers and
# writers (bench_lib), the libraries' own tools (djpeg/cjpeg, netpbm's pngtopnm/pnmtopng over
# libpng, tiffcp) and ImageMagick, all in one run on the same files. Best of three, in ms.
#
#   tests/bench/lib_bench.sh [build-dir]      (default: build)
set -euo pipefail
build=${1:-build}
dir=${RAVELLE_BENCH_DIR:-/dev/shm/ravelle-bench}
export RAVELLE_BENCH_DIR=$dir
mkdir -p "$dir"

# Best of three repetitions, as for the other programs.
ours=$("$build/tests/bench/bench_lib" --benchmark_format=csv --benchmark_repetitions=3 2>/dev/null | grep -E '^"(de|en)code/[^"]*iterations:[0-9]+",')

best() {  # best wall-clock time of three runs of a command, in ms
  local best=""
  for _ in 1 2 3; do
    local start end ms
    start=$(date +%s%N)
    bash -c "$1" >/dev/null 2>&1
    end=$(date +%s%N)
    ms=$(( (end - start) / 1000000 ))
    if [[ -z $best || $ms -lt $best ]]; then best=$ms; fi
  done
  echo "$best"
}

ourtime() { echo "$ours" | awk -F, -v n="\"$1/" 'index($1, n) == 1 && (best == "" || $3 < best) {best = $3} END {printf "%d", best}'; }

p=$dir/photo
im=/usr/bin/convert
printf '%-22s %8s %10s %12s  %s\n' "task" "ours" "own tool" "ImageMagick" "own tool used"
row() { printf '%-22s %8s %10s %12s  %s\n' "$1" "$2" "$3" "$4" "$5"; }
row "decode jpeg" "$(ourtime decode/jpeg)" "$(best "djpeg -outfile $dir/t.ppm $p-jpeg.jpg")" "$(best "$im $p-jpeg.jpg $dir/t.ppm")" "djpeg"
row "encode jpeg" "$(ourtime encode/jpeg)" "$(best "cjpeg -quality 85 -outfile $dir/t.jpg $p.ppm")" "$(best "$im $p.ppm -quality 85 $dir/t.jpg")" "cjpeg -quality 85"
row "decode png" "$(ourtime decode/png)" "$(best "pngtopnm $p-png.png > $dir/t.ppm")" "$(best "$im $p-png.png $dir/t.ppm")" "pngtopnm (libpng)"
row "encode png" "$(ourtime encode/png)" "$(best "pnmtopng $p.ppm > $dir/t.png")" "$(best "$im $p.ppm $dir/t.png")" "pnmtopng (libpng)"
# Our writer uses the horizontal predictor for LZW and Deflate above 8 bits per pixel, so
# tiffcp is asked for it too (":2").
for v in none:none lzw:lzw:2 deflate:zip:2 "jpeg:jpeg:85 -r 16" lzw-tiles:lzw:2; do
  name=${v%%:*}; codec=${v#*:}
  tiles=""; [[ $name == *-tiles ]] && tiles="-t"
  row "decode tiff-$name" "$(ourtime decode/tiff-$name)" "$(best "tiffcp -c none $p-tiff-$name.tif $dir/t.tif")" \
      "$(best "$im $p-tiff-$name.tif $dir/t.ppm")" "tiffcp -c none"
  imcodec=$(case $codec in none) echo None;; lzw*) echo LZW;; zip*) echo Zip;; jpeg*) echo JPEG;; esac)
  row "encode tiff-$name" "$(ourtime encode/tiff-$name)" "$(best "tiffcp -c $codec $tiles $p-tiff-none.tif $dir/t.tif")" \
      "$(best "$im $p.ppm -compress $imcodec $dir/t.tif")" "tiffcp -c $codec $tiles (from a plain TIFF)"
done
