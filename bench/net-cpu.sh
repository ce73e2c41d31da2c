#!/usr/bin/env bash
# What the network feed costs, measured against a private Mosquitto on a free loopback port,
# every console on the simulated stereo programme (no sound card needed):
#  1. the windowed console's CPU (user + system, % of one core) publishing at 10 Hz against
#     the same console not publishing, taking turns, median of REPEATS;
#  2. the headless console's CPU against the windowed one's, both publishing, median of REPEATS;
#  3. 50 headless consoles publishing at 10 Hz into the one broker: the broker's CPU, and how
#     late their level messages reach a subscriber (arrival less the message's "t", which is
#     when the console took the snapshot; a block waits at most one tick, 100 ms, for it).
# Usage: bench/net-cpu.sh [build-dir] [seconds] [repeats] [consoles]   (defaults: build 10 5 50)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
secs=${2:-10}
repeats=${3:-5}
consoles=${4:-50}

. "$top/bench/bench-env.sh"
StartXvfb 1024x768

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
user=$([ "$(id -u)" = 0 ] && echo root || id -un)
printf 'user %s\npersistence false\nlistener %s 127.0.0.1\nallow_anonymous true\nmax_queued_messages 10000\n' \
  "$user" "$port" >"$runtime/mosquitto.conf"
mosquitto -c "$runtime/mosquitto.conf" >"$runtime/mosquitto.log" 2>&1 &
broker=$!
pids+=($broker)
for _ in $(seq 50); do (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break; sleep 0.1; done
url="mqtt://127.0.0.1:$port"

# Each console runs from a folder of its own, so no saved settings of the build folder count.
cp "$build/VelmoraPro" "$build/VelmoraDef.ini" "$runtime/"
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
hz=$(getconf CLK_TCK)

# Runs the console with the arguments given for $secs seconds (after 3 s of start-up) and
# prints its CPU in % of one core.
cpu_of() {
  (cd "$runtime" && exec ./VelmoraPro -platform xcb --simulated-devices --device "Simulated stereo programme" "$@") >/dev/null 2>&1 &
  local console=$!
  pids+=($console)
  sleep 3
  local before after
  before=$(ticks "$console")
  sleep "$secs"
  after=$(ticks "$console")
  kill "$console"
  wait "$console" 2>/dev/null || true
  awk -v d=$((after - before)) -v s="$secs" -v hz="$hz" 'BEGIN { printf "%.2f", 100 * d / hz / s }'
}
median() { tr ' ' '\n' | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

on=() off=()
[ "$repeats" -gt 0 ] || echo "repeats=0: only the rack of $consoles consoles"
for i in $(seq "$repeats"); do
  on+=("$(cpu_of --publish "$url" --station "bench-$i")")
  off+=("$(cpu_of)")
done
if [ "$repeats" -gt 0 ]; then
  m_on=$(echo "${on[*]}" | median) m_off=$(echo "${off[*]}" | median)
  echo "windowed publishing_10hz_cpu_percent=${on[*]} median=$m_on"
  echo "windowed not_publishing_cpu_percent=${off[*]} median=$m_off"
  awk -v a="$m_on" -v b="$m_off" 'BEGIN { printf "publishing_costs_points_of_a_core=%.2f (target <= 0.20)\n", a - b }'
fi

headless=() windowed=()
for i in $(seq "$repeats"); do
  headless+=("$(cpu_of --headless --publish "$url" --station "bench-h$i")")
  windowed+=("$(cpu_of --publish "$url" --station "bench-w$i")")
done
if [ "$repeats" -gt 0 ]; then
  echo "headless_cpu_percent=${headless[*]} median=$(echo "${headless[*]}" | median)"
  echo "windowed_cpu_percent=${windowed[*]} median=$(echo "${windowed[*]}" | median)"
fi

rack=()
for i in $(seq "$consoles"); do
  # Without the sound server: fifty clients probing it at once can make the list of inputs
  # differ between two enumerations, and the simulated input is all they capture.
  (cd "$runtime" && PULSE_SERVER=unix:/nonexistent exec ./VelmoraPro --headless --simulated-devices \
    --device "Simulated stereo programme" --publish "$url" --station "rack-$i") \
    >"$runtime/rack-$i.log" 2>&1 &
  rack+=($!)
  pids+=($!)
done
sleep 5
# A console that ended says why; the rest are counted.
rack_ticks() {
  local sum=0 i=0
  for p in "${rack[@]}"; do
    i=$((i + 1))
    if [ -r "/proc/$p/stat" ]; then
      sum=$((sum + $(ticks "$p")))
    else
      echo "rack-$i ended: $(cat "$runtime/rack-$i.log")" >&2
    fi
  done
  echo "$sum"
}
before=$(ticks "$broker") rack_before=$(rack_ticks)
"$build/bench/bench_mqttlatency" "$port" "$secs"
after=$(ticks "$broker") rack_after=$(rack_ticks)
awk -v d=$((after - before)) -v r=$((rack_after - rack_before)) -v s="$secs" -v hz="$hz" -v n="$consoles" \
  'BEGIN { printf "broker_cpu_percent_with_%d_consoles=%.2f headless_console_cpu_percent_each=%.2f\n",
           n, 100 * d / hz / s, 100 * r / hz / s / n }'
kill "${rack[@]}" 2>/dev/null || true
wait "${rack[@]}" 2>/dev/null || true
