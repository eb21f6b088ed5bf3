#!/usr/bin/env bash
# scripts_and_batch.sh KRV
# Scripts named on the command line run in order before the prompt, a tempo
# may come first, and one that cannot be read stops krv before MIDI opens.
# Batch mode stops at the first failing command with FILE:LINE on standard
# error and status 1; a good run says nothing there and exits 0; standard
# input is named "-".
set -euo pipefail
krv=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export KRV_MIDI_HOST=none
fail() {
    echo "scripts_and_batch: $*" >&2
    exit 1
}

printf 'newtrack\nbpm 90\n' >one.krv
printf 'newtrack\nselectall\nsetnote 61\n' >two.krv

# In order, each as read runs it, then the prompt; a number first is the tempo.
printf 'status\ndisplay 1 1\n' | "$krv" 140 one.krv two.krv >out 2>err
grep -q '^1 krv> stopped, 90 bpm, scale 1 16, loop 1-16, 2 tracks, 1 port (built-in)$' out ||
    fail "scripts not read in order: $(cat out)"
grep -q '^|02|N:|C#4|$' out || fail "second script not read: $(cat out)"
[ ! -s err ] || fail "standard error: $(cat err)"
[ "$(grep -c '^added track' out)" = 2 ] || fail "script output not shown: $(cat out)"
printf 'status\n' | "$krv" 140 >out
grep -q 'stopped, 140 bpm' out || fail "tempo alone: $(cat out)"

# A script that cannot be read: its message, status 2, nothing started.
status=0
"$krv" one.krv missing.krv </dev/null >out 2>err || status=$?
[ "$status" = 2 ] || fail "missing script exits $status"
[ ! -s out ] || fail "krv started: $(cat out)"
grep -qx "krv: can't open 'missing.krv'" err || fail "missing script: $(cat err)"

# Batch: the first failing command, with its file and line, stops the run.
printf 'newtrack\n\nselectall\nsetnote H9\nsetnote 60\n' >bad.krv
status=0
"$krv" --batch one.krv bad.krv two.krv >out 2>err || status=$?
[ "$status" = 1 ] || fail "failing batch exits $status"
[ "$(cat err)" = "bad.krv:4: setnote: bad note name/number" ] || fail "batch said: $(cat err)"
grep -q '^bad note name/number$' out || fail "message left out of standard output"
! grep -q 'set note 60' out || fail "batch ran on after the failure"
! grep -q 'krv> ' out || fail "batch shows prompts"

# A good run: status 0, nothing on standard error, playback stopped.
printf 'play\nsave all.krv\n' >save.krv
"$krv" -b one.krv two.krv save.krv >out 2>err || fail "good batch exits $?"
[ ! -s err ] || fail "good batch said: $(cat err)"
grep -qx 'setnote 61' all.krv || fail "batch scripts did not all run"

# The same job again: no line is an answer, so the save fails and says how
# to go on; with --overwrite it runs. A MIDI file is replaced as ever, a
# script by an export only with the option.
printf 'exportsmf all.mid\n' >>save.krv
printf 'exportsmf one.krv\n' >export.krv
printf 'exportsmf all.mid\n' >mid.krv
while read -r options job expected; do
    status=0
    # shellcheck disable=SC2086
    "$krv" ${options//,/ } one.krv $job >out 2>err || status=$?
    [ "$status" = "${expected%%:*}" ] || fail "$options $job exits $status: $(cat err)"
    [ "$(cat err)" = "${expected#*:}" ] || fail "$options $job said: $(cat err)"
done <<'END'
-b save.krv 1:save.krv:2: save: all.krv exists; run krv with --overwrite to replace it
-b,--overwrite save.krv 0:
-b mid.krv 0:
-b export.krv 1:export.krv:1: exportsmf: one.krv exists and is not a Standard MIDI File; run krv with --overwrite to replace it
END
cp one.krv kept.krv
printf 'exportsmf one.krv\nn\n' | "$krv" one.krv >out
grep -q 'krv> one.krv is not a Standard MIDI File$' out || fail "export asked: $(cat out)"
cmp -s one.krv kept.krv || fail "export replaced a script answered no"

# Standard input, named "-"; a word that is no command fails too.
status=0
printf 'newtrack\nbogus 1\n' | "$krv" --batch >out 2>err || status=$?
[ "$status" = 1 ] || fail "failing standard input exits $status"
[ "$(cat err)" = "-:2: bogus: command not found" ] || fail "standard input: $(cat err)"
printf 'newtrack\nquit\nbogus\n' | "$krv" -b >out 2>err || fail "quit in batch exits $?"
[ ! -s err ] || fail "batch ran on after quit: $(cat err)"
echo "scripts and batch: ok"
