#!/usr/bin/python3
"""krv's MIDI files against other MIDI software: Python's mido.

    interop.py CASE KRV PLAYED_LOOP SOURCE

Debian's python3, which has python3-mido; without it a case skips (77).
"""
import itertools
import os
import re
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from krv_e2e import expect_equal as expect, fail, skip  # noqa: E402

STEPS = 16
DEFAULT_STEP = (0, 0, 64)  # channel (0-based), note, velocity
try:
    import mido
except ImportError:
    mido = None


def notes_of(track):
    """(start tick, end tick, channel, note, velocity) in start order, and the
    track's length; every note-off must close a sounding note."""
    sounding, notes, now = {}, [], 0
    for message in track:
        now += message.time
        if message.type == "note_on" and message.velocity > 0:
            sounding.setdefault((message.channel, message.note), []).append(len(notes))
            notes.append([now, None, message.channel, message.note, message.velocity])
        elif message.type in ("note_on", "note_off"):
            starts = sounding.get((message.channel, message.note))
            if not starts:
                fail("note-off at tick %d with no sounding note" % now)
            notes[starts.pop(0)][1] = now
    if any(note[1] is None for note in notes):
        fail("a note never ends")
    return [tuple(note) for note in notes], now


def tempo_of(midi_file):
    return [(m.time, m.tempo) for m in midi_file.tracks[0] if m.type == "set_tempo"]


def run_krv(commands, folder):
    return subprocess.run([KRV], input=commands, capture_output=True, text=True, cwd=folder,
                          env={"KRV_MIDI_HOST": "none"}, check=True).stdout


def tour():
    """The README tour's lines up to where the beat plays."""
    readme = open(os.path.join(SOURCE, "README.md")).read()
    lines = re.findall(r"^    \d+ krv> (.+)$", readme.split("## A short tour", 1)[1], re.M)
    return "\n".join(lines[:lines.index("play")])


def sample_export(folder):
    """A known sequence exported by krv: two tracks at 100 bpm, every step
    its own note, velocity, gate and channel; a muted step is exported like
    any other."""
    lines = ["bpm 100", "newtrack", "newtrack"]
    for track1 in (1, 2):
        for step1 in range(1, STEPS + 1):
            lines += ["sele %d %d" % (track1, step1), "setnote %d" % (36 + 12 * track1 + step1),
                      "setvelocity %d" % (30 + 5 * step1), "setgatetime %d" % (6 * (step1 - 1)),
                      "setchannel %d" % (1 if track1 == 1 else 1 + step1 % 16), "clear"]
    run_krv("\n".join(lines + ["sele 1 3", "mute", "exportsmf sample.mid"]) + "\n", folder)
    return os.path.join(folder, "sample.mid")


def case_mido_reads_export(folder):
    path = sample_export(folder)
    midi_file = mido.MidiFile(path)
    expect((midi_file.type, len(midi_file.tracks)), (1, 3), "format and tracks")
    expect(tempo_of(midi_file), [(0, mido.bpm2tempo(100))], "tempo events")
    quarter = midi_file.ticks_per_beat
    for track1 in (1, 2):
        notes, length = notes_of(midi_file.tracks[track1])
        expect(len(notes), STEPS, "notes in track %d" % track1)
        # A bar of 16 steps: a step lasts a quarter of a beat.
        expect(length * 4, 16 * quarter, "length of track %d in quarter beats" % track1)
        for step1, (start, end, channel, note, velocity) in enumerate(notes, 1):
            where = "track %d step %d" % (track1, step1)
            expect((channel, note, velocity), (0 if track1 == 1 else step1 % 16,
                                               36 + 12 * track1 + step1, 30 + 5 * step1), where)
            expect(start * 4, (step1 - 1) * quarter, where + " start in quarter beats")
            expect((end - start) * 400, 6 * (step1 - 1) * quarter, where + " gate in percent")
    # Seconds as another program plays them: 16 steps of 0.15 s at 100 bpm.
    if abs(midi_file.length - 2.4) > 1e-6:
        fail("playing time %f s, expected 2.4 s" % midi_file.length)


