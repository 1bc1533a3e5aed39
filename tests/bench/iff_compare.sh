#!/usr/bin/env bash
# Times our IFF writer and reader beside netpbm's ppmtoilbm and ilbmtoppm on one 6000 x 4000
# picture: 24 planes packed, 8 planes packed and HAM packed.
#   tests/bench/iff_compare.sh [build folder]
set -euo pipefail
build=${1:-build}
cli=$(realpath "$build/ravelle-cli")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
/usr/bin/convert -size 6000x4000 plasma:fractal -seed 1 -depth 8 big.ppm
/usr/bin/convert big.ppm big.bmp
/usr/bin/convert big.ppm -colors 256 -type Palette big8.bmp
/usr/bin/convert big8.bmp -depth 8 big8.ppm
t() { local start end; start=$(date +%s.%N); "$@" >/dev/null 2>&1; end=$(date +%s.%N); printf '%6.2f s  %s\n' "$(echo "$end - $start" | bc)" "$*"; }
t "$cli" convert --to iff-packed big.bmp ours24.iff
t sh -c "ppmtoilbm -24if -compress big.ppm > theirs24.iff"
t "$cli" convert --to bmp ours24.iff back24.bmp
t sh -c "ilbmtoppm theirs24.iff > /dev/null"
t "$cli" convert --to iff-packed big8.bmp ours8.iff
t sh -c "ppmtoilbm -compress big8.ppm > theirs8.iff"
t "$cli" convert --to bmp ours8.iff back8.bmp
t sh -c "ilbmtoppm theirs8.iff > /dev/null"
t "$cli" convert --to iff-ham-packed big.bmp oursham.iff
t sh -c "ppmtoilbm -hamforce -compress big.ppm > theirsham.iff"
t "$cli" convert --to bmp oursham.iff backham.bmp
t sh -c "ilbmtoppm theirsham.iff > /dev/null"
