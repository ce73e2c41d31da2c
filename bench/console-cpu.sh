#!/usr/bin/env bash
# The console's CPU and memory with a live stream: starts a private PulseAudio server (the
# "meter" null sink, its monitor the default ALSA source), plays a 1 kHz tone at -20 dBFS into
# it, starts the built console on a virtual X server and reads the console's CPU time (user +
# system, /proc/PID/stat) over a window of wall time, and its own memory (RssAnon, the
# anonymous resident pages: heap and stacks, not the shared libraries) at the end.
# With a second build folder, the same is measured for that build's console right after, so
# two builds (e.g. one without the displays) stand side by side under the same stream.
# Prints per console "cpu_percent_of_one_core=N", "rss_anon_kb=N", the X server's CPU
# meanwhile, the number of capture streams the server saw, CPU and context switches per
# thread, and presents per second per instrument with the thousands of pixels a second they
# asked for (the console's "velmora.presents" log).
# Usage: bench/console-cpu.sh [build-dir] [seconds] [baseline-build-dir]
# VELMORA_REPEATS=N measures each build N times, taking turns, and prints the median.
# Environment: VELMORA_SIGNAL=music plays pink noise swelling three times a second on two
# independent channels (the goniometer's worst case: its dots fill the square) instead of the
# tone; VELMORA_SIGNAL=programme plays a stereo programme at studio level (peaks at -12 dBFS,
# about 0 VU): tools/soak.sh's pink noise swelling every three seconds under a swept tone,
# both channels alike, with independent noise 6 dB down on each channel for width (the
# side signal about 11 dB under the mid); VELMORA_PAGE=spectrum (or loudness) shows the
# "SPECTRUM" ("LOUDNESS") page (a click on its page button) before measuring;
# VELMORA_BASELINE_ENV="NAME=VALUE ..." starts the baseline's console with these variables, so
# one build is weighed against itself, e.g. VELMORA_BASELINE_ENV=VELMORA_LOUDNESS=off with the
# build given twice measures what the loudness measurement adds; VELMORA_MINIMISED=1 unmaps
# the console's window before measuring, as a window manager does when it minimises one;
# VELMORA_PERF=FILE records a perf profile (see below), split by instrument
# (bench/profile-split.sh) with whole stacks; VELMORA_DISPLAY=wayland runs the console on a
# headless Weston (pixman renderer, Qt's "wayland" platform) instead of the virtual X server,
# VELMORA_DISPLAY=both on each in turn (labels x11 and wayland), the compositor's CPU (Weston
# and its shell's) counted as the X server's is. On Weston nothing clicks or minimises: only the
# VU page is measured there.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
secs=${2:-10}
baseline=${3:+$(cd "$3" && pwd)}

. "$top/bench/bench-env.sh"

displays=${VELMORA_DISPLAY:-x11}
[ "$displays" = both ] && displays="x11 wayland"
case " $displays " in *" x11 "*) StartXvfb 1024x768 ;; esac
case " $displays " in *" wayland "*) StartWeston 1024x768 ;; esac

repeats=${VELMORA_REPEATS:-1}
runs=$repeats
[ -n "$baseline" ] && runs=$((2 * repeats))
length=$((runs * (secs + 5) + 10))
if [ "${VELMORA_SIGNAL:-tone}" = music ]; then
  sox -n -r 48000 -c 2 -b 16 "$runtime/tone.wav" synth "$length" pinknoise pinknoise vol 0.5 tremolo 3 90
elif [ "${VELMORA_SIGNAL:-tone}" = programme ]; then
  sox -D -n -r 48000 -c 2 -b 16 "$runtime/noise.wav" synth "$length" pinknoise tremolo 0.3 90
  sox -D -n -r 48000 -c 2 -b 16 "$runtime/sweep.wav" synth "$length" sine 220:880 tremolo 3 60
  sox -D -n -r 48000 -c 2 -b 16 "$runtime/width.wav" synth "$length" pinknoise pinknoise vol 0.5
  sox -D -m "$runtime/noise.wav" "$runtime/sweep.wav" "$runtime/width.wav" "$runtime/tone.wav" gain -n -12
else
  sox -n -r 48000 -c 2 -b 16 "$runtime/tone.wav" synth "$length" sine 1000 vol 0.1
