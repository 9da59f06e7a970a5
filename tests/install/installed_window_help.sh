#!/usr/bin/env bash
# The installed desktop program on a virtual display (run under
# tests/gui/run_with_display.sh): started from PREFIX/bin, with no help folder
# beside it, Help > Help Topics opens the help book installed under
# share/kestrelon; File > Exit then ends the program cleanly, and nothing was
# written beside it.
#   installed_window_help.sh PREFIX
set -euo pipefail
prefix=$(realpath "$1")
# shellcheck source=tests/install/private_network.sh
. "$(dirname "$0")/private_network.sh"
enter_private_network "$@"
unset KESTRELON_HELP_DIR

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
# The first visible window of the program with a title matching `name` and of
# the window type `type` (NORMAL: a frame; the splash screen is a DIALOG).
find_window() {
  local name=$1 type=$2 window
  for window in $(xdotool search --all --onlyvisible --pid "$pid" --name "$name" 2>/dev/null); do
    if [[ $(xprop -id "$window" _NET_WM_WINDOW_TYPE) == *"_NET_WM_WINDOW_TYPE_$type"* ]]; then
      echo "$window"
      return 0
    fi
  done
  return 1
}
# Waits up to `tries` quarter seconds for `condition` to hold.
wait_until() {
  local tries=$1
  shift
  for _ in $(seq "$tries"); do
    "$@" && return 0
    sleep 0.25
  done
  return 1
}
# Chooses a menu item of the main window with the keyboard, as a user does:
# Alt+`menu`, then `item`; asked again while `condition` does not follow (a key
# pressed before the menu has opened is lost on a busy machine).
choose_menu_item() {
  local menu=$1 item=$2
  shift 2
  for _ in 1 2 3; do
    xdotool windowactivate --sync "$main" key --clearmodifiers "alt+$menu"
    sleep 0.5
    xdotool key "$item"
    wait_until 40 "$@" && return 0
  done
  return 1
}
help_window_shown() { find_window '^Help: Kestrelon$' NORMAL >/dev/null; }
help_window_gone() { ! help_window_shown; }
program_ended() { ! kill -0 "$pid" 2>/dev/null; }

before=$(ls -A "$prefix/bin")
"$prefix/bin/kestrelon" --loopback &
pid=$!
trap 'kill "$pid" 2>/dev/null' EXIT

wait_until 160 find_window '^Kestrelon$' NORMAL >/dev/null || fail "the main window did not open"
main=$(find_window '^Kestrelon$' NORMAL)
choose_menu_item h h help_window_shown ||
  fail "Help > Help Topics opened no help book (the book is looked for in $prefix/share/kestrelon/help)"
echo "Help > Help Topics opened the window '$(xdotool getwindowname "$(find_window '^Help: Kestrelon$' NORMAL)")'"

# Closed as a user does (the window manager's Alt+F4), then File > Exit.
xdotool windowactivate --sync "$(find_window '^Help: Kestrelon$' NORMAL)" key --clearmodifiers alt+F4
wait_until 40 help_window_gone || fail "the help window did not close"
choose_menu_item f x program_ended || fail "File > Exit did not end the program"
status=0
wait "$pid" || status=$?
trap - EXIT
[ "$status" = 0 ] || fail "the program ended with status $status"
[ "$(ls -A "$prefix/bin")" = "$before" ] || fail "something was written beside the programs: $(ls -A "$prefix/bin")"
echo "the installed window opened its installed help book and ended cleanly"
