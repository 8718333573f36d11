#!/usr/bin/env bash
# An installation into a temporary prefix as a new user meets it: with an
# empty home and no registry of their own, the installed program renders
# the installed default song exactly as the build does, its window comes up
# with its caption, a stale registration of the user's is passed over and
# pruned, a client program built with pkg-config creates the library's
# classes, and the desktop files and manual pages validate.
#
# usage: install_check.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
. "$(dirname "$0")/../e2e/session.sh"
prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >"$work/install.log"
[ -x "$prefix/bin/trellon" ] || fail "no trellon in $prefix/bin"
grep -q "InprocServer32" "$prefix/var/lib/ovra/registry.reg" ||
  fail "installing did not register the library machine-wide"

# A fresh user: an empty home, nothing in the environment.
home="$work/home"
mkdir -p "$home"
fresh() { env -i PATH=/usr/bin:/bin HOME="$home" "$@"; }

fresh "$prefix/bin/trellon" --render "$prefix/share/trellon/DuvoDodiz.loop" --loop 1 \
  --out "$work/installed.wav" 2>"$work/render.log" || fail "the installed render failed"
OVRA_REGISTRY="$work/build.reg" "$build/bin/ovra-regsvr" -s "$build/audio/libOvraAudio.so"
OVRA_REGISTRY="$work/build.reg" "$build/bin/Trellon" --render "$build/bin/DuvoDodiz.loop" \
  --loop 1 --out "$work/built.wav"
cmp -s "$work/installed.wav" "$work/built.wav" || fail "the installed rendering differs"
[ ! -e "$home/.local/share/ovra/registry.reg" ] || fail "the user got a registry of their own"

# A user who once registered a copy of the library and deleted it: the
# installed program passes over the stale registration, --repair reports it
# and --prune removes it.
stale="$work/stale"
mkdir -p "$stale"
cp "$build/audio/libOvraAudio.so" "$work/copy.so"
env -i PATH=/usr/bin:/bin HOME="$stale" "$prefix/bin/ovra-regsvr" -s "$work/copy.so" ||
  fail "registering a copy for the user failed"
rm "$work/copy.so"
env -i PATH=/usr/bin:/bin HOME="$stale" "$prefix/bin/trellon" --render \
  "$prefix/share/trellon/DuvoDodiz.loop" --loop 1 --out "$work/stale.wav" 2>"$work/stale.log" ||
  fail "a stale user registration broke the installed program: $(cat "$work/stale.log")"
cmp -s "$work/stale.wav" "$work/built.wav" || fail "the rendering past a stale registration differs"
env -i PATH=/usr/bin:/bin HOME="$stale" "$prefix/bin/ovra-regsvr" --repair >"$work/repair.log"
grep -q "copy.so, which is gone" "$work/repair.log" || fail "--repair: $(cat "$work/repair.log")"
env -i PATH=/usr/bin:/bin HOME="$stale" "$prefix/bin/ovra-regsvr" --prune >/dev/null
! grep -q "copy.so" "$stale/.local/share/ovra/registry.reg" || fail "--prune left the stale entry"

# The installed command line, as a user types it, without a display and
# with one: a wrong option is named under the command's own name, --opt=value
# is taken, an unknown output format is refused, a failed write of the help
# is said.
command_line() {  # DISPLAY
  local status out
  status=0
  out=$(env -i PATH=/usr/bin:/bin HOME="$home" DISPLAY="$1" "$prefix/bin/trellon" --bogus 2>&1) ||
    status=$?
  [ "$status" = 2 ] && grep -qF "unrecognized option '--bogus'" <<<"$out" &&
    grep -qF "Try 'trellon --help'" <<<"$out" ||
    fail "trellon --bogus (display '$1') gave status $status: $out"
  fresh DISPLAY="$1" "$prefix/bin/trellon" --render "$prefix/share/trellon/DuvoDodiz.loop" \
    --loop=1 --out="$work/equals.wav" || fail "--loop=1 --out=FILE (display '$1') was refused"
  cmp -s "$work/equals.wav" "$work/built.wav" || fail "--out=FILE rendered something else"
  status=0
  out=$(fresh DISPLAY="$1" "$prefix/bin/trellon" --render "$prefix/share/trellon/DuvoDodiz.loop" \
    --out "$work/x.mp3" 2>&1) || status=$?
  [ "$status" = 2 ] && [ ! -e "$work/x.mp3" ] && grep -qF ".mp3" <<<"$out" ||
    fail "--out x.mp3 (display '$1') gave status $status: $out"
  status=0
  out=$(fresh DISPLAY="$1" "$prefix/bin/trellon" --help 2>&1 >/dev/full) || status=$?
  [ "$status" = 1 ] && grep -qi "write error" <<<"$out" ||
    fail "--help >/dev/full (display '$1') gave status $status: $out"
}
command_line ""

