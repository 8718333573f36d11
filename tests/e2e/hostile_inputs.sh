#!/usr/bin/env bash
# What a careless user or a hostile file can hand the program from the
# command line, through the real binaries: a FIFO as the song, --out naming
# the song, output through a symbolic link, tempos no loop buffer holds, an
# allocation that fails, and a registry cut to nothing or nested too deep.
# Each ends in a message and a status, never a hang, an abort or a lost
# file.
#
# usage: hostile_inputs.sh BIN_DIR AUDIO_LIBRARY
set -euo pipefail
bin=$1 library=$2
. "$(dirname "$0")/session.sh"
export OVRA_REGISTRY="$work/registry.reg"
"$bin/ovra-regsvr" -s "$library"
song="$work/song.loop"
cp "$bin/DuvoDodiz.loop" "$song"

# Runs Trellon with a deadline; sets $status and leaves stderr in $work/err.
trellon() {
  status=0
  timeout -s KILL 20 "$bin/Trellon" "$@" >"$work/out" 2>"$work/err" || status=$?
}
expect() {  # STATUS TEXT WHAT
  [ "$status" -eq "$1" ] || fail "$3: status $status, not $1: $(cat "$work/err")"
  grep -qF -- "$2" "$work/err" || fail "$3: no \"$2\" in: $(cat "$work/err")"
}

# A FIFO nobody writes to is refused at once.
mkfifo "$work/pipe.loop"
trellon --render "$work/pipe.loop" --out "$work/x.wav"
expect 1 "not a regular file" "a FIFO as the song"

# --out naming the song, directly or through a link, is refused and the
# song kept.
ln -s song.loop "$work/alias.loop"
for out in "$song" "$work/alias.loop" "$work/./song.loop"; do
  trellon --render "$song" --out "$out"
  expect 2 "names the song itself" "--out $out"
  cmp -s "$song" "$bin/DuvoDodiz.loop" || fail "--out $out changed the song"
done

# Output through a link writes the file it leads to; the link stays.
mkdir "$work/renders"
echo old >"$work/renders/take.wav"
ln -s renders/take.wav "$work/take.wav"
trellon --render "$song" --out "$work/take.wav"
[ "$status" -eq 0 ] || fail "render through a link: $(cat "$work/err")"
[ -L "$work/take.wav" ] || fail "the link was replaced by a file"
[ "$(head -c 4 "$work/renders/take.wav")" = RIFF ] || fail "the link's target was not written"
mkfifo "$work/renders/pipe.wav"
trellon --render "$song" --out "$work/renders/pipe.wav"
expect 1 "not a regular file" "--out naming a FIFO"

# Tempos that once reached undefined arithmetic or gigabyte buffers.
with_tempo() {  # RAW OUT
  python3 - "$song" "$2" "$1" <<'PY'
import struct, sys
data = bytearray(open(sys.argv[1], "rb").read())
data[2:10] = struct.pack("<q", int(sys.argv[3]))
open(sys.argv[2], "wb").write(data)
PY
}
for raw in 4611686018427387904 -9223372036854775808 827 395 0; do
  with_tempo "$raw" "$work/tempo.loop"
  trellon --render "$work/tempo.loop" --out "$work/t.wav"
  expect 1 "is not a Trellon song: a tempo of $raw" "tempo $raw"
done

# An allocation that fails is error 7 and a message, never an abort: 1 bpm
# needs an 85 MB loop buffer. Address-space limits from just above what the
# program needs to start to well above it; each run succeeds or says so.
with_tempo 10000 "$work/slow.loop"
short=0
for limit in 90000 110000 130000 150000 200000 300000; do
  status=0
  (ulimit -v "$limit" && exec timeout -s KILL 60 "$bin/Trellon" --render "$work/slow.loop" \
    --loop 0 --out "$work/slow.wav") >"$work/out" 2>"$work/err" || status=$?
  [ "$status" -eq 127 ] && continue  # too little to load the libraries at all
  [ "$status" -lt 2 ] || fail "with $limit KB of address space: status $status: $(cat "$work/err")"
  if [ "$status" -eq 1 ]; then
    grep -q "Out of memory" "$work/err" || fail "with $limit KB: $(cat "$work/err")"
    short=$((short + 1))
  fi
done
[ "$short" -gt 0 ] || fail "no limit made the allocation fail"

# A registry cut to nothing is damage, named with its file and line, and
# left as it is for --repair.
: >"$OVRA_REGISTRY"
trellon --render "$song" --out "$work/y.wav"
expect 1 "$OVRA_REGISTRY: line 1" "an empty registry"
grep -qF -- "--repair" "$work/err" || fail "the way out is not named: $(cat "$work/err")"
[ ! -s "$OVRA_REGISTRY" ] || fail "the damaged registry was rewritten"
# So is a key nested 200,000 levels deep (it overflowed the stack).
python3 - "$OVRA_REGISTRY" <<'PY'
import sys
open(sys.argv[1], "w").write("Windows Registry Editor Version 5.00\n\n[HKEY_CLASSES_ROOT"
                             + "\\k" * 200000 + "]\n\n; end of registry\n")
PY
trellon --render "$song" --out "$work/y.wav"
expect 1 "$OVRA_REGISTRY: line 3: a key nested deeper than 512 levels" "a registry 200,000 keys deep"
"$bin/ovra-regsvr" --repair "$library" >"$work/out" 2>&1 || fail "--repair: $(cat "$work/out")"
trellon --render "$song" --out "$work/y.wav"
[ "$status" -eq 0 ] || fail "after --repair: $(cat "$work/err")"
echo "hostile inputs: all refused cleanly"
