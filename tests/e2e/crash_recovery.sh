#!/usr/bin/env bash
# Recovery after a crash, as a user meets it: Trellon on an X server (Xvfb)
# with a home of its own, a tick clicked, the song kept for recovery (every
# second here, by the user's settings), the program killed with SIGKILL.
# The next start offers the song; accepted, it is the song that was being
# edited, and it is kept again, byte for byte the same.
#
# usage: crash_recovery.sh BIN_DIR AUDIO_LIBRARY
set -euo pipefail
bin=$1 library=$2
. "$(dirname "$0")/session.sh"
start_session "$bin" "$library"

export HOME="$work/home" XDG_STATE_HOME="$work/state" XDG_CONFIG_HOME="$work/config"
mkdir -p "$HOME" "$XDG_CONFIG_HOME/Trellon"
printf '[Recovery]\nIntervalSeconds=1\n' >"$XDG_CONFIG_HOME/Trellon/Trellon.ini"
export SDL_AUDIODRIVER=dummy
state="$XDG_STATE_HOME/trellon"

(cd "$bin" && exec ./Trellon) >"$work/first.log" 2>&1 &
first=$!
pids+=($first)
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Trellon 0$' | head -1) ||
  fail "the main window did not appear"
# The first tick of the first row: 96 pixels from the left, 28 below the menu bar.
xdotool windowfocus --sync "$window"
click_client "$window" 104 36
wait_until 20 "the edited song was not kept for recovery" bash -c "[ -s \"\$(ls $state/autosave-$first-*.loop 2>/dev/null)\" ]"
kill -KILL "$first"
wait "$first" 2>/dev/null || true
first_kept=$(kept_by "$state" "$first")
cp "$first_kept" "$work/kept.loop"
# Kept: the bundled song with that one tick changed.
changed=$( (cmp -l "$bin/DuvoDodiz.loop" "$work/kept.loop" || true) | wc -l)
[ "$changed" -eq 1 ] || fail "the kept song differs from the bundled one in $changed bytes, not 1"

(cd "$bin" && exec ./Trellon) >"$work/second.log" 2>&1 &
second=$!
pids+=($second)
question=$(timeout 20 xdotool search --sync --onlyvisible --name '^Trellon$' | head -1) ||
  fail "no offer to restore the song"
xdotool windowfocus --sync "$question" key Return
timeout 20 xdotool search --sync --onlyvisible --name '^Trellon 0$' >/dev/null ||
  fail "the main window did not appear after restoring"
wait_until 20 "the restored song was not kept" bash -c "[ -s \"\$(ls $state/autosave-$second-*.loop 2>/dev/null)\" ]"
[ ! -e "$first_kept" ] || fail "the offered song was not taken away"
cmp "$work/kept.loop" "$(kept_by "$state" "$second")" ||
  fail "the restored song is not the one that was being edited"
echo "restored the song kept before SIGKILL, byte for byte"
