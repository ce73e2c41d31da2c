#!/usr/bin/env bash
# Starts a private PulseAudio server with a 48 kHz stereo null sink named "meter",
# whose monitor is the default source, so ALSA's "default" PCM captures what is
# played into the sink. Usage: pulse-server.sh start|stop.
# Its clients share memory as Debian's server does by default (memfd): without it, every
# block a client reads maps and unmaps the server's pool, which would make capture look
# three times dearer than it is.
# Needs XDG_RUNTIME_DIR set (the caller's, shared with the clients).
# start prints "PID KEEPALIVE_PID"; stop reads them back from $XDG_RUNTIME_DIR.
set -euo pipefail
: "${XDG_RUNTIME_DIR:?XDG_RUNTIME_DIR must be set}"
state="$XDG_RUNTIME_DIR/velmora-pulse.pids"

case "${1:-}" in
start)
  env -u DISPLAY pulseaudio --daemonize=no --system=no --exit-idle-time=-1 \
    --disallow-exit=yes -n \
    --load=module-native-protocol-unix \
    --load="module-null-sink sink_name=meter rate=48000 format=s16le channels=2" \
    >"$XDG_RUNTIME_DIR/pulse.log" 2>&1 &
  server=$!
  for _ in $(seq 100); do
    pactl info >/dev/null 2>&1 && break
    kill -0 "$server" 2>/dev/null || { cat "$XDG_RUNTIME_DIR/pulse.log" >&2; exit 1; }
    sleep 0.1
  done
  pactl set-default-sink meter
  pactl set-default-source meter.monitor
  # One stream always on the sink, or capture arrives late and in bursts.
  pacat --playback --raw --rate=48000 --channels=2 --format=s16le --latency-msec=20 /dev/zero &
  keep=$!
  echo "$server $keep" >"$state"
  echo "$server $keep"
  ;;
stop)
  if [ -f "$state" ]; then
    read -r server keep <"$state" || true
    kill "$keep" "$server" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$server" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$keep" "$server" 2>/dev/null || true
    rm -f "$state"
  fi
  ;;
*)
  echo "usage: $0 start|stop" >&2
  exit 2
  ;;
esac
