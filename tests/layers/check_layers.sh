#!/usr/bin/env bash
# Fails when a core folder includes from a folder above it. The core's layers run
# one way: platform < net < model < transfer < app < commands (< ui, cli).
set -u
src=${1:?usage: check_layers.sh SRC_DIR}
rank() {
  case "$1" in
    platform) echo 1 ;; net) echo 2 ;; model) echo 3 ;; transfer) echo 4 ;;
    app) echo 5 ;; commands) echo 6 ;; *) echo 9 ;;
  esac
}
status=0
for dir in platform net model transfer app commands; do
  for f in "$src/$dir"/*.h "$src/$dir"/*.cpp; do
    [ -e "$f" ] || continue
    for inc in $(grep -oE '^#include "[a-z_]+/' "$f" | cut -d'"' -f2 | tr -d / | sort -u); do
      if [ "$(rank "$inc")" -gt "$(rank "$dir")" ]; then
        echo "upward include: ${f#"$src"/} includes $inc/"
        status=1
      fi
    done
  done
done
[ "$status" = 0 ] && echo "layers: every include runs downward"
exit "$status"
