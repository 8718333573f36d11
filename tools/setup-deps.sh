#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running need,
# and nothing when they are all present. Runs apt-get through sudo when not
# root, and refreshes the package lists once if a package cannot be found.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ make pkg-config clang-format
  # tests, fuzzing and benchmarks
  googletest libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev
  vorbis-tools xvfb xauth xdotool
  # private sound servers for the end-to-end tests
  pulseaudio pulseaudio-utils pipewire pipewire-pulse wireplumber dbus-daemon
  jackd2 pipewire-jack
  # network namespaces of their own for the tests of peers on a network
  iproute2
  # installing and packaging: validators and the package checker
  desktop-file-utils appstream lintian dpkg-dev
  # libraries
  libstb-dev qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libxcb1-dev libsdl2-dev
  libsndfile1-dev libsoxr-dev libexpat1-dev libarchive-dev libjack-jackd2-dev libasound2-dev
  liblo-dev ableton-link-dev
  # peers measured against in the benchmarks and tests, never linked into the
  # products (hydrogen: its demo songs and kits, and h2cli's exports)
  libvorbis-dev sox hydrogen
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ "${#missing[@]}" -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
echo "Installing: ${missing[*]}"
if ! "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"; then
  # A package unknown to stale lists: refresh them once and try again.
  "${sudo[@]}" apt-get update -q
  "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
