#!/usr/bin/python3
"""krv's ALSA path end to end where there is no sequencer device: the real
krv with our fake of alsa-lib (fake_alsa_seq.c) preloaded, which shows it a
desktop's clients and writes down, timed, what krv does.

    alsa_e2e.py KRV FAKE_LIBRARY CASE
"""
import os
import re
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from krv_e2e import (SLOW, STARTUP, EXITS, Krv, Note, expect_equal,  # noqa: E402
                     expect_in, expect_near, expect_paired, fail, now_ms, of_kind,
                     start_playing, steadily, stop_started, wait_for, watch_for_freezes)
from jack_e2e import STEPPED  # noqa: E402

# How far a note may stray from its place on the grid, in ms: the clock
# thread sleeps to exact deadlines, but on a busy two-core machine a wake-up
# now and then comes late. The notes' median must be on the grid.
GRID_MS = 12.0 if SLOW else 5.0
MEDIAN_MS = 3.0 if SLOW else 1.0
STEP_MS = 125.0  # 120 bpm, 16 steps to the bar
TICK_MS = STEP_MS / 6
# Capabilities as alsa-lib's bits: 0x63 read, write and both subscriptions; 0x21 read only; 0x42
# write only; 0x80 not exported; a destination needs both 0x02 and 0x40. Types: 2 MIDI, 4 GM,
# 0x10000 hardware, 0x20000 software, 0x40000 synthesizer, 0x80000 port, 0x100000 application.
DESKTOP = """\
port 0:0 63 0 System|Timer
port 0:1 21 0 System|Announce
port 14:0 63 a0002 Midi Through|Midi Through Port-0
port 20:0 21 90002 USB Keyboard|USB Keyboard MIDI 1
port 24:0 63 90002 UM-ONE|UM-ONE MIDI 1
port 128:0 42 140006 FLUID Synth (4242)|Synth input port (4242:0)
port 129:0 c2 100002 Hidden|private
port 129:1 2 100002 Hidden|no subscription
port 129:2 40 100002 Hidden|subscription only
port 130:0 42 100002 aseqdump|aseqdump
"""
SYNTH = "128:0"
SYNTH_LINE = DESKTOP.splitlines()[5] + "\n"
EMPTY = "".join(DESKTOP.splitlines(True)[:2])
# What krv lists, in order.
DESKTOP_PORTS = ["FLUID Synth (4242):Synth input port (4242:0)", "aseqdump:aseqdump",
                 "UM-ONE:UM-ONE MIDI 1", "Midi Through:Midi Through Port-0"]
DESKTOP_ADDRESSES = [SYNTH, "130:0", "24:0", "14:0"]
ERRNO = {"EAGAIN": 11, "ENOMEM": 12, "ENOSPC": 28}
REFUSE_UM_ONE = "refuse 24:0 1\n"  # EPERM