fi
paplay --latency-msec=20 "$runtime/tone.wav" &
pids+=($!)

# The CPU ticks of the display server of $1 (x11 or wayland): the X server, or Weston with its
# children (the shell and its panel).
display_ticks() {
  if [ "$1" = wayland ]; then
    local p sum=0
    for p in "$compositor" $(pgrep -P "$compositor"); do
      sum=$((sum + $(awk '{print $14 + $15}' "/proc/$p/stat" 2>/dev/null || echo 0)))
    done
    echo "$sum"
  else
    awk '{print $14 + $15}' "/proc/$xserver/stat"
  fi
}

# Runs the console of build folder $1 for $secs seconds on display $3 (x11 or wayland) and
# prints its figures, labelled $2.
measure() {
  local dir=$1 label=$2 display=${3:-x11}
  local extra=()
  if [ "${label%-*}" = baseline ] && [ -n "${VELMORA_BASELINE_ENV:-}" ]; then read -ra extra <<<"$VELMORA_BASELINE_ENV"; fi
  if [ "$display" = wayland ]; then
    extra+=(QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY="$wayland_socket")
    if [ "${VELMORA_PAGE:-vu}" != vu ] || [ -n "${VELMORA_MINIMISED:-}" ]; then
      echo "[$label] only the VU page, shown, is measured on Weston" >&2
      return 1
    fi
  fi
  (cd "$dir" && exec env "${extra[@]}" QT_LOGGING_RULES=velmora.presents.debug=true ./VelmoraPro) >"$runtime/console-$label.log" 2>&1 &
  local console=$!
  pids+=($console)
  sleep 3 # start-up: windows built, capture started
  if [ "$display" = x11 ]; then
    local win
    win=$(xdotool search --name '^Sound Tikkora Meter$' | head -n 1)
    if [ "${VELMORA_PAGE:-vu}" = spectrum ]; then
      xdotool mousemove --window "$win" 755 347 click 1
      sleep 1
    elif [ "${VELMORA_PAGE:-vu}" = loudness ]; then
      xdotool mousemove --window "$win" 609 347 click 1
      sleep 1
    fi
    if [ -n "${VELMORA_MINIMISED:-}" ]; then
      # What a window manager does to a window it minimises.
      xdotool windowunmap "$win"
      sleep 1
    fi
  fi

  cpu() { awk '{print $14 + $15}' "/proc/${1:-$console}/stat"; }
  # Per thread: tid, name, voluntary + involuntary context switches, CPU ticks.
  threads() {
    local t
    for t in /proc/"$console"/task/*; do
      echo "$(basename "$t") $(tr ' ' _ <"$t/comm") $(awk '/ctxt_switches/ {s += $2} END {print s}' "$t/status") $(awk '{print $14 + $15}' "$t/stat") $(awk '/^voluntary_ctxt_switches/ {print $2}' "$t/status")"
    done 2>/dev/null | sort
  }
  local hz t0 t1 w0 w1 rss
  hz=$(getconf CLK_TCK)
  threads >"$runtime/threads0-$label"
  t0=$(cpu)
  x0=$(display_ticks "$display")
  w0=$(date +%s.%N)
  if [ -n "${VELMORA_PERF:-}" ]; then
    # Where the time goes: perf samples of the console, written to $VELMORA_PERF.$label
    # (VELMORA_PERF_FREQ samples a second, VELMORA_PERF_CALLGRAPH e.g. dwarf for whole stacks).
    local graph=(-g)
    [ -n "${VELMORA_PERF_CALLGRAPH:-}" ] && graph=(--call-graph "$VELMORA_PERF_CALLGRAPH")
    perf record -q -F "${VELMORA_PERF_FREQ:-4000}" "${graph[@]}" -p "$console" -o "$VELMORA_PERF.$label" -- sleep "$secs" >/dev/null 2>&1
    # Whole stacks tell the instruments apart.
    [ "${VELMORA_PERF_CALLGRAPH:-}" = dwarf ] &&
      "$top/bench/profile-split.sh" "$VELMORA_PERF.$label" "${VELMORA_PERF_FREQ:-4000}" "$secs" | sed "s/^/[$label] split /"
  else
    sleep "$secs"
  fi
  t1=$(cpu)
  x1=$(display_ticks "$display")
  w1=$(date +%s.%N)
  threads >"$runtime/threads1-$label"
  kill -0 "$console" # still running
  rss=$(awk '/^RssAnon:/ {print $2}' "/proc/$console/status")
  echo "[$label] $dir/VelmoraPro"
  # The console's capture stream on the server (the test's own playback is a sink input).
  echo "[$label] capture_streams=$(pactl list short source-outputs | wc -l)"
  awk -v t0="$t0" -v t1="$t1" -v hz="$hz" -v w0="$w0" -v w1="$w1" -v label="$label" \
    'BEGIN { printf "[%s] cpu_percent_of_one_core=%.2f over %.1f s\n", label, 100 * (t1 - t0) / hz / (w1 - w0), w1 - w0 }'
  echo "[$label] rss_anon_kb=$rss"
  # What putting the console's pictures on the screen costs the X server (or the compositor).
  awk -v x0="$x0" -v x1="$x1" -v t0="$t0" -v t1="$t1" -v hz="$hz" -v w0="$w0" -v w1="$w1" -v label="$label" \
    'BEGIN { printf "[%s] xserver_cpu_percent_of_one_core=%.2f\n", label, 100 * (x1 - x0) / hz / (w1 - w0)
             printf "[%s] with_display_cpu_percent_of_one_core=%.2f\n", label, 100 * (t1 - t0 + x1 - x0) / hz / (w1 - w0) }'
  # Where the CPU goes by thread, how often each thread is switched in, and how often it
  # wakes from a sleep of its own (voluntary switches).
  join "$runtime/threads0-$label" "$runtime/threads1-$label" |
    awk -v hz="$hz" -v w="$(echo "$w1 - $w0" | bc)" -v label="$label" \
      '{ printf "[%s]   thread %-16s cpu%%=%5.2f switches/s=%6.0f wakes/s=%6.0f\n", label, $2, 100 * ($8 - $4) / hz / w, ($7 - $3) / w, ($9 - $5) / w }'

  # Presents per second of each instrument, and the thousands of pixels a second they asked
  # for, over the last ten seconds the console logged (one line each per ten seconds; an
  # instrument not presented in them is not listed).
  local what
  for what in 'presents/s' 'present kpx/s'; do
    awk -v what="$what" 'index($0, what " ") { last = substr($0, index($0, what " ") + length(what) + 1) } END { n = split(last, f, " "); for (i = 1; i < n; i += 2) printf "[%s]   %s %-14s %6.1f\n", label, what, f[i], f[i + 1] }' \
      label="$label" "$runtime/console-$label.log" | sort
  done
  kill "$console"
  wait "$console" 2>/dev/null || true
}

# Each build's runs take turns, so a change in the machine's load weighs on both alike.
# One display keeps the labels console and baseline; with two, the display is the label
# (baseline-x11, baseline-wayland for the baseline).
labels=()
for _ in $(seq "$repeats"); do
  : >"$runtime/one"
  for d in $displays; do
    [ "$displays" = "$d" ] && suffix="" || suffix=$d
    measure "$build" "${suffix:-console}" "$d" >>"$runtime/one"
    [ -n "$baseline" ] && measure "$baseline" "baseline${suffix:+-$suffix}" "$d" >>"$runtime/one"
    labels+=("${suffix:-console}" ${baseline:+"baseline${suffix:+-$suffix}"})
  done
  tee -a "$runtime/all" <"$runtime/one"
done
if [ "$repeats" -gt 1 ]; then
  for label in $(printf '%s\n' "${labels[@]}" | awk '!seen[$0]++'); do
    for figure in cpu_percent_of_one_core with_display_cpu_percent_of_one_core rss_anon_kb; do
      sed -n "s/^\[$label\] $figure=\([0-9.]*\).*/\1/p" "$runtime/all" | sort -n |
        awk -v label="$label" -v figure="$figure" '{ v[NR] = $1 } END { printf "[%s] median %s=%.2f of %d runs:", label, figure, v[int((NR + 1) / 2)], NR; for (i = 1; i <= NR; i++) printf " %.2f", v[i]; print "" }'
    done
  done
fi
exit 0
