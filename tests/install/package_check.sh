#!/usr/bin/env bash
# The Debian package as a user's system meets it: the files it installs,
# its control data and maintainer scripts, and lintian's verdict (no errors).
#
# usage: package_check.sh PACKAGE.deb
set -euo pipefail
deb=$1
fail() { echo "FAIL: $*" >&2; exit 1; }
contents=$(dpkg-deb -c "$deb")
arch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
for f in ./usr/bin/trellon ./usr/bin/ovra-regsvr "./usr/lib/$arch/libOvraAudio.so.1.0.0" \
  ./usr/include/ovra/OvraAudio.h "./usr/lib/$arch/pkgconfig/ovra-audio.pc" \
  ./usr/share/trellon/DuvoDodiz.loop ./usr/share/applications/org.trellon.Trellon.desktop \
  ./usr/share/icons/hicolor/scalable/apps/org.trellon.Trellon.svg \
  ./usr/share/mime/packages/org.trellon.Trellon.xml \
  ./usr/share/metainfo/org.trellon.Trellon.metainfo.xml ./usr/share/man/man1/trellon.1.gz \
  ./usr/share/man/man1/ovra-regsvr.1.gz ./usr/share/doc/trellon/copyright \
  ./usr/share/doc/trellon/changelog.gz ./usr/share/doc/trellon/changelog.Debian.gz \
  ./usr/share/doc/trellon/README.md.gz; do
  grep -qF " $f" <<<"$contents" || fail "the package lacks $f"
done
grep -qF "./usr/lib/$arch/libOvraAudio.so.1 -> libOvraAudio.so.1.0.0" <<<"$contents" ||
  fail "the package lacks the soname link"
! grep -q "registry.reg" <<<"$contents" || fail "the package ships a registry of the build"

info=$(dpkg-deb -I "$deb")
grep -q "^ Depends:.*libqt6widgets6" <<<"$info" || fail "no computed dependencies: $info"
grep -q "^ Depends:.*libsdl2" <<<"$info" || fail "SDL is not among the dependencies"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dpkg-deb -e "$deb" "$work/control"
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
dpkg-deb -x "$deb" "$work/root"
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
if [ "$(id -u)" = 0 ] && ! dpkg -s trellon >/dev/null 2>&1; then
  dpkg -i "$deb" >"$work/dpkg.log" 2>&1 || fail "the package does not install: $(cat "$work/dpkg.log")"
  grep -q "InprocServer32" /var/lib/ovra/registry.reg || fail "the library is not registered"
  mkdir -p "$work/home"
  env -i PATH=/usr/bin:/bin HOME="$work/home" trellon --render /usr/share/trellon/DuvoDodiz.loop \
    --out "$work/installed.wav" 2>"$work/render.log" ||
    { dpkg --purge trellon >/dev/null; fail "the installed program: $(cat "$work/render.log")"; }
  dpkg --purge trellon >>"$work/dpkg.log" 2>&1 || fail "the package does not purge"
  [ ! -e /var/lib/ovra ] || fail "purging left /var/lib/ovra: $(ls -A /var/lib/ovra)"
  [ ! -e /usr/bin/trellon ] || fail "purging left /usr/bin/trellon"
else
  echo "package: not installed here (not root, or a trellon package is installed already)"
fi

# Lintian: errors fail the check; warnings are shown.
lintian --tag-display-limit 0 "$deb" >"$work/lintian.txt" 2>&1 || true
cat "$work/lintian.txt"
! grep -q "^E: " "$work/lintian.txt" || fail "lintian reports errors"
echo "package: contents, control data and lintian pass"
