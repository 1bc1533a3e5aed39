#!/usr/bin/env bash
# Plants each fault of tests/mutants.tsv, one at a time, in a scratch copy of the committed tree,
# builds it and runs the test suite against it, and prints which faults the suite caught.
#   tests/mutants.sh --list       the faults, one a line
#   tests/mutants.sh [NAME...]    run all of them, or the ones named
# MUTANTS_DIR is the scratch folder (default /tmp/ravelle-mutants); each run takes a few minutes,
# so this is not part of the test suite.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
table="$here/tests/mutants.tsv"

if [ "${1:-}" = --list ]; then
  grep -v '^#' "$table" | awk -F'\t' '{ printf "%-20s %-32s %s\n", $1, $2, $5 }'
  exit 0
fi

work=${MUTANTS_DIR:-/tmp/ravelle-mutants}
rm -rf "$work"
mkdir -p "$work"
git -C "$here" archive HEAD | tar -x -C "$work"
cd "$work"
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(dirname "$work")}
# The scratch copy has no corpus beside it: the corpus tests read the checkout's.
export RAVELLE_CORPUS=${RAVELLE_CORPUS:-$(cd "$here/.." && pwd)/shared/corpus}
cmake --preset default -DRAVELLE_BENCH=OFF >/dev/null
cmake --build --preset default >/dev/null

[ -f "$RAVELLE_CORPUS/MANIFEST.tsv" ] || echo "mutants: no corpus at $RAVELLE_CORPUS: its tests will skip" >&2
# Left out, for time: the package build, and the tests that read only formats in which no fault
# is planted (the metafile renderer, and the HEIF, AVIF, JPEG XL and WebP readers).
skip='package_layout|MetafileConformance|/(HEIF|AVIF|JXL|WebP|WebP_frames|EMF|WMF)$'
wanted=" $* "
planted=0 caught=0 unbuilt=0
while IFS=$'\t' read -r name file from to why; do
  [[ "$name" == \#* || -z "$name" ]] && continue
  [ $# -gt 0 ] && [[ "$wanted" != *" $name "* ]] && continue
  cp "$file" "$file.orig"
  FROM="$from" TO="$to" python3 - "$file" <<'PY'
import os, sys
path = sys.argv[1]
text = open(path).read()
if text.count(os.environ["FROM"]) != 1:
    sys.exit(f"{path}: the text of the fault is not there once")
open(path, "w").write(text.replace(os.environ["FROM"], os.environ["TO"]))
PY
  planted=$((planted + 1))
  if ! cmake --build --preset default >/dev/null 2>&1; then
    verdict="does not build"
    unbuilt=$((unbuilt + 1))
  elif ctest --preset default -j2 --stop-on-failure -E "$skip" >/dev/null 2>&1; then
    verdict="MISSED"
  else
    verdict="caught"
    caught=$((caught + 1))
  fi
  printf '%-20s %-14s %s\n' "$name" "$verdict" "$why"
  mv "$file.orig" "$file"
  touch "$file"
done < "$table"
cmake --build --preset default >/dev/null 2>&1 || true
echo "mutants: caught $caught of $planted planted ($unbuilt did not build)"
