#!/usr/bin/env bash
# The files `cmake --install` put under PREFIX, as an administrator meets them:
# the three programs answer --help, the desktop entry is valid and names an
# installed program and icon, the icon is there at every size, every manual page
# renders without a warning and carries its program's current help, and the help
# book is in the data folder.
#   check_installed_files.sh PREFIX
set -euo pipefail
prefix=$1
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

for program in kestrelon kestrelon-cli kestrelon-client kestrelon-builder-window; do
  [ -x "$prefix/bin/$program" ] || fail "$prefix/bin/$program is not installed"
done
cli_help=$("$prefix/bin/kestrelon-cli" --help) || fail "kestrelon-cli --help fails"
grep -q discover <<<"$cli_help" || fail "kestrelon-cli --help lists no discover command"
client_help=$("$prefix/bin/kestrelon-client" --help) || fail "kestrelon-client --help fails"
grep -q -- --store <<<"$client_help" || fail "kestrelon-client --help lists no --store"

desktop=$prefix/share/applications/kestrelon.desktop
desktop-file-validate "$desktop" || fail "desktop-file-validate rejects $desktop"
exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
[ -x "$prefix/bin/$exec_name" ] || fail "the desktop entry starts '$exec_name', which is not installed"
icon=$(sed -n 's/^Icon=//p' "$desktop")
hicolor=$prefix/share/icons/hicolor
[ -f "$hicolor/scalable/apps/$icon.svg" ] || fail "no scalable icon '$icon'"
for size in 16 22 24 32 48 64 128 256; do
  png=$hicolor/${size}x${size}/apps/$icon.png
  [ -f "$png" ] || fail "no ${size}x${size} icon"
  [ "$(identify -format '%wx%h' "$png")" = "${size}x${size}" ] || fail "$png is not ${size}x${size}"
done

for program in kestrelon kestrelon-cli kestrelon-client kestrelon-builder-window; do
  page=$prefix/share/man/man1/$program.1.gz
  [ -f "$page" ] || fail "no manual page for $program"
  # The checks Debian's package checker makes: no warning from the formatter.
  warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$program.1 renders with warnings: $warnings"
  text=$(MANWIDTH=80 man -l "$page")
  grep -q "^NAME" <<<"$text" || fail "$program.1 has no NAME section"
  grep -Eq "^ +$program +- " <<<"$text" || fail "$program.1 does not name $program"
done
# The pages carry the programs' own help, each command's of kestrelon-cli too.
cli_page=$(MANWIDTH=80 man -l "$prefix/share/man/man1/kestrelon-cli.1.gz")
for command in discover copy create; do
  command_help=$("$prefix/bin/kestrelon-cli" "$command" --help)
  usage=$(grep -m 1 -i "usage:" <<<"$command_help") || fail "kestrelon-cli $command --help shows no usage"
  grep -qF -- "$usage" <<<"$cli_page" || fail "kestrelon-cli.1 lacks '$usage'"
done
client_option=$(grep -m 1 -- --store <<<"$client_help")
grep -qF -- "$client_option" <<<"$(MANWIDTH=80 man -l "$prefix/share/man/man1/kestrelon-client.1.gz")" ||
  fail "kestrelon-client.1 lacks '$client_option'"

book=$prefix/share/kestrelon/help
[ -f "$book/kestrelon.hhp" ] || fail "no help book in $book"
while read -r file; do
  [ -f "$book/$file" ] || fail "the help book lists $file, which is not installed"
done < <(sed -n '/^\[FILES\]/,$p' "$book/kestrelon.hhp" | tail -n +2 | grep .)
grep -q 'src="logo.png"' "$book/index.html" || fail "the start page shows no logo"
[ -f "$book/logo.png" ] || fail "the start page's logo is not installed"
echo "installed files: programs, desktop entry, icons, manual pages and help book in order"
