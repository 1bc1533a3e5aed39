#!/usr/bin/env bash
# Encoding and decoding one 6000 x 4000 picture as IFF (24 planes, 8 planes with a colour map and
# 6-plane HAM, all ByteRun1-packed): ravelle-cli beside netpbm's ppmtoilbm and ilbmtoppm in the
# same run. The commands take turns for a number of rounds; printed are the medians of the wall
# time and of the CPU time (user + system), and our ratio to netpbm on each. On a loaded machine
# the CPU ratio is the one to trust: the wall time then mostly measures waiting for a core.
#   tests/bench/iff_compare.sh [build folder] [rounds]    (defaults build, 5; needs imagemagick,
#                                                          netpbm, bc)
#
# What each side does, so that the work compares:
#   encode  ours:   `ravelle-cli convert` reads an uncompressed BMP (24-bit, or 8-bit with a
#                   palette) and writes the packed file; for HAM it also chooses the codes.
#           netpbm: `ppmtoilbm` reads the PPM of the same picture and writes the packed file
#                   (counting the colours for its colour map as it goes). It needs -maxplanes 8
#                   for 8 planes: by default it makes a 24-plane file of a 256-colour picture.
#   decode  both read the same file, netpbm's own, and write their native uncompressed output:
#           ours a BMP (24-bit, or 8-bit with a palette), ilbmtoppm a PPM.
#   Every file is in one work folder, on tmpfs (/dev/shm) when there is one: our writer syncs
#   each file to disk before putting it in place and a shell redirection does not, so on a disk
#   the comparison would time the disk for our side only. WORK=folder chooses another place.
set -euo pipefail
build=${1:-build}
rounds=${2:-5}
cli=$(realpath "$build/ravelle-cli")
base=${WORK:-$([ -d /dev/shm ] && [ -w /dev/shm ] && echo /dev/shm || echo "${TMPDIR:-/tmp}")}
work=$(mktemp -d "$base/iff_compare.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

/usr/bin/convert -size 6000x4000 plasma:fractal -seed 1 -depth 8 big.ppm
/usr/bin/convert big.ppm big.bmp
/usr/bin/convert big.ppm -colors 256 -type Palette big8rle.bmp
/usr/bin/convert big8rle.bmp -depth 8 big8.ppm
"$cli" convert big8rle.bmp big8.bmp --to bmp >/dev/null  # ImageMagick wrote RLE8
ppmtoilbm -24if -compress big.ppm >in24.iff 2>/dev/null
ppmtoilbm -maxplanes 8 -compress big8.ppm >in8.iff 2>/dev/null
ppmtoilbm -hamforce -compress big.ppm >inham.iff 2>/dev/null

jobs=("encode 24 planes" "decode 24 planes" "encode 8 planes" "decode 8 planes" "encode HAM" "decode HAM")
ours=("$cli convert big.bmp ours24.iff --to iff-packed"
      "$cli convert in24.iff ours24.bmp --to bmp"
      "$cli convert big8.bmp ours8.iff --to iff-packed"
      "$cli convert in8.iff ours8.bmp --to bmp"
      "$cli convert big.bmp oursham.iff --to iff-ham-packed"
      "$cli convert inham.iff oursham.bmp --to bmp")
theirs=("ppmtoilbm -24if -compress big.ppm >theirs24.iff"
        "ilbmtoppm in24.iff >theirs24.ppm"
        "ppmtoilbm -maxplanes 8 -compress big8.ppm >theirs8.iff"
        "ilbmtoppm in8.iff >theirs8.ppm"
        "ppmtoilbm -hamforce -compress big.ppm >theirsham.iff"
        "ilbmtoppm inham.iff >theirsham.ppm")

# One line "wall cpu" in seconds for a command.
measure() {
  local TIMEFORMAT='%R %U %S' t
  t=$({ time eval "$1" >/dev/null 2>&1; } 2>&1)
  echo "$t" | awk '{ printf "%.3f %.3f\n", $1, $2 + $3 }'
}
for ((r = 0; r < rounds; ++r)); do
  for i in "${!jobs[@]}"; do
    echo "$i ours $(measure "${ours[i]}")" >>times
    echo "$i theirs $(measure "${theirs[i]}")" >>times
  done
done

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
echo "medians of $rounds rounds, in seconds (wall / cpu); ratio = ravelle-cli / netpbm"
for i in "${!jobs[@]}"; do
  ow=$(awk -v i="$i" '$1 == i && $2 == "ours" { print $3 }' times | median)
  oc=$(awk -v i="$i" '$1 == i && $2 == "ours" { print $4 }' times | median)
  tw=$(awk -v i="$i" '$1 == i && $2 == "theirs" { print $3 }' times | median)
  tc=$(awk -v i="$i" '$1 == i && $2 == "theirs" { print $4 }' times | median)
  printf '%-17s ravelle-cli %6.3f / %6.3f   netpbm %6.3f / %6.3f   ratio wall %.2f  cpu %.2f\n' \
    "${jobs[i]}:" "$ow" "$oc" "$tw" "$tc" "$(echo "$ow / $tw" | bc -l)" "$(echo "$oc / $tc" | bc -l)"
done
