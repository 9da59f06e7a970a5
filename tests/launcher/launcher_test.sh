#!/usr/bin/env bash
# The test launcher keeps test runs off the machine: a run gets folders of its
# own, and nothing it starts outlives it, whether the test ends by itself, leaves
# processes behind (in its group or detached with setsid), or the launcher is
# killed for its time.
#   launcher_test.sh LAUNCHER
set -u
launcher=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
alive() { kill -0 "$1" 2>/dev/null && [ "$(ps -o stat= -p "$1" | cut -c1)" != Z ]; }
# Waits up to 60 s for a process to be gone.
gone() { for _ in $(seq 600); do alive "$1" || return 0; sleep 0.1; done; return 1; }

# A test that leaves one process in its group and one detached, and fails.
env -u KESTRELON_TEST_FOLDER "$launcher" sh -c '
  echo "$HOME $XDG_STATE_HOME $XDG_CONFIG_HOME $KESTRELON_PENDING_DIR" > "$0/folders"
  sleep 600 & echo $! > "$0/in-group"
  setsid sleep 600 & echo $! > "$0/detached"
  exit 7' "$work" 2>"$work/stderr"
status=$?
[ "$status" -eq 7 ] || fail "the test's exit status 7 came back as $status"
read -r home state config pending < "$work/folders"
[ "$home" != "${HOME:-}" ] || fail "HOME was not replaced"
case "$state:$config:$pending" in
  "$home"/*:"$home"/*:*/pending) ;;
  *) fail "the XDG and pending folders are not the run's own: $state $config $pending" ;;
esac
[ ! -e "$home" ] || fail "the run's folders were left behind: $home"
for f in in-group detached; do
  pid=$(cat "$work/$f")
  gone "$pid" || fail "the $f process $pid outlived the test"
done
grep -q "left running by the test" "$work/stderr" || fail "the ended leftovers were not named"

# The launcher itself killed, as CTest does when a test runs out of time.
env -u KESTRELON_TEST_FOLDER "$launcher" sh -c 'sleep 600 & echo $! > "$0/child"; echo "$HOME" > "$0/home"; wait' "$work" &
launcher_pid=$!
for _ in $(seq 600); do [ -s "$work/child" ] && [ -s "$work/home" ] && break; sleep 0.1; done
[ -s "$work/child" ] || fail "the second test did not start"
kill -KILL "$launcher_pid"
wait "$launcher_pid" 2>/dev/null
pid=$(cat "$work/child")
gone "$pid" || fail "the test's process $pid outlived the killed launcher"
home=$(cat "$work/home")
for _ in $(seq 600); do [ -e "$home" ] || break; sleep 0.1; done
[ ! -e "$home" ] || fail "the killed run's folders were left behind: $home"
echo "launcher: folders of its own, nothing left running"
