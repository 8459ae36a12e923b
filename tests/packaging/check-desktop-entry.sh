#!/usr/bin/env bash
# The desktop entry passes desktop-file-validate without errors or warnings.
#   check-desktop-entry.sh ENTRY
set -uo pipefail
. "$(dirname "$0")/layout.sh"

command -v desktop-file-validate >/dev/null 2>&1 ||
    skip "desktop-file-validate is not installed (Debian package desktop-file-utils)"
out=$(desktop-file-validate "$1" 2>&1)
rc=$?
[ -z "$out" ] || echo "$out"
[ "$rc" -eq 0 ] || fail "desktop-file-validate rejected $1"
grep -qE ': (error|warning):' <<<"$out" && fail "desktop-file-validate found problems in $1"
finish
