#!/usr/bin/env bash
# Generates the main window's artwork into resources/mainwindow/ (the files are committed):
# the product picture (Image2), the set-up picture that opens the menu (Image1) and the three
# VU faces (417 x 258, 24 bits per pixel) on which the needle meters draw their scales.
# Needs ImageMagick and fonts-liberation (both installed by tools/bootstrap.sh).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out="$top/resources/mainwindow"
mkdir -p "$out"
bold=/usr/share/fonts/truetype/liberation/LiberationSans-Bold.ttf
regular=/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf

# Product picture: name plate with a stylised level trace.
convert -size 148x64 gradient:'#2b2f2b-#121412' \
  -fill none -stroke '#3fd03f' -strokewidth 2 \
  -draw "polyline 8,55 20,55 25,49 31,60 37,45 43,58 49,52 55,55 140,55" \
  -stroke none -fill '#e8e8e8' -font "$bold" -pointsize 19 -annotate +8+24 'VelmoraPro' \
  -fill '#9a9a9a' -font "$regular" -pointsize 9 -annotate +10+38 'DIGITAL AUDIO METER' \
  -define png:color-type=2 "PNG24:$out/Image2.png"

# Set-up picture: a click on it opens and closes the menu.
convert -size 130x55 gradient:'#3a3f3a-#1a1c1a' \
  -fill none -stroke '#6a6f6a' -strokewidth 1 -draw 'roundrectangle 1,1 128,53 6,6' \
  -stroke none -fill '#ffcc33' -font "$bold" -pointsize 14 -annotate +10+22 'Sound Tikkora' \
  -fill '#d0d0d0' -font "$regular" -pointsize 10 -annotate +10+40 'SET UP  >>' \
  -define png:color-type=2 "PNG24:$out/Image1.png"

# VU faces: a lit, slightly curved field, brighter near the scale arc.
face() {
  convert -size 417x258 radial-gradient:"$2"-"$3" -gravity north -crop 417x258+0+0 +repage \
    -fill none -stroke "$4" -strokewidth 1 -draw 'rectangle 0,0 416,257' \
    -define png:color-type=2 "PNG24:$out/$1"
}
face FaceBlue.png '#d6e8ff' '#3b6fb6' '#1d3f73'
face FaceOrange.png '#fff1d0' '#e8922a' '#8a4a0c'
face FaceThird.png '#fffdf0' '#d8cf9c' '#7a704a'

cat >"$top/resources/mainwindow.qrc" <<'QRC'
<RCC>
  <qresource prefix="/mainwindow">
    <file alias="Image1.png">mainwindow/Image1.png</file>
    <file alias="Image2.png">mainwindow/Image2.png</file>
    <file alias="FaceBlue.png">mainwindow/FaceBlue.png</file>
    <file alias="FaceOrange.png">mainwindow/FaceOrange.png</file>
    <file alias="FaceThird.png">mainwindow/FaceThird.png</file>
  </qresource>
</RCC>
QRC