class Fake:
    """A scene, a record and a full-receiver switch, and krv started on them."""

    def __init__(self, scene=DESKTOP):
        self.work = tempfile.mkdtemp(dir=WORK)
        self.record, self.full, self.later, self.play = (
            os.path.join(self.work, name) for name in ("record", "full", "later", "play"))
        with open(os.path.join(self.work, "scene"), "w") as out:
            out.write(scene)
        self.env = dict(os.environ, KRV_MIDI_HOST="alsa", LD_PRELOAD=PRELOAD,
                        KRV_FAKE_ALSA_SCENE=os.path.join(self.work, "scene"),
                        KRV_FAKE_ALSA_RECORD=self.record, KRV_FAKE_ALSA_FULL=self.full,
                        KRV_FAKE_ALSA_LATER=self.later, KRV_FAKE_ALSA_PLAY=self.play)
        self.read_to, self.lines, self.sent = 0, [], []

    def start(self, *commands):
        krv = Krv([KRV], self.env)
        krv.type(*commands)
        return krv

    def set_full(self, error):
        with open(self.full, "w") as out:
            out.write("%d\n" % ERRNO[error])

    def clear_full(self):
        """Room again; returns when, taken before krv can see it."""
        cleared = now_ms()
        os.remove(self.full)
        return cleared

    def add_later(self, text):
        """Ports that start after krv, all at once."""
        with open(self.later + ".new", "w") as out:
            out.write(text)
        os.rename(self.later + ".new", self.later)
        self.wait_for(lambda e: e[1] == "later", "the synthesizer's start")

    def events(self):
        """(ms, what, args) a line of the record, read on from where the last
        call stopped: polling must not take the cores krv's clock needs."""
        if os.path.exists(self.record):
            with open(self.record, "rb") as record:
                record.seek(self.read_to)
                text = record.read()
            text = text[:text.rfind(b"\n") + 1]
            self.read_to += len(text)
            for words in map(str.split, text.decode().splitlines()):
                self.lines.append((int(words[0]) / 1e6, words[1], words[2:]))
                if words[1] == "send" and words[4] in ("on", "off", "program"):
                    self.sent.append(send_of(self.lines[-1]))
        return self.lines

    def notes(self):
        self.events()
        return self.sent

    def statuses(self):
        return [(ms, int(a[-1])) for ms, what, a in self.events() if what == "send"]

    def wait_for(self, found, what, seconds=10):
        return wait_for(lambda: next(filter(found, self.events()), None), what, seconds)

    def wait_for_note(self, found, what, seconds=10):
        return wait_for(lambda: next(filter(found, self.notes()), None), what, seconds)

    def expect_closed(self, what):
        events = self.events()
        if not events or events[-1][1] != "close":
            fail("%s: krv did not close its sequencer client last: %r" % (what, events[-3:]))


def send_of(line):
    ms, _, (_, dest, kind, channel, key, *rest) = line
    return Note(ms, kind, int(channel), int(key), int(rest[0]), dest, delivered=rest[1] == "0")


def sounding(fake):
    return fake.wait_for_note(lambda n: n.kind == "on", "a note-on")


def listing(ports, failure=None):
    text = "".join("output port %d is %s\n  connected to %s\n" % (i, p, p)
                   for i, p in enumerate(ports))
    return text if not failure else text.replace(
        "UM-ONE MIDI 1\n  connected to UM-ONE:UM-ONE MIDI 1\n",
        "UM-ONE MIDI 1\n" + failure + "  connected to nothing\n")


def startup(ports, failure=None):
    said = "".join("output port %d is %s\n" % p for p in enumerate(ports))
    said = said.replace("UM-ONE MIDI 1\n", "UM-ONE MIDI 1\n" + failure) if failure else said
    return (STARTUP + "KRVShell: found %d MIDI destinations\n" % len(ports) +
            "".join("KRVShell: " + line + "\n" for line in said.splitlines()) + "1 krv> ")


def case_startup():
    fake = Fake()
    expect_equal(fake.start("ports").end(), startup(DESKTOP_PORTS) + listing(DESKTOP_PORTS) +
                 "MIDI system: ALSA sequencer\n2 krv> ", "start-up and ports on a desktop")
    events = fake.events()
    expect_equal(events[0][1:], ("open", ["client=131", "nonblock=1"]), "the client opened")
    creates = [a[0] for _, what, a in events if what == "create" and a[-1] == "output"]
    expect_equal(len(creates), 4, "output ports made")
    connects = [a for _, what, a in events if what == "connect"]
    expect_equal(connects, [[c, address, "0"] for c, address in zip(creates, DESKTOP_ADDRESSES)],
                 "the output ports' connections")
    expect_equal([what for _, what, _ in events if what in ("delete", "close")],
                 ["delete"] * 4 + ["close"], "the end")
    # Nothing to play to: krv makes a destination of its own, whose input
    # thread must leave the signals to krv's command thread.
    fake = Fake(DESKTOP.splitlines()[0])
    krv = fake.start("ports", "newtrack", "play")
    sounding(fake)
    own = "KRVSequencer:KRVShell dummy destination"
    expect_equal(krv.end("stop\nquit\n").split(" krv> ")[0], STARTUP +
                 "KRVShell: found 0 MIDI destinations\n"
                 "KRVShell: no MIDI destinations found, making a dummy one\n"
                 "KRVShell: output port 0 is %s\n1" % own, "start-up with no destination")
    expect_equal([a for _, what, a in fake.events() if what == "input-thread"],
                 [["blocks", "INT=1", "TERM=1", "HUP=1"]], "the input thread's signals")
    expect_equal({n.dest for n in of_kind(fake.notes(), "on")}, {"128:0"},
                 "where the notes went, krv's own destination")
    expect_paired(fake.notes(), "dummy destination")


