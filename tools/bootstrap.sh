#!/usr/bin/env bash
# Installs what building, running and testing the console needs on Debian 12.
# Idempotent: does nothing when every package is already present.
set -euo pipefail

PACKAGES=(
  g++ cmake ninja-build pkg-config ccache clang-format
  qt6-base-dev libasound2-dev libasound2-plugins libxcb1-dev libxcb-shm0-dev libjpeg-dev
  libgtest-dev libgmock-dev libbenchmark-dev libfftw3-dev libkissfft-dev
  libebur128-dev libsndfile1-dev libjack-jackd2-dev libsamplerate0-dev libmosquitto-dev
  pulseaudio pulseaudio-utils alsa-utils sox jackd2 mosquitto
  xvfb x11-utils xauth imagemagick xdotool
  fonts-ipafont-gothic fonts-liberation
  # The fuzz programs' compiler and its fuzzer runtime (tools/build-fuzz.sh).
  clang libclang-rt-14-dev
  # The wall page's tests (Node runs them); a private PipeWire and Weston for the desktop tests.
  # (pipewire-alsa is not installed: it conflicts with pulseaudio, which the capture tests run.)
  chromium chromium-driver nodejs pipewire pipewire-bin wireplumber pipewire-jack weston qt6-wayland
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
# jackd2 asks whether to allow real-time priority; the tests' servers need none.
echo "jackd2 jackd/tweak_rt_limits boolean false" | $SUDO debconf-set-selections
$SUDO apt-get update -o DPkg::Lock::Timeout=600
$SUDO apt-get install -y --no-install-recommends -o DPkg::Lock::Timeout=600 "${missing[@]}"
