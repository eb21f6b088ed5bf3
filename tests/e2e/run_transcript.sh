#!/usr/bin/env bash
# run_transcript.sh KRV NAME.in: krv in a fresh folder, NAME.in on its
# standard input, its output against NAME.out, the build date as DATE TIME,
# the start-up lines left out unless NAME.out starts with them. With
# KRV_UPDATE_TRANSCRIPT=1 it writes NAME.out instead (read it through).
# Lines a script adds to the file "keys" are played in from "test source 1".
set -euo pipefail
krv=$(realpath "$1")
input=$(realpath "$2")
expected=${input%.in}.out
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir "$work/run"
(cd "$work/run" && KRV_MIDI_HOST=${KRV_MIDI_HOST:-none} KRV_TEST_KEYBOARD=keys "$krv" <"$input" >"$work/stdout")
sed -E -i 's/KRVShell built [A-Z][a-z]{2} [ 0-9][0-9] [0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2}$/KRVShell built DATE TIME/' "$work/stdout"
if ! grep -q '^KRVShell: ' <<<"$(head -n 1 "$expected" 2>/dev/null)"; then
    sed -i '/^KRVShell: /d' "$work/stdout"
fi
if [ "${KRV_UPDATE_TRANSCRIPT:-}" = 1 ]; then
    cp "$work/stdout" "$expected"
    exit 0
fi
if ! diff -u "$expected" "$work/stdout"; then
    echo "transcript $(basename "$input") differs (expected -, actual +)" >&2
    exit 1
fi