# Eight tracks on port 0: every step eight note-ons, and three ticks later their eight note-offs.
# Track 1 plays note 40 + the step's number, so that each of its notes tells which step of the grid
# it belongs to; the others play notes of their own, 100 and up.
EIGHT_TRACKS = ["newtrack"] * 8 + sum(
    (["sele 1 %d" % step, "setnote %d" % (40 + step), "clear"] for step in range(1, 17)), [])
EIGHT_TRACKS += sum((["selt %d" % t, "setnote %d" % (98 + t), "clear"] for t in range(2, 9)), [])


def steps_of(ons):
    """Track 1's note-ons with the number of steps each came after the
    first."""
    numbered = []
    for note in ons:
        if 41 <= note.key <= 56:
            step = note.key - 41
            if numbered:
                step = numbered[-1][1] + (step - numbered[-1][1] % 16) % 16
            numbered.append((note, step))
    return numbered


def case_exits():
    """A sounding note is ended on every way out, and the client closed."""
    for what, text, sig, status in EXITS:
        fake = Fake()
        krv = start_playing(lambda: fake.start())
        sounding(fake)
        asked = now_ms()
        if sig is not None:
            krv.send_signal(sig)
        krv.end(text, status)
        notes = fake.notes()
        expect_paired(notes, what)
        fake.expect_closed(what)
        offs = of_kind(notes, "off")
        if len(of_kind(notes, "on")) != 1 or offs[-1].ms < asked:
            fail("%s: one note, ended by the exit, expected: %r" % (what, notes))


def case_full():
    fake = Fake()
    krv = start_playing(lambda: fake.start(), EIGHT_TRACKS)
    windows = []
    for error in ERRNO:
        # Room for some steps, then full while notes sound (their note-offs
        # are three ticks away), for a little under three steps.
        since = windows[-1][2] + 400 if windows else now_ms() + 500
        wait_for(lambda: now_ms() > since, "some steps with room")
        fake.wait_for_note(lambda n: n.ms > since and n.kind == "on", "a note-on")
        start = now_ms()
        fake.set_full(error)
        fake.wait_for_note(lambda n: n.ms > start and n.kind == "off" and not n.delivered,
                           "a refused note-off")
        wait_for(lambda: now_ms() > start + 350, "the end of the full window")
        windows.append((error, start, fake.clear_full()))
    wait_for(lambda: now_ms() > windows[-1][2] + 400, "some steps after")
    stopped = now_ms()
    out = krv.end("stop\nquit\n")
    notes = fake.notes()
    expect_paired(notes, "a receiver full for a while")
    fake.expect_closed("full")
    for error, start, end in windows:
        refused = {s for ms, s in fake.statuses() if start <= ms <= end and s}
        expect_equal(refused, {-ERRNO[error]}, "%s: the errors of the refused sends" % error)
        # What was held goes at the next tick after the receiver has room.
        first = next(n for n in notes if n.ms > end and n.delivered)
        if first.kind != "off" or first.ms - end > TICK_MS + GRID_MS:
            fail("%s: held note-offs did not go first, at the next tick: %r" % (error, first))
    numbered = steps_of(of_kind(notes, "on"))
    if numbered[-1][1] < 16:
        fail("krv played too few steps: %r" % numbered)
    expect_near([n.ms - numbered[0][0].ms - step * STEP_MS for n, step in numbered], GRID_MS,
                "track 1's note-ons around a full receiver, off the grid (ms)", MEDIAN_MS)
    # Whatever the clock thread tried to send, it tried on a tick: nothing
    # it sent waited for the receiver.
    first = numbered[0][0].ms
    expect_near([(ms - first + TICK_MS / 2) % TICK_MS - TICK_MS / 2 for ms, _ in fake.statuses()
                 if first <= ms < stopped], GRID_MS, "sends tried while playing, off a tick (ms)",
                MEDIAN_MS)
    # Every step from the first note to the last tried eight: those that did
    # not go out are the ones krv says it dropped.
    missing = 8 * (numbered[-1][1] + 1) - len(of_kind(notes, "on"))
    dropped = re.search(r"krv: (\d+) notes dropped", out)
    if not missing or not dropped or int(dropped.group(1)) != missing:
        fail("krv should say it dropped the %d note-ons that did not go: %r" % (missing, out))


