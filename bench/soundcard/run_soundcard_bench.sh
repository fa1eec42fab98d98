#!/usr/bin/env bash
# tsoundcard figures of two builds side by side, in one run:
#
#   run_soundcard_bench.sh [AFTER_BUILD [BEFORE_BUILD]]
#
# AFTER_BUILD defaults to this source tree built into build/bench (Release, no sanitizers);
# BEFORE_BUILD to /work/base/build/release. A given tree must be a Release build already holding
# tsoundcard, tarvo_engine, ttrace and soundcard_bench. First the conversion benchmark of each
# build, then, at each engine period of ENGINE_PERIODS (default "48 4800" samples), aplay and
# arecord through the plug-in and ttrace beside them (a client that only wakes once per period:
# the cost of waking alone) against the build's own stand-in engine in real time, the before and
# after runs of a case one after the other, ROUNDS times (default 1; the table shows the median).
# Each tool runs WARMUP_SECONDS (default 3), then its threads' run times are sampled five times a
# second for SECONDS_TO_RUN (default 60), and it is stopped. Prints the CPU per engine period of
# the plug-in's worker, of the application's thread and of the whole process over those seconds,
# the tool's xrun lines and the engine's late transmit samples and deadline lateness. Figures
# only, no verdict.
# Needs root (a private /dev/shm, since the plug-in's area name is fixed).
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${SECONDS_TO_RUN:-60}
warmup=${WARMUP_SECONDS:-3}
rounds=${ROUNDS:-1}
periods=${ENGINE_PERIODS:-48 4800}
before=${2:-/work/base/build/release}
if [[ $# -ge 1 ]]; then
  after=$1
else
  after=build/bench
  cmake -S . -B "$after" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
  cmake --build "$after" --target tsoundcard tarvo_engine ttrace soundcard_bench >/dev/null
fi

describe() {  # label, build tree
  local tree=$2 missing=0
  for file in netaudio_soundcard/libasound_module_pcm_tsoundcard.so sim/engine/tarvo_engine \
      ttrace/ttrace bench/soundcard/soundcard_bench; do
    [[ -x $tree/$file || -f $tree/$file ]] || { echo "$1: $tree/$file is missing" >&2; missing=1; }
  done
  [[ $missing == 0 ]] || exit 1
  local source type sanitizers
  source=$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$tree/CMakeCache.txt")
  type=$(sed -n 's/^CMAKE_BUILD_TYPE:STRING=//p' "$tree/CMakeCache.txt")
  sanitizers=$(sed -n 's/^ENABLE_SANITIZERS:BOOL=//p' "$tree/CMakeCache.txt")
  printf '%-7s %s: %s at %s, %s, sanitizers %s\n' "$1" "$(realpath "$tree")" "$source" \
    "$(git -C "$source" log -1 --format='%h %s' 2>/dev/null | cut -c1-60)" "${type:-?}" \
    "${sanitizers:-OFF}"
}
describe before "$before"
describe after "$after"
echo

export BENCH_BEFORE=$(realpath "$before") BENCH_AFTER=$(realpath "$after")
export BENCH_SECONDS=$seconds BENCH_WARMUP=$warmup BENCH_ROUNDS=$rounds BENCH_PERIODS=$periods
export BENCH_DIR=$(realpath bench/soundcard)
exec unshare --mount --propagation private bash -c '
set -euo pipefail
mount -t tmpfs tmpfs /dev/shm
work=$(mktemp -d)
trap "rm -rf $work" EXIT
"$BENCH_BEFORE/bench/soundcard/soundcard_bench" > "$work/conversion.before"
"$BENCH_AFTER/bench/soundcard/soundcard_bench" > "$work/conversion.after"
python3 "$BENCH_DIR/summarize_run.py" conversion "$work/conversion.before" "$work/conversion.after"
for build in before after; do
  tree=$BENCH_BEFORE; [[ $build == after ]] && tree=$BENCH_AFTER
  printf "pcm_type.tsoundcard.lib \"%s\"\npcm.tarvo { type tsoundcard }\n" \
    "$tree/netaudio_soundcard/libasound_module_pcm_tsoundcard.so" > "$work/alsa.$build.conf"
done

run() {  # engine period, build, name, tool command... (@TREE@ stands for the build tree)
  local spp=$1 build=$2 name=$3; shift 3
  local tree=$BENCH_BEFORE; [[ $build == after ]] && tree=$BENCH_AFTER
  local ring=$((spp * 10 > 4096 ? spp * 10 : 4096))
  local command=("${@//@TREE@/$tree}")
  "$tree/sim/engine/tarvo_engine" --fifo --spp "$spp" --spc "$ring" \
    > "$work/engine.json" 2> "$work/engine.err" &
  local engine=$!
  for _ in $(seq 200); do grep -q ready "$work/engine.json" 2>/dev/null && break; sleep 0.05; done
  grep -q ready "$work/engine.json" || { cat "$work/engine.err" >&2; exit 1; }
  ALSA_CONFIG_PATH=$work/alsa.$build.conf "${command[@]}" > /dev/null 2> "$work/tool.err" &
  local tool=$!
  sleep "$BENCH_WARMUP"
  python3 "$BENCH_DIR/summarize_run.py" sample $tool "$BENCH_SECONDS" "$work/threads"
  kill -INT $tool 2>/dev/null || true
  wait $tool || true
  kill -INT $engine; wait $engine || true
  python3 "$BENCH_DIR/summarize_run.py" run "$work/results" "$spp" "$build" "$name" \
    "$work/threads" "$work/tool.err" "$work/engine.json"
}

long=$((BENCH_WARMUP + BENCH_SECONDS + 30))   # the tools are stopped after the measurement
cases=(
  "aplay S32_LE 2 ch|aplay -D tarvo -t raw -f S32_LE -c 2 -r 48000 -d $long /dev/zero"
  "aplay S16_LE 8 ch|aplay -D tarvo -t raw -f S16_LE -c 8 -r 48000 -d $long /dev/zero"
  "arecord S32_LE 2 ch|arecord -D tarvo -t raw -f S32_LE -c 2 -r 48000 -d $long /dev/null"
  "arecord FLOAT_LE 8 ch|arecord -D tarvo -t raw -f FLOAT_LE -c 8 -r 48000 -d $long /dev/null"
  "ttrace (waking alone)|@TREE@/ttrace/ttrace"
)
for spp in $BENCH_PERIODS; do
  for case in "${cases[@]}"; do
    read -ra command <<< "${case#*|}"
    for round in $(seq "$BENCH_ROUNDS"); do
      for build in before after; do
        run "$spp" $build "${case%%|*}" "${command[@]}"
      done
    done
  done
done
python3 "$BENCH_DIR/summarize_run.py" table "$work/results"
'
