#!/usr/bin/env bash
# Installs what is needed, builds, and starts the Controller.
# Until the desktop window exists this starts the command-line front end, which
# discovers Clients and lists them whenever the list changes, until Ctrl-C.
# Extra arguments go to it, e.g. --loopback for Clients on this machine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
"$root/scripts/build.sh" build -DKESTRELON_TESTS=OFF
exec "$root/build/cli/kestrelon-cli" discover --seconds 0 "$@"