def refused_note_off(command):
    """krv told command while a long note plays and the receiver is full,
    once its note-off was refused: the fake, krv and when."""
    fake = Fake()
    krv = start_playing(lambda: fake.start())
    sounding(fake)
    fake.set_full("EAGAIN")
    asked = krv.type(command)
    fake.wait_for_note(lambda n: n.kind == "off" and not n.delivered, "the refused note-off")
    return fake, krv, asked


def case_drain():
    for recovers in (True, False):
        what = "a receiver that recovers" if recovers else "a receiver that stopped"
        fake, krv, asked = refused_note_off("quit")
        cleared = fake.clear_full() if recovers else None
        krv.end("")
        took_ms = now_ms() - asked
        fake.expect_closed(what)
        tries = [n.ms for n in fake.notes() if n.kind == "off" and not n.delivered]
        print("%s: retried for %.1f ms, exit took %.1f ms" % (what, tries[-1] - tries[0],
                                                             took_ms))
        if recovers:
            expect_paired(fake.notes(), what)
            if of_kind(fake.notes(), "off")[-1].ms < cleared:
                fail("%s: the note-off went before the receiver had room" % what)
        elif not 200 <= tries[-1] - tries[0] <= 300 or took_ms > 1000:
            fail("%s: krv should wait a quarter second, and exit within one" % what)
    # A stop whose note-off a receiver busy for a second refuses: with krv idle at its prompt, the
    # note ends within a few ms of the receiver taking events again, not at the next play.
    fake, krv, asked = refused_note_off("stop")
    krv.prompts()
    wait_for(lambda: now_ms() > asked + 1000, "a second of a full receiver")
    cleared = fake.clear_full()
    # The clock has ended and krv reads nothing more: only the stop sends.
    sent = fake.wait_for_note(lambda n: n.ms > cleared and n.kind == "off" and n.delivered,
                              "the held note-off, after the receiver had room", 2)
    print("the held note-off went %.1f ms after the receiver had room" % (sent.ms - cleared))
    if sent.ms - cleared > (50 if SLOW else 10):
        fail("stop while full: the held note-off went %.1f ms late" % (sent.ms - cleared))
    krv.end()
    expect_paired(fake.notes(), "stop while full")


def case_subscribe():
    fake = Fake(DESKTOP + REFUSE_UM_ONE)
    krv = fake.start("ports", "newtrack", "newtrack", "selt 2", "setport 2", "setnote C4",
                     "clear", "play")
    krv.prompts(9)
    sounding(fake)
    out = krv.said + krv.end("stop\nquit\n")
    failure = "output port 2 could not connect to UM-ONE:UM-ONE MIDI 1: Operation not permitted\n"
    expected = startup(DESKTOP_PORTS, failure) + listing(DESKTOP_PORTS, failure)
    expect_equal(out[:len(expected)], expected, "start-up and ports with a refused subscription")
    if "dropped" in out:
        fail("a port that could not connect must drop quietly: %r" % out)
    if any(n.dest == "24:0" for n in fake.notes()):
        fail("krv sent to the port it could not connect")
    expect_paired(fake.notes(), "subscribe")
    # The refused port alone: nothing is heard, and play says so.
    alone = Fake(DESKTOP.splitlines()[4] + "\n" + REFUSE_UM_ONE).start("newtrack", "play")
    expect_in(alone.end("stop\nquit\n"), "krv: no MIDI destination, playing silently",
              "play with nothing to hear it")


