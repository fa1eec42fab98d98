#!/usr/bin/env bash
# Builds a text-protocol fuzz target with clang's libFuzzer in its own build folder and runs it
# for a bounded time. Any crash or sanitizer report fails the test.
set -euo pipefail
src=$1
out=$2
target=$3
seconds=${4:-10}
(
  flock 9
  cmake -S "$src" -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DENABLE_SANITIZERS=ON \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DDEVCTL_SIM=ON \
    -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link >/dev/null
  cmake --build "$out" --target "$target" >/dev/null
) 9>"$out.lock"
mkdir -p "$out/$target-corpus"
cd "$out"
"./tests/devctl_text/$target" -max_total_time="$seconds" -max_len=8192 -print_final_stats=1 \
  "$target-corpus"
