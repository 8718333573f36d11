#!/usr/bin/env bash
# The program as a user runs it: on an X server (Xvfb), with another
# program's installer window open, the default song loaded, Play pressed
# and keypad 1 pressed during the second pass, through the X server, and
# SDL's disk driver capturing what the real device path plays. The capture
# must be whole passes of loop 0 of the default song and then loop 1,
# exactly as `Trellon --render` writes them.
#
# usage: play_default_song.sh BIN_DIR AUDIO_LIBRARY TITLED_WINDOW
set -euo pipefail
bin=$1 library=$2 titled=$3
. "$(dirname "$0")/session.sh"
start_session "$bin" "$library"

installer="WinZip Self-Extractor - Trellon.0.0.0.1.exe"
"$titled" "$installer" >"$work/installer.log" 2>&1 &
pids+=($!)
timeout 20 xdotool search --sync --onlyvisible --name "^${installer}\$" >/dev/null ||
  fail "the installer window did not appear"

capture="$work/capture.raw"
(cd "$bin" && SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$capture" exec ./Trellon) \
  >"$work/trellon.log" 2>&1 &
trellon=$!
pids+=($trellon)
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Trellon 0$' | head -1) ||
  fail "the main window did not appear"
if xdotool search --onlyvisible --name "^${installer}\$" >/dev/null; then
  fail "start-up left the installer window shown"
fi

# Focus the window and click Play.
xdotool windowfocus --sync "$window"
click_play "$window"
# During the second pass, keypad 1: loop 1 takes over when the pass ends.
# A pass is 176400 frames of 4 bytes; the device may lead with up to 16
# periods (64 KB) of silence.
pass=$((176400 * 4))
wait_until 30 "the second pass did not start" \
  file_holds "$capture" $((pass + pass / 4))
xdotool key --window "$window" KP_1
timeout 5 xdotool search --sync --name '^Trellon 1$' >/dev/null ||
  fail "keypad 1 did not select loop 1"
# Two passes of loop 0 and a whole one of loop 1.
wait_until 60 "the capture stopped growing" \
  file_holds "$capture" $((3 * pass + 65536))
kill -0 "$trellon" || fail "Trellon ended while playing"
kill "$trellon"

"$bin/Trellon" --render "$bin/DuvoDodiz.loop" --loop 0 --out "$work/loop0.wav"
"$bin/Trellon" --render "$bin/DuvoDodiz.loop" --loop 1 --out "$work/loop1.wav"
size=$(stat -c %s "$capture")
capture_matches "$capture" "$work/loop0.wav" 44 "$pass" ||
  fail "the capture does not start with loop 0 of the default song"
# Whole passes of loop 0, then loop 1.
passes=1
while cmp -s -n "$pass" <(tail -c +$((lead + passes * pass + 1)) "$capture") \
  <(tail -c +45 "$work/loop0.wav"); do
  passes=$((passes + 1))
done
[ "$passes" -ge 2 ] || fail "the switch came before the end of the second pass"
switch=$((lead + passes * pass))
rest=$((size - switch))
[ "$rest" -gt $((pass / 4)) ] || fail "only $rest bytes after $passes passes of loop 0"
[ "$rest" -lt "$pass" ] || rest=$pass
cmp -n "$rest" <(tail -c +$((switch + 1)) "$capture") <(tail -c +45 "$work/loop1.wav") ||
  fail "loop 1 does not follow the last pass of loop 0"
echo "captured $passes passes of loop 0, then $rest bytes of loop 1, equal to the rendered loops"
