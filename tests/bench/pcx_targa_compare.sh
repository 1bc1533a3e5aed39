#!/usr/bin/env bash
# Decoding and encoding a 6000 x 4000 image as PCX (24-bit and 8-bit) and Targa (plain and RLE):
# ravelle-cli beside netpbm, ImageMagick and Pillow, on the same files in the same run. Not part
# of the test suite.
#   tests/bench/pcx_targa_compare.sh   (after scripts/build.sh with benchmarks; needs hyperfine,
#                                       imagemagick, netpbm, python3-pil)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${BUILD:-build}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cli="$build/ravelle-cli"

# The bitmap benchmark's photograph and poster, turned into the four files.
"$build/tests/bench/bench_dib" --make-inputs "$dir"
"$cli" convert "$dir/photo24.bmp" "$dir/photo24.pcx" --to pcx >/dev/null
"$cli" convert "$dir/photo8-rle.bmp" "$dir/poster8.pcx" --to pcx >/dev/null
"$cli" convert "$dir/photo24.bmp" "$dir/photo24.tga" --to tga >/dev/null
"$cli" convert "$dir/photo24.bmp" "$dir/photo24-rle.tga" --to tga-rle >/dev/null
bmptopnm "$dir/photo24.bmp" >"$dir/photo24.ppm" 2>/dev/null
ls -l "$dir"/*.pcx "$dir"/*.tga

pil() { echo "/usr/bin/python3 -c \"from PIL import Image; $1\""; }
runs=()
for f in photo24.pcx poster8.pcx photo24.tga photo24-rle.tga; do
  in="$dir/$f"
  netpbm=pcxtoppm; [ "${f##*.}" = tga ] && netpbm=tgatoppm
  runs+=(-n "decode $f: ravelle-cli info" "$cli info $in"
         -n "decode $f: netpbm $netpbm" "$netpbm $in >/dev/null 2>&1"
         -n "decode $f: ImageMagick" "/usr/bin/convert $in null:")
  /usr/bin/python3 -c "import PIL" 2>/dev/null && runs+=(-n "decode $f: Pillow" "$(pil "Image.open('$in').load()")")
done
src="$dir/photo24.bmp"
runs+=(-n "encode 24-bit PCX: ravelle-cli" "$cli convert $src $dir/a.pcx --to pcx"
       -n "encode 24-bit PCX: netpbm ppmtopcx" "ppmtopcx -24bit $dir/photo24.ppm >$dir/b.pcx 2>/dev/null"
       -n "encode 24-bit PCX: ImageMagick" "/usr/bin/convert $src $dir/c.pcx"
       -n "encode 8-bit PCX: ravelle-cli" "$cli convert $dir/photo8-rle.bmp $dir/d.pcx --to pcx"
       -n "encode 8-bit PCX: ImageMagick" "/usr/bin/convert $dir/photo8-rle.bmp $dir/e.pcx"
       -n "encode Targa: ravelle-cli" "$cli convert $src $dir/f.tga --to tga"
       -n "encode Targa: netpbm ppmtotga" "ppmtotga -rgb -norle $dir/photo24.ppm >$dir/g.tga 2>/dev/null"
       -n "encode Targa: ImageMagick" "/usr/bin/convert $src -compress None $dir/h.tga"
       -n "encode Targa RLE: ravelle-cli" "$cli convert $src $dir/i.tga --to tga-rle"
       -n "encode Targa RLE: netpbm ppmtotga" "ppmtotga -rgb $dir/photo24.ppm >$dir/j.tga 2>/dev/null"
       -n "encode Targa RLE: ImageMagick" "/usr/bin/convert $src -compress RLE $dir/k.tga")
if /usr/bin/python3 -c "import PIL" 2>/dev/null; then
  runs+=(-n "encode 24-bit PCX: Pillow" "$(pil "Image.open('$src').save('$dir/l.pcx')")"
         -n "encode Targa: Pillow" "$(pil "Image.open('$src').save('$dir/m.tga')")"
         -n "encode Targa RLE: Pillow" "$(pil "Image.open('$src').save('$dir/n.tga', compression='tga_rle')")")
fi
hyperfine --warmup 1 --runs 5 --style basic "${runs[@]}"
