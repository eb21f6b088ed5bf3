#!/usr/bin/env bash
# full_disk.sh KRV
# Saving a script or exporting a MIDI file onto a full file system must keep
# the old file, leave no temporary file behind and say what went wrong. Needs a small tmpfs of its own, so it
# skips (exit 77) where mounting is not allowed.
set -euo pipefail
krv=$(realpath "$1")
work=$(mktemp -d)
disk=$work/disk
mkdir "$disk"
cleanup() {
    cd /
    umount "$disk" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
if ! mount -t tmpfs -o size=64k tmpfs "$disk" 2>/dev/null; then
    echo "SKIP: cannot mount a small tmpfs here (needs root and mount rights)"
    exit 77
fi

fail() {
    echo "FAIL: $*"
    exit 1
}

cd "$disk"
printf 'newtrack\nsave seq.krv\nexportsmf song.mid\nquit\n' | KRV_MIDI_HOST=none "$krv" >/dev/null
cp seq.krv "$work/before.krv"
cp song.mid "$work/before.mid"
# Fill what is left, then try to save a sequence far larger than the space.
dd if=/dev/zero of=filler bs=4k 2>/dev/null || true
{
    printf 'setscale 4 64\n'
    for track in 1 2 3 4 5 6 7 8; do printf 'newtrack\n'; done
    printf 'save seq.krv\ny\nsave new.krv\nexportsmf song.mid\nquit\n'
} | KRV_MIDI_HOST=none "$krv" >"$work/out.txt"

cmp -s seq.krv "$work/before.krv" || fail "the old script was changed"
cmp -s song.mid "$work/before.mid" || fail "the old MIDI file was changed"
grep -q "^MusicSequenceSaveSMF returns -28$" "$work/out.txt" ||
    fail "no export error reported: $(cat "$work/out.txt")"
grep -q "^krv: can't write 'song.mid': No space left on device$" "$work/out.txt" ||
    fail "the export error is not said in words: $(cat "$work/out.txt")"
leftovers=$(ls -A | grep -v -x -e seq.krv -e song.mid -e filler || true)
[ -z "$leftovers" ] || fail "files left behind: $leftovers"
grep -q "^couldn't write 'seq.krv' (No space left on device), the old file is unchanged$" \
    "$work/out.txt" || fail "no error reported: $(cat "$work/out.txt")"
# A file that was not there has no old file to speak of.
grep -q "^couldn't write 'new.krv' (No space left on device)$" "$work/out.txt" ||
    fail "the failed new file: $(cat "$work/out.txt")"
echo PASS
