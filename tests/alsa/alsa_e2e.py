#!/usr/bin/python3
"""End-to-end tests of krv's ALSA sequencer path without a sequencer device.

The real krv binary runs with KRV_MIDI_HOST=alsa and our fake of the
alsa-lib calls it makes (fake_alsa_seq.c) preloaded. The fake shows krv a
desktop's clients and writes down what krv does, with CLOCK_MONOTONIC times,
which is what the cases check.

    alsa_e2e.py KRV FAKE_LIBRARY CASE

CASE is one of:
    startup    port order (the synthesizer is port 0, Midi Through last,
               read-only, NO_EXPORT and krv's own output ports never), the
               start-up lines and `ports`; with no destination, the dummy
               one, whose input thread blocks the signals
    play       the default bar at 120 bpm: note-ons 125 ms apart, each note
               ended, all on port 0
    exits      quit, stop and quit, end of input, SIGTERM, SIGHUP while a
               note sounds, and SIGINT while playing: every note ends, and
               krv exits as it should
    full       the receiver refuses for a while (EAGAIN, ENOMEM, ENOSPC):
               no note-off is lost or overtaken, the refused note-ons are
               the ones krv counts, and the clock keeps its grid
    drain      a note-off refused at quit goes when the receiver takes it
               during the exit; a receiver that never does holds krv up
               for less than a second; one refused at stop goes within a
               few ms of the receiver taking it, krv idle at its prompt
    subscribe  a subscription the port refuses is said at start-up and by
               `ports`, and that port plays nowhere without failing sends;
               when no port reaches anything, `play` says it plays silently
    hotplug    a synthesizer started after krv is announced, listed and
               played to; started after a krv with no destination, it
               takes port 0, its program before the first note

Sanitizer builds set KRV_E2E_SLOW=1: timings are looser there.
"""
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

# The reporting helpers are the JACK end-to-end tests'.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from jack_e2e import expect_equal, fail, lines  # noqa: E402

SLOW = os.environ.get("KRV_E2E_SLOW") == "1"
# How far a note may stray from its place on the grid, in ms: the clock
# thread sleeps to exact deadlines, but on a busy two-core machine a wake-up
# now and then comes a few ms late. The notes' median must be on the grid.
GRID_MS = 12.0 if SLOW else 5.0
MEDIAN_MS = 3.0 if SLOW else 1.0
STEP_MS = 125.0  # 120 bpm, 16 steps to the bar
TICK_MS = STEP_MS / 6
PROMPT = " krv> "
STARTUP = "KRVShell: setting up MIDI config\n"

DESKTOP = """\
port 0:0 rwRW - System|Timer
port 0:1 rR - System|Announce
port 14:0 rwRW midi,software,port Midi Through|Midi Through Port-0
port 20:0 rR midi,hardware,port USB Keyboard|USB Keyboard MIDI 1
port 24:0 rwRW midi,hardware,port UM-ONE|UM-ONE MIDI 1
port 128:0 wW midi,gm,synthesizer,application FLUID Synth (4242)|Synth input port (4242:0)
port 129:0 wWx midi,application Hidden|private
port 130:0 wW midi,application aseqdump|aseqdump
"""
SYNTH = "128:0"
# What krv lists, in order.
DESKTOP_PORTS = ["FLUID Synth (4242):Synth input port (4242:0)", "aseqdump:aseqdump",
                 "UM-ONE:UM-ONE MIDI 1", "Midi Through:Midi Through Port-0"]
DESKTOP_ADDRESSES = [SYNTH, "130:0", "24:0", "14:0"]
KRV_CLIENT = 131

# One long note a bar: at 20 bpm a C4 sounds for 2.7 s of every 3.
LONG_NOTES = ["newtrack", "setscale 1 4", "selectall", "setnote C4", "setgatetime 90", "clear",
              "bpm 20"]


def now_ns():
    return time.monotonic_ns()


