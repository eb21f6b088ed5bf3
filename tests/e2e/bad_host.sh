#!/usr/bin/env bash
# bad_host.sh KRV
# A MIDI system that cannot be had ends krv at once: the first start-up line,
# then one line on standard error saying what went wrong in words a user can
# act on, and status 1.
set -uo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# expect_failure HOST MESSAGE [ENVIRONMENT...]
expect_failure() {
    local host=$1 message=$2
    shift 2
    env "$@" KRV_MIDI_HOST="$host" "$KRV" </dev/null >"$work/out" 2>"$work/err"
    local status=$?
    [ "$status" -eq 1 ] || { echo "FAIL: $host: status $status"; exit 1; }
    [ "$(cat "$work/out")" = "KRVShell: setting up MIDI config" ] ||
        { echo "FAIL: $host: stdout: $(cat "$work/out")"; exit 1; }
    [ "$(cat "$work/err")" = "$message" ] ||
        { echo "FAIL: $host: stderr: $(cat "$work/err")"; exit 1; }
}

KRV=$1
expect_failure no-such-host \
    'krv: unknown MIDI system "no-such-host" in KRV_MIDI_HOST (it takes alsa, jack or none)'
# A server name that nothing runs under: no server is started, none is found.
if command -v jackd >/dev/null; then
    expect_failure jack "krv: no JACK server is running" JACK_DEFAULT_SERVER=krv-no-server
fi
if [ ! -e /dev/snd/seq ]; then
    expect_failure alsa \
        "krv: can't open the ALSA sequencer (/dev/snd/seq): No such file or directory"
fi
echo PASS
