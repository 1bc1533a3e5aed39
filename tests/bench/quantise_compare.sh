#!/usr/bin/env bash
# The 256 best colours of a 6000 x 4000 photograph: this tree's bench_colour against the same
# benchmark built from another commit (default main), run alternately in one run. Medians of
# RAVELLE_BENCH_RUNS runs (default 7) of Reduce/best256, in ms, and new / old.
#
#   tests/bench/quantise_compare.sh [build-dir] [ref]   (default: build, main)
#
# The reference is built once in $RAVELLE_BENCH_DIR/ref-<commit> (outside the tree); set
# RAVELLE_BENCH_REF_BIN to an existing bench_colour to use it instead.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
ref=${2:-main}
runs=${RAVELLE_BENCH_RUNS:-7}
dir=${RAVELLE_BENCH_DIR:-/dev/shm/ravelle-bench}
mkdir -p "$dir"

new="$build/tests/bench/bench_colour"
old=${RAVELLE_BENCH_REF_BIN:-}
if [[ -z $old ]]; then
  commit=$(git rev-parse --short "$ref")
  src="$dir/ref-$commit"
  if [[ ! -x $src/build/tests/bench/bench_colour ]]; then
    rm -rf "$src" && mkdir -p "$src"
    git archive "$commit" | tar -x -C "$src"
    cmake -S "$src" -B "$src/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$src/build" -j2 --target bench_colour >/dev/null
  fi
  old="$src/build/tests/bench/bench_colour"
fi

photo="$dir/photo24.bmp"
[[ -f $photo ]] || "$build/tests/bench/bench_dib" --make-inputs "$dir" >/dev/null
export RAVELLE_BENCH_IMAGE=$photo

once() {  # one run's real time of Reduce/best256 in ms
  "$1" --benchmark_filter='^Reduce/best256/' --benchmark_format=csv 2>/dev/null |
    awk -F, '$1 ~ /^"Reduce\/best256/ {printf "%d", $3}'
}
median() { printf '%s\n' "$@" | sort -n | sed -n "$(( ($# + 1) / 2 ))p"; }

olds=() news=()
for _ in $(seq "$runs"); do
  olds+=("$(once "$old")")
  news+=("$(once "$new")")
done
echo "load: $(uptime | sed 's/.*load average: //')"
echo "old runs (ms): ${olds[*]}"
echo "new runs (ms): ${news[*]}"
o=$(median "${olds[@]}")
n=$(median "${news[@]}")
awk -v o="$o" -v n="$n" 'BEGIN {printf "best256 6000x4000: old %d ms, new %d ms, new/old %.3f\n", o, n, n / o}'