class Event:
    """One line of the record: time, what, and the words after."""

    def __init__(self, line):
        words = line.split()
        self.ns = int(words[0])
        self.what = words[1]
        self.args = words[2:]

    def ms(self):
        return self.ns / 1e6

    def is_send(self, kind=None):
        return self.what == "send" and (kind is None or self.args[2] == kind)

    def status(self):
        return int(self.args[-1])

    def dest(self):
        return self.args[1]

    def key(self):
        return (self.dest(), int(self.args[3]), int(self.args[4]))

    def __repr__(self):
        return "%d %s %s" % (self.ns, self.what, " ".join(self.args))


class Fake:
    """A scene, a record and a full-receiver switch in a folder of their own,
    and krv started on them."""

    def __init__(self, krv, library, work, scene=DESKTOP):
        self.krv = krv
        self.record_path = os.path.join(work, "record.txt")
        self.full_path = os.path.join(work, "full")
        scene_path = os.path.join(work, "scene.txt")
        with open(scene_path, "w") as out:
            out.write(scene)
        for path in (self.record_path, self.full_path):
            if os.path.exists(path):
                os.remove(path)
        self.env = dict(os.environ, KRV_MIDI_HOST="alsa", KRV_FAKE_ALSA_SCENE=scene_path,
                        KRV_FAKE_ALSA_RECORD=self.record_path, KRV_FAKE_ALSA_FULL=self.full_path,
                        LD_PRELOAD=" ".join(sanitizer_runtimes(krv) + [library]))

    def start(self, commands=()):
        process = subprocess.Popen([self.krv], env=self.env, stdin=subprocess.PIPE,
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        process.stdin.write(lines(commands))
        process.stdin.flush()
        return process

    def run(self, commands):
        out, err = self.start().communicate(lines(commands), timeout=60)
        return out, err

    def set_full(self, error):
        with open(self.full_path, "w") as out:
            out.write(error + "\n")

    def clear_full(self):
        os.remove(self.full_path)

    def events(self):
        with open(self.record_path) as record:
            return [Event(line) for line in record if line.strip()]

    def wait_for(self, found, what, seconds=10):
        """The first event for which found() holds, once it is recorded."""
        deadline = time.time() + seconds
        while time.time() < deadline:
            if os.path.exists(self.record_path):
                for event in self.events():
                    if found(event):
                        return event
            time.sleep(0.01)
        fail("never recorded: " + what)


def sanitizer_runtimes(krv):
    """A sanitizer's runtime must be loaded before anything preloaded."""
    listing = subprocess.run(["ldd", krv], capture_output=True, text=True).stdout
    return re.findall(r"=> (\S*lib(?:asan|tsan|ubsan)\.so\S*)", listing)


def check_symbols(krv, library):
    """Every alsa-lib function krv imports must be the fake's, or it would
    reach the real library with the fake's handle."""
    def names(path, option):
        listing = subprocess.run(["nm", "-D", option, path], capture_output=True,
                                 text=True).stdout
        return {line.split()[-1].split("@")[0] for line in listing.splitlines()
                if line.split()[-1].startswith("snd_")}
    missing = names(krv, "--undefined-only") - names(library, "--defined-only")
    if missing:
        fail("the fake lacks alsa-lib functions krv calls: %s" % " ".join(sorted(missing)))


def wait_for_prompts(process, count, seconds=30):
    """Reads krv's output until it has shown count prompts; returns it."""
    seen = ""
    deadline = time.time() + seconds
    while seen.count(PROMPT) < count:
        if time.time() > deadline:
            fail("krv showed %d prompts, not %d: %r" % (seen.count(PROMPT), count, seen))
        chunk = os.read(process.stdout.fileno(), 4096).decode()
        if not chunk:
            fail("krv ended early: %r" % seen)
        seen += chunk
    return seen


def start_playing(fake, commands):
    """krv playing commands + play, from its prompt after play on."""
    process = fake.start(commands + ["play"])
    wait_for_prompts(process, len(commands) + 2)
    return process


def sends(events, kind=None, delivered=True):
    return [e for e in events if e.is_send(kind) and (e.status() == 0) == delivered]


def expect_notes_alternate(events, what):
    """Per destination, channel and key, what was delivered goes on, off,
    on, off... and ends with an off: no note is left sounding, and no
    note-off ends a later note than its own."""
    sounding = {}
    for event in sends(events):
        if event.args[2] not in ("on", "off"):
            continue
        key = event.key()
        if (event.args[2] == "on") == sounding.get(key, False):
            fail("%s: %s out of turn in\n%s" % (what, event, "\n".join(map(repr, events))))
        sounding[key] = event.args[2] == "on"
    if any(sounding.values()):
        fail("%s: notes left sounding: %r" % (what, [k for k, on in sounding.items() if on]))


def expect_on_grid(offsets, what):
    """offsets: how far each note was from its place on the grid, in ms."""
    median = sorted(offsets)[len(offsets) // 2]
    worst = max(offsets, key=abs)
    print("%s off the grid (ms): median %.2f, worst %.2f of %d" % (what, median, worst,
                                                                 len(offsets)))
    if abs(median) > MEDIAN_MS or any(abs(o) > GRID_MS for o in offsets):
        fail("%s stray from the grid: %s" % (what, " ".join(
            "%d:%.2f" % (i, o) for i, o in enumerate(offsets) if abs(o) > MEDIAN_MS)[:2000]))


def expect_closed(events, what):
    if not events or events[-1].what != "close":
        fail("%s: krv did not close its sequencer client last: %r" % (what, events[-3:]))


def case_startup(krv, library, work):
    fake = Fake(krv, library, work)
    out, _ = fake.run(["ports"])
    expected = STARTUP + "KRVShell: found 4 MIDI destinations\n"
    expected += "".join("KRVShell: output port %d is %s\n" % p for p in enumerate(DESKTOP_PORTS))
    expected += "1 krv> " + "".join("output port %d is %s\n  connected to %s\n" % (i, p, p)
                                     for i, p in enumerate(DESKTOP_PORTS))
    expected += "MIDI system: ALSA sequencer\n2 krv> "
    expect_equal(out, expected, "start-up and ports on a desktop")
    events = fake.events()
    expect_equal(events[0].args, ["client=%d" % KRV_CLIENT, "nonblock=1"], "the client opened")
    creates = [e for e in events if e.what == "create" and e.args[-1] == "output"]
    connects = [e for e in events if e.what == "connect"]
    expect_equal(len(creates), 4, "output ports made")
    for create, connect, address in zip(creates, connects, DESKTOP_ADDRESSES):
        expect_equal(connect.args, [create.args[0], address, "0"], "port %s's connection" %
                     create.args[0])
    expect_equal([e.what for e in events if e.what in ("delete", "close")],
                 ["delete"] * 4 + ["close"], "the end")

    # Nothing to play to: krv makes a destination of its own, whose input
    # thread must leave the signals to krv's command thread.
    fake = Fake(krv, library, work, scene="port 0:0 rwRW - System|Timer\n")
    process = fake.start(["ports", "newtrack", "play"])
    fake.wait_for(lambda e: e.is_send("on"), "a note-on")
    out, _ = process.communicate("stop\nquit\n", timeout=30)
    own = "KRVSequencer:KRVShell dummy destination"
    expect_equal(out.split(" krv> ")[0], STARTUP + "KRVShell: found 0 MIDI destinations\n"
                 "KRVShell: no MIDI destinations found, making a dummy one\n"
                 "KRVShell: output port 0 is %s\n1" % own, "start-up with no destination")
    events = fake.events()
    blocks = [e for e in events if e.what == "input-thread"]
    expect_equal([b.args for b in blocks], [["blocks", "INT=1", "TERM=1", "HUP=1"]],
                 "the input thread's signals")
    notes = sends(events, "on")
    if not notes or any(n.dest() != "128:0" for n in notes):
        fail("notes did not go to krv's own destination 128:0: %r" % notes)
    expect_notes_alternate(events, "dummy destination")


def case_play(krv, library, work):
    fake = Fake(krv, library, work)
    process = start_playing(fake, ["newtrack"])
    time.sleep(2.2)
    out, err = process.communicate("stop\nquit\n", timeout=30)
    expect_equal(process.returncode, 0, "exit status: " + err)
    events = fake.events()
    ons = sends(events, "on")
    if len(ons) < 16:
        fail("a bar's notes expected, got %d" % len(ons))
    if any(e.dest() != SYNTH or e.args[3:6] != ["0", "0", "64"] for e in ons):
        fail("notes must be channel 1, C-1, velocity 64, to port 0 (%s): %r" % (SYNTH, ons))
    if sends(events, delivered=False) or "dropped" in out:
        fail("sends refused on a receiver with room: %r" % sends(events, delivered=False))
    expect_notes_alternate(events, "play")
    expect_closed(events, "play")
    onsets = [e.ms() for e in ons]
    gaps = [b - a for a, b in zip(onsets, onsets[1:])]
    print("gaps between note-ons (ms): " + " ".join("%.2f" % g for g in gaps))
    expect_on_grid([t - onsets[0] - i * STEP_MS for i, t in enumerate(onsets)], "note-ons")
    gates = [off.ms() - on.ms() for on, off in zip(ons, sends(events, "off"))]
    # Gate 50 of a six-tick step: three ticks.
    if any(abs(g - 3 * TICK_MS) > GRID_MS for g in gates[:-1]):
        fail("gates are not three ticks: %r" % gates)


def case_exits(krv, library, work):
    ways = [("quit", "quit\n", None, 0), ("stop and quit", "stop\nquit\n", None, 0),
            ("end of input", "", None, 0), ("SIGTERM", None, signal.SIGTERM, 128 + 15),
            ("SIGHUP", None, signal.SIGHUP, 128 + 1), ("SIGINT, then quit", None,
                                                        signal.SIGINT, 0)]
    for what, text, sig, status in ways:
        fake = Fake(krv, library, work)
        process = start_playing(fake, LONG_NOTES)
        fake.wait_for(lambda e: e.is_send("on"), "a note-on")
        asked = now_ns()
        if sig is not None:
            process.send_signal(sig)
        if sig == signal.SIGINT:
            # Playback stops and krv stays at its prompt.
            off = fake.wait_for(lambda e: e.is_send("off"), "the note-off of SIGINT")
            expect_equal(process.poll(), None, "krv still running after SIGINT")
            text = "quit\n"
        out, err = process.communicate(text, timeout=30)
        expect_equal(process.returncode, status, "%s: exit status (%s)" % (what, err))
        events = fake.events()
        expect_notes_alternate(events, what)
        expect_closed(events, what)
        off = sends(events, "off")[-1]
        print("%s: note-off %.1f ms after" % (what, (off.ns - asked) / 1e6))
        if len(sends(events, "on")) != 1 or off.ns < asked:
            fail("%s: one note, ended by the exit, expected: %r" % (what, sends(events)))


# Eight tracks on port 0: every step eight note-ons, and three ticks later
# their eight note-offs. Track 1 plays note 40 + the step's number, so that
# each of its notes tells which step of the grid it belongs to; the others
# play notes of their own, 100 and up.
EIGHT_TRACKS = ["newtrack"] * 8 + sum(
    (["sele 1 %d" % step, "setnote %d" % (40 + step), "clear"] for step in range(1, 17)), [])
EIGHT_TRACKS += sum((["selt %d" % t, "setnote %d" % (98 + t), "clear"] for t in range(2, 9)), [])


def steps_of(ons):
    """Track 1's note-ons with the number of steps each came after the
    first."""
    numbered = []
    for event in ons:
        if event.args[3] != "0" or not 41 <= int(event.args[4]) <= 56:
            continue
        step = int(event.args[4]) - 41
        if numbered:
            previous, count = numbered[-1][1] % 16, numbered[-1][1]
            step = count + (step - previous) % 16
        numbered.append((event, step))
    return numbered


def case_full(krv, library, work):
    fake = Fake(krv, library, work)
    process = start_playing(fake, EIGHT_TRACKS)
    windows = []
    time.sleep(0.5)
    for error in ("EAGAIN", "ENOMEM", "ENOSPC"):
        # Full while notes sound (their note-offs are three ticks away), for
        # a little under three steps.
        since = now_ns()
        fake.wait_for(lambda e: e.ns > since and e.is_send("on") and e.status() == 0,
                      "a note-on")
        start = now_ns()
        fake.set_full(error)
        fake.wait_for(lambda e: e.ns > start and e.is_send("off") and e.status() != 0,
                      "a refused note-off")
        time.sleep(max(0.0, 0.35 - (now_ns() - start) / 1e9))
        fake.clear_full()
        windows.append((error, start, now_ns()))
        time.sleep(0.4)
    stopped = now_ns()
    out, err = process.communicate("stop\nquit\n", timeout=30)
    expect_equal(process.returncode, 0, "exit status: " + err)
    events = fake.events()
    expect_notes_alternate(events, "a receiver full for a while")
    expect_closed(events, "full")
    for error, start, end in windows:
        refused = [e for e in sends(events, delivered=False) if start <= e.ns <= end]
        if any(e.status() != -{"EAGAIN": 11, "ENOMEM": 12, "ENOSPC": 28}[error] for e in refused):
            fail("%s: the fake refused with another error: %r" % (error, refused))
        # What was held goes at the next tick after the receiver has room.
        first = next(e for e in events if e.ns > end and e.is_send() and e.status() == 0)
        if first.args[2] != "off" or (first.ns - end) / 1e6 > TICK_MS + GRID_MS:
            fail("%s: held note-offs did not go first, at the next tick: %r" % (error, first))
    numbered = steps_of(sends(events, "on"))
    if numbered[-1][1] < 16:
        fail("krv played too few steps: %r" % numbered)
    expect_on_grid([e.ms() - numbered[0][0].ms() - step * STEP_MS for e, step in numbered],
                   "track 1's note-ons, around a full receiver")
    # Whatever the clock thread tried to send, it tried on a tick: nothing
    # it sent waited for the receiver.
    first = numbered[0][0].ms()
    expect_on_grid([(e.ms() - first + TICK_MS / 2) % TICK_MS - TICK_MS / 2
                    for e in events if e.is_send() and first <= e.ms() and e.ns < stopped],
                   "sends tried while playing, to the nearest tick,")
    # Every step from the first note to the last tried eight: those that did
    # not go out are the ones krv says it dropped.
    tried = 8 * (numbered[-1][1] + 1)
    missing = tried - len(sends(events, "on"))
    dropped = re.search(r"krv: (\d+) notes dropped", out)
    if not missing or not dropped or int(dropped.group(1)) != missing:
        fail("krv should say it dropped the %d note-ons that did not go: %r" % (missing, out))


def refused_note_off(krv, library, work, command):
    """krv playing a long note, told command once the receiver is full; the
    fake, krv and when command was sent, once its note-off was refused."""
    fake = Fake(krv, library, work)
    process = start_playing(fake, LONG_NOTES)
    fake.wait_for(lambda e: e.is_send("on"), "a note-on")
    fake.set_full("EAGAIN")
    asked = now_ns()
    process.stdin.write(command + "\n")
    process.stdin.flush()
    fake.wait_for(lambda e: e.is_send("off") and e.status() != 0, "the refused note-off")
    return fake, process, asked


def case_drain(krv, library, work):
    for recovers in (True, False):
        what = "a receiver that recovers" if recovers else "a receiver that stopped"
        fake, process, asked = refused_note_off(krv, library, work, "quit")
        if recovers:
            time.sleep(0.1)
            cleared = now_ns()
            fake.clear_full()
        out, err = process.communicate(timeout=30)
        took_ms = (now_ns() - asked) / 1e6
        expect_equal(process.returncode, 0, "%s: exit status (%s)" % (what, err))
        events = fake.events()
        expect_closed(events, what)
        tries = [e for e in events if e.is_send("off") and e.status() != 0]
        waited_ms = (tries[-1].ns - tries[0].ns) / 1e6
        print("%s: retried for %.1f ms, exit took %.1f ms" % (what, waited_ms, took_ms))
        if recovers:
            expect_notes_alternate(events, what)
            if sends(events, "off")[-1].ns < cleared:
                fail("%s: the note-off went before the receiver had room" % what)
        elif not 200 <= waited_ms <= 300 or took_ms > 1000:
            fail("%s: krv should wait a quarter second, and exit within one" % what)
    stop_while_full(krv, library, work)


def stop_while_full(krv, library, work):
    """A stop whose note-off a receiver busy for a second refuses: with krv
    idle at its prompt, the note ends within a few ms of the receiver
    taking events again, not at the next play."""
    fake, process, asked = refused_note_off(krv, library, work, "stop")
    wait_for_prompts(process, 1)
    print("stop took %.1f ms" % ((now_ns() - asked) / 1e6))
    time.sleep(max(0.0, 1.0 - (now_ns() - asked) / 1e9))
    cleared = now_ns()
    fake.clear_full()
    # The clock has ended and krv reads nothing more: only the stop sends.
    sent = fake.wait_for(lambda e: e.ns > cleared and e.is_send("off") and e.status() == 0,
                         "the held note-off, after the receiver had room", 2)
    late_ms = (sent.ns - cleared) / 1e6
    print("the held note-off went %.1f ms after the receiver had room" % late_ms)
    if late_ms > (50 if SLOW else 10):
        fail("stop while full: the held note-off went %.1f ms after the receiver had room"
             % late_ms)
    out, err = process.communicate("quit\n", timeout=30)
    expect_equal(process.returncode, 0, "stop while full: exit status (%s)" % err)
    expect_notes_alternate(fake.events(), "stop while full")


def case_subscribe(krv, library, work):
    fake = Fake(krv, library, work, scene=DESKTOP + "refuse 24:0 EPERM\n")
    commands = ["ports", "newtrack", "newtrack", "selt 2", "setport 2", "setnote C4", "clear",
                "play"]
    process = fake.start(commands)
    seen = wait_for_prompts(process, len(commands) + 1)
    time.sleep(0.6)
    out, err = process.communicate("stop\nquit\n", timeout=30)
    out = seen + out
    expect_equal(process.returncode, 0, "exit status: " + err)
    failure = "output port 2 could not connect to UM-ONE:UM-ONE MIDI 1: Operation not permitted\n"
    listing = "".join("output port %d is %s\n" % p for p in enumerate(DESKTOP_PORTS))
    listing = listing.replace("UM-ONE MIDI 1\n", "UM-ONE MIDI 1\n" + failure)
    startup = "".join("KRVShell: " + line + "\n" for line in listing.splitlines())
    listing = "".join("output port %d is %s\n  connected to %s\n" % (i, p, p)
                      for i, p in enumerate(DESKTOP_PORTS))
    listing = listing.replace("UM-ONE MIDI 1\n  connected to UM-ONE:UM-ONE MIDI 1\n",
                              "UM-ONE MIDI 1\n" + failure + "  connected to nothing\n")
    expected = STARTUP + "KRVShell: found 4 MIDI destinations\n" + startup + "1 krv> " + listing
    expect_equal(out[:len(expected)], expected, "start-up and ports with a refused subscription")
    if "dropped" in out:
        fail("a port that could not connect must drop quietly: %r" % out)
    events = fake.events()
    if any(e.dest() == "24:0" for e in events if e.is_send()):
        fail("krv sent to the port it could not connect")
    if not sends(events, "on"):
        fail("port 0 did not play")
    expect_notes_alternate(events, "subscribe")
    # The refused port alone: nothing is heard, and play says so.
    fake = Fake(krv, library, work, scene=[line for line in DESKTOP.splitlines()
                                           if "UM-ONE" in line][0] + "\nrefuse 24:0 EPERM\n")
    out, _ = fake.run(["newtrack", "play", "stop", "quit"])
    if "krv: no MIDI destination, playing silently" not in out:
        fail("play did not say that nothing hears it: %r" % out)


def case_hotplug(krv, library, work):
    """A synthesizer started after krv: announced, listed, played to. Its
    announcement is said at the next prompt once krv has it; `ports` finds
    the synthesizer also before it has."""
    for quiet in (False, True):
        what = "ports before the announcement" if quiet else "announced"
        later = os.path.join(work, "later-%s.txt" % ("quiet" if quiet else "announced"))
        scene = "".join(line + "\n" for line in DESKTOP.splitlines() if "FLUID" not in line)
        fake = Fake(krv, library, work, scene=scene)
        fake.env["KRV_FAKE_ALSA_LATER"] = later
        process = fake.start(["newtrack"])
        wait_for_prompts(process, 2)
        with open(later + ".new", "w") as out:
            out.write([line for line in DESKTOP.splitlines() if "FLUID" in line][0] + "\n")
            out.write("quiet\n" if quiet else "")
        os.rename(later + ".new", later)
        fake.wait_for(lambda e: e.what == "later", "the synthesizer's start")
        new = "krv: new MIDI destination: port 3 is %s\n" % DESKTOP_PORTS[0]
        said = "" if quiet else say_at_prompt(fake, process, new)
        process.stdin.write(lines(["ports", "selectall", "setport 3", "play"]))
        process.stdin.flush()
        fake.wait_for(lambda e: e.is_send("on") and e.dest() == SYNTH,
                      "a note-on to the synthesizer")
        out, err = process.communicate("stop\nquit\n", timeout=30)
        expect_equal(process.returncode, 0, "%s: exit status: %s" % (what, err))
        if (said + out).count(new) != 1 or "output port 3 is %s\n  connected to %s\n" % (
                DESKTOP_PORTS[0], DESKTOP_PORTS[0]) not in out:
            fail("%s: the synthesizer was not announced once and listed: %r" % (what, said + out))
        expect_notes_alternate(fake.events(), what)
    first_sound(krv, library, work)


def first_sound(krv, library, work):
    """No destination at start: the synthesizer started later takes port 0,
    where the notes are, and hears its program before the first note."""
    later = os.path.join(work, "later-first.txt")
    fake = Fake(krv, library, work, scene="port 0:0 rwRW - System|Timer\n"
                "port 0:1 rR - System|Announce\n")
    fake.env["KRV_FAKE_ALSA_LATER"] = later
    process = fake.start(["newtrack", "program 1 34"])
    wait_for_prompts(process, 3)
    # krv's own client is 128 here: the synthesizer comes after it.
    synth = "140:0"
    with open(later + ".new", "w") as out:
        out.write([line for line in DESKTOP.splitlines() if "FLUID" in line][0].replace(
            SYNTH, synth) + "\n")
    os.rename(later + ".new", later)
    fake.wait_for(lambda e: e.what == "later", "the synthesizer's start")
    process.stdin.write(lines(["ports", "play"]))
    process.stdin.flush()
    fake.wait_for(lambda e: e.is_send("on") and e.dest() == synth, "a note-on to the synthesizer")
    out, err = process.communicate("stop\nquit\n", timeout=30)
    expect_equal(process.returncode, 0, "first sound: exit status: " + err)
    if "krv: new MIDI destination: port 0 is %s\n" % DESKTOP_PORTS[0] not in out:
        fail("the synthesizer did not take port 0: %r" % out)
    to_synth = [e for e in sends(fake.events()) if e.dest() == synth]
    if not to_synth or to_synth[0].args[2:5] != ["program", "0", "33"]:
        fail("the synthesizer's first event was not program 34 on channel 1: %r" % to_synth[:3])
    expect_notes_alternate(fake.events(), "first sound")


def say_at_prompt(fake, process, news):
    """What krv said at its prompts until news, pressing Enter; the
    announcement has reached krv when the fake has handed it over, and is
    taken a moment later."""
    fake.wait_for(lambda e: e.what == "announce", "krv reading the announcement")
    said = ""
    for _ in range(100):
        process.stdin.write("\n")
        process.stdin.flush()
        said += wait_for_prompts(process, 1)
        if news in said:
            return said
        time.sleep(0.01)
    fail("the new destination was not said at a prompt: %r" % said)

def main():
    if len(sys.argv) != 4:
        print(__doc__)
        sys.exit(2)
    krv, library, case = sys.argv[1:]
    check_symbols(krv, library)
    work = tempfile.mkdtemp(prefix="krv-alsa-")
    try:
        globals()["case_" + case](krv, library, work)
    finally:
        if os.environ.get("KRV_KEEP") and os.path.exists(os.path.join(work, "record.txt")):
            shutil.copy(os.path.join(work, "record.txt"), os.environ["KRV_KEEP"])
        shutil.rmtree(work, ignore_errors=True)
    print("PASS")


if __name__ == "__main__":
    main()
