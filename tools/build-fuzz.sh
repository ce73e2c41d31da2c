#!/usr/bin/env bash
# Builds the libFuzzer programs: tools/build-fuzz.sh [target...] (all five by default:
# ini settings roundtrip cmdline jpeg), with clang, ASan + UBSan and warnings as errors, in
# build-fuzz/. bench/fuzz.sh and `make test` both build through here, so they share the one
# configuration and its objects. The compiler and its fuzzer runtime come with
# tools/bootstrap.sh, which the callers run first.
set -euo pipefail
cd "$(dirname "$0")/.."

targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(ini settings roundtrip cmdline jpeg)

build=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DVELMORA_FUZZ=ON -DVELMORA_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_WERROR=ON >/dev/null
cmake --build "$build" --target "${targets[@]/#/fuzz_}"
