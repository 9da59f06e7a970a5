#!/usr/bin/env bash
# Fails when a core folder includes from a folder above it. The core's layers run
# one way: platform < net < model < transfer < app < commands (< ui, cli); the
# image format library (image/) builds on net alone.
set -u
src=${1:?usage: check_layers.sh SRC_DIR}
rank() {
  case "$1" in
    platform) echo 1 ;; net) echo 2 ;; image) echo 3 ;; model) echo 4 ;; transfer) echo 5 ;;
    app) echo 6 ;; commands) echo 7 ;; *) echo 9 ;;
  esac
}
status=0
for dir in platform net image model transfer app commands; do
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
