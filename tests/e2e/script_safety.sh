#!/usr/bin/env bash
# script_safety.sh KRV
# The real program: a script runs no host command unless krv was started
# with --allow-shell-in-scripts (given before or after the tempo), and no
# command waits on a FIFO or writes over a device.
set -euo pipefail
krv=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() {
    echo "FAIL: $*"
    exit 1
}
run() {
    KRV_MIDI_HOST=none timeout 20 "$krv" "$@" | sed '/^KRVShell: /d'
}

printf 'newtrack\nsh touch pwned\nnewtrack\n' >innocent-beat.krv
said=$(printf 'load innocent-beat.krv\n' | run)
[ ! -e pwned ] || fail "a script ran a host command"
grep -qx "sh: not run from a script; start krv with --allow-shell-in-scripts to allow it" <<<"$said" ||
    fail "no word of the refused host command: $said"
grep -qx "added track 2" <<<"$said" || fail "the script stopped at the refused line: $said"
for arguments in "--allow-shell-in-scripts 140" "140 --allow-shell-in-scripts"; do
    rm -f pwned seq.krv
    # shellcheck disable=SC2086
    printf 'load innocent-beat.krv\nsave seq.krv\n' | run $arguments >/dev/null
    [ -e pwned ] || fail "krv $arguments: the allowed host command did not run"
    grep -qx "bpm 140.000000" seq.krv || fail "krv $arguments: the tempo is $(grep bpm seq.krv)"
done
grep -q -- "--allow-shell-in-scripts" <<<"$(run --help)" || fail "--help does not tell of the option"

# Nothing waits on a FIFO without a writer or a reader, nor writes a device.
mkfifo pipe
said=$(printf 'newtrack\nread pipe\nload pipe\nimportsmf pipe\nsave pipe\nexportsmf pipe\nsave /dev/null\ndisplay\n' |
    run) || fail "krv did not finish with a FIFO about (status $?)"
[ -p pipe ] || fail "the FIFO was replaced"
[ -c /dev/null ] || fail "/dev/null is no longer a device"
for line in "can't open 'pipe'" "krv: can't read 'pipe': not a regular file" \
    "can't open 'pipe': not a regular file" "krv: can't write 'pipe': not a regular file" \
    "can't open '/dev/null': not a regular file"; do
    grep -qF -- "$line" <<<"$said" || fail "missing '$line' in: $said"
done
grep -q "^|01|" <<<"$said" || fail "load of a FIFO deleted the sequence"
echo PASS
