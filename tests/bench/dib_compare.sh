#!/usr/bin/env bash
# Decoding and encoding a 6000 x 4000 bitmap (24-bit, and 8-bit RLE8): our code beside
# ImageMagick and netpbm, on the same files in the same run. Not part of the test suite.
#   tests/bench/dib_compare.sh      (after scripts/build.sh; needs hyperfine, imagemagick, netpbm)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${BUILD:-build}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

echo "== In-process decode and encode (Google Benchmark)"
"$build/tests/bench/bench_dib" --benchmark_repetitions=3 --benchmark_report_aggregates_only=true

"$build/tests/bench/bench_dib" --make-inputs "$dir"
cli="$build/ravelle-cli"
p24="$dir/photo24.bmp"
p8="$dir/photo8-rle.bmp"
ls -l "$p24" "$p8"

echo "== Whole commands, file to file"
hyperfine --warmup 1 --runs 5 --style basic \
  -n "decode 24-bit: ravelle-cli info" "$cli info $p24" \
  -n "decode 24-bit: ImageMagick convert to null:" "/usr/bin/convert $p24 null:" \
  -n "decode 24-bit: netpbm bmptopnm" "bmptopnm $p24 >/dev/null 2>&1" \
  -n "decode RLE8: ravelle-cli info" "$cli info $p8" \
  -n "decode RLE8: ImageMagick convert to null:" "/usr/bin/convert $p8 null:" \
  -n "decode RLE8: netpbm bmptopnm" "bmptopnm $p8 >/dev/null 2>&1" \
  -n "24-bit BMP to BMP: ravelle-cli" "$cli convert $p24 $dir/a.bmp --to bmp" \
  -n "24-bit BMP to BMP: ImageMagick" "/usr/bin/convert $p24 BMP3:$dir/b.bmp" \
  -n "24-bit BMP to BMP: netpbm" "bmptopnm $p24 2>/dev/null | ppmtobmp -bpp=24 >$dir/c.bmp 2>/dev/null" \
  -n "RLE8 to RLE8: ravelle-cli" "$cli convert $p8 $dir/d.bmp --to bmp-rle" \
  -n "RLE8 to RLE8: ImageMagick" "/usr/bin/convert $p8 -compress RLE BMP3:$dir/e.bmp" \
  -n "RLE8 to uncompressed 8-bit: netpbm (writes no RLE)" "bmptopnm $p8 2>/dev/null | ppmtobmp -bpp=8 >$dir/f.bmp 2>/dev/null"
