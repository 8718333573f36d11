#!/usr/bin/env bash
# Playback that no work of the window can starve, through a private
# PulseAudio: while loop 0 of a 300 MB song plays, a track is added (an
# edit loop 0 does not hear), the song is kept for recovery (300 MB
# written), and a ten-minute file is imported onto the new track. The null
# sink's recording must be loop 0, pass after pass, frame for frame; and
# the window must answer a key press within 100 ms throughout (keypad 1
# and 0 pick loops 1 and 0, which sound the same; the caption says which).
#
# usage: busy_window.sh BIN_DIR AUDIO_LIBRARY STREAM_CHECK MAKE_BIG_SONG KEY_ANSWER
set -euo pipefail
bin=$1 library=$2 check=$3 make_big=$4 key_answer=$5
. "$(dirname "$0")/session.sh"
. "$(dirname "$0")/sound_server.sh"

start_pulseaudio
start_session "$bin" "$library"
mkdir -p "$XDG_CONFIG_HOME/Trellon"
printf '[Recovery]\nIntervalSeconds=1\n' >"$XDG_CONFIG_HOME/Trellon/Trellon.ini"
"$make_big" "$bin/DuvoDodiz.loop" 300 "$work/big.loop" || fail "the big song was not made"
sox -n -r 44100 -c 2 -b 16 "$work/ten-minutes.wav" synth 600 sine 220 vol 0.3 ||
  fail "sox did not make the long file"
"$bin/Trellon" --render "$bin/DuvoDodiz.loop" --loop 0 --out "$work/loop0.wav"
recording="$work/recording.raw"
start_recording "$recording"

(cd "$bin" && player exec ./Trellon --audio-driver pulseaudio "$work/big.loop") >"$work/trellon.log" 2>&1 &
trellon=$!
pids+=($trellon)
window=$(timeout 60 xdotool search --sync --onlyvisible --name '^Trellon 0$' | head -1) ||
  fail "the main window did not appear"
xdotool windowfocus --sync "$window"
click_play "$window"
sleep 1

# The time from a key press to the caption it gives, in milliseconds, as
# the window's own caption change reports it.
slowest=0
press() {  # KEY KEYSYM CAPTION
  local ms
  ms=$("$key_answer" "$window" "$2" "$3") || fail "no answer to $1 in 5 s"
  [ "$ms" -le "$slowest" ] || slowest=$ms
  echo "$1: $ms ms" >>"$work/keys.log"
}
keys_for() {  # SECONDS
  local until=$((SECONDS + $1))
  while [ "$SECONDS" -lt "$until" ]; do
    press KP_1 0xffb1 "Trellon 1"
    sleep 0.2
    press KP_0 0xffb0 "Trellon 0"
    sleep 0.2
  done
}

keys_for 2
xdotool key --window "$window" ctrl+t  # a new track, ticked nowhere: an edit nobody hears
wait_until 30 "the edited song was not kept for recovery" \
  bash -c "ls $XDG_STATE_HOME/trellon/autosave-*.loop >/dev/null 2>&1"
keys_for 6
# The new track is row 11 of 12: its sample button asks for a file.
click_client "$window" 40 $((28 + 11 * 17 + 8))
dialog=$(timeout 10 xdotool search --sync --onlyvisible --name '^Open$' | head -1) ||
  fail "no file dialog for the new track"
xdotool windowfocus --sync "$dialog" type --delay 0 "$work/ten-minutes.wav"
xdotool key Return
# Keys go to the main window once the modal dialog is gone.
dialog_gone() { ! xdotool search --onlyvisible --name '^Open$' >/dev/null 2>&1; }
wait_until 10 "the file dialog did not close" dialog_gone
xdotool windowfocus --sync "$window"
keys_for 4
# Imported, and kept for recovery with the rest: the song is 100 MB larger.
kept_holds() {
  local f
  for f in "$XDG_STATE_HOME"/trellon/autosave-*.loop; do
    [ "$(stat -c %s "$f" 2>/dev/null || echo 0)" -gt 400000000 ] && return 0
  done
  return 1
}
wait_until 60 "the imported sound was not kept for recovery" kept_holds
keys_for 4
kill -0 "$trellon" || fail "Trellon ended while playing"
stop_recording
kill -TERM "$trellon"
wait "$trellon" || fail "Trellon ended with status $? on SIGTERM"
grep -q "ten-minutes" "$work/trellon.log" && fail "the import failed: $(cat "$work/trellon.log")"
cat "$work/keys.log"
echo "slowest answer to a key: $slowest ms"
"$check" --min-seconds 15 "$recording" "$work/loop0.wav" ||
  fail "playback did not go on unchanged while the window worked"
[ "$slowest" -le 100 ] || fail "the window took $slowest ms to answer a key"
