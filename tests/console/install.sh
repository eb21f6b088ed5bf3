#!/usr/bin/env bash
# install.sh BUILD SOURCE VERSION
# cmake --install into a scratch prefix puts the program, its manual page and
# the example scripts where they belong, and the installed program runs.
set -euo pipefail
build=$1
source=$2
version=$3
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() {
    echo "install: $*" >&2
    exit 1
}

cmake --install "$build" --prefix "$prefix" >/dev/null
[ -x "$prefix/bin/krv" ] || fail "no bin/krv"
said=$("$prefix/bin/krv" --version)
[ "${said%%$'\n'*}" = "krv $version" ] || fail "installed krv says otherwise: $said"
cmp -s "$source/doc/krv.1" "$prefix/share/man/man1/krv.1" || fail "share/man/man1/krv.1"
for example in "$source"/examples/*.krv; do
    cmp -s "$example" "$prefix/share/doc/krv/examples/$(basename "$example")" ||
        fail "share/doc/krv/examples/$(basename "$example")"
done
grep -qx "$prefix/share/man/man1/krv.1" <<<"$(MANPATH="$prefix/share/man" man -w krv)" ||
    fail "man does not find the installed page"
echo "install: ok"
