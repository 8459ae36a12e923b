#!/usr/bin/env bash
# The README's picture taker still works: both windows come up, "Create Template" shows the
# preview without any message, and the pictures have the windows' sizes.
#   check-screenshots.sh MARKWELL_SCREENSHOTS SCRATCH_DIR
set -uo pipefail
. "$(dirname "$0")/layout.sh"

tool=$1
scratch=$2
rm -rf "$scratch"
mkdir -p "$scratch"
if ! QT_QPA_PLATFORM=offscreen "$tool" "$scratch" >"$scratch/run.log" 2>&1; then
    cat "$scratch/run.log" >&2
    fail "markwell-screenshots failed"
    finish
fi
[ "$(png_size "$scratch/main-window.png")" = 640x564 ] ||
    fail "the main window picture is $(png_size "$scratch/main-window.png"), not 640x564"
size=$(png_size "$scratch/preview-window.png")
[ "${size%x*}" -gt 300 ] && [ "${size#*x}" -gt 300 ] || fail "the preview window picture is only $size"
finish
