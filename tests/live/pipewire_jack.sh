#!/usr/bin/env bash
# The live-hit tests once more through PipeWire's JACK server: a private
# PipeWire at 44100 Hz with a graph period of 1024 frames, and the tests
# run under pw-jack, so that the libjack they and Trellon load is
# PipeWire's. Skipped (with the reason) where PipeWire's JACK server is not
# installed or does not start.
#
# Without real-time scheduling (as here) PipeWire's graph now and then
# moves its timeline by a period, and at smaller periods its latency
# changes while it runs; the tests that follow the loop over seconds
# frame for frame (its playback, recording into it) run on jackd only.
#
# usage: pipewire_jack.sh LIVE_TESTS
set -euo pipefail
live_tests=$1
here=$(dirname "$0")
. "$here/../e2e/session.sh"
. "$here/../e2e/sound_server.sh"

for p in pipewire pw-cli pw-jack; do
  command -v "$p" >/dev/null || skip "$p is not installed (PipeWire's JACK server: pipewire-jack)"
done
server_environment
pipewire_clock 1024
pipewire >"$work/pipewire.log" 2>&1 &
pids+=($!)
skip_unless 10 "the PipeWire server did not start" pipewire_answers
TRELLON_TEST_JACK_SERVER=running pw-jack "$live_tests" \
  --gtest_filter='JackLive.AHit*:JackLive.AThousand*:JackLive.Muted*' ||
  fail "the JACK tests failed through PipeWire's JACK server"
