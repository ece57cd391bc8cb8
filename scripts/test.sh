#!/usr/bin/env bash
# Builds everything and runs every test, on a fresh Debian 12 machine included: missing Debian
# packages are installed first (needs root for apt-get). Every suite runs three times: in the
# debug build, under AddressSanitizer and UndefinedBehaviorSanitizer, and under
# ThreadSanitizer. Then each fuzz target runs a bounded time on its seed corpus.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=$(nproc)
# A race report fails its test at once, with both stacks.
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ${TSAN_OPTIONS:-}"
for preset in default asan tsan; do
    echo "=== ${preset}: configure, build, test"
    cmake --preset "${preset}" >/dev/null
    cmake --build --preset "${preset}" -j "${jobs}"
    ctest --preset "${preset}" -j "${jobs}"
done
# The README's release build must compile too (optimisation brings warnings of its own).
echo "=== release: configure, build"
cmake --preset release >/dev/null
cmake --build --preset release -j "${jobs}"

echo "=== fuzz: configure, build, run each target on its corpus"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "${jobs}"
ctest --preset fuzz -j "${jobs}"
