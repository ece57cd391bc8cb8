#!/usr/bin/env bash
# The main job: the whole driver side on Linux, end to end. Starts the device host (cehost)
# with a fresh state folder, plugs a simulated coordinate touch screen and a simulated camera
# touch screen into it with cectl, touches, drags, holds and draws on each, and prints what the
# driver injected next to where the finger was. Installs missing Debian packages (as root).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target cehost cectl otsusb -j "$(nproc)" >/dev/null

bin=build/release/bin
work=$(mktemp -d)
export OTS_DEVMGR_SOCKET="$work/devmgr.sock"
# Platform time runs 5 times faster than real time, so that the camera controller's 5 s settling
# pause at plug-in takes one second.
"$bin/cehost" --state "$work/state" --socket "$OTS_DEVMGR_SOCKET" --sink trace \
    --trace-file "$work/events.jsonl" --log "$work/debug.log" --time-scale 0.2 &
host=$!
trap 'kill -TERM $host 2>/dev/null; wait $host 2>/dev/null; rm -rf "$work"' EXIT

for _ in $(seq 100); do
    [[ -S "$OTS_DEVMGR_SOCKET" ]] && break
    sleep 0.1
done
ctl() { echo "\$ cectl $*"; "$bin/cectl" --socket "$OTS_DEVMGR_SOCKET" "$@"; echo; }

echo "== A coordinate touch screen (reports x and y itself)"
ctl plug coordinate --id 1
ctl tap 400 300 --id 1
ctl drag 100 100 700 500 --ms 300 --id 1
ctl touch 200 450 --ms 600 --id 1
ctl draw line 120 500 680 120 --ms 800 --id 1

echo "== A camera touch screen (two line cameras; the driver triangulates)"
ctl plug camera --id 2
ctl tap 400 300 --id 2
ctl tap 80 520 --id 2
ctl drag 700 100 150 450 --ms 400 --id 2
ctl draw circle 400 300 150 --ms 1000 --id 2

ctl list
echo "== The last injected events (flags 0x8001 move, 0x8002 left down, 0x8004 left up, 0x8003 move and left down)"
ctl events --count 8

echo "== The ports the two driver instances claimed, in the registry the host keeps"
ctl reg dump 'HKEY_LOCAL_MACHINE\OtsUSB\Ports'

ctl unplug 1
ctl unplug 2
