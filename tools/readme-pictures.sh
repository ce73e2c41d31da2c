#!/usr/bin/env bash
# Makes the README's pictures: the VU page, the "SPECTRUM" page and the set-up menu, each with
# the simulated stereo programme playing, cut to the console's window; and the PEAK bars on
# each standard's scale with the -20 dBFS line-up tone (aligned at -20 dBFS), cut to the bars.
# Usage: tools/readme-pictures.sh [BUILD_DIR]   (writes docs/*.png)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$build/VelmoraPro" "$build/VelmoraDef.ini" "$work/"
printf '[SoundCard]\nInputDevName=Simulated stereo programme\n' >"$work/VelmoraPro.ini"
mkdir -p "$top/docs"
for shot in console:vu-page spectrum:spectrum-page menu:set-up-menu; do
  "$top/tools/screenshot.sh" "$work/shot.png" "${shot%%:*}" "$work/VelmoraPro" --simulated-devices >/dev/null
  # screenshot.sh centres the 800 x 610 window on a 1024 x 768 screen.
  convert "$work/shot.png" -crop 800x610+112+79 +repage -strip -colors 256 "$top/docs/${shot##*:}.png"
done
for bars in BBC EBU DIN K-20 True-peak; do
  printf '[SoundCard]\nInputDevName=Simulated 1 kHz -20 dBFS\n[Standards]\nScale=Standard\nAlignDbfs=-20\nPeakBars=%s\n' \
    "${bars/-peak/ peak}" >"$work/VelmoraPro.ini"
  "$top/tools/screenshot.sh" "$work/shot.png" console "$work/VelmoraPro" --simulated-devices >/dev/null
  name=$(echo "$bars" | tr 'A-Z' 'a-z' | tr -d '-')
  convert "$work/shot.png" -crop 112x330+512+83 +repage -strip -colors 256 "$top/docs/peak-bars-$name.png"
done
ls -l "$top"/docs/*.png
