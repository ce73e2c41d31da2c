#!/usr/bin/env bash
# Installs what is missing, checks the formatting, builds everything twice (normal,
# and with ASan + UBSan) with warnings as errors and runs every test in both builds,
# then runs the test programs that need no window under ThreadSanitizer; builds the fuzz
# programs with clang (tools/build-fuzz.sh) and runs each briefly. Provides the X display
# and the PulseAudio server the window and capture tests need, and stops them again by PID.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

tools/bootstrap.sh

tools/check-format.sh

cmake -S . -B build -G Ninja -DVELMORA_WERROR=ON
cmake --build build
cmake -S . -B build-asan -G Ninja -DVELMORA_SANITIZE=ON -DVELMORA_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug -DVELMORA_WERROR=ON
cmake --build build-asan
# Threads meet in audio/ and platform/; their tests need no window.
tsan_tests=(tests_audio tests_platform tests_analysis)
cmake -S . -B build-tsan -G Ninja -DVELMORA_TSAN=ON -DVELMORA_BENCH=OFF -DVELMORA_WERROR=ON
cmake --build build-tsan --target "${tsan_tests[@]}"
# The fuzz programs, with clang as bench/fuzz.sh builds them (in the same build-fuzz/): code
# that only clang refuses stops the tests here rather than the next fuzz run.
fuzz_targets=(ini settings roundtrip cmdline jpeg)
tools/build-fuzz.sh "${fuzz_targets[@]}"

pids=()
runtime=$(mktemp -d)
cleanup() {
  XDG_RUNTIME_DIR="$runtime" tools/pulse-server.sh stop || true
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$runtime"
}
trap cleanup EXIT

if [ -z "${DISPLAY:-}" ]; then
  n=90
  while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp -noreset >/dev/null 2>&1 &
  pids+=($!)
  export DISPLAY=":$n"
  for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
fi

export XDG_RUNTIME_DIR="$runtime"
tools/pulse-server.sh start >/dev/null
export VELMORA_PULSE=1
export VELMORA_PULSE_SCRIPT="$top/tools/pulse-server.sh"

# Fontconfig and the X libraries keep caches for the life of the process; only real faults count.
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

status=0
ctest --test-dir build --output-on-failure --timeout 900 || status=1
ctest --test-dir build-asan --output-on-failure --timeout 1800 || status=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
for t in "${tsan_tests[@]}"; do
  echo "ThreadSanitizer: $t"
  # libpulse is not instrumented and forks: the live-capture cases ran in the two builds above.
  env -u VELMORA_PULSE timeout 1800 "build-tsan/tests/$t" --gtest_brief=1 || status=1
done
# Each fuzz program starts, runs every seed and regression input and then mutates them for a
# few runs, always from the same random seed so that a run can be repeated; bench/fuzz.sh
# fuzzes for real. What it finds lands in fuzz/regressions/<target>/, as there.
for t in "${fuzz_targets[@]}"; do
  work="build-fuzz/smoke/$t" # what the run adds to the corpus; the seeds stay as they are
  log="build-fuzz/logs/smoke-$t.log"
  rm -rf "$work"
  mkdir -p "$work" "$(dirname "$log")"
  fuzz_status=0
  ASAN_OPTIONS=abort_on_error=1 LSAN_OPTIONS="suppressions=$top/fuzz/lsan.supp" \
    timeout 900 "build-fuzz/fuzz/fuzz_$t" -runs=200 -seed=1 -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="fuzz/regressions/$t/" "$work" "fuzz/corpus/$t" "fuzz/regressions/$t" >"$log" 2>&1 ||
    fuzz_status=$?
  echo "Fuzz program fuzz_$t: $(grep -E '^#[0-9]+' "$log" | tail -n 1 || true)"
  if [ "$fuzz_status" -ne 0 ]; then
    status=1
    tail -n 40 "$log"
    echo "fuzz_$t FAILED (exit $fuzz_status), log $log"
  fi
done
exit $status
