#!/usr/bin/env bash
# krv against a real ALSA sequencer, for a machine with a sound card (the
# build machines have none; tests/alsa/alsa_e2e.py covers the same ground
# there against a fake). aseqdump listens beside the kernel's Midi Through
# port (snd-seq-dummy) and writes down every note krv plays to it.
#
#   alsa_device.sh KRV
#
# Checks: aseqdump comes before Midi Through in krv's ports; every note-on
# gets its note-off after stop, quit, Ctrl-C and SIGTERM; while aseqdump is
# paused krv goes on, and afterwards every note that went out ends; a quit
# while it is paused takes less than a second. Exits 77 (skipped), saying
# why, where there is no sequencer device or no aseqdump.
set -u

KRV=${1:?usage: alsa_device.sh KRV}
SKIP=77

skip() {
    echo "SKIP: $*"
    exit $SKIP
}

fail() {
    echo "FAIL: $*"
    exit 1
}

[ -r /dev/snd/seq ] && [ -w /dev/snd/seq ] || skip "no ALSA sequencer device (/dev/snd/seq)"
command -v aseqdump >/dev/null && command -v aconnect >/dev/null ||
    skip "aseqdump and aconnect are not installed (alsa-utils)"
if ! grep -q "Midi Through" <<<"$(aconnect -o)"; then
    modprobe snd-seq-dummy 2>/dev/null
fi
grep -q "Midi Through" <<<"$(aconnect -o)" || skip "no Midi Through port, and snd-seq-dummy did not load"

