#!/usr/bin/env bash
# How the program ends, as a user or a system ends it: without a display it
# says so in one line and exits with status 2; while playing, SIGTERM ends
# it with status 0 and SIGINT (Ctrl+C) with 130, the device closed (the
# capture stops growing); a song modified when SIGTERM comes is kept and
# offered at the next start.
#
# usage: process_life.sh BIN_DIR AUDIO_LIBRARY
set -euo pipefail
bin=$1 library=$2
. "$(dirname "$0")/session.sh"

# No display at all: one clear line, status 2, no crash.
for mode in "" "--sample $bin/DuvoDodiz.loop"; do
  status=0
  # shellcheck disable=SC2086
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$bin/Trellon" $mode \
    >"$work/nodisplay.out" 2>"$work/nodisplay.err" || status=$?
  [ "$status" -eq 2 ] || fail "without a display ($mode) the status is $status, not 2"
  [ "$(wc -l <"$work/nodisplay.err")" -eq 1 ] ||
    fail "without a display ($mode) stderr is not one line: $(cat "$work/nodisplay.err")"
  grep -q "no display found" "$work/nodisplay.err" || fail "no display: $(cat "$work/nodisplay.err")"
  grep -q -- "--render" "$work/nodisplay.err" || fail "no display: the headless mode is not named"
done
# A display that does not answer.
status=0
DISPLAY=:999 QT_QPA_PLATFORM= "$bin/Trellon" 2>"$work/nodisplay.err" || status=$?
[ "$status" -eq 2 ] && grep -q "X display :999 does not answer" "$work/nodisplay.err" ||
  fail "with a dead display: status $status, $(cat "$work/nodisplay.err")"

start_session "$bin" "$library"
export HOME="$work/home" XDG_STATE_HOME="$work/state" XDG_CONFIG_HOME="$work/config"
mkdir -p "$HOME" "$XDG_CONFIG_HOME"
state="$XDG_STATE_HOME/trellon"

# Starts Trellon playing into CAPTURE through SDL's disk driver; sets $trellon.
start_playing() {  # CAPTURE
  (cd "$bin" && SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$1" exec ./Trellon) \
    >>"$work/trellon.log" 2>&1 &
  trellon=$!
  pids+=($trellon)
  window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Trellon 0$' | head -1) ||
    fail "the main window did not appear"
  xdotool windowfocus --sync "$window"
  click_play "$window"
  wait_until 20 "playback did not start" file_holds "$1" 200000
}

# Sends SIGNAL and expects STATUS within 5 s, then no more audio.
end_with() {  # SIGNAL STATUS CAPTURE
  kill -"$1" "$trellon"
  local deadline=$((SECONDS + 5))
  while kill -0 "$trellon" 2>/dev/null; do
    [ "$SECONDS" -lt "$deadline" ] || fail "SIG$1 did not end Trellon while playing"
    sleep 0.05
  done
  status=0
  wait "$trellon" || status=$?
  [ "$status" -eq "$2" ] || fail "SIG$1 ended Trellon with status $status, not $2"
  local size
  size=$(stat -c %s "$3")
  sleep 0.5
  [ "$(stat -c %s "$3")" -eq "$size" ] || fail "the device played on after SIG$1"
}

start_playing "$work/term.raw"
end_with TERM 0 "$work/term.raw"
start_playing "$work/int.raw"
end_with INT 130 "$work/int.raw"
ls "$state"/autosave-* >/dev/null 2>&1 && fail "an unmodified song was kept for recovery"

# Modified, then SIGTERM: the song is kept and offered at the next start.
start_playing "$work/edit.raw"
click_client "$window" 104 36
end_with TERM 0 "$work/edit.raw"
[ -s "$state/autosave-$trellon.loop" ] || fail "the modified song was not kept at SIGTERM"
[ ! -e "$state/session-$trellon.lock" ] || fail "the session lock was left behind"
(cd "$bin" && SDL_AUDIODRIVER=dummy exec ./Trellon) >"$work/again.log" 2>&1 &
pids+=($!)
timeout 20 xdotool search --sync --onlyvisible --name '^Trellon$' >/dev/null ||
  fail "the song kept at SIGTERM was not offered"
echo "no display: status 2 and one line; SIGTERM 0 and SIGINT 130 while playing; the edit kept"
