#!/usr/bin/env bash
# `cmake --install` of the build tree into a scratch DESTDIR lays out the usual files, no others.
#   check-install.sh BUILD_DIR SCRATCH_DIR
set -uo pipefail
. "$(dirname "$0")/layout.sh"

build=$1
scratch=$2
rm -rf "$scratch"
mkdir -p "$scratch"

if ! DESTDIR="$scratch/root" cmake --install "$build" --prefix /usr >"$scratch/install.log" 2>&1; then
    cat "$scratch/install.log" >&2
    fail "cmake --install failed"
    finish
fi

check_layout "$scratch/root" /usr

# Everything lands under the prefix, and only in the folders the layout names.
outside=$(cd "$scratch/root" && find . -type f | grep -v -E '^\./usr/(bin|share/(applications|icons/hicolor|man/man1))/' || true)
[ -z "$outside" ] || fail "files outside the install layout: $outside"

finish
