#!/usr/bin/env bash
# The JACK input against a private `jackd -d dummy` (48 kHz unless given, 1024-frame periods):
# capture alone beside jack_rec recording the same two ports (bench_wavein's CPU figures), then
# the sound-to-screen latency of the PEAK bar through JACK (bench_latency jack) on a virtual X
# server.
# Usage: bench/jack-capture.sh [build-dir] [steps] [rate]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
steps=${2:-200}
rate=${3:-48000}

. "$top/bench/bench-env.sh"

export JACK_DEFAULT_SERVER="velmora-bench-$$" JACK_NO_START_SERVER=1
jackd -n "$JACK_DEFAULT_SERVER" -d dummy -r "$rate" -p 1024 >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do jack_lsp >/dev/null 2>&1 && break; sleep 0.1; done

echo "== capture alone, beside jack_rec"
"$build/bench/bench_wavein" --benchmark_filter=Jack 2>/dev/null |
  awk '/^BM_/ { line = $1; for (i = 2; i <= NF; i++) if ($i ~ /=/) line = line " " $i; print line }'
StartXvfb 1024x768
echo "== sound to screen"
"$build/bench/bench_latency" jack "$steps" 2> >(grep -v '^QStandardPaths' >&2)
