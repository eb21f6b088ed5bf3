#!/usr/bin/env bash
# bad_host.sh KRV
# A MIDI system that cannot be had ends krv at once: the first start-up line,
# then one line on standard error saying what went wrong, and status 1.
set -uo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
KRV_MIDI_HOST=no-such-host "$1" </dev/null >"$work/out" 2>"$work/err"
status=$?
[ "$status" -eq 1 ] || { echo "FAIL: status $status"; exit 1; }
[ "$(cat "$work/out")" = "KRVShell: setting up MIDI config" ] ||
    { echo "FAIL: stdout: $(cat "$work/out")"; exit 1; }
grep -qx 'krv: unknown MIDI system "no-such-host" in KRV_MIDI_HOST (it takes alsa, jack or none)' "$work/err" ||
    { echo "FAIL: stderr: $(cat "$work/err")"; exit 1; }
echo PASS
