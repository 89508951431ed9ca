#!/usr/bin/env bash
# Installs every Debian package Sonderik needs to build, test and run; with
# --windows, those of the Windows cross-build instead (mingw-w64, wine,
# GoogleTest's sources, NSIS for the installer, what draws the window's icon
# and pictures, and Xvfb for the test that makes the dialog's window). Safe
# to run again: packages already present are left alone, and the package
# lists are refreshed only when something is missing.
set -euo pipefail

linux_packages=(
  cmake g++ make pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libcli11-dev
  librtmidi-dev libjack-jackd2-dev libasound2-dev
  qt6-base-dev
  jackd2
  clang libclang-rt-14-dev
  librsvg2-bin dpkg-dev file desktop-file-utils appstream
  shared-mime-info libglib2.0-bin libxml2-utils
  qt6-base-dev qt6-svg-dev
  xvfb xauth xdotool imagemagick
  x11-utils xclip python3
  libarchive-dev
  mtools zip libarchive-tools
)
windows_packages=(
  cmake make
  g++-mingw-w64-x86-64-posix
  wine64
  nsis
  googletest
  libcli11-dev
  librsvg2-bin imagemagick
  xvfb xauth
  mtools
)

case "${1:-}" in
  "") packages=("${linux_packages[@]}") ;;
  --windows) packages=("${windows_packages[@]}") ;;
  *) echo "usage: $0 [--windows]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -eq 0 ]; then
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi

export DEBIAN_FRONTEND=noninteractive
# jackd2 asks whether to raise realtime limits; answer before it can ask.
echo 'jackd2 jackd/tweak_rt_limits boolean false' | $sudo debconf-set-selections 2>/dev/null || true
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
