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

# Modified, then SIGTERM, SIGHUP (the terminal closed) or SIGQUIT: the song
# is kept, the session's lock goes, and the song is offered at the next start.
for sig in TERM:0 HUP:129 QUIT:131; do
  start_playing "$work/edit-${sig%%:*}.raw"
  click_client "$window" 104 36
  end_with "${sig%%:*}" "${sig##*:}" "$work/edit-${sig%%:*}.raw"
  [ -s "$(kept_by "$state" "$trellon")" ] || fail "the modified song was not kept at SIG${sig%%:*}"
  ls "$state"/session-"$trellon"-* >/dev/null 2>&1 && fail "the session lock was left behind"
  rm -f "$state"/autosave-*
done

# stderr read by nobody: the first message (SDL's disk driver says one)
# does not end the program.
(cd "$bin" && SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/pipe.raw" exec ./Trellon) \
  2> >(exec head -c 0) &
trellon=$!
pids+=($trellon)
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Trellon 0$' | head -1) ||
  fail "the main window did not appear with a closed stderr"
xdotool windowfocus --sync "$window"
click_play "$window"
wait_until 20 "playback did not start with a closed stderr" file_holds "$work/pipe.raw" 200000
kill -0 "$trellon" || fail "a write to a closed stderr ended Trellon"
end_with TERM 0 "$work/pipe.raw"

# The display goes away under a modified song: the song is kept.
start_playing "$work/gone.raw"
click_client "$window" 104 36
kill -KILL "$(cat "$work/xvfb.pid")"
wait_until 10 "Trellon went on without a display" bash -c "! kill -0 $trellon 2>/dev/null"
[ -s "$(kept_by "$state" "$trellon")" ] || fail "the modified song was not kept when the display went"
start_session_display
(cd "$bin" && SDL_AUDIODRIVER=dummy exec ./Trellon) >"$work/again.log" 2>&1 &
pids+=($!)
timeout 20 xdotool search --sync --onlyvisible --name '^Trellon$' >/dev/null ||
  fail "the song kept when the display went was not offered"
echo "no display: status 2 and one line; SIGTERM 0 and SIGINT 130 while playing; the edit kept at"
echo "SIGTERM, SIGHUP and SIGQUIT and when the display went; a closed stderr ends nothing"
