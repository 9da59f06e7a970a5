#!/usr/bin/env bash
# Installs what is needed, builds, and starts the desktop Controller.
#
#   ./scripts/run.sh [--demo] [SWITCHES...]
#
# SWITCHES are the Controller's own (-rt 500, -mttl 4, ...; see Help > Help Topics).
# --demo also starts three reference Clients on loopback addresses, each with a
# small virtual disk, so Clients appear in the list at once. Run as root, the demo
# lives in a private network namespace of its own (loopback with multicast), so it
# never meets the real network.
#
# Without a display (no DISPLAY or WAYLAND_DISPLAY) the window cannot open: the
# script says so and starts the command-line front end instead, which lists the
# Clients it discovers. To see the window on such a machine, give it a virtual
# display: xvfb-run -a ./scripts/run.sh (and look at it with a VNC server or a
# screenshot), or log in with X forwarding (ssh -X).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

demo=0
args=()
for a in "$@"; do
  if [ "$a" = "--demo" ]; then demo=1; else args+=("$a"); fi
done

"$root/scripts/deps.sh"
. "$root/scripts/compiler_cache.sh"
# The programs only, in the same build tree the tests use (its options untouched).
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
targets=(kestrelon kestrelon-cli)
if ninja -C "$root/build" -t targets all | grep -q '^kestrelon-client:'; then targets+=(kestrelon-client); fi
ninja -C "$root/build" "${targets[@]}"
app="$root/build/src/ui/kestrelon"
client="$root/build/client/kestrelon-client"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run.sh: no display, so the window cannot open." >&2
  echo "run.sh: use 'xvfb-run -a ./scripts/run.sh' for a virtual display, or ssh -X." >&2
  echo "run.sh: starting the command-line front end instead (Ctrl-C ends it)." >&2
  loop=()
  [ "$demo" = 1 ] && loop=(--loopback)
  exec "$root/build/cli/kestrelon-cli" discover --seconds 0 "${loop[@]}" "${args[@]}"
fi

if [ "$demo" = 0 ]; then
  exec "$app" "${args[@]}"
fi

if [ ! -x "$client" ]; then
  echo "run.sh: --demo needs the reference Client ($client), which this build does not have." >&2
  exit 1
fi

# The demo: three Clients with virtual disks, then the Controller on loopback.
work=$(mktemp -d "${TMPDIR:-/tmp}/kestrelon-demo.XXXXXX")
cat >"$work/demo.sh" <<DEMO
set -u
cleanup() { kill \$(jobs -p) 2>/dev/null; wait 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
trap "exit 1" INT TERM HUP
if [ "\$(id -u)" = 0 ]; then
  ip link set lo up && ip link set lo multicast on && ip route add 224.0.0.0/4 dev lo 2>/dev/null
fi
i=0
for client_line in "LAB-PC-01 2048 1" "LAB-PC-02 4096 2" "LAB-PC-03 1024 1"; do
  set -- \$client_line
  i=\$((i + 1))
  disk="$work/disk\$i.img"
  truncate -s "\$2M" "\$disk"
  if [ "\$3" = 2 ]; then
    printf 'label: dos\n,%sM,83\n,,7\n' "\$((\$2 / 2))" | sfdisk -q "\$disk" >/dev/null
  else
    printf 'label: dos\n,,83\n' | sfdisk -q "\$disk" >/dev/null
  fi
  "$client" --name "\$1" --address "127.0.0.\$((10 + i))" --disk "\$disk" &
done
"$app" --loopback ${args[*]:-}
DEMO
if [ "$(id -u)" = 0 ] && command -v unshare >/dev/null; then
  exec unshare --net bash "$work/demo.sh"
fi
echo "run.sh: not root, so the demo uses this machine's loopback; if no Client appears," >&2
echo "run.sh: loopback needs multicast: sudo ip link set lo multicast on" >&2
exec bash "$work/demo.sh"
