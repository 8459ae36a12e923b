#!/usr/bin/env bash
# Fails when a C++ file of the repository is not formatted as .clang-format says.
set -euo pipefail
cd "$1"
if ! command -v clang-format >/dev/null 2>&1; then
    echo "clang-format is not installed; formatting not checked"
    exit 77
fi
if ! git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    echo "not a git checkout; formatting not checked"
    exit 77
fi
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror
echo "all files formatted"
