#!/usr/bin/env bash
# Builds the web command fuzz target with clang's libFuzzer in its own build folder and runs it
# for a bounded time. Any crash or sanitizer report fails the test.
set -euo pipefail
src=$1
out=$2
seconds=${3:-10}
cmake -S "$src" -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DENABLE_SANITIZERS=ON \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DDEVCTL_SIM=ON \
  -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link >/dev/null
cmake --build "$out" -j 2 --target devctl_instr_fuzz >/dev/null
mkdir -p "$out/instr_fuzz_corpus"
cd "$out"
./tests/devctl_web/devctl_instr_fuzz -max_total_time="$seconds" -max_len=4096 \
  -print_final_stats=1 instr_fuzz_corpus
