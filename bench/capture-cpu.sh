#!/usr/bin/env bash
# Capture alone against arecord, through one private PulseAudio server (the "meter"
# null sink, its monitor ALSA's default source): runs bench_wavein's ALSA capture
# (48 kHz stereo 16-bit, 8192-byte buffers) beside arecord with the same format,
# first on an idle machine, then with a busy loop on every core. Prints the mean,
# median and spread over the repetitions of: CPU as % of one core and thread runs
# per second (capture, arecord_), buffer arrival spread, overruns and lost audio.
# Usage: bench/capture-cpu.sh [build-dir] [repetitions]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
reps=${2:-3}

. "$top/bench/bench-env.sh"

run() {
  echo "== $1"
  "$build/bench/bench_wavein" --benchmark_filter=Alsa --benchmark_repetitions="$reps" \
    --benchmark_report_aggregates_only=true 2>/dev/null |
    awk '/^BM_.*_(mean|median|stddev) / {
      sub(/.*real_time_/, "", $1); line = $1
      for (i = 2; i <= NF; i++) if ($i ~ /=/) line = line " " $i
      print line }'
}

run "idle machine"
for _ in $(seq "$(nproc)"); do
  bash -c 'while :; do :; done' &
  pids+=($!)
done
run "busy loop on each of $(nproc) cores"
