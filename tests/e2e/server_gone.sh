#!/usr/bin/env bash
# The sound server ends while the window plays through it: playback stops
# and the window says so (a message box), and the program goes on.
#
# usage: server_gone.sh BIN_DIR AUDIO_LIBRARY
set -euo pipefail
bin=$1 library=$2
. "$(dirname "$0")/session.sh"
. "$(dirname "$0")/sound_server.sh"

start_pulseaudio
server=${pids[-1]}
start_session "$bin" "$library"
(cd "$bin" && exec ./Trellon --audio-driver pulseaudio) >"$work/trellon.log" 2>&1 &
trellon=$!
pids+=($trellon)
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Trellon 0$' | head -1) ||
  fail "the main window did not appear"
xdotool windowfocus --sync "$window"
click_play "$window"
sleep 2
kill -KILL "$server"
box=$(timeout 15 xdotool search --sync --onlyvisible --name '^Trellon$' | head -1) ||
  fail "nothing was said when the sound server went away"
kill -0 "$trellon" || fail "Trellon ended with its sound server"
xdotool windowfocus --sync "$box" key Return
kill -TERM "$trellon"
wait "$trellon" || fail "Trellon ended with status $? on SIGTERM"
echo "the sound server went away: playback stopped and the window said so"
