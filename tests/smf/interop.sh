#!/usr/bin/env bash
# interop.sh CHECK KRV SAMPLE_EXPORT PLAYED_LOOP SOURCE
# Runs one interoperability check in a fresh folder:
#   mido-reads-export          Python's mido reads the sample export as expected
#   fluidsynth-renders-export  FluidSynth renders the sample export to sound
#   krv-imports-mido-files     files written by mido import into krv
#   fluidsynth-renders-heard   FluidSynth renders the README tour's beat,
#                              exported with exportsmf ... heard, to sound
# Exits 77 (skipped) with the reason when a tool is not installed.
set -euo pipefail
check=$1
krv=$2
sample_export=$3
played_loop=$4
source=$5
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

need_fluidsynth() {
    command -v fluidsynth >/dev/null || skip "fluidsynth is not installed"
    [ -r "$soundfont" ] || skip "fluid-soundfont-gm is not installed ($soundfont)"
    [ -x "$python" ] || skip "$python is not installed"
}

# render NAME: FluidSynth renders $work/NAME.mid; check.py measures it.
render() {
    fluidsynth -n -i -q -F "$work/$1.wav" -T wav -O s16 -r 44100 \
        "$soundfont" "$work/$1.mid" </dev/null
    "$python" "$here/check.py" wav "$work/$1.wav"
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
    need_fluidsynth
    export_sample
    render sample
    ;;
fluidsynth-renders-heard)
    need_fluidsynth
    need_mido
    "$python" "$here/forms.py" render "$played_loop" "$source" "$work"
    render heard
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
