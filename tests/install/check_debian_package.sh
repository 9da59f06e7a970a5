#!/usr/bin/env bash
# Makes the Debian packages of the build tree BUILD with CPack into OUT and checks
# them: kestrelon-cli holds the command line alone and needs nothing of a desktop;
# kestrelon holds the desktop Controller and its data, depends on wxWidgets and
# on kestrelon-cli of the same version; kestrelon-client holds the reference
# Client alone; each depends on the package of every shared library its programs
# use; apt accepts them; and the packaged programs run.
#   check_debian_package.sh CPACK BUILD OUT
set -euo pipefail
cpack=$1
build=$2
out=$3
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

rm -rf "$out"
(cd "$build" && "$cpack" -G DEB -B "$out" >"$out.log" 2>&1) || {
  cat "$out.log" >&2
  fail "cpack could not make the packages"
}
cli=$(ls "$out"/kestrelon-cli_*.deb)
controller=$(ls "$out"/kestrelon_*.deb)
client=$(ls "$out"/kestrelon-client_*.deb)
for deb in "$cli" "$controller" "$client"; do
  echo "made $(basename "$deb") ($(du -k "$deb" | cut -f1) KiB)"
done

field() { dpkg-deb --field "$1" "$2"; }
cli_depends=$(field "$cli" Depends)
depends=$(field "$controller" Depends)
client_depends=$(field "$client" Depends)
version=$(field "$cli" Version)
grep -q "kestrelon-cli (= $version)" <<<"$depends" || fail "kestrelon does not depend on kestrelon-cli $version: $depends"
for library in libwxgtk3.2 libwxbase3.2; do
  grep -q "$library" <<<"$depends" || fail "kestrelon does not depend on $library: $depends"
done
grep -Eq 'wx|gtk|libx11' <<<"$cli_depends" && fail "kestrelon-cli needs no desktop: $cli_depends"
grep -q libwx <<<"$client_depends" && fail "kestrelon-client needs no wxWidgets: $client_depends"
for deb in "$cli" "$controller" "$client"; do
  summary=$(field "$deb" Description)
  grep -Eq 'Controller|Client' <<<"${summary%%$'\n'*}" || fail "$(basename "$deb")'s summary is '${summary%%$'\n'*}'"
done

# Each package holds its own files and no other's.
holds() {
  local deb=$1 contents path
  contents=$(dpkg-deb --contents "$deb")
  shift
  for path in "$@"; do
    grep -q " \./$path\$" <<<"$contents" || fail "$(basename "$deb") lacks /$path"
  done
  awk '{print $2}' <<<"$contents" | grep -qv '^root/root$' && fail "$(basename "$deb") holds files not owned by root"
  return 0
}
holds "$cli" usr/bin/kestrelon-cli usr/share/man/man1/kestrelon-cli.1.gz
holds "$controller" usr/bin/kestrelon usr/share/kestrelon/help/kestrelon.hhp \
  usr/share/applications/kestrelon.desktop usr/share/icons/hicolor/48x48/apps/kestrelon.png \
  usr/share/icons/hicolor/scalable/apps/kestrelon.svg usr/share/man/man1/kestrelon.1.gz
holds "$client" usr/bin/kestrelon-client usr/share/man/man1/kestrelon-client.1.gz
programs() { dpkg-deb --contents "$1" | awk '{print $6}' | grep '^\./usr/bin/.' | sort | tr '\n' ' '; }
[ "$(programs "$cli")" = "./usr/bin/kestrelon-cli " ] || fail "kestrelon-cli holds $(programs "$cli")"
[ "$(programs "$client")" = "./usr/bin/kestrelon-client " ] || fail "kestrelon-client holds $(programs "$client")"
programs "$controller" | grep -q 'kestrelon-cli\|kestrelon-client' && fail "kestrelon holds $(programs "$controller")"

# apt resolves what the packages depend on (a simulation: nothing is installed).
apt-get install --simulate --no-install-recommends "$cli" "$controller" "$client" >"$out/apt.log" 2>&1 || {
  cat "$out/apt.log" >&2
  fail "apt does not accept the packages"
}
# Everything kestrelon-cli brings onto a machine that has nothing yet: apt
# simulated against an empty package database.
: >"$out/empty-status"
apt-get install --simulate --no-install-recommends -o Dir::State::status="$out/empty-status" "$cli" \
  >"$out/apt-cli-alone.log" 2>&1 || {
  cat "$out/apt-cli-alone.log" >&2
  fail "apt cannot install kestrelon-cli on its own"
}
brought=$(awk '$1 == "Inst" { print $2 }' "$out/apt-cli-alone.log" | tr '\n' ' ')
grep -Eq 'gtk|wx|libx11|libcairo|libpango' <<<"$brought" && fail "kestrelon-cli brings a desktop library: $brought"
[ "$(wc -w <<<"$brought")" -le 8 ] || fail "kestrelon-cli brings more than the C++ runtime: $brought"

# The packaged, stripped programs run.
unpacked=$out/unpacked
for deb in "$cli" "$controller" "$client"; do dpkg-deb --extract "$deb" "$unpacked"; done
"$unpacked/usr/bin/kestrelon-cli" --help >/dev/null || fail "the packaged kestrelon-cli does not run"
"$unpacked/usr/bin/kestrelon-client" --help >/dev/null || fail "the packaged kestrelon-client does not run"

# Every shared library a packaged program names comes from a package its own
# package depends on (zlib1g for the Client, which compresses the disks it uploads).
check_libraries() {
  local program=$1 packages soname path owner
  packages=$(tr ',' '\n' <<<"$2" | awk '{ print $1 }')
  for soname in $(readelf -d "$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
    path=$(ldd "$program" | awk -v name="$soname" '$1 == name { print $3 }')
    owner=$(dpkg -S "$path" 2>/dev/null || dpkg -S "*/$soname" | head -n 1)
    owner=${owner%%:*}
    grep -qxF "$owner" <<<"$packages" ||
      fail "$(basename "$program") needs $soname from $owner, which its package does not depend on"
  done
}
check_libraries "$unpacked/usr/bin/kestrelon" "$depends"
check_libraries "$unpacked/usr/bin/kestrelon-cli" "$cli_depends"
check_libraries "$unpacked/usr/bin/kestrelon-client" "$client_depends"
builder=$(ls "$out"/kestrelon-builder_*.deb)
builder_contents=$(dpkg-deb --contents "$builder")
for path in usr/bin/kestrelon-builder usr/share/man/man1/kestrelon-builder.1.gz \
  usr/lib/systemd/system/kestrelon-builder-serve@.service; do
  grep -q " \./$path\$" <<<"$builder_contents" || fail "kestrelon-builder lacks /$path"
done
grep -q "ipxe" <<<"$(dpkg-deb --field "$builder" Depends)" || fail "kestrelon-builder does not depend on ipxe"
echo "packages in order; kestrelon-cli alone brings: $brought"
echo "kestrelon depends on: $depends; kestrelon-client on: $client_depends"
