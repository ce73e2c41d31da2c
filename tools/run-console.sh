#!/usr/bin/env bash
# Installs what is missing, builds the console and starts it from its build folder,
# where its settings file and the defaults file live. Extra arguments go to the program.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
tools/bootstrap.sh
cmake -S . -B build -G Ninja
cmake --build build --target VelmoraPro
cd build
if [ -z "${DISPLAY:-}" ]; then
  echo "No DISPLAY: starting the console on a virtual X server (xvfb-run)." >&2
  exec xvfb-run -a -s "-screen 0 1024x768x24" ./VelmoraPro "$@"
fi
exec ./VelmoraPro "$@"
