# Sourced by the end-to-end tests: a scratch folder, an X server of their
# own (Xvfb) on a free display, the audio library registered in a registry
# of their own, and everything started here ended on exit.
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  # E2E_KEEP=1 keeps the folder, to look at what a failing test left.
  if [ -n "${E2E_KEEP:-}" ]; then echo "kept $work" >&2; else rm -rf "$work"; fi
}
trap cleanup EXIT
# Fails the test with a reason, and shows what the programs it started said.
fail() {
  echo "FAIL: $*" >&2
  for log in "$work"/*.log; do
    [ -s "$log" ] && { echo "--- $(basename "$log")"; cat "$log"; } >&2
  done
  exit 1
}

# Waits until COMMAND succeeds, trying every 50 ms, for at most SECONDS;
# fails with WHAT when the deadline passes.
wait_until() {  # SECONDS WHAT COMMAND...
  local deadline=$((SECONDS + $1)) what=$2
  shift 2
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || fail "$what"
    sleep 0.05
  done
}

# Whether FILE holds at least BYTES bytes.
file_holds() {  # FILE BYTES
  [ -f "$1" ] && [ "$(stat -c %s "$1")" -ge "$2" ]
}

# An X server of the test's own (Xvfb); its pid in $work/xvfb.pid.
start_session_display() {
  rm -f "$work/display"
  exec 3>"$work/display"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
  pids+=($!)
  echo $! >"$work/xvfb.pid"
  wait_until 10 "Xvfb did not start" test -s "$work/display"
  export DISPLAY=":$(head -1 "$work/display")"
}

start_session() {  # BIN_DIR AUDIO_LIBRARY
  # A user of the test's own: the machine user's settings and kept songs
  # (a song kept for recovery is offered at start) never reach the test.
  export HOME="$work/home" XDG_STATE_HOME="$work/state" XDG_CONFIG_HOME="$work/config"
  mkdir -p "$HOME" "$XDG_STATE_HOME" "$XDG_CONFIG_HOME"
  start_session_display
  export QT_QPA_PLATFORM=xcb
  export OVRA_REGISTRY="$work/registry.reg"
  "$1/ovra-regsvr" -s "$2"
}

# Whether the capture, after whole device periods of leading silence (the
# device may run a period or two before the first buffer plays), starts
# with COUNT bytes equal to FILE's from byte OFFSET (0-based).
capture_matches() {  # CAPTURE FILE OFFSET COUNT
  local period=2048 k
  for k in $(seq 0 16); do
    local skip=$((k * period))
    if [ "$k" -gt 0 ] && head -c "$skip" "$1" | tr -d '\0' | grep -q .; then return 1; fi
    if cmp -s -n "$4" <(tail -c +$((skip + 1)) "$1") <(tail -c +$(($3 + 1)) "$2"); then
      lead=$skip
      return 0
    fi
  done
  return 1
}

# Clicks the main window WINDOW at (X, Y) of its client area. The client
# area is 260 pixels high; the menu bar above it and the status bar below
# share the rest of the window's height (both one line of the same font).
click_client() {  # WINDOW X Y
  local height
  height=$(xdotool getwindowgeometry --shell "$1" | sed -n 's/^HEIGHT=//p')
  xdotool mousemove --window "$1" "$2" $(((height - 260) / 2 + $3)) click 1
}

# Clicks the main window's Play button, 4 pixels below the menu bar.
click_play() {  # WINDOW
  click_client "$1" 48 12
}

# The song process PID keeps for recovery in FOLDER (its session's autosave);
# nothing when there is none.
kept_by() {  # FOLDER PID
  ls "$1"/autosave-"$2"-*.loop 2>/dev/null | head -1
}
