#!/usr/bin/env bash
# Builds everything and runs every test, on a fresh Debian 12 machine included: missing Debian
# packages are installed first (needs root for apt-get). Then the suites that exercise the
# driver's memory and threads most (the driver, the USB stack, the whole chain in one process)
# are built and run again under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=$(nproc)
echo "=== default: configure, build, test"
cmake --preset default >/dev/null
cmake --build --preset default -j "${jobs}"
ctest --preset default -j "${jobs}"

asan_suites=(kernel usb integration driver_core touch optics camera_e2e control_protocol)
targets=()
for suite in "${asan_suites[@]}"; do targets+=("test_${suite}"); done
echo "=== asan: ${asan_suites[*]}"
cmake --preset asan >/dev/null
cmake --build --preset asan -j "${jobs}" --target otsusb "${targets[@]}"
ctest --preset asan -j "${jobs}" -L "^($(IFS='|'; echo "${asan_suites[*]}"))\$"
