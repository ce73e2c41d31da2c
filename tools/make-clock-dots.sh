#!/usr/bin/env bash
# Generates the studio clock's four second-dot pictures (25 x 17 JPEG: white, blue, yellow,
# red) into resources/clock/ and their resource list resources/clock.qrc (the files are
# committed). Each is a round lamp, 9 pixels across, centred 4 pixels in from the picture's
# top-left corner, which the ring places on its circle; so the lamps circle the pulse's centre.
# The rest is the clock's background grey, which the clock keys out: neighbouring pictures
# overlap, the lamps do not. Needs ImageMagick (installed by tools/bootstrap.sh).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out="$top/resources/clock"
mkdir -p "$out"

# name, lamp colour, rim colour
dot() {
  convert -size 25x17 xc:'#4a4d4a' \
    -fill "$2" -stroke "$3" -strokewidth 1 -draw 'circle 4,4 4,0' \
    -fill '#ffffffa0' -stroke none -draw 'point 3,3' \
    -strip -sampling-factor 1x1 -quality 95 "JPEG:$out/$1.jpg"
}
dot Geo_small_white '#f2f2f2' '#9a9a9a'
dot Geo_small_blue '#3a5cff' '#1a2a8a'
dot Geo_small_yellow '#ffd21f' '#9a7a00'
dot Geo_small_red '#ff2a2a' '#8a0a0a'

cat >"$top/resources/clock.qrc" <<'QRC'
<RCC>
  <qresource prefix="/clock">
    <file alias="Geo_small_white.jpg">clock/Geo_small_white.jpg</file>
    <file alias="Geo_small_blue.jpg">clock/Geo_small_blue.jpg</file>
    <file alias="Geo_small_yellow.jpg">clock/Geo_small_yellow.jpg</file>
    <file alias="Geo_small_red.jpg">clock/Geo_small_red.jpg</file>
  </qresource>
</RCC>
QRC
