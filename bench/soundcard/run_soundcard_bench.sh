#!/usr/bin/env bash
# tsoundcard figures, in one run: the conversion benchmark, then aplay and arecord through the
# plug-in for SECONDS_TO_RUN seconds (default 60) at their default period against the stand-in
# engine in real time, and ttrace beside them (a client that only wakes once per period: the
# cost of waking alone). Prints CPU per network period of each program, its xrun lines, the
# engine's late transmit samples (the plug-in writes 5 ms ahead) and the engine's own deadline
# lateness, and at the end each plug-in run's CPU per period against ttrace's (its worker's wake
# plus the application's own, against one bare wake), split into worker and application from a
# per-thread sample taken a second before each tool ends. Needs root (a private /dev/shm, since the plug-in's area name is fixed).
# A Release build without sanitizers goes to build/bench.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${BUILD_DIR:-build/bench}
seconds=${SECONDS_TO_RUN:-60}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" --target tsoundcard tarvo_engine ttrace soundcard_bench >/dev/null
"$build/bench/soundcard/soundcard_bench"

export BENCH_BUILD=$(realpath "$build") BENCH_SECONDS=$seconds BENCH_DIR=$(realpath bench/soundcard)
exec unshare --mount --propagation private bash -c '
set -euo pipefail
mount -t tmpfs tmpfs /dev/shm
work=$(mktemp -d)
trap "rm -rf $work" EXIT
printf "pcm_type.tsoundcard.lib \"%s\"\npcm.tarvo { type tsoundcard }\n" \
  "$BENCH_BUILD/netaudio_soundcard/libasound_module_pcm_tsoundcard.so" > "$work/alsa.conf"
export ALSA_CONFIG_PATH=$work/alsa.conf
periods=$((BENCH_SECONDS * 1000))   # 48 samples per period at 48 kHz

# CPU ticks of each thread of the tool, a second before its end: the main (application) thread
# is the one whose id is the process id, the others are the worker of the plug-in.
sample_threads() {  # pid of /usr/bin/time, output file
  sleep $((BENCH_SECONDS - 1))
  local tool
  tool=$(pgrep -P "$1" | head -n 1) || return 0
  for stat in /proc/"$tool"/task/*/stat; do
    local tid=${stat%/stat}; tid=${tid##*/}
    awk -v main="$tool" -v tid="$tid" "{ sub(/^.*\\) /, \"\"); print (tid == main ? \"app\" : \"worker\"), \$12 + \$13 }" "$stat"
  done > "$2" 2>/dev/null || true
}

run() {  # name, tool command...
  local name=$1; shift
  "$BENCH_BUILD/sim/engine/tarvo_engine" --fifo > "$work/engine.json" 2> "$work/engine.err" &
  local engine=$!
  until grep -q ready "$work/engine.json" 2>/dev/null; do sleep 0.05; done
  rm -f "$work/threads"
  /usr/bin/time -f "%U %S" -o "$work/time" "$@" > /dev/null 2> "$work/tool.err" &
  local timer=$!
  sample_threads $timer "$work/threads" &
  local sampler=$!
  wait $timer || true
  wait $sampler || true
  kill -INT $engine; wait $engine || true
  python3 "$BENCH_DIR/summarize_run.py" "$name" "$work/time" "$periods" \
    "$work/tool.err" "$work/engine.json" "$work/threads" "$work/results"
}
run "aplay S32_LE 2 ch" aplay -D tarvo -t raw -f S32_LE -c 2 -r 48000 -d "$BENCH_SECONDS" /dev/zero
run "aplay S16_LE 8 ch" aplay -D tarvo -t raw -f S16_LE -c 8 -r 48000 -d "$BENCH_SECONDS" /dev/zero
run "arecord S32_LE 2 ch" arecord -D tarvo -t raw -f S32_LE -c 2 -r 48000 -d "$BENCH_SECONDS" /dev/null
run "arecord FLOAT_LE 8 ch" arecord -D tarvo -t raw -f FLOAT_LE -c 8 -r 48000 -d "$BENCH_SECONDS" /dev/null
run "ttrace (waking alone)" timeout -s INT "$BENCH_SECONDS" "$BENCH_BUILD/ttrace/ttrace"
python3 "$BENCH_DIR/summarize_run.py" --ratios "$work/results"
'
