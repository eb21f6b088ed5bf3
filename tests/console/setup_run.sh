#!/usr/bin/env bash
# setup_run.sh SOURCE
# `./setup run` on a fresh copy of the source builds krv alone, no test, and
# starts it.
set -euo pipefail
source=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "setup_run: $*" >&2
    exit 1
}

if git -C "$source" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git -C "$source" ls-files -z | (cd "$source" && xargs -0 cp --parents -t "$work")
else
    (cd "$source" && tar --exclude='./build*' -cf - .) | tar -C "$work" -xf -
fi
said=$(cd "$work" && printf 'status\nquit\n' | KRV_MIDI_HOST=none ./setup run 2>&1) ||
    fail "exits $?: $said"
grep -q '^1 krv> stopped, 120 bpm' <<<"$said" || fail "krv did not start: $said"
[ -x "$work/build/krv" ] || fail "no build/krv"
[ ! -e "$work/build/tests" ] || fail "the tests were configured: $(ls "$work/build/tests")"
tests=$(find "$work/build" -type f -perm -u+x \( -name '*Test*' -o -name 'krv_*' \) -print)
[ -z "$tests" ] || fail "test programs were built: $tests"
echo "setup run: ok"
