#!/usr/bin/env bash
# Installs every Debian package the project needs to build, run and test.
# Idempotent: refreshes the package lists first, installs only what is missing.
set -euo pipefail

PACKAGES=(
  # build
  build-essential cmake ninja-build pkg-config zlib1g-dev ccache
  # the image format: zstd compression and XXH3 checksums of its chunks
  libzstd-dev libxxhash-dev
  # kestrelon-cli: subcommands and options, JSON
  libcli11-dev nlohmann-json3-dev
  # tests and fuzzing
  libgtest-dev libgmock-dev clang libclang-rt-14-dev python3
  # the desktop application and its headless tests
  libwxgtk3.2-dev xvfb xauth xdotool openbox imagemagick librsvg2-bin x11-utils
  # the multi-host network lab, virtual disks, and the comparison peer
  iproute2 nftables fdisk dosfstools e2fsprogs udpcast procps mtools mount
  # PC disks for the reference Client: GPT, NTFS, and growing file systems
  gdisk ntfs-3g fatresize
  # computer names written into copied systems offline (ext, NTFS, registry
  # hives), and the tests' own hives (hivexregedit, hivexget)
  libext2fs-dev ntfs-3g-dev libhivex-dev libhivex-bin libwin-hivex-perl
  # checks of the installed tree: desktop entry and manual pages
  desktop-file-utils man-db
  # the client builder's parts (boot loaders, DHCP/TFTP, busybox, USB images,
  # module index) and the emulated PCs of its test (QEMU, its firmware)
  ipxe dnsmasq-base busybox-static syslinux syslinux-common syslinux-efi kmod
  qemu-system-x86 ipxe-qemu ovmf
  # the boot loader of the emulated PCs' own ext4 systems (a Debian's layout)
  extlinux
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

# Debian's current kernel package, downloaded (not installed) for the boot files
# the emulated-PC test builds; older ones are removed.
kernel_cache=/var/cache/kestrelon-builder
kernel=$(apt-cache depends linux-image-amd64 | awk '/Depends: linux-image-/ { print $2; exit }')
if [ -n "$kernel" ] && ! ls "$kernel_cache/${kernel}"_*.deb >/dev/null 2>&1; then
  echo "deps: downloading $kernel into $kernel_cache"
  mkdir -p "$kernel_cache"
  (cd "$kernel_cache" && rm -f linux-image-*.deb && apt-get download -qq -o APT::Sandbox::User=root "$kernel")
fi
