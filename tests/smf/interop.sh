#!/usr/bin/env bash
# interop.sh CHECK KRV SAMPLE_EXPORT
# Runs one interoperability check in a fresh folder:
#   mido-reads-export          Python's mido reads the sample export as expected
#   fluidsynth-renders-export  FluidSynth renders the sample export to sound
#   krv-imports-mido-files     files written by mido import into krv
# Exits 77 (skipped) with the reason when a tool is not installed.
set -euo pipefail
check=$1
krv=$2
sample_export=$3
here=$(cd "$(dirname "$0")" && pwd)
# Debian's own interpreter: python3-mido is installed for it, not for
# whatever python3 comes first on PATH.
python=/usr/bin/python3
soundfont=/usr/share/sounds/sf2/FluidR3_GM.sf2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

skip() {
    echo "skipped: $1"
    exit 77
}

need_mido() {
    [ -x "$python" ] || skip "$python is not installed"
    "$python" -c 'import mido' 2>/dev/null || skip "python3-mido is not installed"
}

export_sample() {
    "$sample_export" "$work/sample.mid"
}

case "$check" in
mido-reads-export)
    need_mido
    export_sample
    "$python" "$here/check.py" export "$work/sample.mid"
    ;;
fluidsynth-renders-export)
    command -v fluidsynth >/dev/null || skip "fluidsynth is not installed"
    [ -r "$soundfont" ] || skip "fluid-soundfont-gm is not installed ($soundfont)"
    [ -x "$python" ] || skip "$python is not installed"
    export_sample
    fluidsynth -n -i -q -F "$work/sample.wav" -T wav -O s16 -r 44100 \
        "$soundfont" "$work/sample.mid" </dev/null
    "$python" "$here/check.py" wav "$work/sample.wav"
    ;;
krv-imports-mido-files)
    need_mido
    "$python" "$here/check.py" import "$krv" "$work"
    ;;
*)
    echo "interop.sh: unknown check $check" >&2
    exit 2
    ;;
esac