def mido_files(folder):
    """Two files mido writes; per file its name and the note lists of its
    tracks."""
    M, meta = mido.Message, mido.MetaMessage
    # Format 0 at 480 ticks: channels mixed in one track, running status,
    # system-exclusive, text, controllers and note-ons of velocity 0.
    zero = mido.MidiFile(type=0, ticks_per_beat=480)
    zero.tracks.append(mido.MidiTrack([
        meta("set_tempo", tempo=mido.bpm2tempo(90)), M("sysex", data=[0x7E, 0x7F, 0x09, 0x01]),
        M("program_change", channel=9, program=3), M("note_on", channel=9, note=36, velocity=100),
        M("note_on", channel=9, note=42, velocity=80), meta("text", text="fill"),
        M("note_on", channel=9, note=36, velocity=0, time=240),
        M("note_on", channel=9, note=42, velocity=0),
        M("control_change", channel=3, control=7, value=90, time=10),
        M("note_on", channel=3, note=60, velocity=70),
        M("note_off", channel=3, note=60, velocity=0, time=480),
        M("note_on", channel=3, note=67, velocity=71),
        M("note_on", channel=3, note=67, velocity=0, time=480)]))
    # Format 1 at 96 ticks: a tempo track, a track of 20 notes with a chord,
    # a track with no notes and a track of 2 notes.
    one = mido.MidiFile(type=1, ticks_per_beat=96)
    one.tracks.append(mido.MidiTrack([meta("time_signature", numerator=3, denominator=4),
                                      meta("set_tempo", tempo=mido.bpm2tempo(140), time=0)]))
    many = mido.MidiTrack([M("note_on", channel=1, note=50 + i, velocity=20 + i, time=24)
                           for i in range(17)])
    many += [M("note_on", channel=2, note=n, velocity=99) for n in (72, 76, 79)]
    one.tracks += [many, mido.MidiTrack([M("pitchwheel", channel=0, pitch=100, time=5)]),
                   mido.MidiTrack([M("note_on", channel=15, note=127, velocity=127),
                                   M("note_on", channel=15, note=1, velocity=1, time=7)])]
    files = []
    for name, midi_file in (("zero.mid", zero), ("one.mid", one)):
        midi_file.save(os.path.join(folder, name))
        files.append((name, [[(m.channel, m.note, m.velocity) for m in track
                              if m.type == "note_on" and m.velocity > 0]
                             for track in midi_file.tracks]))
    # mido writes running status: fewer note-on status bytes than note-ons.
    if open(os.path.join(folder, "one.mid"), "rb").read().count(bytes([0x91])) >= 17:
        fail("mido wrote no running status; the check would not test it")
    return files


def laid_out(notes):
    """The steps krv makes of one file track's notes: the first 16 in order,
    then the last one laid repeated up to, not including, the last step."""
    steps = notes[:STEPS]
    while len(steps) < STEPS - 1:
        steps.append(steps[-1])
    return steps + [DEFAULT_STEP] * (STEPS - len(steps))


def programs_of(track):
    """(tick, channel, program) of the program changes before the first note."""
    programs, now = [], 0
    for message in track:
        now += message.time
        if message.type == "note_on":
            break
        if message.type == "program_change":
            programs.append((now, message.channel, message.program))
    return programs


def case_krv_imports_mido_files(folder):
    files = mido_files(folder)
    run_krv("".join("importsmf %s\n" % name for name, _ in files) +
            "exportsmf back.mid\nexportsmf heard.mid heard\n", folder)
    # A track without notes (a tempo map, a pitch bend) is left out.
    steps = [laid_out(notes) for _, tracks in files for notes in tracks if notes]
    back = mido.MidiFile(os.path.join(folder, "back.mid"))
    # Only the first file, imported into the empty sequence, sets the tempo.
    expect(tempo_of(back), [(0, mido.bpm2tempo(90))], "tempo written back")
    expect(len(back.tracks), 1 + len(steps), "tracks written back")
    heard = mido.MidiFile(os.path.join(folder, "heard.mid"))
    for track1, want in enumerate(steps, 1):
        notes, _ = notes_of(back.tracks[track1])
        expect([n[2:] for n in notes], want, "steps of track %d" % track1)
        # Imported steps have a gate of 50 %: an eighth of a beat here.
        expect({(n[1] - n[0]) * 8 for n in notes}, {back.ticks_per_beat}, "durations")
        # Both exports start each track on the programs of the channels it
        # plays: zero.mid's General MIDI 4 on channel 10.
        programs = [(0, 9, 3)] if 9 in {channel for channel, _, _ in want} else []
        for midi_file in (back, heard):
            expect(programs_of(midi_file.tracks[track1]), programs,
                   "program changes of track %d in %s" % (track1, midi_file.filename))


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


