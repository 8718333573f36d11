#!/usr/bin/env bash
# Stop and Play again soon after, as a musician does, through a private
# PulseAudio: the window plays the default song's loop 0, is stopped after
# 2 to 4.5 s and started again 0.2, 0.5 or 1 s later, 20 times. The null
# sink's recording must be loop 0 from its first frame at every start,
# pass after pass without a gap, until the stop.
#
# usage: restart_playback.sh BIN_DIR AUDIO_LIBRARY STREAM_CHECK
set -euo pipefail
bin=$1 library=$2 check=$3
. "$(dirname "$0")/session.sh"
. "$(dirname "$0")/sound_server.sh"

start_pulseaudio
start_session "$bin" "$library"
"$bin/Trellon" --render "$bin/DuvoDodiz.loop" --loop 0 --out "$work/loop0.wav"
recording="$work/recording.raw"
start_recording "$recording"

# The program runs as players are set up to run (see realtime).
(cd "$bin" && player realtime 10 ./Trellon --audio-driver pulseaudio) >"$work/trellon.log" 2>&1 &
trellon=$!
pids+=($trellon)
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Trellon 0$' | head -1) ||
  fail "the main window did not appear"
xdotool windowfocus --sync "$window"
click_play "$window"
gaps=(0.2 0.5 1)
plays=(2 2.6 3.1 3.7 4.5)
for i in $(seq 0 19); do
  sleep "${plays[$((i % 5))]}"
  click_play "$window"  # Stop
  sleep "${gaps[$((i % 3))]}"
  click_play "$window"  # Play
done
sleep 3
kill -0 "$trellon" || fail "Trellon ended while playing"
stop_recording
kill -TERM "$trellon"
wait "$trellon" || fail "Trellon ended with status $? on SIGTERM"
"$check" --restarts 21 --min-segment 1.5 "$recording" "$work/loop0.wav" ||
  fail "a start did not play loop 0 from its first frame, pass after pass"
