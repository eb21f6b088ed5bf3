#!/usr/bin/env bash
# files.sh KRV CASE: saving where the file system says no.
#   full-disk     onto a full file system: the old file stays, no temporary
#                 file is left behind, and what went wrong is said
#   unprivileged  as a user without root's rights: a file the user may not
#                 write is refused in words before anything is written, one
#                 in a folder it may not change is rewritten in place and
#                 said to be, one it may replace keeps its mode, ACL and
#                 extended attributes, and says when its owner was lost
# Skips (77) where it may not mount a small tmpfs, or not run krv as nobody.
set -euo pipefail
krv=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*"
    exit 1
}
skip() {
    echo "SKIP: $*"
    exit 77
}
# says LINE: krv said LINE, whole, in $said.
says() {
    grep -qxF -- "$1" <<<"$said" || fail "no line \"$1\" in what krv said:
$said"
}

full_disk() {
    disk=$work/disk
    mkdir "$disk"
    trap 'cd / && umount "$disk" 2>/dev/null; rm -rf "$work"' EXIT
    mount -t tmpfs -o size=64k tmpfs "$disk" 2>/dev/null || skip "cannot mount a small tmpfs here"

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
    leftovers=$(ls -A | grep -v -x -e seq.krv -e song.mid -e filler || true)
    [ -z "$leftovers" ] || fail "files left behind: $leftovers"
    said=$(cat "$work/out.txt")
    says "MusicSequenceSaveSMF returns -28"
    says "krv: can't write 'song.mid': No space left on device"
    says "couldn't write 'seq.krv' (No space left on device), the old file is unchanged"
    # A file that was not there has no old file to speak of.
    says "couldn't write 'new.krv' (No space left on device)"
}
[ "$2" != full-disk ] || { full_disk && echo PASS && exit 0; }

# unprivileged
[ "$(id -u)" = 0 ] && command -v setpriv >/dev/null || skip "needs root and setpriv to run krv as nobody"
as_nobody() {
    setpriv --reuid=nobody --regid=nogroup --clear-groups "$@"
}
chmod 0755 "$work"
# A copy, since the build folder may lie where nobody cannot reach.
cp "$krv" "$work/krv"
krv=$work/krv
as_nobody test -x "$krv" || skip "the user nobody cannot run $krv (a folder above is closed)"
mkdir -m 0777 "$work/open" "$work/closed"
# krv as nobody in the folder $1, reading the rest of the arguments as lines.
run() {
    local folder=$1
    shift
    printf '%s\n' "$@" | (cd "$folder" && as_nobody env KRV_MIDI_HOST=none "$krv") |
        sed '/^KRVShell: /d'
}
# mode owner:group
describe() {
    stat -c '%a %U:%G' "$1"
}

cd "$work/open"
for name in ro.krv ro.conf ro.sel ro.mid; do
    echo "keep me" >"$name"
    chown nobody:nogroup "$name"
    chmod 0444 "$name"
done
echo "keep me" >zero.krv
chmod 0000 zero.krv
said=$(run "$work/open" newtrack "save ro.krv" y "save zero.krv" "saveconfig ro.conf" \
    "saveselection ro.sel" "exportsmf ro.mid")
expected="1 krv> added track 1
2 krv> opening file
can't open 'ro.krv': Permission denied
3 krv> y: command not found
3 krv> opening file
can't open 'zero.krv': Permission denied
4 krv> opening file
can't open 'ro.conf': Permission denied
5 krv> can't open 'ro.sel': Permission denied
6 krv> MusicTrackNewExtendedTempoEvent returns 0
FSPathMakeRef (ro.mid) returns 0
FSGetCatalogInfo returns -13
MusicSequenceSaveSMF returns -13
krv: can't write 'ro.mid': Permission denied
7 krv> "
[ "$said" = "$expected" ] || fail "refusals: $(diff <(echo "$expected") <(echo "$said"))"
for name in ro.krv ro.conf ro.sel ro.mid zero.krv; do
    [ "$(cat "$name")" = "keep me" ] || fail "$name was changed"
done
[ "$(describe ro.krv)" = "444 nobody:nogroup" ] || fail "ro.krv is now $(describe ro.krv)"
[ "$(describe zero.krv)" = "0 root:root" ] || fail "zero.krv is now $(describe zero.krv)"

# A file nobody may write, in a folder it may not change: rewritten in
# place, which is said, since it is no longer atomic.
echo "keep me" >"$work/closed/shared.krv"
chmod 0666 "$work/closed/shared.krv"
chmod 0555 "$work/closed"
said=$(run "$work/closed" newtrack "save shared.krv" y)
says "'shared.krv' was rewritten in place: its folder may not be written, so it could not be replaced atomically"
grep -qx "newtrack 1" "$work/closed/shared.krv" || fail "shared.krv in the closed folder not written"
[ "$(describe "$work/closed/shared.krv")" = "666 root:root" ] ||
    fail "shared.krv is now $(describe "$work/closed/shared.krv")"

# Files nobody may replace: its own keeps mode, owner and group; root's
# keeps its mode, and the saver hears that the owner could not be kept.
echo "old" >own.krv
chown nobody:nogroup own.krv
chmod 0640 own.krv
echo "old" >roots.krv
chmod 0666 roots.krv
# An ACL entry and a user attribute go with the file.
setfacl -m u:daemon:r own.krv
setfattr -n user.note -v "keep me" own.krv
said=$(run "$work/open" newtrack "save own.krv" y "save roots.krv" y)
says "'roots.krv' could not keep its owner and group, and is now yours"
! grep -q "'own.krv' " <<<"$said" || fail "own.krv said it lost something: $said"
grep -qx "user:daemon:r--" <<<"$(getfacl -cp own.krv 2>/dev/null)" || fail "own.krv lost its ACL"
[ "$(getfattr --only-values -n user.note own.krv 2>/dev/null)" = "keep me" ] ||
    fail "own.krv lost its user.note attribute"
[ "$(describe own.krv)" = "640 nobody:nogroup" ] || fail "own.krv is now $(describe own.krv)"
[ "$(describe roots.krv)" = "666 nobody:nogroup" ] || fail "roots.krv is now $(describe roots.krv)"
grep -qx newtrack\ 1 own.krv || fail "own.krv was not written"
# Root may give the new file any owner: the old one's.
printf 'newtrack\nnewtrack\nsave own.krv\ny\n' | KRV_MIDI_HOST=none "$krv" >/dev/null
[ "$(describe own.krv)" = "640 nobody:nogroup" ] || fail "root's save made own.krv $(describe own.krv)"
grep -qx newtrack\ 2 own.krv || fail "root's save of own.krv was not written"

# Scripts nobody may not read are refused, and load deletes nothing then.
echo newtrack >secret.krv
chmod 0600 secret.krv
said=$(run "$work/open" newtrack "load secret.krv" "read secret.krv" display)
says "2 krv> can't open 'secret.krv'"
grep -q "^|01|" <<<"$said" || fail "load of an unreadable script deleted the sequence"

left=$(ls -A "$work/open" | grep -v -x -e ro.krv -e ro.conf -e ro.sel -e ro.mid -e zero.krv \
    -e own.krv -e roots.krv -e secret.krv || true)
[ -z "$left" ] || fail "files left behind: $left"
echo PASS
