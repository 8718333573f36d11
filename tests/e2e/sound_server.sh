# Sourced by the end-to-end tests that play through a real sound server: a
# private PulseAudio, or a private PipeWire with its PulseAudio service and
# session manager on a private D-Bus, each with a null sink "nul" at 44100
# Hz that is the default output and whose monitor can be recorded. Needs
# session.sh sourced first. A server that cannot start skips the test.

# Ends the test as skipped (ctest's SKIP_RETURN_CODE), saying why.
skip() {
  echo "SKIP: $*"
  for log in "$work"/*.log; do
    [ -s "$log" ] && { echo "--- $(basename "$log")"; tail -5 "$log"; }
  done
  exit 77
}

# Runs COMMAND at real-time priority PRIORITY where that is allowed, plainly
# elsewhere: as a studio runs its sound server and its players. A thread of
# normal priority on a busy machine is late now and then, and a period of
# silence goes into the stream: the machine's doing, not the program's.
# It replaces the shell it runs in: use it in a background job or subshell,
# whose pid is then the command's.
realtime() {  # PRIORITY COMMAND...
  local priority=$1
  shift
  if chrt --rr "$priority" true 2>/dev/null; then exec chrt --rr "$priority" "$@"; fi
  exec "$@"
}

# Runs a player whose stream keeps 100 ms in the server, as desktop
# players ask for. SDL asks for one period (46 ms), and the sink runs at
# the recorder's 20 ms: a thread stalled for a few tens of milliseconds
# on a busy machine would put silence into the stream. The recorder's own
# streams keep their short latency, so that the sink's pace stays short.
# Like realtime, it is for a background job or subshell.
player() {  # COMMAND...
  export PULSE_LATENCY_MSEC=100
  "$@"
}

# The server's folders, all under the test's own folder.
server_environment() {
  export XDG_RUNTIME_DIR="$work/runtime" HOME="$work/home" XDG_CONFIG_HOME="$work/config"
  export XDG_STATE_HOME="$work/state" XDG_DATA_HOME="$work/data"
  mkdir -p -m 700 "$XDG_RUNTIME_DIR"
  mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_STATE_HOME" "$XDG_DATA_HOME"
  export PULSE_SERVER="unix:$XDG_RUNTIME_DIR/pulse/native"
  unset PIPEWIRE_REMOTE PIPEWIRE_RUNTIME_DIR
}

# Waits until COMMAND succeeds, trying every 50 ms, for at most SECONDS;
# skips the test with WHY when the deadline passes (as wait_until fails).
skip_unless() {  # SECONDS WHY COMMAND...
  local deadline=$((SECONDS + $1)) why=$2
  shift 2
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || skip "$why"
    sleep 0.05
  done
}

server_answers() {
  pactl info >/dev/null 2>&1
}

pipewire_answers() {
  pw-cli info 0 >/dev/null 2>&1
}

# Whether the null sink exists.
sink_ready() {
  pactl list short sinks 2>/dev/null | grep -q '[[:space:]]nul[[:space:]]'
}

start_pulseaudio() {
  command -v pulseaudio >/dev/null || skip "pulseaudio is not installed"
  server_environment
  # It asks for real-time threads through a D-Bus service that is not here.
  realtime 20 pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=false \
    --load="module-null-sink sink_name=nul rate=44100 channels=2 format=s16le" \
    --load=module-native-protocol-unix >"$work/pulseaudio.log" 2>&1 &
  pids+=($!)
  skip_unless 10 "the PulseAudio server did not start" server_answers
  pactl set-default-sink nul
}

# PipeWire's clock for a server started after this: one rate, the loops'
# (without it PipeWire resamples and no recording can equal the
# rendering), and one graph period of FRAMES.
pipewire_clock() {  # FRAMES
  mkdir -p "$XDG_CONFIG_HOME/pipewire/pipewire.conf.d"
  cat >"$XDG_CONFIG_HOME/pipewire/pipewire.conf.d/clock.conf" <<CONF
context.properties = {
    default.clock.rate = 44100
    default.clock.allowed-rates = [ 44100 ]
    default.clock.quantum = $1
    default.clock.min-quantum = $1
    default.clock.max-quantum = $1
}
CONF
}

start_pipewire() {
  for p in pipewire pw-cli wireplumber pipewire-pulse dbus-daemon; do
    command -v "$p" >/dev/null || skip "$p is not installed"
  done
  server_environment
  # A graph period of 2048 frames: here the server's threads run without
  # real-time priority, and at the default period they miss their turn now
  # and then, silencing a period of every client's audio (a plain SDL
  # stream's too).
  pipewire_clock 2048
  exec 4>"$work/dbus.address"
  dbus-daemon --session --nofork --nopidfile --print-address=4 >"$work/dbus.log" 2>&1 &
  pids+=($!)
  skip_unless 10 "the private D-Bus did not start" [ -s "$work/dbus.address" ]
  export DBUS_SESSION_BUS_ADDRESS=$(head -1 "$work/dbus.address")
  pipewire >"$work/pipewire.log" 2>&1 &
  pids+=($!)
  # The session manager gives up at once ("Failed to connect to PipeWire")
  # when the server is not yet listening, and without it there is no
  # default sink.
  skip_unless 10 "the PipeWire server did not start" pipewire_answers
  wireplumber >"$work/wireplumber.log" 2>&1 &
  pids+=($!)
  # PipeWire's PulseAudio service takes its clients' audio on its main
  # thread, which PipeWire leaves at normal priority.
  realtime 20 pipewire-pulse >"$work/pipewire-pulse.log" 2>&1 &
  pids+=($!)
  skip_unless 15 "PipeWire's PulseAudio service did not start" server_answers
  pactl load-module module-null-sink sink_name=nul rate=44100 channels=2 format=s16le \
    >/dev/null || skip "PipeWire did not make a null sink"
  skip_unless 10 "PipeWire's null sink did not appear" sink_ready
  # The default sink is kept in the session manager's metadata, which may
  # not exist yet when the sink does: until then setting it fails ("Not
  # supported").
  skip_unless 10 "PipeWire did not take the null sink as its default" default_sink_is_nul
}

# Makes the null sink the default output; whether the server now says so.
default_sink_is_nul() {
  pactl set-default-sink nul 2>/dev/null && [ "$(pactl get-default-sink 2>/dev/null)" = nul ]
}

sink_running() {
  pactl list short sinks 2>/dev/null | grep -q '[[:space:]]nul[[:space:]].*RUNNING'
}

# Records the null sink's monitor into FILE until stop_recording. An idle
# sink's monitor gives audio only now and then, and the sink's start when
# the program begins to play would cut into the recording: a stream of
# zeros keeps it running throughout (mixed with the program's audio at
# full volume, zeros change no value).
start_recording() {  # FILE
  pacat --latency-msec=20 --playback --raw --format=s16le --rate=44100 --channels=2 /dev/zero \
    >"$work/pacat.log" 2>&1 &
  pids+=($!)
  wait_until 10 "the sink did not start running" sink_running
  parec --latency-msec=20 -d nul.monitor --format=s16le --rate=44100 --channels=2 --raw \
    >"$1" 2>"$work/parec.log" &
  recorder=$!
  pids+=($recorder)
  wait_until 10 "the recording did not start" file_holds "$1" 4096
}

stop_recording() {
  kill -INT "$recorder" 2>/dev/null || true
  wait "$recorder" 2>/dev/null || true
}
