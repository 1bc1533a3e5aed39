#!/usr/bin/env bash
# Runs fuzz targets one after another, seeded with the shared corpus when it is there, each with
# its dictionary (tests/fuzz/seeds.txt), on inputs of at most 16 KiB.
#   tests/fuzz/run.sh SECONDS TARGET[:SEED-FOLDER]...
#   tests/fuzz/run.sh SECONDS all      every target built, seeded as tests/fuzz/seeds.txt says
# e.g. tests/fuzz/run.sh 300 dib_windows:bmp dib_os2:bmp dib_os2v2:bmp
# Needs the fuzz build (cmake --preset fuzz && cmake --build --preset fuzz). Findings land in
# build-fuzz/findings/, the grown corpora in build-fuzz/corpus/<target>/.
set -uo pipefail
cd "$(dirname "$0")/../.."
seconds=$1; shift
corpus=${RAVELLE_CORPUS:-../shared/corpus}
if [ "${1:-}" = all ]; then
  set --
  for binary in build-fuzz/tests/fuzz/fuzz_*; do
    target=${binary##*/fuzz_}
    folder=$(awk -v t="$target" '$1 == t {print $2}' tests/fuzz/seeds.txt)
    set -- "$@" "$target${folder:+:$folder}"
  done
fi
status=0
failed=0
for entry in "$@"; do
  target=${entry%%:*}
  seeds=()
  [ "$entry" != "$target" ] && [ -d "$corpus/${entry#*:}" ] && seeds=("$corpus/${entry#*:}")
  dict=$(awk -v t="$target" '$1 == t {print $3}' tests/fuzz/seeds.txt)
  options=()
  [ -n "$dict" ] && options=(-dict="tests/fuzz/dict/$dict.dict")
  mkdir -p "build-fuzz/corpus/$target" build-fuzz/findings
  echo "== fuzz_$target for ${seconds}s"
  build-fuzz/tests/fuzz/fuzz_$target -max_total_time="$seconds" -rss_limit_mb=4096 -timeout=10 -max_len=16384 \
    -print_final_stats=1 "${options[@]}" -artifact_prefix=build-fuzz/findings/"$target"- \
    "build-fuzz/corpus/$target" "${seeds[@]}" 2>&1 | grep -E 'ERROR|SUMMARY|number_of_executed_units|Done '
  # The fuzzer's own status, taken at once: under pipefail a `|| true` after the pipe would run
  # on every failure and leave its own 0 here.
  fuzzer=${PIPESTATUS[0]}
  [ "$fuzzer" -eq 0 ] || { status=1; failed=$((failed + 1)); }
done
# One line in ctest's words, so that the fuzz smoke's total reads like the suites'.
echo "fuzz smoke: $((100 * ($# - failed) / ($# > 0 ? $# : 1)))% tests passed, $failed tests failed out of $#"
exit $status
