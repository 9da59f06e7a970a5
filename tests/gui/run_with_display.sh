#!/usr/bin/env bash
# Runs a command on a private virtual display (Xvfb) with a window manager
# (openbox), with HOME and the configuration folders in a fresh temporary folder.
# Each run picks its own display number, so several can run at once.
#   run_with_display.sh COMMAND [ARGS...]
set -u
work=$(mktemp -d "${TMPDIR:-/tmp}/kestrelon-display.XXXXXX")
cleanup() {
  [ -n "${wm:-}" ] && kill "$wm" 2>/dev/null
  [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
for _ in $(seq 200); do
  [ -s "$work/display" ] && break
  sleep 0.05
done
if [ ! -s "$work/display" ]; then
  echo "run_with_display: Xvfb did not start" >&2
  cat "$work/xvfb.log" >&2
  exit 1
fi

export DISPLAY=":$(head -n 1 "$work/display")"
export GDK_BACKEND=x11 NO_AT_BRIDGE=1
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_RUNTIME_DIR="$work/run" \
  XDG_STATE_HOME="$work/home/.local/state"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

start_wm() {
  openbox --sm-disable >>"$work/openbox.log" 2>&1 &
  wm=$!
}
start_wm
# The window manager is ready when it has claimed the screen. While several
# displays start and end at once, it now and then cannot open its display at the
# first try and exits ("Failed to open the display"); it is started again then.
for _ in $(seq 200); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
  kill -0 "$wm" 2>/dev/null || start_wm
  sleep 0.05
done

"$@"
