#!/usr/bin/env bash
# What the studio clock costs: runs the console with a live stream twice, without and with
# --studio-clock, and reads the process's CPU time (user + system, /proc/PID/stat) over the
# same window of wall time each run; the clock lives in the console's process, so its cost is
# the difference. The clock run also names its busiest threads (/proc/PID/task), the GUI thread
# being the one that draws the clock and its ring pulse.
# Runs ROUNDS pairs, alternating, and prints for each "console_cpu_percent=N",
# "console_with_clock_cpu_percent=N" and "clock_cpu_percent=N" (percent of one core), then the
# clock's mean over the rounds. Fails when the console did not capture in a run, as the
# figures would not be the console's at work. Usage: bench/clock-cpu.sh [build-dir] [seconds] [rounds]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
secs=${2:-20}
rounds=${3:-3}

. "$top/bench/bench-env.sh"

StartXvfb 1400x800

sox -n -r 48000 -c 2 -b 16 "$runtime/tone.wav" synth $((rounds * (2 * secs + 10) + 30)) sine 1000 vol 0.1
paplay --latency-msec=20 "$runtime/tone.wav" &
pids+=($!)

hz=$(getconf CLK_TCK)
ticks() { awk '{print $14 + $15}' "$1"; }

# Runs the console with the given arguments and prints its CPU in percent of one core.
measure() {
  (cd "$build" && exec ./VelmoraPro -platform xcb "$@") >>"$runtime/console.log" 2>&1 &
  local console=$!
  pids+=($console)
  sleep 3 # start-up: windows built, capture started
  local t0 w0 t1 w1
  t0=$(ticks "/proc/$console/stat")
  # Threads come and go (each pause of the clock arms its sleep timer afresh): skip the gone.
  for t in /proc/$console/task/*; do echo "$(basename "$t") $(ticks "$t/stat" 2>/dev/null)"; done >"$runtime/tasks0"
  w0=$(date +%s.%N)
  sleep "$secs"
  t1=$(ticks "/proc/$console/stat")
  for t in /proc/$console/task/*; do
    echo "$(basename "$t") $(ticks "$t/stat" 2>/dev/null) $(cat "$t/comm" 2>/dev/null)"
  done >"$runtime/tasks1"
  w1=$(date +%s.%N)
  kill -0 "$console" || { echo "the console ended early" >&2; return 1; }
  # The console's capture stream on the server (the bench's own playback is a sink input).
  local streams
  streams=$(pactl list short source-outputs | wc -l)
  kill "$console"
  wait "$console" 2>/dev/null || true
  sleep 1 # the server lets the stream go
  if [ "$streams" -lt 1 ]; then
    echo "the console was not capturing at the end of the run" >&2
    return 1
  fi
  awk -v t0="$t0" -v t1="$t1" -v hz="$hz" -v w0="$w0" -v w1="$w1" \
    'BEGIN { printf "%.2f\n", 100 * (t1 - t0) / hz / (w1 - w0) }'
  # Threads that lived through the window, busiest first (the GUI thread's id is the process's).
  awk -v hz="$hz" -v secs="$secs" -v main="$console" 'NR == FNR { t0[$1] = $2; next }
    ($1 in t0) { d = $2 - t0[$1]; if (d > 0) printf "  thread %s%s (%s): %.2f%%\n", $1, ($1 == main ? " [GUI]" : ""), $3, 100 * d / hz / secs }' \
    "$runtime/tasks0" "$runtime/tasks1" | sort -t: -k2 -rn | head -n 4 >&2
}

total=0
for round in $(seq "$rounds"); do
  echo "round $round, console alone:" >&2
  alone=$(measure)
  echo "round $round, console with the studio clock:" >&2
  with=$(measure --studio-clock)
  echo "console_cpu_percent=$alone"
  echo "console_with_clock_cpu_percent=$with"
  clock=$(awk -v a="$alone" -v w="$with" 'BEGIN { printf "%.2f", w - a }')
  echo "clock_cpu_percent=$clock over $secs s each"
  total=$(awk -v t="$total" -v c="$clock" 'BEGIN { print t + c }')
done
awk -v t="$total" -v n="$rounds" 'BEGIN { printf "clock_cpu_percent_mean=%.2f over %d rounds\n", t / n, n }'
