#!/usr/bin/env bash
# The files `cmake --install` put under PREFIX, as an administrator meets them:
# the three programs answer --help, the desktop entry is valid and names an
# installed program and icon, the icon is there at every size, every manual page
# renders without a warning, has a manual page's sections and describes every
# option of its program's help, and the help book is in the data folder.
#   check_installed_files.sh PREFIX
set -euo pipefail
prefix=$1
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

for program in kestrelon kestrelon-cli kestrelon-client; do
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

# The manual pages read as manual pages: the usual sections, lines that fit 80
# columns, and every option the programs' help lists described.
render() { MANWIDTH=80 man -l "$prefix/share/man/man1/$1.1.gz" 2>/dev/null; }
for program in kestrelon kestrelon-cli kestrelon-client; do
  page=$prefix/share/man/man1/$program.1.gz
  [ -f "$page" ] || fail "no manual page for $program"
  # The checks Debian's package checker makes: no warning from the formatter.
  warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$program.1 renders with warnings: $warnings"
  text=$(render "$program")
  for section in NAME SYNOPSIS DESCRIPTION "EXIT STATUS" ENVIRONMENT FILES EXAMPLES "SEE ALSO"; do
    grep -q "^$section\$" <<<"$text" || fail "$program.1 has no $section section"
  done
  grep -Eq "^ +$program +- " <<<"$text" || fail "$program.1 does not name $program"
  wide=$(awk 'length > 80' <<<"$text" | head -n 1)
  [ -z "$wide" ] || fail "$program.1 has a line wider than 80 columns: $wide"
  grep -q '@PROJECT_VERSION@' <<<"$text" && fail "$program.1 lacks its version"
done
# The options of a --help text: every --word and the Controller's -switches.
options_of() { grep -oE -- '(^|[ ,])--?[a-z][a-z-]+' | sed 's/^[ ,]//' | grep -vx -- '-h' | sort -u; }
described() {
  local program=$1 help=$2 option text
  text=$(render "$program")
  for option in $(options_of <<<"$help"); do
    grep -qF -- "$option" <<<"$text" || fail "$program.1 does not describe $option"
  done
}
cli_commands=$(sed -n '/^Subcommands:/,/^$/p' <<<"$cli_help" | awk 'NF { print $1 }' | tail -n +2)
[ -n "$cli_commands" ] || fail "kestrelon-cli --help lists no commands"
for command in $cli_commands; do
  command_help=$("$prefix/bin/kestrelon-cli" "$command" --help)
  described kestrelon-cli "$command_help"
  grep -q "^   $command" <<<"$(render kestrelon-cli)" || fail "kestrelon-cli.1 has no part on $command"
  for sub in $(sed -n '/^Subcommands:/,/^$/p' <<<"$command_help" | awk 'NF { print $1 }' | tail -n +2); do
    described kestrelon-cli "$("$prefix/bin/kestrelon-cli" "$command" "$sub" --help)"
    grep -q "^   $command $sub" <<<"$(render kestrelon-cli)" || fail "kestrelon-cli.1 has no part on $command $sub"
  done
done
described kestrelon-client "$client_help"
for switch in -rc -rt -nt -gut -mttl -fast -rate --loopback; do
  grep -qF -- "$switch" <<<"$(render kestrelon)" || fail "kestrelon.1 does not describe $switch"
done

book=$prefix/share/kestrelon/help
[ -f "$book/kestrelon.hhp" ] || fail "no help book in $book"
while read -r file; do
  [ -f "$book/$file" ] || fail "the help book lists $file, which is not installed"
done < <(sed -n '/^\[FILES\]/,$p' "$book/kestrelon.hhp" | tail -n +2 | grep .)
grep -q 'src="logo.png"' "$book/index.html" || fail "the start page shows no logo"
for target in $(grep -ho 'href="[^"#]*' "$book"/*.html | sed 's/^href="//' | sort -u); do
  [ -f "$book/$target" ] || fail "the help book links to $target, which is not installed"
done
for topic in journal.html troubleshooting.html; do
  grep -q "\"$topic\"" "$book/kestrelon.hhc" || fail "the help book's contents lack $topic"
done
[ -f "$book/logo.png" ] || fail "the start page's logo is not installed"
echo "installed files: programs, desktop entry, icons, manual pages and help book in order"
