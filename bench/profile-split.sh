#!/usr/bin/env bash
# Where the console's CPU goes, by instrument: reads a perf recording of the console with
# whole stacks (bench/console-cpu.sh with VELMORA_PERF=FILE VELMORA_PERF_CALLGRAPH=dwarf) and
# gives each sample to the first instrument found walking its stack from the innermost frame
# out (its blocks, drawing and presents), else to capture (the wave input's and the sound
# server client's threads), the connector, Qt's painting and flushing, task switches or the
# rest of the event loop. Prints each share of the samples and, from the sampling rate and
# the recording's length, the CPU it stands for (% of one core).
# Usage: bench/profile-split.sh PERF_DATA [SAMPLES_PER_SECOND] [SECONDS]   (4000 Hz, 60 s)
set -euo pipefail
data=$1
freq=${2:-4000}
secs=${3:-60}

perf script -i "$data" -F comm,tid,ip,sym --no-inline 2>/dev/null | awk -v freq="$freq" -v secs="$secs" '
function instrument(f) {
  if (f ~ /TMMCustomLevel|TMMLevel|TMMLevelState|BlockRawPeak|MMLevelLaws/) return "PEAK bars"
  if (f ~ /TMMCustomMeter|TMMMeter|MMMeterLaws/) return "VU needles"
  if (f ~ /DrawPhase/) return "goniometer"
  if (f ~ /TMMSpectrum|ComputeBars|SplitRadix|RealSplit|DoRealFFT|BinMagnitudes|PrepareFFTBlock/) return "spectrum controls (analysers, goniometer blocks)"
  if (f ~ /VarnTrend/) return "trend graph"
  if (f ~ /TMMPeakDetect/) return "peak detector"
  if (f ~ /MMHiTimer1Timer|Timer1Timer|QLabel|TMMLED|TMMLabel/) return "read-outs and LEDs"
  return ""
}
function settle() {
  if (n == 0) return
  what = ""
  if (comm ~ /^(wavein-|threaded-ml)/) what = "capture"
  for (i = 1; i <= n && what == ""; i++) what = instrument(frame[i])
  for (i = 1; i <= n && what == ""; i++) if (frame[i] ~ /TMMConnector|TMMWaveIn|TMMCustomWaveIn/) what = "connector and wave input hand-over"
  for (i = 1; i <= n && what == ""; i++) if (frame[i] ~ /QWidgetRepaintManager|QBackingStore|QXcb|xcb_/) what = "Qt paint and flush"
  if (what == "" && frame[1] ~ /finish_task_switch|__schedule/) what = "task switches"
  if (what == "") what = "event loop, timers and other"
  count[what]++
  total++
  n = 0
}
/^[^ \t]/ { settle(); comm = $1; next }
/^[ \t]+[0-9a-f]+ / { frame[++n] = $2; next }
/^$/ { settle() }
END {
  settle()
  for (k in count) printf "%6.1f %%  %6.2f %% of a core  %s\n", 100 * count[k] / total, 100 * count[k] / freq / secs, k
  printf "%6.1f %%  %6.2f %% of a core  all samples\n", 100, 100 * total / freq / secs
}' | sort -rn
