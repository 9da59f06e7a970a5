#!/bin/sh
# Each program given as "NAME=PATH" answers --version with "NAME VERSION" and
# exit code 0, without a display (as packaging and scripts run it).
version=$1
shift
status=0
for program in "$@"; do
  name=${program%%=*}
  path=${program#*=}
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY "$path" --version 2>&1)
  code=$?
  if [ "$code" -ne 0 ] || [ "$out" != "$name $version" ]; then
    echo "$name --version: exit code $code, printed '$out', wanted '$name $version'" >&2
    status=1
  fi
done
exit $status
