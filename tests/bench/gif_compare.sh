#!/usr/bin/env bash
# Decoding and encoding a 6000 x 4000 8-bit GIF: ravelle-cli beside netpbm (giftopnm, ppmtogif),
# ImageMagick and Pillow, on the same files in the same run, with each one's time as a ratio of
# the fastest other program's. Not part of the test suite.
#   tests/bench/gif_compare.sh   (after scripts/build.sh with benchmarks; needs hyperfine,
#                                 imagemagick, netpbm; python3-pil when there). The load
#                                 average is printed before and after: compare ratios, not times.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${BUILD:-build}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cli="$build/ravelle-cli"

# The bitmap benchmark's 8-bit photograph, as a BMP, a PPM and a GIF of our own writer.
"$build/tests/bench/bench_dib" --make-inputs "$dir" >/dev/null
src="$dir/photo8.bmp"
"$cli" convert "$dir/photo8-rle.bmp" "$src" --to bmp >/dev/null
"$cli" convert "$src" "$dir/photo8.gif" --to gif >/dev/null
bmptopnm "$src" >"$dir/photo8.ppm" 2>/dev/null
ls -l "$dir/photo8.gif"

pil=false
/usr/bin/python3 -c "import PIL" 2>/dev/null && pil=true
gif="$dir/photo8.gif"
runs=(-n "decode: ravelle-cli" "$cli info $gif"
      -n "decode: netpbm giftopnm" "giftopnm $gif >/dev/null"
      -n "decode: ImageMagick" "/usr/bin/convert $gif null:")
$pil && runs+=(-n "decode: Pillow" "/usr/bin/python3 -c \"from PIL import Image; Image.open('$gif').load()\"")
runs+=(-n "encode: ravelle-cli" "$cli convert $src $dir/a.gif --to gif"
       -n "encode: netpbm ppmtogif" "ppmtogif $dir/photo8.ppm >$dir/b.gif 2>/dev/null"
       -n "encode: ImageMagick" "/usr/bin/convert $src $dir/c.gif")
$pil && runs+=(-n "encode: Pillow" "/usr/bin/python3 -c \"from PIL import Image; Image.open('$src').save('$dir/d.gif')\"")
uptime
hyperfine --warmup 1 --runs 5 --style basic --export-csv "$dir/times.csv" "${runs[@]}"

# Ours against the fastest of the others, for each job: by the median wall time, and by the
# processor time (user + system, means), which a machine busy with other work disturbs less.
awk -F, 'NR > 1 {
  split($1, name, ": "); job = name[1]; wall = $4; cpu = $5 + $6
  if (name[2] == "ravelle-cli") { ours[job] = wall; oursCpu[job] = cpu }
  else {
    if (!(job in best) || wall < best[job]) { best[job] = wall; who[job] = name[2] }
    if (!(job in bestCpu) || cpu < bestCpu[job]) { bestCpu[job] = cpu; whoCpu[job] = name[2] }
  }
} END {
  for (job in ours) {
    printf "%s: ravelle-cli %.3f s, fastest other %s %.3f s, ratio %.2f (median wall)\n", job, ours[job], who[job], best[job], ours[job] / best[job]
    printf "%s: ravelle-cli %.3f s, fastest other %s %.3f s, ratio %.2f (user + system)\n", job, oursCpu[job], whoCpu[job], bestCpu[job], oursCpu[job] / bestCpu[job]
  }
}' "$dir/times.csv"
uptime
