#!/usr/bin/env bash
# Start-up of ravelle-cli against netpbm's bmptopnm and libjpeg's djpeg on tiny files, where
# start-up is nearly all the time: `ravelle-cli info` on a 16 x 16 BMP and JPEG, and for
# comparison `ravelle-cli convert` of the BMP to PNG. All commands take turns in one run; the
# medians of the rounds, in microseconds, and our ratio to the reference tool.
#
#   tests/bench/cli_startup.sh [build-dir] [rounds]      (default: build, 300)
set -euo pipefail
build=${1:-build}
rounds=${2:-300}
cli=$build/ravelle-cli
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

# A 16 x 16 24-bit BMP written by hand, and the JPEG our own writer makes of it.
{
  printf 'BM\x36\x03\x00\x00\x00\x00\x00\x00\x36\x00\x00\x00'
  printf '\x28\x00\x00\x00\x10\x00\x00\x00\x10\x00\x00\x00\x01\x00\x18\x00'
  printf '\x00\x00\x00\x00\x00\x03\x00\x00\x13\x0b\x00\x00\x13\x0b\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00'
  for ((i = 0; i < 256; ++i)); do printf "\\x$(printf %02x $((i & 255)))\\x40\\x$(printf %02x $((255 - i)))"; done
} > "$dir/tiny.bmp"
"$cli" convert "$dir/tiny.bmp" "$dir/tiny.jpg" --to jpeg >/dev/null

names=("ravelle-cli info tiny.bmp" "bmptopnm tiny.bmp" "ravelle-cli info tiny.jpg" "djpeg tiny.jpg"
       "ravelle-cli convert tiny.bmp -> png")
commands=("$cli info $dir/tiny.bmp" "bmptopnm $dir/tiny.bmp" "$cli info $dir/tiny.jpg" "djpeg $dir/tiny.jpg"
          "$cli convert $dir/tiny.bmp $dir/out.png --to png")
for c in "${commands[@]}"; do $c >/dev/null 2>&1; done  # warm the page cache

declare -a times
for ((r = 0; r < rounds; ++r)); do
  for i in "${!commands[@]}"; do
    start=$EPOCHREALTIME
    ${commands[$i]} >/dev/null 2>&1
    end=$EPOCHREALTIME
    times[$i]+="$(( (${end/./} - ${start/./}) )) "
  done
done

median() { tr ' ' '\n' <<<"$1" | grep . | sort -n | awk '{a[NR] = $1} END {print (NR % 2) ? a[(NR + 1) / 2] : int((a[NR / 2] + a[NR / 2 + 1]) / 2)}'; }
declare -a med
for i in "${!commands[@]}"; do med[$i]=$(median "${times[$i]}"); done

printf '%-36s %10s\n' "command ($rounds rounds)" "median us"
for i in "${!commands[@]}"; do printf '%-36s %10s\n' "${names[$i]}" "${med[$i]}"; done
echo
awk -v a="${med[0]}" -v b="${med[1]}" 'BEGIN {printf "info on the BMP / bmptopnm:  %.2f x\n", a / b}'
awk -v a="${med[2]}" -v b="${med[3]}" 'BEGIN {printf "info on the JPEG / djpeg:    %.2f x\n", a / b}'
echo "shared libraries loaded by ravelle-cli: $(ldd "$cli" | grep -c '=>')"
