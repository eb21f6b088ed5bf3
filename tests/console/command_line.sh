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

# The version, then the MIDI systems krv tries, for a bug report.
said=$(KRV_MIDI_HOST=jack "$krv" --version)
[ "$said" = "krv $version"$'\n'"MIDI systems: alsa, jack, none (built-in); KRV_MIDI_HOST=jack chooses" ] ||
    fail "--version says $said"

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
# "-" is standard input, in batch mode among the files too; "--" ends the
# options, so a file may begin with "-".
printf 'newtrack\n' >"$work/-x.krv"
for args in "-b -" "-b -- -x.krv -" "-- -x.krv"; do
    # shellcheck disable=SC2086
    said=$(cd "$work" && printf 'status\n' | KRV_MIDI_HOST=none "$krv" $args 2>&1) ||
        fail "krv $args exits $?: $said"
    want="0 tracks,"
    [[ "$args" != *-x.krv* ]] || want="1 track,"
    grep -q "$want" <<<"$said" || fail "krv $args: $said"
done
echo "command line: ok"
