#!/usr/bin/env bash
# The emulated-PC bench's network: one namespace holding a bridge (IGMP
# snooping off, so multicast floods as on a plain switch) that carries the
# Controller's address, and a tap per virtual PC on that bridge. The bench's
# programs (kestrelon-builder serve, kestrelon-cli) and QEMU run inside it; the
# machine's own networking is never touched.
#
#   vmbench.sh up NAME ADDRESS/PREFIX TAPS   make the namespace NAME with TAPS taps
#                                            (tap1..tapTAPS); no routes besides the
#                                            bridge's own network
#   vmbench.sh down NAME                     remove it
#   vmbench.sh sweep                         remove benches of processes that died
#                                            (names kv<pid>x<random>)
set -euo pipefail

die() { echo "vmbench: $*" >&2; exit 2; }
[ "$(id -u)" -eq 0 ] || die "needs root (network namespaces, taps)"

bench_up() {
  local name=$1 address=$2 taps=$3 i
  [[ $name =~ ^[A-Za-z0-9_.]{1,40}$ ]] || die "bad bench name '$name'"
  [[ $taps =~ ^[0-9]+$ ]] || die "bad tap count '$taps'"
  trap 'ip netns del "$name" 2>/dev/null || true' ERR
  ip netns add "$name"
  ip -n "$name" link set lo up
  ip -n "$name" link add br0 type bridge
  ip -n "$name" link set br0 type bridge mcast_snooping 0 forward_delay 0
  ip -n "$name" addr add "$address" dev br0
  ip -n "$name" link set br0 up
  for ((i = 1; i <= taps; i++)); do
    ip -n "$name" tuntap add dev "tap$i" mode tap
    ip -n "$name" link set "tap$i" master br0 up
  done
  trap - ERR
}

bench_sweep() {
  local ns pid
  for ns in $(ip netns list | awk '{print $1}' | grep -E '^kv[0-9]+x[0-9]+$' || true); do
    pid=${ns#kv}
    pid=${pid%%x*}
    kill -0 "$pid" 2>/dev/null || ip netns del "$ns" 2>/dev/null || true
  done
}

[ $# -ge 1 ] || die "usage: vmbench.sh up|down|sweep ..."
cmd=$1
shift
case "$cmd" in
  up) [ $# -eq 3 ] || die "usage: vmbench.sh up NAME ADDRESS/PREFIX TAPS"; bench_up "$@" ;;
  down) [ $# -eq 1 ] || die "usage: vmbench.sh down NAME"; ip netns del "$1" 2>/dev/null || true ;;
  sweep) bench_sweep ;;
  *) die "unknown command '$cmd'" ;;
esac
