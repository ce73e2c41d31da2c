#!/usr/bin/env bash
# Unpacks PipeWire's ALSA plugin (Debian's pipewire-alsa, at the installed PipeWire's version)
# into DIR and writes DIR/asound.conf, which defines the "pipewire" PCM on it. The package is not
# installed: it conflicts with PulseAudio and makes PipeWire the machine's ALSA default. Point a
# program at the file with ALSA_CONFIG_PATH=/usr/share/alsa/alsa.conf:DIR/asound.conf; "default"
# stays what it was. The package comes from apt's cache or, failing that, `apt-get download`.
# Usage: pipewire-alsa.sh DIR (prints the configuration file's path)
set -euo pipefail
dir=${1:?usage: $0 DIR}
conf="$dir/asound.conf"
if [ -f "$conf" ]; then
  echo "$conf"
  exit 0
fi
version=$(dpkg-query -W -f='${Version}' libpipewire-0.3-0)
arch=$(dpkg --print-architecture)
mkdir -p "$dir"
work=$(mktemp -d "$dir/.unpack.XXXXXX")
trap 'rm -rf "$work"' EXIT
deb="/var/cache/apt/archives/pipewire-alsa_${version//:/%3a}_$arch.deb"
if [ ! -f "$deb" ]; then
  (cd "$work" && apt-get download -q "pipewire-alsa=$version" >&2)
  deb=$(ls "$work"/pipewire-alsa_*.deb)
fi
dpkg-deb -x "$deb" "$work/root"
lib=$(dirname "$(find "$work/root" -name libasound_module_pcm_pipewire.so)")
rm -rf "$dir/root"
mv "$work/root" "$dir/root"
lib="$dir/root${lib#"$work/root"}"
cat >"$work/asound.conf" <<CONF
pcm_type.pipewire { lib "$lib/libasound_module_pcm_pipewire.so" }
ctl_type.pipewire { lib "$lib/libasound_module_ctl_pipewire.so" }
<$dir/root/usr/share/alsa/alsa.conf.d/50-pipewire.conf>
CONF
mv "$work/asound.conf" "$conf"
echo "$conf"
