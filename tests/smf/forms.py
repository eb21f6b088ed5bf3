"""The musician's forms of the MIDI file commands, checked with mido.

    forms.py heard KRV_PLAYED_LOOP SOURCE   exportsmf ... heard of the README
        tour's beat, the examples and a grid of solos, mutes and silences:
        mido reads exactly the notes one loop of playback sends, and
        importsmf ... timed of the file plays them again
    forms.py timed KRV                      importsmf ... timed of files mido
        writes gives the grid a musician expects, whole as `save` writes it
    forms.py render KRV_PLAYED_LOOP SOURCE FOLDER   the tour's heard export,
        for FluidSynth to render (interop.sh)

Run with Debian's python3, which has python3-mido; exits 77 without it.
"""
import os
import re
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from check import expect, fail, notes_of  # noqa: E402

try:
    import mido
except ImportError:
    print("skipped: python3-mido is not installed")
    sys.exit(77)

# Track 1 plays steps 1, 4 (gate 10: one tick), 6, 8 to 10 and the partial
# step 11, cut from 8 ticks to 6 by the wrap; 2 (velocity 0), 3 (gate 0) and
# 7 (muted) are silent, and step 5 is track 2's v-solo. Track 2 plays its
# v-solo and its h-solo, track 3 is muted.
SILENCES = "\n".join([
    "setscale 1 16", "newtrack", "newtrack", "newtrack", "selt 1", "setnote 60", "selt 2",
    "setnote 62", "clear", "selt 3", "setnote 64", "setvelocity 100", "clear",
    "sele 1 11", "setgate 90", "clear", "setscale 1 10", "sele 1 2", "setvelocity 0", "clear",
    "sele 1 3", "setgate 0", "clear", "sele 1 4", "setgate 10", "clear", "sele 1 7", "mute",
    "clear", "sele 2 8", "hsolo", "clear", "sele 2 5", "vsolo", "clear", "mutetrack 3"])


def tour(source):
    """The README tour's lines up to where the beat plays."""
    readme = open(os.path.join(source, "README.md")).read()
    lines = re.findall(r"^    \d+ krv> (.+)$", readme.split("## A short tour", 1)[1], re.M)
    return "\n".join(lines[:lines.index("play")])


def played(played_loop, commands):
    """The notes one loop of playback sends after the commands, in clock
    ticks: (start, end, channel, note, velocity); the loop in seconds."""
    out = subprocess.run([played_loop], input=commands + "\n", capture_output=True, text=True,
                         check=True).stdout.split("\n")
    _, loop, bpm = out[0].split()
    sent, now = mido.MidiTrack(), 0
    for tick, *data in (map(int, line.split()) for line in out[1:] if line):
        # What starts where the loop wraps belongs to the next pass.
        if tick < int(loop) or data[0] & 0xF0 == 0x80 or data[2] == 0:
            sent.append(mido.Message.from_bytes(data, time=tick - now))
            now = tick
    return sorted(notes_of(sent)[0]), int(loop) * 2.5 / float(bpm)


