#!/usr/bin/env bash
# What aplay, arecord, speaker-test, SoX's play and rec, GStreamer's alsasink and alsasrc, ffmpeg
# out and in and mpv (those installed) do through tsoundcard when the stand-in engine is killed
# (SIGKILL) while they run: one row each, "ends" (status, after how long, last message), "runs
# on" or "hangs" (survey_apps.py says how each is told apart).
#
#   survey_apps.sh [BUILD]
#
# BUILD is a build tree holding tsoundcard and tarvo_engine (default /work/base/build/release).
# KILL_AFTER (default 4 s), WATCH_SECONDS (default 40) and ENGINE_PERIOD (default 48 samples)
# change the run. The PCM "tarvo" is added to the system's ALSA configuration, so the
# applications' own defaults still work. Needs root (a private /dev/shm, since the plug-in's
# area name is fixed).
set -euo pipefail
build=$(realpath "${1:-/work/base/build/release}")
cd "$(dirname "$0")"
module=$build/netaudio_soundcard/libasound_module_pcm_tsoundcard.so
engine=$build/sim/engine/tarvo_engine
for file in "$module" "$engine"; do
  [[ -f $file ]] || { echo "$file is missing" >&2; exit 1; }
done
source=$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$build/CMakeCache.txt")
echo "$build: $(git -C "$source" log -1 --format='%h %s' 2>/dev/null | cut -c1-70)"

export SURVEY_MODULE=$module SURVEY_ENGINE=$engine SURVEY_DIR=$PWD
export SURVEY_SYSTEM_CONFIG=$(pkg-config --variable=prefix alsa)/share/alsa/alsa.conf
exec unshare --mount --propagation private bash -c '
set -euo pipefail
mount -t tmpfs tmpfs /dev/shm
work=$(mktemp -d)
trap "rm -rf $work" EXIT
printf "pcm_type.tsoundcard.lib \"%s\"\npcm.tarvo { type tsoundcard }\n" "$SURVEY_MODULE" \
  > "$work/tarvo.conf"
sox -q -n -r 48000 -c 2 -b 16 "$work/tone.wav" synth 180 sine 440 gain -12
# GStreamer scans its plug-ins on its first run; done here, it is not part of any row.
HOME=$work gst-inspect-1.0 alsasink > /dev/null 2>&1 || true
python3 "$SURVEY_DIR/survey_apps.py" "$SURVEY_ENGINE" "$SURVEY_SYSTEM_CONFIG:$work/tarvo.conf" \
  "$work"
'
