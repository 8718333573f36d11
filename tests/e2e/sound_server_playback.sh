#!/usr/bin/env bash
# Playback through a real sound server, recorded at its null sink and
# compared frame for frame with the rendered loops: loop 0 of the default
# song on repeat, then loop 1, then loop 2 (two switches at pass ends),
# for more than 20 seconds, with nothing inserted or dropped after the
# first sound.
#
# SERVER is pulseaudio or pipewire. PLAYER is window (the Trellon window on
# an X server of its own, Play clicked and keypad 1 and 2 pressed, ended by
# SIGTERM while playing) or avsystem (the streaming output without a
# window). Through PulseAudio SDL's pulseaudio driver plays; through
# PipeWire the window uses SDL's pipewire driver, chosen on the command
# line, and the output without a window uses pipewire-pulse.
#
# usage: sound_server_playback.sh SERVER PLAYER BIN_DIR AUDIO_LIBRARY STREAM_CHECK PLAY_STREAM
set -euo pipefail
server=$1 player=$2 bin=$3 library=$4 check=$5 play=$6
. "$(dirname "$0")/session.sh"
. "$(dirname "$0")/sound_server.sh"

driver=pulseaudio
[ "$server" = pipewire ] && [ "$player" = window ] && driver=pipewire
case "$server" in
  pulseaudio) start_pulseaudio ;;
  pipewire) start_pipewire ;;
  *) fail "no server $server" ;;
esac
if [ "$player" = window ]; then
  start_session "$bin" "$library"
else
  export OVRA_REGISTRY="$work/registry.reg"
  "$bin/ovra-regsvr" -s "$library"
fi

for k in 0 1 2; do
  "$bin/Trellon" --render "$bin/DuvoDodiz.loop" --loop $k --out "$work/loop$k.wav"
done
recording="$work/recording.raw"
start_recording "$recording"

if [ "$player" = window ]; then
  # The program runs as players are set up to run (see realtime).
  (cd "$bin" && player realtime 10 ./Trellon --audio-driver "$driver") >"$work/trellon.log" 2>&1 &
  trellon=$!
  pids+=($trellon)
  window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Trellon 0$' | head -1) ||
    fail "the main window did not appear"
  xdotool windowfocus --sync "$window"
  click_play "$window"
  # A pass lasts 4 s: loop 1 takes over at the end of the second pass and
  # loop 2 at the end of the fourth.
  sleep 6
  xdotool key --window "$window" KP_1
  sleep 8
  xdotool key --window "$window" KP_2
  sleep 12
  kill -0 "$trellon" || fail "Trellon ended while playing"
  stop_recording
  kill -TERM "$trellon"
  status=0
  wait "$trellon" || status=$?
  [ "$status" -eq 0 ] || fail "Trellon ended with status $status on SIGTERM while playing"
else
  # Loop 1 is queued after 7 s and loop 2 after 14 s; the recording stops
  # while it still plays.
  # The output's stream gets one server period from the server's request
  # for more audio to its answer: the player runs as players are set up to.
  (export SDL_AUDIODRIVER=$driver
   player realtime 10 "$play" 120 7 "$work/loop0.wav" "$work/loop1.wav" "$work/loop2.wav") \
    >"$work/play_stream.log" 2>&1 &
  player=$!
  pids+=($player)
  wait_until 20 "the output without a window did not start" grep -q playing "$work/play_stream.log"
  sleep 26
  kill -0 "$player" || fail "the output without a window ended while playing"
  stop_recording
  kill -TERM "$player"
  wait "$player" || fail "the output without a window failed"
fi

"$check" --min-seconds 20 --min-switches 2 "$recording" \
  "$work/loop0.wav" "$work/loop1.wav" "$work/loop2.wav" || fail "the recording is not the loops"
