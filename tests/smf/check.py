"""Interoperability checks between krv and other MIDI software.

    check.py export FILE.mid     FILE (from smf_sample_export) reads in mido as expected
    check.py wav FILE.wav        FILE holds sound, not silence
    check.py import KRV FOLDER   files written by mido import into krv as expected

Run with Debian's python3, which has python3-mido. Exits non-zero with a
message on the first difference.
"""
import array
import subprocess
import sys
import wave

STEPS = 16
DEFAULT_STEP = (0, 0, 64)  # channel (0-based), note, velocity


def fail(message):
    sys.exit("check.py: " + message)


def expect(actual, expected, what):
    if actual != expected:
        fail("%s: expected %r, got %r" % (what, expected, actual))


def notes_of(track):
    """(start tick, end tick, channel, note, velocity) in start order; every
    note-off must close a sounding note."""
    import mido  # noqa: F401  (imported here so that "wav" needs no mido)
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


# ---- export: what smf_sample_export writes (SMFSampleExport.cpp) ----

def sample_step(track1, step1):
    """Channel (0-based), note, velocity and gate of one step of the sample."""
    channel = 0 if track1 == 1 else step1 % 16
    return channel, 36 + 12 * track1 + step1, 30 + 5 * step1, 6 * (step1 - 1)


def check_export(path):
    import mido
    midi_file = mido.MidiFile(path)
    expect(midi_file.type, 1, "format")
    expect(len(midi_file.tracks), 3, "tracks (tempo track and two note tracks)")
    expect(tempo_of(midi_file), [(0, mido.bpm2tempo(100))], "tempo events")
    quarter = midi_file.ticks_per_beat
    for track1 in (1, 2):
        notes, length = notes_of(midi_file.tracks[track1])
        expect(len(notes), STEPS, "notes in track %d" % track1)
        # A bar of 16 steps: a step lasts a quarter of a beat.
        expect(length * 4, 16 * quarter, "length of track %d in quarter beats" % track1)
        for step1, (start, end, channel, note, velocity) in enumerate(notes, 1):
            want_channel, want_note, want_velocity, gate = sample_step(track1, step1)
            where = "track %d step %d" % (track1, step1)
            expect((channel, note, velocity), (want_channel, want_note, want_velocity), where)
            expect(start * 4, (step1 - 1) * quarter, where + " start in quarter beats")
            expect((end - start) * 400, gate * quarter, where + " duration in gate percent")
    # Seconds as another program plays them: 16 steps of 0.15 s at 100 bpm.
    if abs(midi_file.length - 2.4) > 1e-6:
        fail("playing time %f s, expected 2.4 s" % midi_file.length)


# ---- wav: a rendering that is not silent ----

def check_wav(path):
    with wave.open(path, "rb") as sound:
        expect(sound.getsampwidth(), 2, "sample width")
        samples = array.array("h", sound.readframes(sound.getnframes()))
        seconds = sound.getnframes() / sound.getframerate()
    if seconds < 2.0:
        fail("only %.2f s of sound rendered" % seconds)
    peak = max((abs(s) for s in samples), default=0)
    if peak < 300:
        fail("rendering is silent (peak %d of 32767)" % peak)


# ---- import: files mido writes, read by krv ----

