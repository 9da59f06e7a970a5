#!/usr/bin/env bash
# The installed command line finds the installed reference Client: both run from
# PREFIX/bin in a private network, and neither writes anything beside itself.
#   installed_programs_meet.sh PREFIX
set -euo pipefail
prefix=$(realpath "$1")
# shellcheck source=tests/install/private_network.sh
. "$(dirname "$0")/private_network.sh"
enter_private_network "$@"

work=$(mktemp -d "${TMPDIR:-/tmp}/kestrelon-installed.XXXXXX")
client=
cleanup() {
  [ -n "$client" ] && kill "$client" 2>/dev/null && wait "$client" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
before=$(ls -A "$prefix/bin")

truncate -s 8M "$work/disk.img"
printf 'label: dos\n,,83\n' | sfdisk -q "$work/disk.img" >/dev/null
"$prefix/bin/kestrelon-client" --name INSTALLED-PC --address 127.0.0.11 --disk "$work/disk.img" 2>"$work/client.log" &
client=$!
(cd "$work" && XDG_CONFIG_HOME="$work/config" "$prefix/bin/kestrelon-cli" discover --seconds 2 --json --loopback) \
  >"$work/found.json"
grep -q INSTALLED-PC "$work/found.json" || {
  echo "FAIL: the installed kestrelon-cli did not find the installed Client" >&2
  cat "$work/found.json" "$work/client.log" >&2
  exit 1
}
[ "$(ls -A "$prefix/bin")" = "$before" ] || {
  echo "FAIL: something was written beside the programs: $(ls -A "$prefix/bin")" >&2
  exit 1
}
echo "the installed kestrelon-cli found the installed Client INSTALLED-PC"
