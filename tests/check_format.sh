#!/usr/bin/env bash
# check_format.sh SOURCE_FOLDER
# Fails when any C++ file of the tree strays from .clang-format, so that the
# layout never drifts. Skips (77) where clang-format is not installed.
set -uo pipefail
cd "$1" || exit 1
command -v clang-format >/dev/null || { echo "SKIP: clang-format is not installed"; exit 77; }
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    mapfile -t files < <(git ls-files -co --exclude-standard '*.cpp' '*.h')
else
    mapfile -t files < <(find . -path './build*' -prune -o \( -name '*.cpp' -o -name '*.h' \) -print)
fi
[ ${#files[@]} -gt 0 ] || { echo "FAIL: no sources found"; exit 1; }
clang-format --dry-run -Werror "${files[@]}" || exit 1
echo "PASS: ${#files[@]} files formatted"
