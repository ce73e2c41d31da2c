#!/usr/bin/env bash
# Fuzzes what the console reads from outside: bench/fuzz.sh [seconds] [target...]
#
# Builds the libFuzzer programs with clang (ASan + UBSan) in build-fuzz/ through
# tools/build-fuzz.sh, as `make test` does, and runs each target (all five by default: ini
# settings roundtrip cmdline jpeg) for the given seconds (default 600), one after the other,
# niced. The corpus each run grows stays in build-fuzz/corpus/<target> for the next run; the
# seeds in fuzz/corpus/<target> are never changed. An input that crashes, hangs (10 s) or runs
# out of memory (2 GB) is written into fuzz/regressions/<target>/, where the replay in
# `make test` picks it up.
# Prints per target the executions per second, the coverage and the corpus size.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

seconds=${1:-600}
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(ini settings roundtrip cmdline jpeg)

# The compiler and its fuzzer runtime are in tools/bootstrap.sh's list.
tools/bootstrap.sh
nice -n 15 tools/build-fuzz.sh "${targets[@]}"

build=build-fuzz
export ASAN_OPTIONS=abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$top/fuzz/lsan.supp
mkdir -p "$build/logs"
found=0
summary=()
for t in "${targets[@]}"; do
  work="$build/corpus/$t"
  mkdir -p "$work" "fuzz/regressions/$t"
  dict=()
  case "$t" in
  ini | settings | roundtrip) dict=(-dict=fuzz/settings.dict) ;;
  cmdline) dict=(-dict=fuzz/cmdline.dict) ;;
  jpeg) dict=(-dict=fuzz/jpeg.dict) ;;
  esac
  log="$build/logs/$t.log"
  echo "== $t: $seconds s (log $log)"
  touch "$build/logs/$t.start"
  status=0
  nice -n 15 "$build/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=10 -report_slow_units=60 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="fuzz/regressions/$t/" "${dict[@]}" \
    "$work" "fuzz/corpus/$t" "fuzz/regressions/$t" >"$log" 2>&1 || status=$?
  # The last status line of libFuzzer: "#runs ... cov: N ft: N corp: units/size ... exec/s: N".
  last=$(grep -E '^#[0-9]+' "$log" | tail -n 1 || true)
  runs=$(sed -nE 's/^stat::number_of_executed_units: *([0-9]+).*/\1/p' "$log" | tail -n 1)
  rate=$(sed -nE 's/^stat::average_exec_per_sec: *([0-9]+).*/\1/p' "$log" | tail -n 1)
  [ -n "$rate" ] || rate=$(sed -nE 's/.* exec\/s: ([0-9]+).*/\1/p' <<<"$last")
  cov=$(sed -nE 's/.* cov: ([0-9]+).*/\1/p' <<<"$last")
  ft=$(sed -nE 's/.* ft: ([0-9]+).*/\1/p' <<<"$last")
  corp=$(sed -nE 's/.* corp: ([0-9]+\/[0-9a-zA-Z]+).*/\1/p' <<<"$last")
  result=ok
  if [ "$status" -ne 0 ]; then
    found=1
    new=$(find "fuzz/regressions/$t" -type f -newer "$build/logs/$t.start" | tr '\n' ' ')
    result="FAILED (exit $status): ${new:-no input written} - see $log"
  fi
  files=$(find "$work" -type f | wc -l)
  summary+=("$(printf '%-10s runs %-9s exec/s %-6s cov %-5s ft %-6s corpus %-12s (%s files kept) %s' \
    "$t" "${runs:-?}" "${rate:-?}" "${cov:-?}" "${ft:-?}" "${corp:-?}" "$files" "$result")")
  echo "${summary[-1]}"
done
echo "== summary ($seconds s per target; corpus = units/bytes in memory at the end)"
printf '%s\n' "${summary[@]}"
exit $found
