#!/usr/bin/env bash
# Every way out of either window, while playing and not: the main window
# closed through the window manager's close request and by File > Exit,
# the sample window closed the same way. Each must stop playback, close the
# device (the capture stops growing) and end the process with status 0.
#
# usage: window_exits.sh BIN_DIR AUDIO_LIBRARY WM_CLOSE
set -euo pipefail
bin=$1 library=$2 wm_close=$3
. "$(dirname "$0")/session.sh"
start_session "$bin" "$library"
export HOME="$work/home" XDG_STATE_HOME="$work/state" XDG_CONFIG_HOME="$work/config"
mkdir -p "$HOME" "$XDG_CONFIG_HOME"

# Starts Trellon (ARGS...) into CAPTURE; sets $trellon and $window.
start() {  # CAPTURE TITLE ARGS...
  local capture=$1 title=$2
  shift 2
  rm -f "$capture"
  (cd "$bin" && SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$capture" exec ./Trellon "$@") \
    >>"$work/trellon.log" 2>&1 &
  trellon=$!
  pids+=($trellon)
  window=$(timeout 20 xdotool search --sync --onlyvisible --name "^$title\$" | head -1) ||
    fail "the window \"$title\" did not appear"
  xdotool windowfocus --sync "$window"
}

# Waits for the process to end by itself; fails unless it ends with 0 and
# the capture then stays as it is.
expect_ended() {  # HOW CAPTURE
  local deadline=$((SECONDS + 15)) status=0
  while kill -0 "$trellon" 2>/dev/null; do
    [ "$SECONDS" -lt "$deadline" ] || fail "$1: the process is still running"
    sleep 0.1
  done
  wait "$trellon" || status=$?
  [ "$status" -eq 0 ] || fail "$1: the process ended with status $status"
  if [ -n "$2" ]; then
    local size
    size=$(stat -c %s "$2")
    sleep 1
    [ "$(stat -c %s "$2")" -eq "$size" ] || fail "$1: the device still plays"
  fi
  echo "$1: ended"
}

pass=$((176400 * 4))
# The main window, playing, closed by the window manager.
start "$work/a.raw" "Trellon 0"
click_play "$window"
wait_until 30 "playback did not start" file_holds "$work/a.raw" $((pass / 2))
"$wm_close" "$window"
expect_ended "close request while playing" "$work/a.raw"

# The main window, playing, ended by File > Exit.
start "$work/b.raw" "Trellon 0"
click_play "$window"
wait_until 30 "playback did not start" file_holds "$work/b.raw" $((pass / 2))
xdotool key --window "$window" alt+f
sleep 0.5
xdotool key x
expect_ended "File > Exit while playing" "$work/b.raw"

# The main window, not playing, closed by the window manager.
start "$work/c.raw" "Trellon 0"
sleep 1
"$wm_close" "$window"
expect_ended "close request while stopped" ""

# The sample window, playing a selection, closed by the window manager.
wav="$work/loop.wav"
"$bin/Trellon" --render "$bin/DuvoDodiz.loop" --loop 0 --out "$wav"
start "$work/d.raw" "Track" --sample "$wav"
xdotool mousemove --window "$window" 10 200 mousedown 1 \
  mousemove --window "$window" 600 210 mousemove --window "$window" 1200 210 mouseup 1
xdotool key --window "$window" space
wait_until 30 "the sample did not play" file_holds "$work/d.raw" 65536
"$wm_close" "$window"
expect_ended "sample window closed while playing" "$work/d.raw"
