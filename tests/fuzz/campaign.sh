#!/usr/bin/env bash
# A fuzzing campaign: builds the fuzz preset and runs every target (or the ones named) for the
# given time, two at a time, seeded with the shared corpus and the target's kept corpus, with its
# dictionary, on inputs of at most 16 KiB (longer seeds are cut), which keeps every run short.
# Crashes do not stop a target: each is kept and the run goes on. Afterwards each
# target's corpus is merged and minimised into the work folder, outside the source tree, and one
# line per target gives its executions, features and crashes.
#   tests/fuzz/campaign.sh SECONDS [TARGET...]
# The work folder is $RAVELLE_FUZZ_WORK (default ../fuzz-work beside the project):
#   corpus/<target>/     the merged, minimised corpus, seeding the next campaign
#   findings/<target>-*  the inputs that crashed, hung or ran out of memory
#   logs/<target>.log    the fuzzer's output
set -uo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:?seconds per target}; shift
jobs=${RAVELLE_FUZZ_JOBS:-2}
corpus=${RAVELLE_CORPUS:-../shared/corpus}
work=$(realpath -m "${RAVELLE_FUZZ_WORK:-../fuzz-work}")
mkdir -p "$work/corpus" "$work/findings" "$work/logs"

cmake --preset fuzz >/dev/null && cmake --build --preset fuzz >/dev/null || { echo "fuzz build failed" >&2; exit 2; }

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for binary in build-fuzz/tests/fuzz/fuzz_*; do targets+=("${binary##*/fuzz_}"); done
fi

# Runs one target; leaves its summary line in logs/<target>.line.
run_target() {
  local target=$1 binary=build-fuzz/tests/fuzz/fuzz_$1
  local folder dict fresh=$work/corpus/$target.new
  folder=$(awk -v t="$target" '$1 == t {print $2}' tests/fuzz/seeds.txt)
  dict=$(awk -v t="$target" '$1 == t {print $3}' tests/fuzz/seeds.txt)
  local options=(-max_total_time="$seconds" -rss_limit_mb=2048 -malloc_limit_mb=2048 -timeout=10 -max_len=16384
                 -fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1
                 -artifact_prefix="$work/findings/$target-")
  [ -n "$dict" ] && options+=(-dict="tests/fuzz/dict/$dict.dict")
  local seeds=()
  [ -n "$folder" ] && [ -d "$corpus/$folder" ] && seeds=("$corpus/$folder")
  mkdir -p "$work/corpus/$target" "$fresh"
  "$binary" "${options[@]}" "$fresh" "$work/corpus/$target" "${seeds[@]}" >"$work/logs/$target.log" 2>&1
  # Merge what the run found into the kept corpus, keeping only inputs that add features.
  local merged=$work/corpus/$target.merged
  rm -rf "$merged" && mkdir -p "$merged"
  if "$binary" -merge=1 -rss_limit_mb=2048 -timeout=10 "$merged" "$work/corpus/$target" "$fresh" \
      >"$work/logs/$target.merge.log" 2>&1; then
    rm -rf "$work/corpus/$target" "$fresh" && mv "$merged" "$work/corpus/$target"
  else
    rm -rf "$merged"
  fi
  # The fork mode's last progress line: "#EXECS: cov: C ft: F corp: ... oom/timeout/crash: O/T/X ...".
  local last execs features crashes files
  last=$(grep -E '^#[0-9]+: cov:' "$work/logs/$target.log" | tail -1)
  execs=$(sed -E 's/^#([0-9]+):.*/\1/' <<<"$last")
  features=$(sed -E 's/.* ft: ([0-9]+).*/\1/' <<<"$last")
  crashes=$(sed -E 's|.*oom/timeout/crash: ([0-9/]+).*|\1|' <<<"$last")
  files=$(find "$work/corpus/$target" -type f | wc -l)
  printf '%-12s executions %10s  features %6s  oom/timeout/crash %-8s  corpus %5s files\n' \
    "$target" "${execs:-?}" "${features:-?}" "${crashes:-?}" "$files" >"$work/logs/$target.line"
}

running=0
for target in "${targets[@]}"; do
  if [ "$running" -ge "$jobs" ]; then wait -n; running=$((running - 1)); fi
  run_target "$target" &
  running=$((running + 1))
done
wait

status=0
for target in "${targets[@]}"; do
  cat "$work/logs/$target.line"
done
if compgen -G "$work/findings/*" >/dev/null; then
  echo "findings in $work/findings:"
  ls "$work/findings"
  status=1
fi
exit $status
