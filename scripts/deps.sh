#!/usr/bin/env bash
# Installs every Debian package the project needs to build, run and test.
# Idempotent: refreshes the package lists first, installs only what is missing.
set -euo pipefail

PACKAGES=(
  # build
  build-essential cmake ninja-build pkg-config zlib1g-dev ccache
  # kestrelon-cli: subcommands and options, JSON
  libcli11-dev nlohmann-json3-dev
  # tests and fuzzing
  libgtest-dev libgmock-dev clang libclang-rt-14-dev python3
  # the desktop application and its headless tests
  libwxgtk3.2-dev xvfb xauth xdotool openbox imagemagick librsvg2-bin x11-utils
  # the multi-host network lab, virtual disks, and the comparison peer
  iproute2 nftables fdisk dosfstools e2fsprogs udpcast procps mtools mount
  # checks of the installed tree: desktop entry and manual pages
  desktop-file-utils man-db
  # kestrelon-cli installed alone into a minimal Debian
  debootstrap
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ "$(id -u)" -ne 0 ]; then
  if [ ${#missing[@]} -gt 0 ]; then
    echo "deps: missing packages (run as root to install): ${missing[*]}" >&2
    exit 1
  fi
  exit 0
fi

export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
if [ ${#missing[@]} -gt 0 ]; then
  echo "deps: installing ${missing[*]}"
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
