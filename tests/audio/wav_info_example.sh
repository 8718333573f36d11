#!/usr/bin/env bash
# The C example, built in the tree, run against the real library through a
# registry of the test's own: a file of known values, and a missing one.
#
# usage: wav_info_example.sh WAV_INFO REGSVR AUDIO_LIBRARY
set -euo pipefail
example=$1 regsvr=$2 library=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
export OVRA_REGISTRY="$work/registry.reg"
"$regsvr" -s "$library"

# 440 frames of 4096 | -4096, then one of 12345 | -20000.
for _ in $(seq 440); do printf '\000\020\000\360'; done >"$work/values.raw"
printf '\071\060\340\261' >>"$work/values.raw"
sox -t raw -r 44100 -c 2 -b 16 -e signed-integer -L "$work/values.raw" "$work/known.wav"

out=$("$example" "$work/known.wav") || fail "the example failed on a good file: $out"
[ "$out" = "$work/known.wav: 441 frames, 2 channels, 44100 Hz, peak -20000..12345" ] ||
  fail "the example said: $out"

status=0
err=$("$example" "$work/known.wav" "$work/missing.wav" 2>&1 >/dev/null) || status=$?
[ "$status" -eq 1 ] || fail "a missing file gave status $status"
[ "$err" = "wav_info: $work/missing.wav: no such file" ] || fail "a missing file said: $err"
echo "the C example reads a known file and refuses a missing one"
