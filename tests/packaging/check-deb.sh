#!/usr/bin/env bash
# CPack builds the .deb from the build tree; its control fields, its contents, and an install into
# and removal from a scratch root are checked.
#   check-deb.sh BUILD_DIR SCRATCH_DIR
set -uo pipefail
. "$(dirname "$0")/layout.sh"

build=$1
scratch=$2
for tool in cpack dpkg-deb dpkg; do
    command -v "$tool" >/dev/null 2>&1 || skip "$tool is not installed (Debian package dpkg or cmake)"
done
[ -f "$build/CPackConfig.cmake" ] || skip "the build tree has no CPack configuration"

rm -rf "$scratch"
mkdir -p "$scratch"
if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1; then
    cat "$scratch/cpack.log" >&2
    # cpack first brings the whole build tree up to date; show why that failed.
    find "$scratch/out" -name PreinstallOutput.log -exec tail -n 30 {} \; >&2
    fail "cpack could not build the package"
    finish
fi
shopt -s nullglob
debs=("$scratch"/out/markwell_*.deb)
[ ${#debs[@]} -eq 1 ] || { fail "expected one markwell_*.deb, found ${#debs[@]}"; finish; }
deb=${debs[0]}
echo "package: $deb"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = markwell ] || fail "Package is \"$(field Package)\""
[ "$(field Section)" = education ] || fail "Section is \"$(field Section)\""
[ "$(field Maintainer)" = "Markwell Software" ] || fail "Maintainer is \"$(field Maintainer)\""
[ -n "$(field Version)" ] || fail "the package has no version"
[ -n "$(field Description)" ] || fail "the package has no description"
depends=$(field Depends)
echo "Depends: $depends"
for dep in libqt6widgets6 libqt6gui6 libqt6core6 libxlsxwriter4 fonts-liberation2 fonts-urw-base35; do
    # A whole package name in the comma-separated list, with or without a version.
    grep -qE "(^|, )$dep( \(|,|$)" <<<"$depends" || fail "Depends does not name $dep"
done

# Every dependency is a package this machine has, so the names are real and the package installs here.
for name in $(sed -e 's/([^)]*)//g' -e 's/[|,]/ /g' <<<"$depends"); do
    dpkg-query -W -f='${Status}' "$name" 2>/dev/null | grep -q 'install ok installed' ||
        fail "the dependency $name is not a package installed on this machine"
done

# Contents: root-owned, all under /usr.
listing=$(dpkg-deb -c "$deb")
grep -q './usr/bin/markwell$' <<<"$listing" || fail "the package has no /usr/bin/markwell"
grep -q './usr/bin/markwell-cli$' <<<"$listing" || fail "the package has no /usr/bin/markwell-cli"
not_root=$(awk '$2 != "root/root"' <<<"$listing")
[ -z "$not_root" ] || fail "entries not owned by root: $not_root"
stray=$(awk '{print $6}' <<<"$listing" | grep -v -E '^\./(usr(/.*)?)?$' || true)
[ -z "$stray" ] || fail "entries outside /usr: $stray"

dpkg-deb -x "$deb" "$scratch/x" || fail "dpkg-deb -x could not unpack the package"
check_layout "$scratch/x" /usr

# Install into and remove from a scratch root with its own package database. Dependencies are
# not there, so they are not enforced; the package has no maintainer scripts to run.
root="$scratch/root"
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status" "$root/var/lib/dpkg/available"
dpkg_root=(dpkg --root="$root" --force-depends --force-not-root --force-script-chrootless --log=/dev/null)
if "${dpkg_root[@]}" --install "$deb" >"$scratch/dpkg.log" 2>&1; then
    dpkg --root="$root" -s markwell 2>/dev/null | grep -qx 'Status: install ok installed' ||
        fail "dpkg does not list markwell as installed in the scratch root"
    check_layout "$root" /usr
    "${dpkg_root[@]}" --remove markwell >>"$scratch/dpkg.log" 2>&1 || fail "dpkg --remove failed"
    left=$(cd "$root" && find usr -type f 2>/dev/null || true)
    [ -z "$left" ] || fail "files left after removal: $left"
else
    cat "$scratch/dpkg.log" >&2
    fail "dpkg could not install the package into the scratch root"
fi

finish