def heard_in_file(path):
    """The notes of an export as mido reads them, in clock ticks."""
    midi_file = mido.MidiFile(path)
    scale = midi_file.ticks_per_beat // 24
    notes = []
    for track in midi_file.tracks[1:]:
        for start, end, channel, note, velocity in notes_of(track)[0]:
            notes.append((start // scale, end // scale, channel, note, velocity))
    return sorted(notes), midi_file


def check_heard(played_loop, source, folder):
    examples = os.path.join(source, "examples")
    cases = [("the tour's beat", tour(source), True),
             ("the tour's first half, the kick muted", tour(source) + "\nsetloop 5\nmutetrack 1",
              True),
             ("drums.krv", "read %s/drums.krv" % examples, True),
             ("bassline.krv", "read %s/bassline.krv" % examples, True),
             ("silences", SILENCES, False)]
    for name, commands, back in cases:
        path = os.path.join(folder, "heard.mid")
        sent, seconds = played(played_loop, commands + "\nexportsmf %s heard" % path)
        written, midi_file = heard_in_file(path)
        if not sent:
            fail("%s: playback sent nothing" % name)
        expect(written, sent, "%s: the notes of the file against those playback sent" % name)
        expect(round(midi_file.length, 6), round(seconds, 6), "%s: seconds a loop" % name)
        print("%s: playback sends %d notes in a loop, mido reads %d" % (name, len(sent),
                                                                         len(written)))
        if back:
            again, _ = played(played_loop,
                              commands + "\ndeletesequence\nimportsmf %s timed" % path)
            expect(again, sent, "%s: what plays after importsmf ... timed" % name)
    expect(len(played(played_loop, tour(source))[0]), 14, "notes of the tour's beat")


def run_krv(commands, folder):
    return subprocess.run([KRV], input=commands, capture_output=True, text=True, cwd=folder,
                          env={"KRV_MIDI_HOST": "none"}, check=True).stdout


def saved_grid(path):
    """A saved sequence: its scale, tempo and, per track, the steps as
    "note/velocity/gate" with the channel, "M" for a muted step."""
    state, tracks, event = {}, [], None
    for line in open(path):
        word, _, rest = line.strip().partition(" ")
        if word in ("setscale", "setloop", "bpm"):
            state[word] = rest
        elif word == "newtrack":
            tracks.append([])
        elif word == "selectevent":
            event = {}
        elif word in ("setnote", "setvelocity", "setgatetime", "setchannel", "setport"):
            event[word] = rest
        elif word == "mutetrack":
            tracks[-1].append("track muted")
        elif word in ("mute", "hsolo", "vsolo"):
            event[word] = True
        elif word == "clear" and event is not None:
            tracks[-1].append("%s/%s/%s ch%s%s%s" % (
                event["setnote"], event["setvelocity"], event["setgatetime"],
                event["setchannel"], "" if event["setport"] == "0" else " port",
                " M" if "mute" in event else ""))
            event = None
    return state, tracks


def expand(channel, row):
    """A row of steps "note/velocity/gate", "." for a silent step: muted,
    holding the note before it (the first note before any)."""
    cells = row.split()
    first = next(c for c in cells if c != ".")
    steps, held = [], first
    for cell in cells:
        held = held if cell == "." else cell
        steps.append("%s ch%d%s" % (held, channel, " M" if cell == "." else ""))
    return steps


def track(channel, notes, quarter):
    """A mido track of (start, length, note, velocity) on a channel, 0-based."""
    events = []
    for start, length, note, velocity in notes:
        events.append((start, 1, mido.Message("note_on", channel=channel, note=note,
                                               velocity=velocity)))
        events.append((start + length, 0, mido.Message("note_off", channel=channel, note=note)))
    result, now = mido.MidiTrack(), 0
    for time, _, message in sorted(events, key=lambda e: e[:2]):
        result.append(message.copy(time=time - now))
        now = time
    return result


def midi(tracks, quarter, tempo=None, numerator=4, file_type=1):
    midi_file = mido.MidiFile(type=file_type, ticks_per_beat=quarter)
    meta = [mido.MetaMessage("time_signature", numerator=numerator, denominator=4)]
    if tempo:
        meta.append(mido.MetaMessage("set_tempo", tempo=mido.bpm2tempo(tempo)))
    if file_type == 0:
        tracks[0][0:0] = meta
    else:
        midi_file.tracks.append(mido.MidiTrack(meta))
    midi_file.tracks.extend(tracks)
    return midi_file


def timed_files():
    """Name, file, scale, the file's tempo, the lines krv says after the
    tempo and the tracks expected."""
    rests = [(0, 480, 60, 90), (720, 120, 64, 70), (960, 200, 67, 100), (1440, 480, 72, 110)]
    chords = [(0, 192, n, 80) for n in (67, 60, 64)] + \
        [(192, 48, n, 70) for n in (72, 65, 69)] + [(288, 72, 71, 60)]
    # Sixteenths played a little early or late; 180 is half a step from two.
    played = [0, 26, 45, 70, 96, 147, 180, 360, 372]
    sixteenths = [(t, 12, 48 + i, 40 + i) for i, t in enumerate(played)]
    drums = track(9, [(t, 60, 36, 100) for t in range(0, 1920, 480)] +
                  [(t, 60, 38, 90) for t in (480, 1440)] +
                  [(t, 60, 42, 70) for t in range(0, 1920, 240)], 480)
    # The first program of a channel is the one; a later one is skipped.
    drums.insert(0, mido.Message("program_change", channel=9, program=1))
    drums.append(mido.Message("program_change", channel=9, program=5))
    waltz = [(0, 1440, 67, 80), (1440, 400, 64, 80), (1920, 400, 65, 80), (2400, 400, 67, 80),
             (2880, 960, 72, 90), (4320, 480, 71, 80), (4800, 240, 69, 70), (5280, 480, 67, 80)]
    skipped = "krv: 1 events skipped that are not notes (controllers, program changes, " \
        "pressure, pitch bends, system exclusive)\n"
    return [
        ("rests", midi([track(0, rests, 480)], 480, 100), "1 8", 100,
         "file track 1: 4 notes on track 1\n1 track, 4 notes, 0 dropped beyond step 8\n",
         [expand(1, "60/90/90 . . 64/70/50 67/100/84 . 72/110/90 .")]),
        ("chords", midi([track(1, chords, 96)], 96), "1 4", None,
         "file track 1: 7 notes on tracks 1 to 3\n3 tracks, 7 notes, 0 dropped beyond step 4\n",
         [expand(2, "60/80/90 . 65/70/50 71/60/75"), expand(2, "64/80/90 . 69/70/50 ."),
          expand(2, "67/80/90 . 72/70/50 .")]),
        ("sixteenths", midi([track(4, sixteenths, 96)], 96, 120), "1 16", 120,
         "file track 1: 8 notes on track 1, 1 dropped beyond step 16\n"
         "1 track, 8 notes, 1 dropped beyond step 16\n",
         [expand(5, "48/40/50 49/41/50 50/42/50 51/43/50 52/44/50 . 53/45/50 . 54/46/50 " +
                 ". . . . . . 55/47/50")]),
        ("drums", midi([drums], 480, 124, file_type=0), "1 8", 60000000 / mido.bpm2tempo(124),
         "port 0 channel 10 program 2\nfile track 1: 14 notes on tracks 1 to 3\n" + skipped +
         "3 tracks, 14 notes, 0 dropped beyond step 8\n",
         [expand(10, "36/100/25 . 36/100/25 . 36/100/25 . 36/100/25 ."),
          expand(10, ". . 38/90/25 . . . 38/90/25 ."), expand(10, " ".join(["42/70/25"] * 8))]),
        ("waltz", midi([track(2, waltz, 480)], 480, 150, numerator=3), "3 12", 150,
         "file track 1: 8 notes on track 1\n1 track, 8 notes, 0 dropped beyond step 12\n",
         [expand(3, "67/80/90 . . 64/80/84 65/80/84 67/80/84 72/90/90 . . 71/80/90 69/70/50 "
                 "67/80/90")]),
    ]


def check_timed(folder):
    for name, midi_file, scale, tempo, said, tracks in timed_files():
        path = os.path.join(folder, name + ".mid")
        midi_file.save(path)
        out = re.sub(r"^\d+ krv> ", "", run_krv(
            "setscale %s\nimportsmf %s timed\nsave %s.krv\n" % (scale, path, name), folder),
            flags=re.M)
        # A file without a tempo leaves the sequence's.
        if tempo:
            said = "KRVShell: found tempo event for %f bpm\n" % tempo + said
        if "set scale to %s bars %s steps\n%s" % (*scale.split(), said) not in out:
            fail("%s: krv said\n%s\nnot\n%s" % (name, out, said))
        state, grid = saved_grid(os.path.join(folder, name + ".krv"))
        expect(state["setscale"], scale, name + ": scale")
        expect(float(state["bpm"]), tempo or 120, name + ": tempo")
        expect(grid, tracks, name + ": the grid")
        print("%s: %d tracks as expected" % (name, len(tracks)))


if __name__ == "__main__":
    if len(sys.argv) < 3 or sys.argv[1] not in ("heard", "timed", "render"):
        sys.exit(__doc__)
    import tempfile
    with tempfile.TemporaryDirectory() as scratch:
        if sys.argv[1] == "heard":
            check_heard(sys.argv[2], os.path.realpath(sys.argv[3]), scratch)
        elif sys.argv[1] == "timed":
            KRV = os.path.realpath(sys.argv[2])
            check_timed(scratch)
        else:
            subprocess.run([sys.argv[2]], input=tour(sys.argv[3]) + "\nexportsmf %s/heard.mid "
                           "heard\n" % sys.argv[4], capture_output=True, text=True, check=True)
    print("forms.py %s: ok" % sys.argv[1])
