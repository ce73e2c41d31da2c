# Sourced by the benchmark scripts: a private PulseAudio server in its own runtime
# folder, stopped with everything in `pids` when the script ends, and
# StartXvfb WxH for a virtual X server (on the first free display from XVFB_FIRST, default
# 95; its process id in `xserver`), StartWeston WxH for a headless Weston with the pixman
# renderer on a socket in the runtime folder (its name in `wayland_socket`, its process id in
# `compositor`). Needs `top` set to the project folder.
runtime=$(mktemp -d)
export XDG_RUNTIME_DIR="$runtime"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  "$top/tools/pulse-server.sh" stop || true
  rm -rf "$runtime"
}
trap cleanup EXIT

"$top/tools/pulse-server.sh" start >/dev/null

StartXvfb() {
  local n=${XVFB_FIRST:-95}
  while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 "$1x24" -nolisten tcp -noreset >/dev/null 2>&1 &
  xserver=$!
  pids+=($xserver)
  export DISPLAY=":$n"
  for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
}

StartWeston() {
  wayland_socket=velmora-bench-$$
  weston -B headless-backend.so --use-pixman --width="${1%x*}" --height="${1#*x}" \
    --socket="$wayland_socket" --idle-time=0 >"$runtime/weston.log" 2>&1 &
  compositor=$!
  pids+=($compositor)
  for _ in $(seq 100); do [ -S "$runtime/$wayland_socket" ] && break; sleep 0.1; done
  sleep 1 # its shell client starts after the socket
}
