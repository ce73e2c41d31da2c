#!/usr/bin/env bash
# A long run of the built console, watched minute by minute (not part of CI).
#
# The console (build/VelmoraPro, started from a folder of its own with a settings file made
# for the run) captures either
#   sim    the simulated counting device (--simulated-devices), or
#   pulse  ALSA's "default" from a private PulseAudio server, into whose sink a music-like
#          programme made by sox plays in a loop,
# on a virtual X server, while bench_soak-chain builds the same console on the simulated
# counting device in a process of its own and checks that every buffer continues the count
# of the one before, at the end of the chain and at the connector's displays.
# Every minute: the console's RssAnon (heap and stacks), its CPU over the minute (% of one
# core), any window on the screen that is not the console's (an error box), and the checker's
# counts so far. Then a verdict: RSS growth after the warm-up below 1 MiB, the count never
# broken, no error box, the console alive, and no minute's CPU above 1.5 x the median.
#
# Usage: tools/soak.sh [-m MINUTES] [-b BUILD_DIR] [sim|pulse|both]   (60 minutes, sim)
# Needs the targets VelmoraPro and bench_soak-chain built. XVFB_FIRST picks the first display
# number tried. Exit status 0 only when every mode run passed.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
minutes=60
build=$top/build
while getopts "m:b:" opt; do
  case $opt in
  m) minutes=$OPTARG ;;
  b) build=$OPTARG ;;
  *)
    echo "usage: $0 [-m MINUTES] [-b BUILD_DIR] [sim|pulse|both]" >&2
    exit 2
    ;;
  esac
done
shift $((OPTIND - 1))
modes=${1:-sim}
[ "$modes" = both ] && modes="sim pulse"
for mode in $modes; do
  case $mode in
  sim | pulse) ;;
  *)
    echo "unknown mode: $mode (sim, pulse or both)" >&2
    exit 2
    ;;
  esac
done
build=$(cd "$build" && pwd)
checker=$build/bench/bench_soak-chain
for f in "$build/VelmoraPro" "$checker"; do
  [ -x "$f" ] || {
    echo "missing $f: build the targets VelmoraPro and bench_soak-chain" >&2
    exit 2
  }
done
[ "$minutes" -ge 1 ] 2>/dev/null || {
  echo "minutes must be a whole number of at least 1" >&2
  exit 2
}

. "$top/bench/bench-env.sh"
StartXvfb 1024x768

hz=$(getconf CLK_TCK)
# The console's own windows; any other window shown on the display is an error box.
own_windows='^(Sound Tikkora Meter|MeterPanel|WatchFrm)$'

