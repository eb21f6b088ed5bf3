#!/usr/bin/env bash
# alsa_device.sh KRV: krv against a real ALSA sequencer (alsa/alsa_e2e.py
# covers the same against a fake where there is none), with aseqdump
# listening beside the kernel's Midi Through port. Skips (77) without them.
set -u
KRV=${1:?usage: alsa_device.sh KRV}
W=$(mktemp -d)
DUMP=""
PID=""
skip() { echo "SKIP: $*" && exit 77; }
fail() { echo "FAIL: $*" && exit 1; }
trap '[ -n "$PID" ] && kill -KILL $PID; [ -n "$DUMP" ] && kill -CONT $DUMP && kill $DUMP; rm -rf "$W"' EXIT
[ -r /dev/snd/seq ] && [ -w /dev/snd/seq ] || skip "no ALSA sequencer device (/dev/snd/seq)"
command -v aseqdump >/dev/null && command -v aconnect >/dev/null || skip "no alsa-utils"
listed() { grep -q "$1" <<<"$(aconnect -o)"; }
listed "Midi Through" || modprobe snd-seq-dummy 2>/dev/null
listed "Midi Through" || skip "no Midi Through port (snd-seq-dummy)"
now_ms() { echo $(($(date +%s%N) / 1000000)); }
# until SECONDS WHAT COMMAND...: polls COMMAND until it holds, or fails.
until_ok() {
    local deadline=$(($(now_ms) + $1 * 1000)) what=$2
    shift 2
    until "$@"; do
        [ "$(now_ms)" -lt "$deadline" ] || fail "$what"
        sleep 0.02
    done
}
start() {
    : >"$W/dump"
    stdbuf -oL aseqdump >"$W/dump" 2>&1 &
    DUMP=$!
    until_ok 5 "aseqdump did not come up" listed "'aseqdump'"
    rm -f "$W/in" && mkfifo "$W/in"
    KRV_MIDI_HOST=alsa "$KRV" <"$W/in" >"$W/krv" 2>&1 &
    PID=$!
    exec 3>"$W/in"
    until_ok 5 "krv did not start" grep -q "krv> " "$W/krv"
}
port_of() { sed -n "s/^KRVShell: output port \([0-9]*\) is .*$1.*/\1/p" "$W/krv" | head -1; }
# Unended notes by key ("on" counts up, "off" or velocity 0 down; none heard
# is a fault too), checked again once krv has ended: a poll that meets a
# moment between two notes while krv plays is made good by the check then.
unended() {
    sed -n 's/.*Note \(on\|off\) *\([0-9]*\), note \([0-9]*\), velocity \([0-9]*\).*/\1 \2 \3 \4/p' \
        "$W/dump" | awk '{ k = $2 ":" $3; if ($1 == "on" && $4 > 0) { ons++; n[k]++ } else n[k]-- }
        END { for (k in n) if (n[k]) bad = bad " " k; print ons ? bad : " none heard" }'
}
balanced() { [ -z "$(unended)" ]; }
expect_balanced() { until_ok 3 "$1: notes not ended:$(unended)" balanced; }
gone() { ! kill -0 "$PID" 2>/dev/null; }
# Ends krv within $1 s, expecting exit status $2.
expect_exit() {
    until_ok "$1" "krv did not exit" gone
    wait $PID
    local status=$?
    PID=""
    exec 3>&-
    [ $status = "$2" ] || fail "exit status $status, not $2"
}
play() {
    local port
    port=$(port_of "aseqdump:aseqdump")
    [ -n "$port" ] || fail "no port for aseqdump: $(cat "$W/krv")"
    printf '%s\n' newtrack newtrack newtrack newtrack selectall "setport $port" clear >&3
    for t in 1 2 3 4; do printf '%s\n' "selt $t" "setnote $((59 + t))" clear >&3; done
    printf '%s\n' "bpm $1" play >&3
    until_ok 5 "nothing heard" grep -q "Note on" "$W/dump"
}
stop_dump() { kill -CONT $DUMP && kill $DUMP && wait $DUMP; DUMP=""; }

# Signals and Ctrl-C take the same path on every host (alsa.exits and
# jack.sigint); here a quit ends the notes through the kernel's queue.
start
dump=$(port_of "aseqdump:aseqdump")
through=$(port_of "Midi Through")
[ -n "$dump" ] && [ -n "$through" ] && [ "$dump" -lt "$through" ] ||
    fail "aseqdump should come before Midi Through: $(grep 'output port' "$W/krv")"
! grep -q "could not connect" "$W/krv" || fail "a port did not connect: $(cat "$W/krv")"
play 120
echo quit >&3
expect_exit 5 0
expect_balanced quit
stop_dump
# A receiver that stops reading long enough to fill its input: krv plays on,
# every note that went out ends, and a quit does not wait for the receiver.
start
play 300
kill -STOP $DUMP
sleep 3 # the receiver's input fills while krv plays on
kill -CONT $DUMP
echo stop >&3
expect_balanced "paused receiver"
play 300
kill -STOP $DUMP
sleep 2 # krv plays into the full receiver
asked=$(now_ms)
echo quit >&3
expect_exit 1 0
echo "quit with a paused receiver took $(($(now_ms) - asked)) ms"
stop_dump
echo PASS
