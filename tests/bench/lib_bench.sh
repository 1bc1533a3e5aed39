#!/usr/bin/env bash
# Decode and encode times of a 6000 x 4000 photograph as JPEG, PNG and TIFF: our readers and
# writers (bench_lib), the libraries' own tools (djpeg/cjpeg, netpbm's pngtopnm/pnmtopng over
# libpng, tiffcp), ImageMagick and libvips (vips avg to decode, vips copy to encode), all in one
# run on the same files. Medians of RAVELLE_BENCH_RUNS runs (default 5), in ms; the last two
# columns are ours against the own tool and against libvips.
#
#   tests/bench/lib_bench.sh [build-dir] [row-regex]   (default: build, every row)
#   e.g. tests/bench/lib_bench.sh build 'decode tiff'
set -euo pipefail
build=${1:-build}
only=${2:-.}
runs=${RAVELLE_BENCH_RUNS:-5}
dir=${RAVELLE_BENCH_DIR:-/dev/shm/ravelle-bench}
export RAVELLE_BENCH_DIR=$dir
mkdir -p "$dir"

# bench_lib's benchmarks are named decode/<variant> and encode/<variant>.
filter=$(echo "$only" | sed 's/ /\//')
ours=$("$build/tests/bench/bench_lib" --benchmark_format=csv --benchmark_repetitions="$runs" \
  --benchmark_filter="$filter" 2>/dev/null | grep -E '^"(de|en)code/[^"]*_median",')

median() {  # median wall-clock and processor (user + system) times of runs of a command: "wall cpu" in ms
  local walls=() cpus=()
  for _ in $(seq "$runs"); do
    local t
    /usr/bin/time -o "$dir/time.txt" -f "%e %U %S" bash -c "$1" >/dev/null 2>&1 || true
    t=$(tail -1 "$dir/time.txt")
    walls+=("$(awk -v t="$t" 'BEGIN {split(t, a, " "); printf "%d", a[1] * 1000}')")
    cpus+=("$(awk -v t="$t" 'BEGIN {split(t, a, " "); printf "%d", (a[2] + a[3]) * 1000}')")
  done
  local mid=$(( (runs + 1) / 2 ))
  echo "$(printf '%s\n' "${walls[@]}" | sort -n | sed -n "${mid}p") $(printf '%s\n' "${cpus[@]}" | sort -n | sed -n "${mid}p")"
}

# bench_lib's median real and processor times.
ourtime() { echo "$ours" | awk -F, -v n="\"$1/" 'index($1, n) == 1 {printf "%d %d", $3, $4}'; }
vips=$(command -v vips || true)

# The load on the machine, which the wall-clock times depend on (the processor times less so).
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) processors"
p=$dir/photo
im=/usr/bin/convert
printf 'Each cell is wall/processor ms (medians of %d runs); ratios are ours over the other, wall (processor).\n' "$runs"
printf '%-20s %11s %11s %11s %11s %13s %13s  %s\n' "task" "ours" "own tool" "ImageMagick" "libvips" "/own" "/libvips" "own tool used"
row() {  # task, bench name, own tool command, ImageMagick command, libvips command, label
  [[ $1 =~ $only ]] || return 0
  local o t m v="0 0"
  o=$(ourtime "$2"); t=$(median "$3"); m=$(median "$4")
  [[ -n $vips && -n $5 ]] && v=$(median "$5")
  awk -v task="$1" -v o="$o" -v t="$t" -v m="$m" -v v="$v" -v label="$6" '
    function cell(x,  a) { split(x, a, " "); return a[1] > 0 ? a[1] "/" a[2] : "-" }
    function ratio(x, y,  a, b) { split(x, a, " "); split(y, b, " ")
      return b[1] > 0 && b[2] > 0 ? sprintf("%.2f (%.2f)", a[1] / b[1], a[2] / b[2]) : "-" }
    BEGIN { printf "%-20s %11s %11s %11s %11s %13s %13s  %s\n", task, cell(o), cell(t), cell(m), cell(v),
                   ratio(o, t), ratio(o, v), label }'
}
row "decode jpeg" decode/jpeg "djpeg -outfile $dir/t.ppm $p-jpeg.jpg" "$im $p-jpeg.jpg $dir/t.ppm" \
    "vips avg $p-jpeg.jpg" "djpeg"
row "encode jpeg" encode/jpeg "cjpeg -quality 85 -outfile $dir/t.jpg $p.ppm" "$im $p.ppm -quality 85 $dir/t.jpg" \
    "vips copy $p.ppm $dir/t.jpg[Q=85]" "cjpeg -quality 85"
row "decode png" decode/png "pngtopnm $p-png.png > $dir/t.ppm" "$im $p-png.png $dir/t.ppm" "vips avg $p-png.png" \
    "pngtopnm (libpng)"
row "encode png" encode/png "pnmtopng $p.ppm > $dir/t.png" "$im $p.ppm $dir/t.png" "vips copy $p.ppm $dir/t.png" \
    "pnmtopng (libpng)"
# Our writer uses the horizontal predictor for LZW and Deflate above 8 bits per pixel, so
# tiffcp is asked for it too (":2").
for v in none:none lzw:lzw:2 deflate:zip:2 "jpeg:jpeg:85 -r 16" lzw-tiles:lzw:2; do
  name=${v%%:*}; codec=${v#*:}
  tiles=""; [[ $name == *-tiles ]] && tiles="-t"
  row "decode tiff-$name" "decode/tiff-$name" "tiffcp -c none $p-tiff-$name.tif $dir/t.tif" \
      "$im $p-tiff-$name.tif $dir/t.ppm" "vips avg $p-tiff-$name.tif" "tiffcp -c none"
  imcodec=$(case $codec in none) echo None;; lzw*) echo LZW;; zip*) echo Zip;; jpeg*) echo JPEG;; esac)
  row "encode tiff-$name" "encode/tiff-$name" "tiffcp -c $codec $tiles $p-tiff-none.tif $dir/t.tif" \
      "$im $p.ppm -compress $imcodec $dir/t.tif" "" "tiffcp -c $codec $tiles (from a plain TIFF)"
done
