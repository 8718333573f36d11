#!/usr/bin/env bash
# The soak: the main window plays through a private PulseAudio server for
# SOAK_SECONDS (600 by default) while a tick is clicked every 3 s and the
# next loop picked every 10 s. The sink's recording must equal, frame for
# frame, every half the output wrote; the frames played as silence for want
# of a refill and the longest notification-to-refill wait are reported.
#
# usage: soak.sh BIN_DIR AUDIO_LIBRARY STREAM_CHECK SOAK_WINDOW
set -euo pipefail
bin=$1 library=$2 check=$3 soak=$4
seconds=${SOAK_SECONDS:-600}
. "$(dirname "$0")/session.sh"
. "$(dirname "$0")/sound_server.sh"
start_pulseaudio
export OVRA_REGISTRY="$work/registry.reg"
"$bin/ovra-regsvr" -s "$library"
recording="$work/recording.raw"
start_recording "$recording"
QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=pulseaudio "$soak" "$bin" "$work/expected.raw" \
  >"$work/soak.log" 2>&1 &
player=$!
pids+=($player)
wait_until 20 "the window did not start playing" grep -q playing "$work/soak.log"
echo "soaking for $seconds s"
sleep "$seconds"
kill -0 "$player" || fail "the window ended while playing"
stop_recording
kill -TERM "$player"
wait "$player" || fail "the window failed"
tail -1 "$work/soak.log"
"$check" --min-seconds $((seconds - 5)) "$recording" "$work/expected.raw" ||
  fail "the recording is not what the output wrote"