# The titles of the shown top-level windows that are not the console's, one a line.
StrayWindows() {
  local id name
  xwininfo -root -children 2>/dev/null | sed -n 's/^ *\(0x[0-9a-f]*\) \(.*\): (.*/\1 \2/p' |
    while read -r id name; do
      xwininfo -id "$id" 2>/dev/null | grep -q 'Map State: IsViewable' || continue
      name=${name#\"}
      name=${name%\"}
      [[ $name =~ $own_windows ]] || echo "$name"
    done
}

CpuTicks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
RssKb() { awk '/^RssAnon:/ {print $2}' "/proc/$1/status"; }
# A field of the checker's latest minute line (0 before the first).
Count() { { grep '^minute=' "$1" || true; } | tail -n 1 | grep -o "$2=[0-9]*" | cut -d= -f2 | grep . || echo 0; }

# The music-like programme: pink noise rising and falling in phrases, with a gliding tone.
MakeProgramme() {
  sox -D -n -r 48000 -c 2 -b 16 "$runtime/noise.wav" synth 30 pinknoise tremolo 0.3 90
  sox -D -n -r 48000 -c 2 -b 16 "$runtime/tone.wav" synth 30 sine 220:880 tremolo 3 60
  sox -D -m "$runtime/noise.wav" "$runtime/tone.wav" "$runtime/programme.wav" gain -n -3
}

# Runs one mode for $minutes minutes; prints its table and verdict; returns 1 when it failed.
Soak() {
  local mode=$1 dir=$runtime/console-$1 device args=() player="" feeder=""
  mkdir -p "$dir"
  cp "$build/VelmoraPro" "$dir/"
  [ -f "$build/VelmoraDef.ini" ] && cp "$build/VelmoraDef.ini" "$dir/"
  if [ "$mode" = sim ]; then
    device=$("$checker" --list-devices | awk -F'\t' '$2 == "Simulated counter" {print $1}')
    args=(--simulated-devices)
  else
    device=0 # ALSA's "default": the sink's monitor
    [ -f "$runtime/programme.wav" ] || MakeProgramme
    mkfifo "$runtime/programme.fifo"
    sox -q "$runtime/programme.wav" -t raw - repeat 100000 >"$runtime/programme.fifo" &
    feeder=$!
    pids+=("$feeder")
    pacat --playback --raw --rate=48000 --channels=2 --format=s16le --latency-msec=20 \
      <"$runtime/programme.fifo" &
    player=$!
    pids+=("$player")
  fi
  [ -n "$device" ] || {
    echo "[$mode] the simulated counting device is not listed" >&2
    return 1
  }
  printf '[SoundCard]\nInputDevNo=%s\n' "$device" >"$dir/VelmoraPro.ini"

  (cd "$dir" && exec ./VelmoraPro -platform xcb "${args[@]}") >"$dir/console.log" 2>&1 &
  local console=$!
  pids+=("$console")
  QT_QPA_PLATFORM=offscreen "$checker" "$minutes" >"$dir/chain.log" 2>"$dir/chain.err" &
  local chain=$!
  pids+=("$chain")
  sleep 5 # start-up: windows built, capture started

  echo "== $mode: console input device $device, $minutes minute(s), display $DISPLAY"
  printf '%6s %12s %8s %-22s %14s %14s\n' minute rss_anon_kb cpu_% error_box chain_gaps display_gaps
  local rss=() cpu=() boxes=0 alive=1 t0 c0 t1 c1 m stray wait_s
  stray=$(StrayWindows | paste -sd, -)
  [ -n "$stray" ] && boxes=$((boxes + 1)) && echo "at start: stray window(s): $stray"
  t0=$(date +%s.%N)
  c0=$(CpuTicks "$console")
  for ((m = 1; m <= minutes; m++)); do
    wait_s=$(echo "$t0 + $m * 60 - $(date +%s.%N)" | bc)
    [[ $wait_s == -* ]] || sleep "$wait_s"
    if ! kill -0 "$console" 2>/dev/null; then
      alive=0
      echo "minute $m: the console is gone (see $dir/console.log)"
      break
    fi
    t1=$(date +%s.%N)
    c1=$(CpuTicks "$console")
    rss+=("$(RssKb "$console")")
    cpu+=("$(echo "scale=2; 100 * ($c1 - $c0) / $hz / ($t1 - $t0 - ($m - 1) * 60)" | bc)")
    c0=$c1
    stray=$(StrayWindows | paste -sd, -)
    [ -n "$stray" ] && boxes=$((boxes + 1))
    printf '%6d %12s %8s %-22s %14s %14s\n' "$m" "${rss[-1]}" "${cpu[-1]}" "${stray:-none}" \
      "$(Count "$dir/chain.log" chain_gaps)" "$(Count "$dir/chain.log" display_gaps)"
  done

  # The checker ends by itself a little after its last minute.
  local waited=0 chain_status=0
  while kill -0 "$chain" 2>/dev/null && [ $waited -lt 120 ]; do
    sleep 1
    waited=$((waited + 1))
  done
  wait "$chain" || chain_status=$?
  kill "$console" 2>/dev/null || true
  wait "$console" 2>/dev/null || true
  if [ -n "$player" ]; then
    kill "$player" "$feeder" 2>/dev/null || true
    wait "$player" "$feeder" 2>/dev/null || true
    rm -f "$runtime/programme.fifo"
  fi

  # Verdict.
  local ok=1 warm growth median max
  warm=$((minutes >= 10 ? 2 : 1))
  if [ ${#rss[@]} -gt "$warm" ]; then
    growth=$(printf '%s\n' "${rss[@]:$warm}" | sort -n | tail -n 1)
    growth=$((growth - rss[warm - 1]))
  else
    growth="n/a"
  fi
  median=$(printf '%s\n' "${cpu[@]}" | sort -n | awk '{v[NR] = $1} END {print NR ? (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) : 0}')
  max=$(printf '%s\n' "${cpu[@]}" | sort -n | tail -n 1)
  echo "-- $mode verdict"
  Check() { # label, passed (0/1), detail
    printf '   %-4s %-44s %s\n' "$([ "$2" = 1 ] && echo ok || echo FAIL)" "$1" "$3"
    [ "$2" = 1 ] || ok=0
  }
  Check "console alive to the end" "$alive" ""
  Check "RSS growth after ${warm} min warm-up < 1024 kB" \
    "$([ "$growth" != n/a ] && [ "$growth" -lt 1024 ] && echo 1 || echo 0)" "${growth} kB"
  Check "no error box" "$([ $boxes = 0 ] && echo 1 || echo 0)" "$boxes sample(s) with a stray window"
  Check "CPU steady (max minute <= 1.5 x median)" \
    "$(echo "${max:-0} <= 1.5 * $median && ${#cpu[@]} > 0" | bc)" "max ${max:-n/a} %, median $median %"
  Check "count unbroken (chain end and displays)" "$([ $chain_status = 0 ] && echo 1 || echo 0)" \
    "$(grep -h '^verdict=' "$dir/chain.log" || echo 'no verdict from the checker')"
  grep '^minute=' "$dir/chain.log" | tail -n 1 | tr ' ' '\n' | grep -E '_(buffers|gaps|repeats|damaged|bursts)=' |
    paste -sd' ' - | sed 's/^/      /'
  [ $ok = 1 ]
}

status=0
for mode in $modes; do
  Soak "$mode" || status=1
done
exit $status
