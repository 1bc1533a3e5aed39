#!/usr/bin/env bash
# Parsing and playing the largest corpus metafiles at 1600 x 1200 with ravelle-cli render, beside
# the independent renderer (wmf2svg or emf2svg-conv, then rsvg-convert) on the same files.
#   tests/bench/metafile_bench.sh [BUILD-DIR] [COUNT]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
count=${2:-5}
corpus=${RAVELLE_CORPUS:-../shared/corpus}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$out
seconds() { local start=$(date +%s.%N); "$@" >/dev/null 2>&1 || true; echo "$(date +%s.%N) - $start" | bc; }
printf '%-50s %10s %10s %10s\n' file bytes ours reference
for f in $(ls -S "$corpus"/wmf/*/*.wmf "$corpus"/emf/*/*.emf | head -n "$count"); do
  ours=$(seconds "$build/ravelle-cli" render "$f" "$out/o.png" --size 1600x1200)
  case $f in
    *.wmf) ref=$(seconds sh -c "wmf2svg -o '$out/t.svg' '$f' && rsvg-convert -w 1600 -h 1200 -o '$out/t.png' '$out/t.svg'") ;;
    *) ref=$(seconds sh -c "emf2svg-conv -i '$f' -o '$out/t.svg' && rsvg-convert -w 1600 -h 1200 -o '$out/t.png' '$out/t.svg'") ;;
  esac
  printf '%-50s %10s %10.3f %10.3f\n' "${f#$corpus/}" "$(stat -c %s "$f")" "$ours" "$ref"
done
