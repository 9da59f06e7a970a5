#!/bin/sh
# Stands in for kestrelon-builder in the builder window's own tests: prints its
# arguments, a line on each stream, and exits with $STAND_IN_EXIT (0 unless set);
# "serve" prints a PC's request every 0.2 s until SIGTERM, then ends with 0.
echo "arguments: $*"
if [ "$1" = serve ]; then
  trap 'echo "serving stopped"; exit 0' TERM INT
  n=0
  while :; do
    n=$((n + 1))
    echo "52:54:00:00:00:$n 10.77.0.$((n + 127)) asked for undionly.kpxe"
    sleep 0.2
  done
fi
echo "progress on standard output"
echo "${STAND_IN_ERROR:-a note on standard error}" >&2
exit "${STAND_IN_EXIT:-0}"
