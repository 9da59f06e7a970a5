#!/usr/bin/env bash
# A network lab of namespaces on one machine: one bridge and N+1 hosts (host 0 for
# the Controller, hosts 1..N for Clients), multicast flooded across the bridge.
#
#   netlab.sh up NAME N             create the lab NAME with hosts 0..N
#   netlab.sh down NAME             remove every namespace of the lab NAME
#   netlab.sh loss NAME HOST PCT    drop PCT percent (0 to 100, decimals allowed) of
#                                   the UDP datagrams arriving at HOST; 0 removes it
#   netlab.sh exec NAME HOST CMD... run CMD inside HOST
#   netlab.sh addr NAME HOST        print the address of HOST
#   netlab.sh block NAME HOST       print the first address of HOST's block of 1024
#                                   extra local addresses (hosts 1..63), for Clients
#                                   emulated with --count/--address-from
#   netlab.sh run N CMD...          make a lab with a fresh name, run CMD with LAB set
#                                   to that name (in this namespace), remove the lab
#   netlab.sh sweep                 remove labs left behind by processes that died
#
# Names: the namespaces are NAME-br and NAME-h0..NAME-hN. Several labs can run at
# once as long as their names differ; `run` and the test harness put the process
# id in the name (kl<pid>x<random>), which `sweep` uses to find abandoned labs.
# The bridge lives in its own namespace, so the machine's own networking is never
# touched. Addresses: host i is 10.47.0.(i+1)/16; host i also owns
# 10.47.(4i).0/22 as local addresses (an "anyip" route), reachable from the others.
set -euo pipefail

die() { echo "netlab: $*" >&2; exit 2; }
need_root() { [ "$(id -u)" -eq 0 ] || die "needs root (network namespaces)"; }
check_name() { [[ $1 =~ ^[A-Za-z0-9_.]{1,40}$ ]] || die "bad lab name '$1'"; }
check_host() { [[ $1 =~ ^[0-9]+$ ]] || die "bad host number '$1'"; }
host_ns() { echo "$1-h$2"; }
host_addr() { echo "10.47.0.$(($1 + 1))"; }
block_addr() { echo "10.47.$((4 * $1)).0"; }

lab_down() {
  local name=$1 ns
  for ns in $(ip netns list | awk '{print $1}' | grep -E "^${name}-(br|h[0-9]+)$" || true); do
    ip netns del "$ns" 2>/dev/null || true
  done
}

lab_up() {
  local name=$1 n=$2 i ns br
  check_name "$name"
  check_host "$n"
  [ "$n" -ge 1 ] && [ "$n" -le 250 ] || die "host count must be 1 to 250"
  if ip netns list | awk '{print $1}' | grep -qE "^${name}-(br|h[0-9]+)$"; then
    die "a lab named $name exists already"
  fi
  # A failure half-way leaves nothing behind.
  trap 'lab_down "$name"' ERR
  br="$name-br"
  ip netns add "$br"
  ip -n "$br" link add br0 type bridge
  ip -n "$br" link set br0 type bridge mcast_snooping 0
  ip -n "$br" link set br0 up
  for ((i = 0; i <= n; i++)); do
    ns=$(host_ns "$name" "$i")
    ip netns add "$ns"
    ip link add eth0 netns "$ns" type veth peer name "h$i" netns "$br"
    ip -n "$br" link set "h$i" master br0 up
    ip -n "$ns" link set lo up
    # A wire carries each datagram as a frame of its own: a burst handed to the
    # system in one call is cut up before it leaves the host, as a network card
    # without segmentation offload does, so loss and the bridge meet datagrams.
    ip -n "$ns" link set eth0 gso_max_segs 1
    ip -n "$ns" link set eth0 up
    ip -n "$ns" addr add "$(host_addr "$i")/16" dev eth0
    ip -n "$ns" route add 224.0.0.0/4 dev eth0
    if [ "$i" -ge 1 ] && [ "$i" -le 63 ]; then
      ip -n "$ns" route add local "$(block_addr "$i")/22" dev eth0
    fi
    ip netns exec "$ns" sysctl -qw net.ipv4.conf.all.rp_filter=0 net.ipv4.conf.default.rp_filter=0 \
      net.ipv4.conf.eth0.rp_filter=0
  done
  trap - ERR
}

lab_loss() {
  local name=$1 host=$2 pct=$3 ns limit
  check_name "$name"
  check_host "$host"
  [[ $pct =~ ^[0-9]+(\.[0-9]+)?$ ]] || die "bad percentage '$pct'"
  ns=$(host_ns "$name" "$host")
  ip netns exec "$ns" nft delete table inet netlab 2>/dev/null || true
  limit=$(awk -v p="$pct" 'BEGIN { v = int(p * 100 + 0.5); if (v > 10000) v = 10000; print v }')
  [ "$limit" -eq 0 ] && return 0
  local rule="meta l4proto udp numgen random mod 10000 < $limit drop"
  [ "$limit" -ge 10000 ] && rule="meta l4proto udp drop"
  ip netns exec "$ns" nft -f - <<NFT
table inet netlab {
  chain in {
    type filter hook input priority 0;
    $rule
  }
}
NFT
}

lab_sweep() {
  local ns pid
  for ns in $(ip netns list | awk '{print $1}' | grep -E '^kl[0-9]+x[0-9A-Za-z]+-(br|h[0-9]+)$' || true); do
    pid=${ns#kl}
    pid=${pid%%x*}
    if ! kill -0 "$pid" 2>/dev/null; then ip netns del "$ns" 2>/dev/null || true; fi
  done
}

[ $# -ge 1 ] || die "usage: netlab.sh up|down|loss|exec|addr|block|run|sweep ..."
cmd=$1
shift
case "$cmd" in
  up) need_root; [ $# -eq 2 ] || die "usage: netlab.sh up NAME N"; lab_up "$1" "$2" ;;
  down) need_root; [ $# -eq 1 ] || die "usage: netlab.sh down NAME"; check_name "$1"; lab_down "$1" ;;
  loss) need_root; [ $# -eq 3 ] || die "usage: netlab.sh loss NAME HOST PERCENT"; lab_loss "$1" "$2" "$3" ;;
  exec)
    need_root
    [ $# -ge 3 ] || die "usage: netlab.sh exec NAME HOST CMD..."
    check_name "$1"; check_host "$2"
    ns=$(host_ns "$1" "$2")
    shift 2
    exec ip netns exec "$ns" "$@"
    ;;
  addr) [ $# -eq 2 ] || die "usage: netlab.sh addr NAME HOST"; check_host "$2"; host_addr "$2" ;;
  block)
    [ $# -eq 2 ] || die "usage: netlab.sh block NAME HOST"; check_host "$2"
    [ "$2" -ge 1 ] && [ "$2" -le 63 ] || die "only hosts 1 to 63 have an address block"
    block_addr "$2"
    ;;
  run)
    need_root
    [ $# -ge 2 ] || die "usage: netlab.sh run N CMD..."
    n=$1
    shift
    name="kl$$x$RANDOM"
    trap 'lab_down "$name"' EXIT
    lab_up "$name" "$n"
    LAB=$name "$@"
    ;;
  sweep) need_root; lab_sweep ;;
  *) die "unknown command '$cmd'" ;;
esac
