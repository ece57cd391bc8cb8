#!/usr/bin/env bash
# Renders the control panel's windows with real fonts on a virtual X display (Xvfb) and writes
# them to docs/screenshots: a device host with a simulated camera touch screen, then
# tspanel-shots opening the main, settings and about dialogs, a message box over the main
# dialog and the calibration window, and taking a picture of each (captions and frames as the
# platform draws them).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target cehost cectl tspanel-shots otsusb

bin=build/default/bin
out=docs/screenshots
mkdir -p "${out}"
work=$(mktemp -d)
cleanup() {
    kill "${host_pid:-}" "${xvfb_pid:-}" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "${work}"
}
trap cleanup EXIT

display=:$((90 + RANDOM % 100))
Xvfb "${display}" -screen 0 1024x768x24 -nolisten tcp >"${work}/xvfb.log" 2>&1 &
xvfb_pid=$!
export OTS_DEVMGR_SOCKET="${work}/devmgr.sock" OTS_WINDOW_DIR="${work}/windows"
"${bin}/cehost" --state "${work}/state" --sink none --time-scale 0.01 >"${work}/host.log" 2>&1 &
host_pid=$!
for _ in $(seq 100); do
    "${bin}/cectl" list >/dev/null 2>&1 && break
    sleep 0.1
done
"${bin}/cectl" plug camera >/dev/null
sleep 1  # the camera controller's settling pause, at the host's time scale

DISPLAY="${display}" QT_QPA_PLATFORM=xcb "${bin}/tspanel-shots" "${out}"
