#!/usr/bin/env bash
# Generates the LED digit, sign and mode strips into resources/led/ and their
# resource list resources/led.qrc (the files are committed). The drawing is in
# tools/led/LEDStripArt.h, the sizes in widgets/MMLEDLaws.cpp.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# shellcheck disable=SC2046
g++ -std=c++20 -O1 -fPIC -Wall -Wextra -Werror -I"$top" $(pkg-config --cflags Qt6Core) \
  "$top/tools/make-led-strips.cpp" "$top/widgets/MMLEDLaws.cpp" \
  $(pkg-config --libs Qt6Core) -o "$work/make-led-strips"
mkdir -p "$top/resources/led"
"$work/make-led-strips" "$top/resources"
