#!/bin/sh
# Writes the manual page PAGE: the page TEMPLATE with its line '.\" --help' replaced
# by the --help text of PROGRAM (and, with --commands, the --help text of each
# command it lists), shown as printed, so the page follows the program's options.
#   make_page.sh TEMPLATE PROGRAM PAGE [--commands]
set -eu
template=$1
program=$2
page=$3
commands=${4:-}

# The text as roff shows it unchanged: backslashes and minus signs escaped, and a
# line that begins with a dot or quote kept from reading as a request.
verbatim() {
  printf '.PP\n.EX\n'
  sed -e 's/\\/\\e/g' -e 's/-/\\-/g' -e "s/^[.']/\\\\\\&&/"
  printf '.EE\n'
}

help_text() {
  top=$("$program" --help)
  printf '%s\n' "$top" | verbatim
  [ "$commands" = "--commands" ] || return 0
  # The commands are listed under a heading ending in "commands:", each as two
  # spaces and its name, then its summary, if any.
  for command in $(printf '%s\n' "$top" | awk '
      /^[^ ]/ { listing = tolower($0) ~ /commands:$/; next }
      listing && /^  [a-z][a-z0-9-]*( |$)/ { print $1 }'); do
    text=$("$program" "$command" --help)
    printf '.SS "%s"\n' "$command"
    printf '%s\n' "$text" | verbatim
  done
}

help=$(help_text)
while IFS= read -r line; do
  if [ "$line" = '.\" --help' ]; then printf '%s\n' "$help"; else printf '%s\n' "$line"; fi
done <"$template" >"$page.tmp"
mv "$page.tmp" "$page"
