#!/usr/bin/env bash
# The Debian packages as a user's system meets them: the files each
# installs, their control data and maintainer scripts, hardening, the three
# installed together and purged, and lintian's verdict (-I --pedantic: no
# tag but those the packages override, each with its reason).
#
# usage: package_check.sh LIBRARY.deb DEV.deb PROGRAM.deb
set -euo pipefail
lib=$1 dev=$2 deb=$3
fail() { echo "FAIL: $*" >&2; exit 1; }
arch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
# Whether package DEB holds each FILE.
holds() {  # DEB FILE...
  local contents
  contents=$(dpkg-deb -c "$1")
  local name
  name=$(dpkg-deb -f "$1" Package)
  shift
  for f in "$@"; do
    grep -qF " $f" <<<"$contents" || fail "$name lacks $f"
  done
  ! grep -q "registry.reg" <<<"$contents" || fail "$name ships a registry of the build"
}
holds "$lib" ./usr/bin/ovra-regsvr "./usr/lib/$arch/libOvraAudio.so.1.0.0" \
  "./usr/lib/$arch/libOvraAudio.so.1 -> libOvraAudio.so.1.0.0" ./usr/share/man/man1/ovra-regsvr.1.gz \
  ./usr/share/doc/libovraaudio1/copyright ./usr/share/doc/libovraaudio1/changelog.Debian.gz \
  ./usr/share/lintian/overrides/libovraaudio1
holds "$dev" ./usr/include/ovra/OvraAudio.h ./usr/include/ovra/OvraAudio_c.h \
  ./usr/include/ovra/com/activation.h "./usr/lib/$arch/libovra-com.a" \
  "./usr/lib/$arch/pkgconfig/ovra-audio.pc" ./usr/share/man/man3/OvraAudio.3.gz \
  ./usr/share/doc/libovraaudio-dev/examples/wav_info.c ./usr/share/doc/libovraaudio-dev/copyright
holds "$deb" ./usr/bin/trellon ./usr/share/trellon/DuvoDodiz.loop \
  ./usr/share/applications/org.trellon.Trellon.desktop \
  ./usr/share/icons/hicolor/scalable/apps/org.trellon.Trellon.svg \
  ./usr/share/mime/packages/org.trellon.Trellon.xml \
  ./usr/share/metainfo/org.trellon.Trellon.metainfo.xml ./usr/share/man/man1/trellon.1.gz \
  ./usr/share/doc/trellon/copyright ./usr/share/doc/trellon/changelog.gz \
  ./usr/share/doc/trellon/changelog.Debian.gz ./usr/share/doc/trellon/README.md.gz
program_files=$(dpkg-deb -c "$deb")
! grep -q "libOvraAudio\|/include/" <<<"$program_files" || fail "the program's package holds the library's files"

version=$(dpkg-deb -f "$lib" Version)
grep -q "libovraaudio1 (= $version)" <<<"$(dpkg-deb -f "$deb" Depends)" ||
  fail "the program does not depend on the library it activates"
grep -q "libovraaudio1 (= $version)" <<<"$(dpkg-deb -f "$dev" Depends)" ||
  fail "the client kit does not depend on the library"
info=$(dpkg-deb -I "$deb")
grep -q "^ Depends:.*libqt6widgets6" <<<"$info" || fail "no computed dependencies: $info"
grep -q "^ Depends:.*libsdl2" <<<"$info" || fail "SDL is not among the dependencies"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dpkg-deb -e "$lib" "$work/control"
grep -q "^libOvraAudio 1 libovraaudio1" "$work/control/shlibs" || fail "the library has no shlibs file"
grep -q "^ DllGetClassObject@Base" "$work/control/symbols" || fail "the library has no symbols file"
grep -q -- "--system -s .*/libOvraAudio.so.1\$" "$work/control/postinst" ||
  fail "postinst does not register the library: $(cat "$work/control/postinst")"
grep -q -- "--system -u -s" "$work/control/prerm" || fail "prerm does not unregister the library"
grep -q "activate-noawait ldconfig" "$work/control/triggers" || fail "no ldconfig trigger"
for s in postinst prerm postrm; do
  [ "$(stat -c %a "$work/control/$s")" = 755 ] || fail "$s is not executable"
  sh -n "$work/control/$s" || fail "$s is not a valid shell script"
done

# Debian's hardening: every binary bound at load time, with the fortified
# functions where it calls them.
for d in "$lib" "$dev" "$deb"; do dpkg-deb -x "$d" "$work/root"; done
for f in usr/bin/trellon usr/bin/ovra-regsvr "usr/lib/$arch/libOvraAudio.so.1.0.0"; do
  dynamic=$(readelf -d "$work/root/$f")
  grep -q "BIND_NOW" <<<"$dynamic" || fail "$f is not linked with BIND_NOW"
done
symbols=$(readelf -s --wide "$work/root/usr/bin/trellon")
grep -q "__[a-z]*_chk@" <<<"$symbols" || fail "trellon calls no fortified function"
grep -q "__stack_chk_fail@" <<<"$symbols" || fail "trellon has no stack protector"

grep -q "mkdir -p /var/lib/ovra" "$work/control/postinst" ||
  fail "postinst does not make the machine-wide registry's folder"

# Installed on this machine (when it may be): a new user's render works
# through the machine-wide registry, and a purge leaves nothing behind.
packages="trellon libovraaudio-dev libovraaudio1"
installed() { for p in $packages; do dpkg -s "$p" >/dev/null 2>&1 && return 0; done; return 1; }
if [ "$(id -u)" = 0 ] && ! installed; then
  dpkg -i "$lib" "$dev" "$deb" >"$work/dpkg.log" 2>&1 ||
    { dpkg --purge $packages >/dev/null 2>&1 || true; fail "the packages do not install together: $(cat "$work/dpkg.log")"; }
  grep -q "InprocServer32" /var/lib/ovra/registry.reg || fail "the library is not registered"
  mkdir -p "$work/home"
  env -i PATH=/usr/bin:/bin HOME="$work/home" trellon --render /usr/share/trellon/DuvoDodiz.loop \
    --out "$work/installed.wav" 2>"$work/render.log" ||
    { dpkg --purge $packages >/dev/null; fail "the installed program: $(cat "$work/render.log")"; }
  # shellcheck disable=SC2086
  dpkg --purge $packages >>"$work/dpkg.log" 2>&1 || fail "the packages do not purge"
  [ ! -e /var/lib/ovra ] || fail "purging left /var/lib/ovra: $(ls -A /var/lib/ovra)"
  for f in /usr/bin/trellon /usr/bin/ovra-regsvr /usr/include/ovra "/usr/lib/$arch/libOvraAudio.so.1"; do
    [ ! -e "$f" ] || fail "purging left $f"
  done
else
  echo "package: not installed here (not root, or one of the packages is installed already)"
fi

# Lintian at its most detailed: any tag the packages do not override fails.
lintian -I --pedantic --tag-display-limit 0 "$lib" "$dev" "$deb" >"$work/lintian.txt" 2>&1 || true
tags=$(grep -E "^[EWIPX]: " "$work/lintian.txt" || true)
[ -z "$tags" ] || fail "lintian: $tags"
echo "package: contents, control data, hardening, installation and lintian pass"