def case_hotplug():
    """A synthesizer started after krv: announced at the next prompt once krv
    has the news, found by `ports` also before; listed and played to."""
    new = "krv: new MIDI destination: port 3 is %s\n" % DESKTOP_PORTS[0]
    for quiet in (False, True):
        what = "ports before the announcement" if quiet else "announced"
        fake = Fake(DESKTOP.replace(SYNTH_LINE, ""))
        krv = fake.start("newtrack")
        krv.prompts(2)
        fake.add_later(SYNTH_LINE + ("quiet\n" if quiet else ""))
        if not quiet:
            # The announcement has reached krv once the fake has handed it
            # over, and is taken a moment later: Enter until it is said.
            fake.wait_for(lambda e: e[1] == "announce", "krv reading the announcement")
            wait_for(lambda: new in krv.say(""), "the new destination said at a prompt")
        krv.type("ports", "selectall", "setport 3", "play")
        fake.wait_for_note(lambda n: n.kind == "on" and n.dest == SYNTH, "a note to the synth")
        krv.end("stop\nquit\n")
        expect_in(krv.said, new, what + ": announced once", 1)
        expect_in(krv.said, "output port 3 is %s\n  connected to %s\n" % (DESKTOP_PORTS[0],
                                                                          DESKTOP_PORTS[0]),
                  what + ": listed")
        expect_paired(fake.notes(), what)
    # No destination at start: the synthesizer started later takes port 0,
    # where the notes are, and hears its program before the first note.
    # krv's own client is 128 here: the synthesizer comes after it.
    fake = Fake(EMPTY)
    krv = fake.start("newtrack", "program 1 34")
    krv.prompts(3)
    fake.add_later(SYNTH_LINE.replace(SYNTH, "140:0"))
    krv.type("ports", "play")
    fake.wait_for_note(lambda n: n.kind == "on" and n.dest == "140:0", "a note to the synth")
    expect_in(krv.end("stop\nquit\n"), "krv: new MIDI destination: port 0 is %s\n" %
              DESKTOP_PORTS[0], "the synthesizer on port 0")
    to_synth = [n for n in fake.notes() if n.dest == "140:0"]
    expect_equal((to_synth[0].kind, to_synth[0].channel, to_synth[0].key), ("program", 0, 33),
                 "the synthesizer's first event")
    expect_paired(fake.notes(), "first sound")


def play(fake, lines):
    """What the keyboard (20:0) plays, at once or at ms on CLOCK_MONOTONIC."""
    with open(fake.play + ".new", "w") as out:
        out.writelines(line + "\n" for line in lines)
    os.rename(fake.play + ".new", fake.play)


def case_input():
    """A keyboard listed among the readable ports, chosen, plugged in again
    under its number (listened to anew), and heard thru on the synthesizer
    at once; its note ended at stop."""
    fake = Fake()
    krv = fake.start()
    krv.prompts()
    expect_equal(krv.say("inputs"), "input 0 is Midi Through:Midi Through Port-0\n"
                 "input 1 is USB Keyboard:USB Keyboard MIDI 1\ninput 2 is UM-ONE:UM-ONE MIDI 1\n"
                 "2 krv> ", "the sources")
    expect_in(krv.say("input 1"), "listening to USB Keyboard:USB Keyboard MIDI 1\n", "input")
    fake.add_later("replugged 20:0\n")
    said = wait_for(lambda: krv.say("inputs").count("krv: MIDI source "), "the keyboard back")
    expect_equal(said, 2, "the keyboard gone and back, at one prompt")
    play(fake, ["20:0 on 0 60 100", "20:0 on 0 62 90", "20:0 off 0 62 0"])
    fake.wait_for_note(lambda n: n.kind == "off" and n.key == 62, "the keyboard's notes thru")
    krv.end("stop\nquit\n")
    heard = [(n.kind, n.key, n.dest) for n in fake.notes()]
    expect_equal(heard, [("on", 60, SYNTH), ("on", 62, SYNTH), ("off", 62, SYNTH),
                         ("off", 60, SYNTH)], "thru, and the held note ended at stop")


