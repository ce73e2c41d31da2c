#!/usr/bin/env bash
# The wall page under a studio's load: 48 simulated stations publishing levels ten times a
# second (and loudness once a second) to a private Mosquitto, the page in headless Chromium
# (software rendering) on a 1920 x 1080 window. Measures
#   - Chromium's CPU for the page: its renderer and GPU processes, from /proc, in % of one core
#     (goal: at most 15 %);
#   - the delay from a levels message's publish (its "t") to the tile's repaint (the animation
#     frame that drew it), from the page's own timestamps: median and 99th percentile;
#   - the page's JS heap after a forced collection, sampled each minute: the last against the
#     first after the warm-up (goal: within 10 %).
# Usage: bench/wall-cpu.sh [SECONDS (default 1800)] [SCREENSHOT.png]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
export WALL_SECONDS="${1:-1800}" WALL_SHOT="${2:-}"
exec node "$top/bench/wall-cpu.js"