def played(commands):
    """The notes one loop of playback sends after the commands, in clock
    ticks: (start, end, channel, note, velocity); the loop in seconds; the
    note messages in the order sent."""
    out = subprocess.run([PLAYED_LOOP], input=commands + "\n", capture_output=True, text=True,
                         check=True).stdout.split("\n")
    _, loop, bpm = out[0].split()
    sent, now = mido.MidiTrack(), 0
    for tick, *data in (map(int, line.split()) for line in out[1:] if line):
        # What starts where the loop wraps belongs to the next pass.
        if tick < int(loop) or data[0] & 0xF0 == 0x80 or data[2] == 0:
            sent.append(mido.Message.from_bytes(data, time=tick - now))
            now = tick
    return sorted(notes_of(sent)[0]), int(loop) * 2.5 / float(bpm), in_order(sent, 1)


def in_order(track, scale):
    """A track's note messages as (clock tick, on, channel, note), in order."""
    times = itertools.accumulate(message.time for message in track)
    return [(now // scale, message.type == "note_on" and message.velocity > 0, message.channel,
             message.note) for now, message in zip(times, track) if message.type.startswith("note")]


def case_heard(folder):
    """exportsmf ... heard holds what one loop of playback sends, and
    importsmf ... timed of it plays that again."""
    examples = os.path.join(SOURCE, "examples")
    expect(len(played(tour())[0]), 14, "notes of the tour's beat")
    path = os.path.join(folder, "heard.mid")
    for name, commands, back in [
            ("the tour's beat", tour(), True),
            ("the tour's first half, the kick muted", tour() + "\nsetloop 5\nmutetrack 1", True),
            ("bassline.krv", "read %s/bassline.krv" % examples, True), ("silences", SILENCES, False),
            ("chances and ratchets", tour() + "\nselectall\nchance 60\nclear\nselt 2\nratchet 3\n"
             "clear\nsele 1 3\nratchet 8\nchance 100\nsetgate 90\nclear\nsele 2 5\nsetlength 3"
             "\nswing 66\nswing 58 3\nclear\nsele 3 2\nsele 3 3\nsele 1 8\ntie",
             False), ("legato, one track swung", "read %s/bassline.krv\nlegato on\nswing 62 1"
                      % examples, False)]:
        sent, seconds, order = played(commands + "\nexportsmf %s heard" % path)
        midi_file = mido.MidiFile(path)
        scale = midi_file.ticks_per_beat // 24
        written = sorted((start // scale, end // scale) + tuple(rest) for track in
                         midi_file.tracks[1:] for start, end, *rest in notes_of(track)[0])
        if not sent:
            fail("%s: playback sent nothing" % name)
        expect(written, sent, "%s: the notes of the file against those playback sent" % name)
        expect(round(midi_file.length, 6), round(seconds, 6), "%s: seconds a loop" % name)
        expect(in_order(mido.merge_tracks(midi_file.tracks[1:]), scale), order,
               "%s: the file's notes in the order playback sent them" % name)
        if back:
            again, _, _ = played(commands + "\ndeletesequence\nimportsmf %s timed" % path)
            expect(again, sent, "%s: what plays after importsmf ... timed" % name)


def saved_grid(path):
    """A saved sequence: its settings and, per track, "mutetrack" if muted
    and the steps as "note/velocity/gate chCHANNEL", " port" off port 0,
    " M" muted."""
    state, tracks, event = {}, [], {}
    for line in open(path):
        word, _, rest = line.strip().partition(" ")
        if word == "newtrack":
            tracks.append([])
        elif not tracks:
            state[word] = rest
        elif word == "mutetrack":
            tracks[-1].append(word)
        elif word == "clear":
            tracks[-1].append("%(setnote)s/%(setvelocity)s/%(setgatetime)s ch%(setchannel)s" % event
                              + " port" * (event["setport"] != "0") + " M" * ("mute" in event))
            event = {}
        else:
            event[word] = rest
    return state, tracks


def expand(channel, row):
    """A row of steps "note/velocity/gate", "." for a silent step: muted,
    holding the note before it (the first note before any)."""
    cells = row.split()
    steps, held = [], next(c for c in cells if c != ".")
    for cell in cells:
        held = held if cell == "." else cell
        steps.append("%s ch%d%s" % (held, channel, " M" if cell == "." else ""))
    return steps


def track(channel, notes):
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
    meta += [mido.MetaMessage("set_tempo", tempo=mido.bpm2tempo(tempo))] if tempo else []
    if file_type == 0:
        tracks[0][0:0] = meta
    else:
        midi_file.tracks.append(mido.MidiTrack(meta))
    midi_file.tracks.extend(tracks)
    return midi_file


def timed_files():
    """Name, file, scale, the file's tempo, the lines krv says after the
    tempo and the tracks expected."""
    chords = [(0, 192, n, 80) for n in (67, 60, 64)] + \
        [(192, 48, n, 70) for n in (72, 65, 69)] + [(288, 72, 71, 60)]
    # Sixteenths played a little early or late; 180 is half a step from two.
    sixteenths = [(t, 12, 48 + i, 40 + i) for i, t in enumerate([0, 26, 45, 70, 96, 147, 180,
                                                                 360, 372])]
    drums = track(9, [(t, 60, 36, 100) for t in range(0, 1920, 480)] +
                  [(t, 60, 38, 90) for t in (480, 1440)] +
                  [(t, 60, 42, 70) for t in range(0, 1920, 240)])
    # The first program of a channel is the one; a later one is skipped.
    drums.insert(0, mido.Message("program_change", channel=9, program=1))
    drums.append(mido.Message("program_change", channel=9, program=5))
    waltz = [(0, 1440, 67, 80), (1440, 400, 64, 80), (1920, 400, 65, 80), (2400, 400, 67, 80),
             (2880, 960, 72, 90), (4320, 480, 71, 80), (4800, 240, 69, 70), (5280, 480, 67, 80)]
    skipped = "krv: 1 events skipped that are not notes (controllers, program changes, " \
        "pressure, pitch bends, system exclusive)\n"
    return [
        ("chords", midi([track(1, chords)], 96), "1 4", None,
         "file track 1: 7 notes on tracks 1 to 3\n3 tracks, 7 notes, 0 dropped beyond step 4\n",
         [expand(2, "60/80/90 . 65/70/50 71/60/75"), expand(2, "64/80/90 . 69/70/50 ."),
          expand(2, "67/80/90 . 72/70/50 .")]),
        ("sixteenths", midi([track(4, sixteenths)], 96, 120), "1 16", 120,
         "file track 1: 8 notes on track 1, 1 dropped beyond step 16\n"
         "1 track, 8 notes, 1 dropped beyond step 16\n",
         [expand(5, "48/40/50 49/41/50 50/42/50 51/43/50 52/44/50 . 53/45/50 . 54/46/50 " +
                 ". . . . . . 55/47/50")]),
        ("drums", midi([drums], 480, 124, file_type=0), "1 8", 60000000 / mido.bpm2tempo(124),
         "port 0 channel 10 program 2\nfile track 1: 14 notes on tracks 1 to 3\n" + skipped +
         "3 tracks, 14 notes, 0 dropped beyond step 8\n",
         [expand(10, "36/100/25 . 36/100/25 . 36/100/25 . 36/100/25 ."),
          expand(10, ". . 38/90/25 . . . 38/90/25 ."), expand(10, " ".join(["42/70/25"] * 8))]),
        ("waltz", midi([track(2, waltz)], 480, 150, numerator=3), "3 12", 150,
         "file track 1: 8 notes on track 1\n1 track, 8 notes, 0 dropped beyond step 12\n",
         [expand(3, "67/80/90 . . 64/80/84 65/80/84 67/80/84 72/90/90 . . 71/80/90 69/70/50 "
                 "67/80/90")]),
    ]


def case_timed(folder):
    """importsmf ... timed of files mido writes gives the grid a musician
    expects, whole as `save` writes it."""
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
        expect((state["setscale"], float(state["bpm"]), grid), (scale, tempo or 120, tracks), name)


TEMPOS = [1, 1.5, 3.5, 3.58, 3.6, 60, 100, 120, 133.333333, 1000, 9999.9, 24995, 24999, 25000]


def case_tempos(folder):
    """mido plays a one-bar export of every tempo krv takes within 0.01 %."""
    run_krv("newtrack\n" + "".join("bpm %r\nexportsmf t%d.mid\n" % (bpm, i)
                                   for i, bpm in enumerate(TEMPOS)), folder)
    for i, bpm in enumerate(TEMPOS):
        played_bpm = 4 * 60.0 / mido.MidiFile(os.path.join(folder, "t%d.mid" % i)).length
        if abs(played_bpm - bpm) / bpm > 1e-4:
            fail("%s bpm plays at %.6f bpm in mido" % (bpm, played_bpm))


if __name__ == "__main__":
    case = sys.argv[1]
    KRV, PLAYED_LOOP, SOURCE = map(os.path.realpath, sys.argv[2:5])
    if mido is None:
        skip("python3-mido is not installed")
    with tempfile.TemporaryDirectory() as scratch:
        globals()["case_" + case.replace("-", "_")](scratch)
    print("interop %s: ok" % case)
