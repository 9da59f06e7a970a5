#!/usr/bin/env bash
# Makes the Debian packages of the build tree BUILD with CPack into OUT and checks
# them: kestrelon holds the Controller's programs and data and depends on
# wxWidgets; kestrelon-client holds the reference Client alone; each depends on
# the package of every shared library its programs use; apt accepts both; and the
# packaged programs run.
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
controller=$(ls "$out"/kestrelon_*.deb)
client=$(ls "$out"/kestrelon-client_*.deb)
echo "made $(basename "$controller") ($(du -k "$controller" | cut -f1) KiB) and" \
  "$(basename "$client") ($(du -k "$client" | cut -f1) KiB)"

depends=$(dpkg-deb --field "$controller" Depends)
client_depends=$(dpkg-deb --field "$client" Depends)
for library in libwxgtk3.2 libwxbase3.2; do
  grep -q "$library" <<<"$depends" || fail "kestrelon does not depend on $library: $depends"
done
grep -q libwx <<<"$client_depends" && fail "kestrelon-client needs no wxWidgets: $client_depends"
summary=$(dpkg-deb --field "$controller" Description)
client_summary=$(dpkg-deb --field "$client" Description)
grep -q Controller <<<"${summary%%$'\n'*}" || fail "kestrelon's summary is '${summary%%$'\n'*}'"
grep -q Client <<<"${client_summary%%$'\n'*}" || fail "kestrelon-client's summary is '${client_summary%%$'\n'*}'"

contents=$(dpkg-deb --contents "$controller")
for path in usr/bin/kestrelon usr/bin/kestrelon-cli usr/share/kestrelon/help/kestrelon.hhp \
  usr/share/applications/kestrelon.desktop usr/share/icons/hicolor/48x48/apps/kestrelon.png \
  usr/share/icons/hicolor/scalable/apps/kestrelon.svg usr/share/man/man1/kestrelon.1.gz \
  usr/share/man/man1/kestrelon-cli.1.gz; do
  grep -q " \./$path\$" <<<"$contents" || fail "kestrelon lacks /$path"
done
grep -q "kestrelon-client" <<<"$(awk '{print $6}' <<<"$contents")" && fail "kestrelon holds the reference Client"
awk '{print $2}' <<<"$contents" | grep -qv '^root/root$' && fail "kestrelon holds files not owned by root"
client_contents=$(dpkg-deb --contents "$client")
for path in usr/bin/kestrelon-client usr/share/man/man1/kestrelon-client.1.gz; do
  grep -q " \./$path\$" <<<"$client_contents" || fail "kestrelon-client lacks /$path"
done

# apt resolves what the packages depend on (a simulation: nothing is installed).
apt-get install --simulate --no-install-recommends "$controller" "$client" >"$out/apt.log" 2>&1 || {
  cat "$out/apt.log" >&2
  fail "apt does not accept the packages"
}

# The packaged, stripped programs run.
unpacked=$out/unpacked
dpkg-deb --extract "$controller" "$unpacked"
dpkg-deb --extract "$client" "$unpacked"
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
for program in kestrelon kestrelon-cli; do
  check_libraries "$unpacked/usr/bin/$program" "$depends"
done
check_libraries "$unpacked/usr/bin/kestrelon-client" "$client_depends"
builder=$(ls "$out"/kestrelon-builder_*.deb)
builder_contents=$(dpkg-deb --contents "$builder")
for path in usr/bin/kestrelon-builder usr/share/man/man1/kestrelon-builder.1.gz \
  usr/lib/systemd/system/kestrelon-builder-serve@.service; do
  grep -q " \./$path\$" <<<"$builder_contents" || fail "kestrelon-builder lacks /$path"
done
grep -q "ipxe" <<<"$(dpkg-deb --field "$builder" Depends)" || fail "kestrelon-builder does not depend on ipxe"
echo "packages in order; kestrelon depends on: $depends; kestrelon-client on: $client_depends"
