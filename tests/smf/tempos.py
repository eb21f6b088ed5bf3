"""tempos.py KRV

Every tempo krv plays (1 to 25,000 bpm) is the tempo another program plays
its exported file at: mido's playing time of a one-bar sequence, four
quarter notes, gives the tempo back within 0.01 %. Run with Debian's python3,
which has python3-mido; exits 77 where mido is missing.
"""
import os
import subprocess
import sys
import tempfile

try:
    import mido
except ImportError:
    print("skipped: python3-mido is not installed")
    sys.exit(77)

TEMPOS = [1, 1.5, 3.5, 3.58, 3.6, 60, 100, 120, 133.333333, 1000, 9999.9, 24995, 24999, 25000]


def main():
    krv = os.path.realpath(sys.argv[1])
    with tempfile.TemporaryDirectory() as folder:
        commands = "newtrack\n"
        for number, bpm in enumerate(TEMPOS):
            commands += "bpm %r\nexportsmf t%d.mid\n" % (bpm, number)
        subprocess.run([krv], input=commands.encode(), cwd=folder, check=True,
                       stdout=subprocess.DEVNULL, env=dict(os.environ, KRV_MIDI_HOST="none"))
        worst = 0.0
        for number, bpm in enumerate(TEMPOS):
            seconds = mido.MidiFile(os.path.join(folder, "t%d.mid" % number)).length
            played = 4 * 60.0 / seconds
            error = abs(played - bpm) / bpm
            worst = max(worst, error)
            if error > 1e-4:
                sys.exit("tempos.py: %s bpm plays at %.6f bpm in mido" % (bpm, played))
        print("mido plays %d tempos from 1 to 25,000 bpm within %.5f %% of the tempo set"
              % (len(TEMPOS), worst * 100))


main()
