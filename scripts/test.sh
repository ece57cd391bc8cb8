#!/usr/bin/env bash
# Builds everything and runs every test, on a fresh Debian 12 machine included: missing Debian
# packages are installed first (needs root for apt-get). Every suite runs twice: in the debug
# build, and under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=$(nproc)
for preset in default asan; do
    echo "=== ${preset}: configure, build, test"
    cmake --preset "${preset}" >/dev/null
    cmake --build --preset "${preset}" -j "${jobs}"
    ctest --preset "${preset}" -j "${jobs}"
done
# The README's release build must compile too (optimisation brings warnings of its own).
echo "=== release: configure, build"
cmake --preset release >/dev/null
cmake --build --preset release -j "${jobs}"
