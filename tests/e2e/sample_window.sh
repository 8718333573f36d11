#!/usr/bin/env bash
# The sample window as a user runs it: `Trellon --sample` on a WAV file
# whose path has a space, on an X server (Xvfb); a stretch dragged with the
# mouse and played with the space bar through SDL's disk driver. The capture
# must be that stretch of the file, then silence.
#
# usage: sample_window.sh BIN_DIR AUDIO_LIBRARY
set -euo pipefail
bin=$1 library=$2
. "$(dirname "$0")/session.sh"
start_session "$bin" "$library"

# A WAV file of 176400 stereo frames: loop 0 of the default song.
wav="$work/a loop.wav"
"$bin/Trellon" --render "$bin/DuvoDodiz.loop" --loop 0 --out "$wav"

capture="$work/capture.raw"
(cd "$bin" && SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$capture" exec ./Trellon --sample "$wav") \
  >"$work/trellon.log" 2>&1 &
pids+=($!)
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Track$' | head -1) ||
  fail "the sample window did not appear"
xdotool windowfocus --sync "$window"

# On a screen 1280 pixels wide a column is round(176400 / 1280) = 138
# frames: columns 100 to 300 are frames 13800 to 41400.
# The X server delivers the drag and the key in order.
xdotool mousemove --window "$window" 100 200 mousedown 1 \
  mousemove --window "$window" 200 210 mousemove --window "$window" 300 210 mouseup 1
xdotool key --window "$window" space
# The selection and a second of silence after it, then space stops.
frames=$((41400 - 13800))
wait_until 30 "the selection was not played" \
  file_holds "$capture" $(((frames + 44100) * 4))
xdotool key --window "$window" space
size=$(stat -c %s "$capture" 2>/dev/null || echo 0)
[ "$size" -ge $((frames * 4)) ] || fail "captured $size bytes, less than the selection"
capture_matches "$capture" "$wav" $((44 + 13800 * 4)) $((frames * 4)) ||
  fail "the captured audio is not the selected stretch"
# Then silence: nothing but zero bytes after the stretch.
if tail -c +$((lead + frames * 4 + 1)) "$capture" | tr -d '\0' | grep -q .; then
  fail "the capture goes on past the selection"
fi
echo "captured the selected $frames frames, then silence"
