#!/usr/bin/env bash
# The main job: a finger calibrates the touch screen through the control panel, and the pointer
# lands where the finger is. On an X display of 800 x 600 (a fresh Xvfb unless --display names
# one), the device host (cehost) moves the real pointer with the driver's mouse input; a
# simulated camera touch screen, mounted a few millimetres off, turned and bowed, is plugged
# in; tspanel runs on the display; a scripted finger measures the pointer against itself, taps
# "Calibrate" where the button shows, touches the 25 targets, taps OK, draws a star and measures
# again. Then the same for a coordinate touch screen, mounted shifted and turned, with 4 points.
# Installs missing Debian packages (as root).
#
#   bash scripts/demo.sh [--out DIR] [--display :N] [--touches N] [--generations LIST]
#                        [--aim-error MM]  (how far off the finger touches what it aims at,
#                                           default 0.5)
#                        [--time-scale S]  (real ms per platform ms of the host, default 0.5:
#                                           platform time twice as fast as real time)
#                        [--bin DIR]   (programs already built there: no install, no build)
set -euo pipefail
cd "$(dirname "$0")/.."

out=calibration-demo
display=
touches=100
generations=camera,coordinate
bin=
aim=0.5
scale=0.5
while (($#)); do
    case $1 in
        --out) out=$2; shift 2 ;;
        --display) display=$2; shift 2 ;;
        --touches) touches=$2; shift 2 ;;
        --generations) generations=$2; shift 2 ;;
        --bin) bin=$2; shift 2 ;;
        --aim-error) aim=$2; shift 2 ;;
        --time-scale) scale=$2; shift 2 ;;
        -h|--help) sed -n '2,16p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) echo "demo: unknown argument $1 (see --help)" >&2; exit 1 ;;
    esac
done

if [[ -z $bin ]]; then
    bash scripts/install-deps.sh
    echo "demo: building (release)"
    cmake --preset release >/dev/null
    cmake --build --preset release --target cehost otsusb tspanel ceshell calibdemo -j "$(nproc)" >/dev/null
    bin=build/release/bin
fi
work=$(mktemp -d)
pids=()
cleanup() {
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill -TERM "${pids[i]}" 2>/dev/null || true
        wait "${pids[i]}" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT

if [[ -z $display ]]; then
    for n in $(seq 90 120); do
        [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] || { display=:$n; break; }
    done
    echo "demo: starting Xvfb on $display (800 x 600)"
    Xvfb "$display" -screen 0 800x600x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do
        [[ -e /tmp/.X11-unix/X${display#:} ]] && break
        sleep 0.1
    done
fi

export OTS_DEVMGR_SOCKET="$work/devmgr.sock" OTS_WINDOW_DIR="$work/windows"
export DISPLAY=$display QT_QPA_PLATFORM=xcb
mkdir -p "$out"
echo "demo: starting the shell's task bar"
"$bin/ceshell" >"$work/shell.log" 2>&1 &
pids+=($!)
echo "demo: starting the device host, pointer on $display"
# At the default scale platform time runs twice as fast as real time (the camera's 5 s settling
# pause takes 2.5 s); the figures are on the platform clock whatever the scale.
"$bin/cehost" --state "$work/state" --socket "$OTS_DEVMGR_SOCKET" --sink x11 \
    --display "$display" --log "$out/debug.log" --time-scale "$scale" &
pids+=($!)
for _ in $(seq 100); do
    [[ -S $OTS_DEVMGR_SOCKET ]] && break
    sleep 0.1
done

"$bin/calibdemo" --tspanel "$bin/tspanel" --display "$display" --socket "$OTS_DEVMGR_SOCKET" \
    --out "$out" --touches "$touches" --generations "$generations" --aim-error "$aim"