def case_latency():
    """Port 1 at latency 40 sounds 40 ms after port 0. Every note ends after
    stop: once port 1's note-offs are due, where krv quits before, and where
    it stops after the tick that queued a swung note (bpm 20, swing 66: step
    2 is handed over at 875 ms, due at 990), which both ports take back."""
    for swung, wait in ((False, True), (False, False), (True, True)):
        fake = Fake()
        krv = start_playing(lambda: fake.start(), ["newtrack", "newtrack", "selt 2", "setport 1",
                                                   "clear", "latency 1 40"] +
                            ["selectall", "swing 66", "bpm 20"] * swung)
        if swung:
            first = fake.wait_for_note(lambda n: n.kind == "on", "step 1").ms
            wait_for(lambda: now_ms() > first + 930, "step 2 queued")
        else:
            wait_for(lambda: len(of_kind(fake.notes(), "on")) >= 16, "notes on both ports")
        stopped = krv.type("stop")
        if wait:
            krv.prompts()
            fake.wait_for(lambda e: now_ms() > first + 1100 if swung else e[0] > stopped and
                          e[1] == "send" and e[2][1:3] == ["130:0", "off"], "port 1's end")
        krv.end("quit\n")
        ons = [[n.ms for n in of_kind(fake.notes(), "on") if n.dest == d] for d in (SYNTH, "130:0")]
        expect_near([late - early - 40 for early, late in zip(*ons)], GRID_MS, "port 1 late (ms)",
                    2.0)
        expect_paired(fake.notes(), "a port with a latency")
        fake.expect_closed("latency")
        if swung and (sum(e[1:] == ("remove", ["2"]) for e in fake.events()) < 2 or
                      any(n.ms > stopped for n in of_kind(fake.notes(), "on"))):
            fail("the stop came after step 2, or a port kept it: %r" % fake.events())


def case_clockin():
    """krv following a clock at 120 bpm, silent for a second after 54 ticks
    (and plugged in again under its number meanwhile), on for 48 more: each
    note-on on its quarter's clock, none after Stop, the note that sounds
    ended in the silence."""
    fake = Fake()
    krv = fake.start(*STEPPED + ["clockin 1"])
    krv.prompts(len(STEPPED) + 2)
    start = now_ms() + 200
    clocks = [start + i * TICK_MS + 1000 * (i >= 54) for i in range(102)]
    play(fake, ["%.3f 20:0 start" % start] + ["%.3f 20:0 clock" % ms for ms in clocks] +
         ["%.3f 20:0 stop" % (clocks[-1] + 1)])
    wait_for(lambda: now_ms() > clocks[53] + 100, "the silence")
    fake.add_later("replugged 20:0\n")
    said = wait_for(lambda: krv.say("inputs").count("krv: MIDI clock source "), "the clock back")
    expect_equal((said, now_ms() < clocks[54]), (2, True), "the clock gone and back, in silence")
    wait_for(lambda: now_ms() > clocks[-1] + 100, "the clock")
    krv.end()
    ons = of_kind(fake.notes(), "on")
    expect_near([n.ms - clocks[i * 24] for i, n in enumerate(ons)], GRID_MS, "notes on the clock")
    expect_equal([n.key for n in ons], [60 + i % 8 for i in range(len(ons))], "keys of quarters")
    ended = [n for n in of_kind(fake.notes(), "off") if clocks[53] < n.ms < clocks[54]]
    # Stop ends the last note well before a silence of four ticks would.
    if not ended or max(n.ms for n in fake.notes()) > clocks[-1] + 2 * TICK_MS or len(ons) != 5:
        fail("no note ended in the silence, one after Stop, or not 5 notes: %r" % fake.notes())
    expect_paired(fake.notes(), "following a clock")


def check_symbols(library):
    """krv may import no alsa-lib function the fake lacks: it would reach the
    real library with the fake's handle."""
    def names(path, option):
        listing = subprocess.run(["nm", "-D", option, path], capture_output=True,
                                 text=True).stdout.split()
        return {word.split("@")[0] for word in listing if word.startswith("snd_")}
    missing = names(KRV, "--undefined-only") - names(library, "--defined-only")
    if missing:
        fail("the fake lacks alsa-lib functions krv calls: %s" % " ".join(sorted(missing)))


if __name__ == "__main__":
    KRV, library, case = sys.argv[1:]
    check_symbols(library)
    # A sanitizer's runtime must be loaded before anything preloaded.
    PRELOAD = " ".join(re.findall(r"=> (\S*lib(?:asan|tsan|ubsan)\.so\S*)", subprocess.run(
        ["ldd", KRV], capture_output=True, text=True).stdout) + [library])
    watch_for_freezes()

    def run_case():
        global WORK
        try:
            with tempfile.TemporaryDirectory(prefix="krv-alsa-") as WORK:
                globals()["case_" + case]()
        finally:
            stop_started()
    steadily(run_case)
    print("PASS")
