#!/usr/bin/env bash
# Sound-to-screen latency of the console's PEAK bar (bench_latency): on the simulated driver,
# and through ALSA from a private PulseAudio server (the "meter" null sink's monitor), with the
# console on a virtual X server. Prints per path the median, 90th percentile and worst delay
# from the driver's hand-over of the buffer holding a step to the bar showing it on the screen.
# Usage: bench/latency.sh [build-dir] [steps] [sim|alsa|both]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
steps=${2:-200}
paths=${3:-both}
case "$paths" in
sim | alsa) ;;
both) paths="sim alsa" ;;
*)
  echo "usage: $0 [build-dir] [steps] [sim|alsa|both]" >&2
  exit 2
  ;;
esac

. "$top/bench/bench-env.sh"

StartXvfb 1024x768
status=0
for path in $paths; do
  "$build/bench/bench_latency" "$path" "$steps" 2> >(grep -v '^QStandardPaths' >&2) || status=1
done
exit $status
