#!/usr/bin/env bash
# unprivileged_files.sh KRV
# Saving as a user without root's rights: a file the user may not write is
# refused in words before anything is written (save, saveconfig,
# saveselection, exportsmf), a file the user may write in a folder it may
# not change is rewritten in place and said to be, and a file the user may
# replace keeps its mode, ACL and extended attributes, and tells when its
# owner could not be kept. Runs krv as nobody, which needs root to
# switch to; skips (exit 77) where that cannot be done.
set -euo pipefail
krv=$(realpath "$1")
if [ "$(id -u)" != 0 ] || ! command -v setpriv >/dev/null; then
    echo "SKIP: needs root and setpriv to run krv as the user nobody"
    exit 77
fi
as_nobody() {
    setpriv --reuid=nobody --regid=nogroup --clear-groups "$@"
}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 0755 "$work"
# A copy, since the build folder may lie where nobody cannot reach.
cp "$krv" "$work/krv"
krv=$work/krv
if ! as_nobody test -x "$krv"; then
    echo "SKIP: the user nobody cannot run $krv (a folder above it is closed to others)"
    exit 77
fi
mkdir -m 0777 "$work/open" "$work/closed"
fail() {
    echo "FAIL: $*"
    exit 1
}
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
grep -qx "'shared.krv' was rewritten in place: its folder may not be written, so it could not be replaced atomically" <<<"$said" ||
    fail "closed folder: $said"
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
grep -qx "'roots.krv' could not keep its owner and group, and is now yours" <<<"$said" ||
    fail "no word of the lost owner: $said"
if grep -q "'own.krv' " <<<"$said"; then
    fail "own.krv said it lost something: $said"
fi
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
grep -qx "2 krv> can't open 'secret.krv'" <<<"$said" || fail "unreadable script: $said"
grep -q "^|01|" <<<"$said" || fail "load of an unreadable script deleted the sequence"

left=$(ls -A "$work/open" | grep -v -x -e ro.krv -e ro.conf -e ro.sel -e ro.mid -e zero.krv \
    -e own.krv -e roots.krv -e secret.krv || true)
[ -z "$left" ] || fail "files left behind: $left"
echo PASS