# The window, started from the installed prefix on the installed song.
start_session "$build/bin" "$build/audio/libOvraAudio.so"
display=$DISPLAY
command_line "$display"
(env -i PATH=/usr/bin:/bin HOME="$home" DISPLAY="$display" QT_QPA_PLATFORM=xcb \
  SDL_AUDIODRIVER=dummy "$prefix/bin/trellon") >"$work/window.log" 2>&1 &
pids+=($!)
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Trellon 0$' | head -1) ||
  fail "the installed window did not come up as \"Trellon 0\""
# Docks match the window to the menu entry by its class, and show its icon.
class=$(xprop -id "$window" WM_CLASS | sed -n 's/.*", "\(.*\)"$/\1/p')
grep -qx "StartupWMClass=$class" "$prefix/share/applications/org.trellon.Trellon.desktop" ||
  fail "the window's class \"$class\" is not the desktop file's StartupWMClass"
icons=$(xprop -id "$window" _NET_WM_ICON | grep "^.Icon (")
grep -q "Icon (48 x 48)" <<<"$icons" || fail "the window has no icon: $icons"

# A client of the library, built against the installation alone, as C++17
# and C++20, with the one header.
cat >"$work/client.cpp" <<'CPP'
#include <cstdio>
#include "OvraAudio.h"
int main() {
    ComPtr<IOvraAudioGlobals> g;
    HRESULT hr = CoCreateInstance(CLSID_OvraAudioGlobals, g.Out());
    if (FAILED(hr)) return std::printf("activation failed: 0x%08x\n", unsigned(hr)), 1;
    ComPtr<IWav> w;
    if (FAILED(g->MakeWav(441, 2, 44100, 2, w.Out()))) return 1;
    LONG frames = 0;
    w->get_NumSamples(&frames);
    std::printf("%ld frames\n", long(frames));
    return frames == 441 ? 0 : 1;
}
CPP
pc=$(dirname "$(find "$prefix" -name ovra-audio.pc)")
# shellcheck disable=SC2046
for std in c++17 c++20; do
  # shellcheck disable=SC2046
  g++ -std=$std -Wall -Wextra -o "$work/client" "$work/client.cpp" \
    $(PKG_CONFIG_PATH="$pc" pkg-config --cflags --libs ovra-audio) ||
    fail "the client does not build as $std from the header alone"
done
# Outside the prefix, a client is told where the prefix's registry is
# (programs under <prefix>/bin, and every program of a /usr install, know).
client() { fresh OVRA_SYSTEM_REGISTRY="$prefix/var/lib/ovra/registry.reg" "$work/client"; }
[ "$(client)" = "441 frames" ] || fail "the client: $(client 2>&1)"

# The C example, as installed with the documentation, built as a C client
# builds it and run on the rendering.
example="$prefix/share/doc/libovraaudio-dev/examples/wav_info.c"
[ -f "$example" ] || fail "no C example at $example"
# shellcheck disable=SC2046
gcc -std=c11 -Wall -Wextra -pedantic -Werror -o "$work/wav_info" "$example" \
  $(PKG_CONFIG_PATH="$pc" pkg-config --cflags --libs ovra-audio) ||
  fail "the C example does not build from the installed kit"
frames=$((($(stat -c %s "$work/installed.wav") - 44) / 4))
said=$(fresh OVRA_SYSTEM_REGISTRY="$prefix/var/lib/ovra/registry.reg" "$work/wav_info" "$work/installed.wav") ||
  fail "the C example failed: $said"
[[ "$said" =~ ^"$work/installed.wav: $frames frames, 2 channels, 44100 Hz, peak -"[0-9]+\.\.[0-9]+$ ]] ||
  fail "the C example said: $said"

# Desktop entry, AppStream data, file type and manual pages.
desktop-file-validate "$prefix/share/applications/org.trellon.Trellon.desktop" ||
  fail "the desktop file does not validate"
grep -qx "Exec=$prefix/bin/trellon %f" "$prefix/share/applications/org.trellon.Trellon.desktop" ||
  fail "the menu entry of a prefix off the PATH does not start $prefix/bin/trellon"
appstreamcli validate --no-net --pedantic "$prefix/share/metainfo/org.trellon.Trellon.metainfo.xml" \
  >"$work/appstream.log" 2>&1 || fail "the metainfo does not validate: $(cat "$work/appstream.log")"
grep -q 'glob pattern="\*.loop"' "$prefix/share/mime/packages/org.trellon.Trellon.xml" ||
  fail "no file type for .loop"
for page in man1/trellon.1 man1/ovra-regsvr.1 man3/OvraAudio.3; do
  warnings=$(zcat "$prefix/share/man/$page.gz" | groff -man -ww -z 2>&1)
  [ -z "$warnings" ] || fail "man page $page: $warnings"
  name=$(basename "$page")
  MANPATH="$prefix/share/man" man -w "${name##*.}" "${name%.*}" >/dev/null ||
    fail "man ${name%.*} finds nothing"
done
echo "install: render, window, C and C++ clients, desktop files and manual pages pass"