def write_mido_files(folder):
    """Writes two files; returns, per file, its name, its tempo (microseconds
    per beat) and the note lists of the tracks krv should see."""
    import mido
    M = mido.Message

    def meta(kind, **fields):
        return mido.MetaMessage(kind, **fields)

    # Format 0 at 480 ticks: channels mixed in one track, running status,
    # system-exclusive, text, controllers and note-ons of velocity 0.
    zero = mido.MidiFile(type=0, ticks_per_beat=480)
    zero.tracks.append(mido.MidiTrack([
        meta("set_tempo", tempo=mido.bpm2tempo(90)),
        M("sysex", data=[0x7E, 0x7F, 0x09, 0x01]),
        M("program_change", channel=9, program=3),
        M("note_on", channel=9, note=36, velocity=100),
        M("note_on", channel=9, note=42, velocity=80),
        meta("text", text="fill"),
        M("note_on", channel=9, note=36, velocity=0, time=240),
        M("note_on", channel=9, note=42, velocity=0),
        M("control_change", channel=3, control=7, value=90, time=10),
        M("note_on", channel=3, note=60, velocity=70),
        M("note_off", channel=3, note=60, velocity=0, time=480),
        M("note_on", channel=3, note=67, velocity=71),
        M("note_on", channel=3, note=67, velocity=0, time=480),
    ]))
    # Format 1 at 96 ticks: a tempo track, a track of 20 notes with a chord,
    # a track with no notes and a track of 2 notes.
    one = mido.MidiFile(type=1, ticks_per_beat=96)
    one.tracks.append(mido.MidiTrack([
        meta("time_signature", numerator=3, denominator=4),
        meta("set_tempo", tempo=mido.bpm2tempo(140), time=0)]))
    many = mido.MidiTrack([M("note_on", channel=1, note=50 + i, velocity=20 + i, time=24)
                           for i in range(17)])
    many += [M("note_on", channel=2, note=n, velocity=99) for n in (72, 76, 79)]
    one.tracks.append(many)
    one.tracks.append(mido.MidiTrack([M("pitchwheel", channel=0, pitch=100, time=5)]))
    one.tracks.append(mido.MidiTrack([M("note_on", channel=15, note=127, velocity=127),
                                      M("note_on", channel=15, note=1, velocity=1, time=7)]))

    files = []
    for name, midi_file in (("one.mid", one), ("zero.mid", zero)):
        midi_file.save("%s/%s" % (folder, name))
        tracks = [[(m.channel, m.note, m.velocity) for m in track
                   if m.type == "note_on" and m.velocity > 0] for track in midi_file.tracks]
        # A format-1 file's first track is its tempo map.
        tempo = [m.tempo for m in midi_file.tracks[0] if m.type == "set_tempo"][0]
        files.append((name, tempo, tracks[1:] if midi_file.type == 1 else tracks))
    # mido writes running status: fewer note-on status bytes than note-ons.
    raw = open("%s/one.mid" % folder, "rb").read()
    if raw.count(bytes([0x91])) >= 17:
        fail("mido wrote no running status; the check would not test it")
    return files


def laid_out(notes):
    """The steps krv makes of one file track's notes: the first 16 in order,
    then the last one laid repeated up to, not including, the last step."""
    steps = notes[:STEPS]
    while len(steps) < STEPS - 1:
        steps.append(steps[-1])
    if len(steps) < STEPS:
        steps.append(DEFAULT_STEP)
    return steps


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


def check_import(krv, folder):
    import mido
    files = write_mido_files(folder)
    commands = "".join("importsmf %s\n" % name for name, _, _ in files) + \
        "exportsmf back.mid\nexportsmf heard.mid heard\n"
    run = subprocess.run([krv], input=commands, capture_output=True, text=True, cwd=folder,
                         env={"KRV_MIDI_HOST": "none"}, check=True)
    expected, track1, steps = [], 1, []
    for name, tempo, tracks in files:
        # Only zero.mid has a program change: General MIDI's 4 on channel 10.
        lines = ["KRVShell: found tempo event for %f bpm" % (60000000.0 / tempo)] + \
            ["port 0 channel 10 program 4"] * (name == "zero.mid") + \
            ["KRVShell: %d tracks in sequence" % len(tracks)]
        for notes in tracks:
            if notes:
                lines.append("loaded track %d" % track1)
                steps.append(laid_out(notes))
                track1 += 1
        expected.append("\n".join(lines) + "\n")
    for block in expected:
        if block not in run.stdout:
            fail("krv did not answer\n%s\nits output:\n%s" % (block, run.stdout))
    back = mido.MidiFile("%s/back.mid" % folder)
    # The first file imported into the empty sequence set its tempo.
    expect(tempo_of(back), [(0, files[0][1])], "tempo written back")
    expect(len(back.tracks), 1 + len(steps), "tracks written back")
    for track1, want in enumerate(steps, 1):
        notes, _ = notes_of(back.tracks[track1])
        expect([n[2:] for n in notes], want, "steps of track %d" % track1)
        # Imported steps have a gate of 50 %: an eighth of a beat here.
        expect({(n[1] - n[0]) * 8 for n in notes}, {back.ticks_per_beat}, "durations")
    # Both exports start each track on the programs of the channels it plays.
    heard = mido.MidiFile("%s/heard.mid" % folder)
    for track1, want in enumerate(steps, 1):
        programs = [(0, 9, 3)] if 9 in {channel for channel, _, _ in want} else []
        for midi_file in (back, heard):
            expect(programs_of(midi_file.tracks[track1]), programs,
                   "program changes of track %d in %s" % (track1, midi_file.filename))


if __name__ == "__main__":
    if len(sys.argv) < 3 or sys.argv[1] not in ("export", "wav", "import"):
        sys.exit(__doc__)
    if sys.argv[1] == "export":
        check_export(sys.argv[2])
    elif sys.argv[1] == "wav":
        check_wav(sys.argv[2])
    else:
        check_import(sys.argv[2], sys.argv[3])
    print("check.py %s: ok" % sys.argv[1])
