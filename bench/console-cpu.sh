#!/usr/bin/env bash
# The console's CPU with a live stream: starts a private PulseAudio server (the
# "meter" null sink, its monitor the default ALSA source), plays a 1 kHz tone into
# it, starts the built console on a virtual X server and reads the console's CPU
# time (user + system, /proc/PID/stat) over a window of wall time.
# Prints "cpu_percent_of_one_core=N" and the number of capture streams the server saw. Usage: bench/console-cpu.sh [build-dir] [seconds]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
secs=${2:-10}

runtime=$(mktemp -d)
export XDG_RUNTIME_DIR="$runtime"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  "$top/tools/pulse-server.sh" stop || true
  rm -rf "$runtime"
}
trap cleanup EXIT

"$top/tools/pulse-server.sh" start >/dev/null

n=95
while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=":$n"
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

sox -n -r 48000 -c 2 -b 16 "$runtime/tone.wav" synth $((secs + 15)) sine 1000 vol 0.1
paplay --latency-msec=20 "$runtime/tone.wav" &
pids+=($!)

cd "$build"
./VelmoraPro >"$runtime/console.log" 2>&1 &
console=$!
pids+=($console)
sleep 3 # start-up: windows built, capture started

cpu() { awk '{print $14 + $15}' "/proc/$console/stat"; }
hz=$(getconf CLK_TCK)
t0=$(cpu)
w0=$(date +%s.%N)
sleep "$secs"
t1=$(cpu)
w1=$(date +%s.%N)
kill -0 "$console" # still running
# The console's capture stream on the server (the test's own playback is a sink input).
echo "capture_streams=$(pactl list short source-outputs | wc -l)"
awk -v t0="$t0" -v t1="$t1" -v hz="$hz" -v w0="$w0" -v w1="$w1" \
  'BEGIN { printf "cpu_percent_of_one_core=%.2f over %.1f s\n", 100 * (t1 - t0) / hz / (w1 - w0), w1 - w0 }'
