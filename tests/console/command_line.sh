#!/usr/bin/env bash
# command_line.sh KRV VERSION
# The options: --help on standard output, --version, an unknown option
# refused with usage on standard error and status 2 before anything starts,
# and a tempo argument as before.
set -euo pipefail
krv=$(realpath "$1")
version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "command_line: $*" >&2
    exit 1
}

"$krv" --help >"$work/out" 2>"$work/err" || fail "--help exits $?"
[ ! -s "$work/err" ] || fail "--help wrote to standard error"
for word in 'usage: krv \[bpm\]' --version KRV_MIDI_HOST JACK_DEFAULT_SERVER \
    'state/krv/history' default.krv; do
    grep -q -- "$word" "$work/out" || fail "--help does not mention $word"
done

[ "$("$krv" --version)" = "krv $version" ] || fail "--version says $("$krv" --version)"

for option in --bogus -x; do
    status=0
    KRV_MIDI_HOST=none "$krv" "$option" </dev/null >"$work/out" 2>"$work/err" || status=$?
    [ "$status" = 2 ] || fail "$option exits $status"
    [ ! -s "$work/out" ] || fail "$option started krv: $(cat "$work/out")"
    grep -q -- "unknown option '$option'" "$work/err" || fail "$option: $(cat "$work/err")"
    grep -q 'usage: krv' "$work/err" || fail "$option: no usage on standard error"
done

# A tempo, also a negative one, is no option; krv starts at it (or at 120).
for tempo in 140:140.000000 -5:120.000000; do
    printf 'save t.krv\n' | (cd "$work" && KRV_MIDI_HOST=none "$krv" "${tempo%%:*}" >/dev/null)
    grep -qx "bpm ${tempo#*:}" "$work/t.krv" || fail "tempo ${tempo%%:*}: $(grep bpm "$work/t.krv")"
    rm "$work/t.krv"
done
echo "command line: ok"
