#!/usr/bin/env bash
# The file mode on a long programme: makes a stereo 48 kHz 16-bit WAV of the given minutes
# (default 60: 660 MiB) with sox, runs `VelmoraPro --loudness` on it and prints the wall time,
# the CPU time and the peak resident memory. The memory shows that the file is streamed: it
# stays the same for a file of minutes as for one of hours.
# Usage: bench/loudness-file.sh [build-dir] [minutes]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
minutes=${2:-60}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

sox -D -n -r 48000 -c 2 -b 16 "$work/programme.wav" synth "$((minutes * 60))" pinknoise tremolo 0.3 90 gain -n -20
echo "file_mib=$(($(stat -c %s "$work/programme.wav") / 1048576))"
/usr/bin/time -f "wall_s=%e cpu_user_s=%U cpu_sys_s=%S peak_rss_kb=%M" \
  "$build/VelmoraPro" --loudness "$work/programme.wav"
