#!/usr/bin/env bash
# kestrelon-cli as a headless server gets it: the package installed alone, with
# apt, into a minimal Debian (debootstrap's minbase, of this host's release,
# kept in ROOT for later runs), bringing no other package and nothing of a
# desktop; then the installed command line, run inside that Debian, finds a
# reference Client and copies an image to it, byte for byte.
#   cli_alone_on_minimal_debian.sh ROOT PACKAGES CLIENT
# PACKAGES holds the .deb files; CLIENT is a kestrelon-client of the build tree.
# Root only. The first run downloads the minimal Debian (about 100 s).
set -euo pipefail
root=$1
packages=$(realpath "$2")
client=$(realpath "$3")
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
if [ "$(id -u)" != 0 ]; then
  echo "skipped: installing into a minimal Debian needs root"
  exit 77
fi
command -v debootstrap >/dev/null || fail "debootstrap is not installed (scripts/deps.sh installs it)"

if [ ! -f "$root/.kestrelon-minimal" ]; then
  rm -rf "$root"
  suite=$(. /etc/os-release && echo "$VERSION_CODENAME")
  mirror=$(apt-get indextargets --format '$(REPO_URI) $(RELEASE)' 'Created-By: Packages' |
    awk -v suite="$suite" '$2 == suite { print $1; exit }')
  started=$(date +%s)
  if ! debootstrap --variant=minbase "$suite" "$root" "${mirror:-http://deb.debian.org/debian}" \
    >"$root.log" 2>&1; then
    tail -n 5 "$root.log"
    echo "skipped: no minimal Debian could be made from ${mirror:-http://deb.debian.org/debian} (see $root.log)"
    exit 77
  fi
  echo "made a minimal Debian $suite in $(($(date +%s) - started)) s"
  touch "$root/.kestrelon-minimal"
fi

# Each run installs into the same minimal Debian afresh.
chroot "$root" dpkg --purge kestrelon-cli >/dev/null 2>&1 || true
installed() { chroot "$root" dpkg-query -W -f '${Package}\n' | sort; }
before=$(installed)
deb=$(ls "$packages"/kestrelon-cli_*.deb)
cp "$deb" "$root/tmp/kestrelon-cli.deb"
chroot "$root" apt-get install -y -q --no-install-recommends /tmp/kestrelon-cli.deb >"$root.install.log" 2>&1 || {
  cat "$root.install.log" >&2
  fail "apt could not install kestrelon-cli into the minimal Debian"
}
added=$(comm -13 <(echo "$before") <(installed) | tr '\n' ' ')
[ "$added" = "kestrelon-cli " ] || fail "installing kestrelon-cli brought more packages: $added"
desktop=$(installed | grep -E 'gtk|wx|libx11|libcairo|libpango' | tr '\n' ' ' || true)
[ -z "$desktop" ] || fail "the minimal Debian holds desktop packages: $desktop"
chroot "$root" kestrelon-cli --version | grep -q '^kestrelon-cli ' || fail "kestrelon-cli --version fails"
[ -f "$root/usr/share/man/man1/kestrelon-cli.1.gz" ] || fail "no manual page installed"

# A small image (the partition summary says no partitions) for the Client to keep.
image=$root/tmp/lab.krn
head -c 50000 /dev/urandom >"$image"
printf '\0' | dd of="$image" bs=1 seek=5513 conv=notrunc status=none
store=$(mktemp -d "${TMPDIR:-/tmp}/kestrelon-minimal-store.XXXXXX")
trap 'rm -rf "$store"' EXIT

# In a private network: the host's Client, and the command line inside the
# minimal Debian, which finds it and copies the image to it.
unshare --net bash -s "$client" "$store" "$root" <<'SCRIPT' || fail "the installed kestrelon-cli did not copy the image"
set -eu
client=$1 store=$2 root=$3
ip link set lo up
ip link set lo multicast on
ip route add 224.0.0.0/4 dev lo
"$client" --name MINIMAL-PC --address 127.0.0.11 --store "$store" --store-size 64M 2>"$store/client.log" &
pid=$!
trap 'kill $pid 2>/dev/null; wait $pid 2>/dev/null || true' EXIT
chroot "$root" kestrelon-cli discover --seconds 2 --json --loopback | grep -q MINIMAL-PC ||
  { echo "FAIL: the Client was not discovered" >&2; exit 1; }
chroot "$root" kestrelon-cli copy /tmp/lab.krn --client minimal-pc --loopback >"$store/copy.log" 2>&1 ||
  { cat "$store/copy.log" "$store/client.log" >&2; exit 1; }
SCRIPT
cmp "$image" "$store/lab.krn" || fail "the copy differs from the image"
echo "kestrelon-cli installed alone on a minimal Debian (nothing else added) and copied an image"
