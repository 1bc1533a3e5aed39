#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite: the optimised build's, the
# same suite under AddressSanitizer and UndefinedBehaviorSanitizer, and every fuzz target for
# 30 seconds seeded with the shared corpus. RAVELLE_QUICK=1 runs the optimised suite alone.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
ctest --preset default
[ "${RAVELLE_QUICK:-0}" = 1 ] && exit 0

cmake --preset asan >/dev/null
cmake --build --preset asan
ctest --preset asan

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
tests/fuzz/run.sh "${RAVELLE_FUZZ_SECONDS:-30}" all
