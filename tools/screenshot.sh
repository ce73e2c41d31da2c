#!/usr/bin/env bash
# Takes a screenshot of the console on a private virtual X server.
# Usage: tools/screenshot.sh OUT.png [console|menu|shutdown|upper|spectrum|loudness] [PROGRAM [ARGUMENTS...]]
#   console   the console as it starts (default)
#   menu      with the set-up menu opened (a click on the artwork at the lower right)
#   shutdown  with the menu's shutdown question showing
#   upper     in the other layout (VU section on top), chosen in the menu, menu closed again
#   spectrum  with the "SPECTRUM" page shown in place of the VU meters
#   loudness  with the "LOUDNESS" page shown after 20 seconds of metering
# PROGRAM defaults to build/VelmoraPro; it is started from its own folder, as `make run` does.
# ARGUMENTS go to the program, e.g. --simulated-devices on a machine without a sound card,
# where the error box of the failed capture start would otherwise hold the window.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:?usage: $0 OUT.png [console|menu|shutdown|upper|spectrum|loudness] [PROGRAM]}")
mode=${2:-console}
program=$(realpath "${3:-$top/build/VelmoraPro}")
shift $(($# < 3 ? $# : 3))

n=70
while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb=$!
app=""
cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
export DISPLAY=":$n"
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

(cd "$(dirname "$program")" && exec "$program" -platform xcb "$@") >/dev/null 2>&1 &
app=$!
for _ in $(seq 100); do
  xdotool search --name '^Sound Tikkora Meter$' >/dev/null 2>&1 && break
  sleep 0.1
done
sleep 1

# The window is centred; clicks are given in window coordinates.
click() {
  local win
  win=$(xdotool search --name '^Sound Tikkora Meter$' | head -n 1)
  xdotool mousemove --window "$win" "$1" "$2" click 1
  sleep 0.5
}
case "$mode" in
console) ;;
menu) click 720 275 ;;
spectrum) click 755 347 ;;
loudness)
  click 609 347
  sleep 20
  ;;
shutdown)
  click 720 275
  click 495 402
  sleep 0.5
  ;;
upper)
  click 720 275
  click 421 220
  click 495 274
  ;;
*)
  echo "unknown mode: $mode" >&2
  exit 2
  ;;
esac

import -window root "$out"
echo "$out"
