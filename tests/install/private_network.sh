# shellcheck shell=bash
# Sourced by the install tests that start programs: enter_private_network "$@"
# runs the calling script again in a private network namespace (loopback with
# multicast), so the programs bind the protocol's fixed ports there and meet no
# other test. Without root there is no such namespace: the test is skipped (77).
enter_private_network() {
  if [ -z "${KESTRELON_PRIVATE_NETWORK:-}" ]; then
    if [ "$(id -u)" != 0 ]; then
      echo "skipped: a private network namespace needs root"
      exit 77
    fi
    KESTRELON_PRIVATE_NETWORK=1 exec unshare --net "$0" "$@"
  fi
  ip link set lo up
  ip link set lo multicast on
  ip route add 224.0.0.0/4 dev lo
}
