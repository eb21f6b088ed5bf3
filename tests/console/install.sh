#!/usr/bin/env bash
# install.sh BUILD SOURCE VERSION install|setup-run
# install: cmake --install into a scratch prefix puts the program, its manual
# page and the example scripts where they belong, and the installed program
# runs. setup-run: `./setup run` on a fresh copy of the source builds krv
# alone, no test, and starts it.
set -euo pipefail
build=$1
source=$(realpath "$2")
version=$3
case=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "$case: $*" >&2
    exit 1
}

install() {
    cmake --install "$build" --prefix "$work" >/dev/null
    [ -x "$work/bin/krv" ] || fail "no bin/krv"
    said=$("$work/bin/krv" --version)
    [ "${said%%$'\n'*}" = "krv $version" ] || fail "installed krv says otherwise: $said"
    cmp -s "$source/doc/krv.1" "$work/share/man/man1/krv.1" || fail "share/man/man1/krv.1"
    for example in "$source"/examples/*.krv; do
        cmp -s "$example" "$work/share/doc/krv/examples/$(basename "$example")" ||
            fail "share/doc/krv/examples/$(basename "$example")"
    done
}

setup-run() {
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
}

"$case"
echo "$case: ok"
