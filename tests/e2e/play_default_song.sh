#!/usr/bin/env bash
# The program as a user runs it: on an X server (Xvfb), with another
# program's installer window open, the default song loaded, Play pressed
# through the X server, and SDL's disk driver capturing what the real
# device path plays. The capture must be loop 0 of the default song, over
# and over, exactly as `Trellon --render` writes it.
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
  fail "the main window did not appear: $(cat "$work/trellon.log")"
if xdotool search --onlyvisible --name "^${installer}\$" >/dev/null; then
  fail "start-up left the installer window shown"
fi

# Focus the window and click Play: the client area is 260 pixels high, the
# menu bar takes the rest, and the button is 4 pixels below it.
xdotool windowfocus --sync "$window"
height=$(xdotool getwindowgeometry --shell "$window" | sed -n 's/^HEIGHT=//p')
menu=$((height - 260))
xdotool mousemove --window "$window" 48 $((menu + 12)) click 1
sleep 10  # two and a half passes of four seconds
kill -0 "$trellon" || fail "Trellon ended while playing: $(cat "$work/trellon.log")"
kill "$trellon"

"$bin/Trellon" --render "$bin/DuvoDodiz.loop" --loop 0 --passes 3 --out "$work/reference.wav"
pass=$((176400 * 4))
size=$(stat -c %s "$capture")
[ "$size" -ge $((pass * 2)) ] || fail "captured $size bytes, less than two passes"
# The capture starts with the loop's first frame; compare two full passes.
capture_matches "$capture" "$work/reference.wav" 44 $((pass * 2)) ||
  fail "the captured audio differs from the rendered loop"
echo "captured $size bytes; two passes equal the rendered loop"
