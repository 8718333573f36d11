# Sourced by the end-to-end tests: a scratch folder, an X server of their
# own (Xvfb) on a free display, the audio library registered in a registry
# of their own, and everything started here ended on exit.
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

start_session() {  # BIN_DIR AUDIO_LIBRARY
  exec 3>"$work/display"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
  [ -s "$work/display" ] || fail "Xvfb did not start"
  export DISPLAY=":$(head -1 "$work/display")"
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