WORK=$(mktemp -d)
DUMP_PID=""
KRV_PID=""
cleanup() {
    [ -n "$KRV_PID" ] && kill -KILL "$KRV_PID" 2>/dev/null
    [ -n "$DUMP_PID" ] && kill -CONT "$DUMP_PID" 2>/dev/null && kill "$DUMP_PID" 2>/dev/null
    exec 3>&- 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT

now_ms() {
    echo $(($(date +%s%N) / 1000000))
}

# aseqdump with a client name of its own, its lines as they come.
start_dump() {
    : >"$WORK/dump.txt"
    stdbuf -oL aseqdump >"$WORK/dump.txt" 2>&1 &
    DUMP_PID=$!
    for _ in $(seq 100); do
        grep -q "'aseqdump'" <<<"$(aconnect -o)" && return
        sleep 0.05
    done
    fail "aseqdump did not come up"
}

stop_dump() {
    kill -CONT "$DUMP_PID" 2>/dev/null
    kill "$DUMP_PID" 2>/dev/null
    wait "$DUMP_PID" 2>/dev/null
    DUMP_PID=""
}

# krv reading commands from descriptor 3; its output in krv.txt.
start_krv() {
    rm -f "$WORK/in"
    mkfifo "$WORK/in"
    KRV_MIDI_HOST=alsa "$KRV" <"$WORK/in" >"$WORK/krv.txt" 2>&1 &
    KRV_PID=$!
    exec 3>"$WORK/in"
    for _ in $(seq 100); do
        grep -q "krv> " "$WORK/krv.txt" && return
        sleep 0.05
    done
    fail "krv did not start: $(cat "$WORK/krv.txt")"
}

say() {
    printf '%s\n' "$@" >&3
}

# Waits for krv's end, at most $1 seconds; its exit status goes to STATUS.
wait_krv() {
    local deadline=$(($(now_ms) + $1 * 1000))
    while kill -0 "$KRV_PID" 2>/dev/null; do
        [ "$(now_ms)" -lt "$deadline" ] || fail "krv did not exit: $(tail -3 "$WORK/krv.txt")"
        sleep 0.02
    done
    wait "$KRV_PID"
    STATUS=$?
    exec 3>&-
    KRV_PID=""
}

# The number of krv's port that plays to the destination whose name has $1.
port_of() {
    sed -n "s/^KRVShell: output port \([0-9]*\) is .*$1.*/\1/p" "$WORK/krv.txt" | head -1
}

# Every note-on aseqdump heard has its note-off (a note-on of velocity 0
# counts as one), key by key.
expect_balanced() {
    sleep 0.3
    local unbalanced
    unbalanced=$(sed -n 's/.*Note \(on\|off\) *\([0-9]*\), note \([0-9]*\), velocity \([0-9]*\).*/\1 \2 \3 \4/p' \
        "$WORK/dump.txt" | awk '
        { key = $2 ":" $3; if ($1 == "on" && $4 > 0) { ons++; n[key]++ } else n[key]-- }
        END { for (k in n) if (n[k] != 0) bad = bad " " k "=" n[k];
              if (ons == 0) bad = " no note heard"; print bad }')
    [ -z "$unbalanced" ] || fail "$1: notes not balanced:$unbalanced"
    echo "$1: $(grep -c "Note on" "$WORK/dump.txt") note-ons heard, each ended"
}

# Four tracks to aseqdump, each its own note, at 120 bpm.
play_to_dump() {
    local port
    port=$(port_of "aseqdump:aseqdump")
    [ -n "$port" ] || fail "krv has no port for aseqdump: $(cat "$WORK/krv.txt")"
    say newtrack newtrack newtrack newtrack selectall "setport $port" clear
    for track in 1 2 3 4; do
        say "selt $track" "setnote $((59 + track))" clear
    done
    say "bpm ${1:-120}" play
    sleep "${2:-1.5}"
}

# Port order: whatever else is there, aseqdump (an application) before Midi
# Through.
start_dump
start_krv
dump_port=$(port_of "aseqdump:aseqdump")
through_port=$(port_of "Midi Through")
[ -n "$dump_port" ] && [ -n "$through_port" ] && [ "$dump_port" -lt "$through_port" ] ||
    fail "aseqdump should come before Midi Through: $(grep 'output port' "$WORK/krv.txt")"
grep -q "could not connect" "$WORK/krv.txt" && fail "a port did not connect: $(cat "$WORK/krv.txt")"
echo "ports: aseqdump is $dump_port, Midi Through $through_port"

# stop, then quit.
play_to_dump
say stop
expect_balanced "stop"
say quit
wait_krv 5
[ "$STATUS" = 0 ] || fail "quit after stop: exit status $STATUS"
stop_dump

# quit, Ctrl-C (krv goes on), SIGTERM, all while playing.
for way in quit ctrl-c sigterm; do
    start_dump
    start_krv
    play_to_dump
    case $way in
    quit) say quit ;;
    ctrl-c)
        kill -INT "$KRV_PID"
        expect_balanced "ctrl-c, krv still running"
        kill -0 "$KRV_PID" 2>/dev/null || fail "Ctrl-C ended krv"
        say quit
        ;;
    sigterm) kill -TERM "$KRV_PID" ;;
    esac
    wait_krv 5
    expected=0
    [ $way = sigterm ] && expected=143
    [ "$STATUS" = $expected ] || fail "$way: exit status $STATUS, expected $expected"
    expect_balanced "$way"
    stop_dump
done

# A paused receiver: krv plays on while aseqdump stops reading, for long
# enough to fill its input; afterwards every note that went out ends.
start_dump
start_krv
play_to_dump 300 0.5
kill -STOP "$DUMP_PID"
sleep 3
kill -CONT "$DUMP_PID"
sleep 1
say stop
expect_balanced "paused receiver"
grep "notes dropped" "$WORK/krv.txt"
# And a quit while it is paused does not wait for it.
play_to_dump 300 0.5
kill -STOP "$DUMP_PID"
sleep 2
asked=$(now_ms)
say quit
wait_krv 5
took=$(($(now_ms) - asked))
[ "$STATUS" = 0 ] || fail "quit with a paused receiver: exit status $STATUS"
[ "$took" -lt 1000 ] || fail "quit with a paused receiver took $took ms"
echo "quit with a paused receiver took $took ms"
stop_dump
echo PASS
