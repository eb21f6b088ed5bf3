#!/usr/bin/python3
"""End-to-end tests of krv against a real JACK server.

Each case starts its own jackd (dummy driver, a server name of its own), runs
the real krv binary on it and stops the server again, whatever happens.

    jack_e2e.py KRV startup    start-up messages and ports with a recorder
    jack_e2e.py KRV dummy      no destination but krv's own: the dummy path
    jack_e2e.py KRV play       a played pattern arrives with the right notes,
                               order, gate lengths and step spacing

Exits 77 (skipped) when jackd or jack_midi_dump is not installed.
"""
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIP = 77
RATE = 48000
PERIOD = 256
STARTUP = "KRVShell: setting up MIDI config\n"


class JackServer:
    def __init__(self):
        self.name = "krv-e2e-%d" % os.getpid()
        self.env = dict(os.environ, JACK_DEFAULT_SERVER=self.name, KRV_MIDI_HOST="jack",
                        JACK_NO_AUDIO_RESERVATION="1")
        self.process = None
        self.clients = []

    def __enter__(self):
        self.process = subprocess.Popen(
            ["jackd", "-n", self.name, "-d", "dummy", "-r", str(RATE), "-p", str(PERIOD)],
            env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.wait_for(lambda: "system:" in self.ports(), "the JACK server")
        return self

    def __exit__(self, *args):
        for client in self.clients:
            client.kill()
            client.wait()
        self.process.send_signal(signal.SIGTERM)
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()

    def ports(self):
        result = subprocess.run(["jack_lsp"], env=self.env, capture_output=True, text=True)
        return result.stdout

    def wait_for(self, ready, what, seconds=10):
        deadline = time.time() + seconds
        while not ready():
            if time.time() > deadline:
                fail("%s did not come up" % what)
            time.sleep(0.1)

    def start_recorder(self, path):
        """jack_midi_dump with absolute frame times, writing to path."""
        out = open(path, "w")
        client = subprocess.Popen(["jack_midi_dump", "-a"], env=self.env, stdout=out,
                                  stderr=subprocess.DEVNULL)
        self.clients.append(client)
        self.wait_for(lambda: "midi-monitor:input" in self.ports(), "jack_midi_dump")
        return client


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


def expect_equal(actual, expected, what):
    if actual != expected:
        fail("%s:\n--- expected\n%s\n--- actual\n%s" % (what, expected, actual))


def run_krv(krv, server, lines, play_seconds=0.0, meanwhile=None, more_lines=()):
    """Feeds lines to krv; with play_seconds, waits that long; then runs
    meanwhile() and feeds more_lines before quitting."""
    process = subprocess.Popen([krv], env=server.env, stdin=subprocess.PIPE,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    process.stdin.write("".join(line + "\n" for line in lines))
    process.stdin.flush()
    time.sleep(play_seconds)
    if meanwhile:
        time.sleep(0.5)
        meanwhile()
    out, err = process.communicate("".join(line + "\n" for line in more_lines) + "quit\n",
                                   timeout=30)
    if process.returncode != 0:
        fail("krv exited with %d: %s" % (process.returncode, err))
    return out


def case_startup(krv, server, work):
    recorder = server.start_recorder(os.path.join(work, "dump.txt"))

    def vanish():
        recorder.kill()
        recorder.wait()
        server.wait_for(lambda: "midi-monitor:input" not in server.ports(), "the recorder's end")

    out = run_krv(krv, server, ["ports"], meanwhile=vanish, more_lines=["ports"])
    expect_equal(out, STARTUP +
                 "KRVShell: found 1 MIDI destinations\n"
                 "KRVShell: output port 0 is midi-monitor:input\n"
                 "1 krv> output port 0 is midi-monitor:input\n"
                 "2 krv> output port 0 is (destination no longer available)\n"
                 "3 krv> ", "start-up with one recorder, which then goes away")


def case_dummy(krv, server, work):
    out = run_krv(krv, server, ["ports"])
    expect_equal(out, STARTUP +
                 "KRVShell: found 0 MIDI destinations\n"
                 "KRVShell: no MIDI destinations found, making a dummy one\n"
                 "KRVShell: output port 0 is KRVSequencer:KRVShell dummy destination\n"
                 "1 krv> output port 0 is KRVSequencer:KRVShell dummy destination\n"
                 "2 krv> ", "start-up with no destination")


# One bar of four steps at 120 bpm: a step is 24 ticks, half a second,
# 24000 frames. Step 1 C4 gate 50, step 2 E4 gate 25, step 3 G4 velocity 100,
# step 4 muted.
PATTERN = ["newtrack", "setscale 1 4",
           "sels 1", "setnote C4", "clear",
           "sels 2", "setnote E4", "setgate 25", "clear",
           "sels 3", "setnote G4", "setvelocity 100", "clear",
           "sels 4", "mute", "clear",
           # JACK makes a new connection live a few cycles later.
           "sh 'sleep 0.5'", "play"]
STEP_FRAMES = RATE // 2
EXPECTED_NOTES = [(60, 64, 12), (64, 64, 6), (67, 100, 12)]  # note, velocity, gate ticks
FRAMES_PER_TICK = STEP_FRAMES / 24


def read_dump(path):
    events = []
    for line in open(path):
        match = re.match(r"\s*(\d+): ([0-9a-f]{2}) ([0-9a-f]{2}) ([0-9a-f]{2})", line)
        if match:
            frame, status, note, velocity = (int(match.group(1)),) + tuple(
                int(match.group(i), 16) for i in (2, 3, 4))
            events.append((frame, status, note, velocity))
    return events


def case_play(krv, server, work):
    dump = os.path.join(work, "dump.txt")
    server.start_recorder(dump)
    run_krv(krv, server, PATTERN, play_seconds=4.6)
    time.sleep(0.5)
    events = read_dump(dump)
    print("recorded (frame, status, note, velocity): %r" % events)
    ons = [e for e in events if e[1] == 0x90]
    offs = [e for e in events if e[1] == 0x80]
    if len(ons) < 6:
        fail("expected at least two bars of notes, got %r" % events)
    if len(ons) != len(offs):
        fail("%d note-ons but %d note-offs: %r" % (len(ons), len(offs), events))
    # Strict alternation on one track: each note ends before the next starts.
    for i, on in enumerate(ons):
        note, velocity, gate_ticks = EXPECTED_NOTES[i % 3]
        off = offs[i]
        if (on[2], on[3]) != (note, velocity) or off[2] != note or off[3] != 0:
            fail("note %d: %r then %r, expected note %d velocity %d" % (i, on, off, note, velocity))
        if not on[0] < off[0] or (i + 1 < len(ons) and not off[0] < ons[i + 1][0]):
            fail("note %d overlaps its neighbours: %r" % (i, events))
        # Loose tolerances: the timing figures belong to the benchmark. The
        # first note is left out, since JACK may drop or delay what a port
        # sends in its first cycles (slow under the sanitizers).
        if i == 0:
            continue
        gate = (off[0] - on[0]) / FRAMES_PER_TICK
        if abs(gate - gate_ticks) > 1.5:
            fail("note %d lasted %.2f ticks, expected %d" % (i, gate, gate_ticks))
        if i > 1:
            steps = 2 if i % 3 == 0 else 1  # the muted fourth step is skipped
            spacing = (on[0] - ons[i - 1][0]) / STEP_FRAMES
            if abs(spacing - steps) > 0.1:
                fail("notes %d and %d are %.3f steps apart, expected %d" %
                     (i - 1, i, spacing, steps))


def main():
    krv, case = sys.argv[1], sys.argv[2]
    if not shutil.which("jackd") or not shutil.which("jack_midi_dump"):
        print("SKIP: jackd or jack_midi_dump is not installed")
        sys.exit(SKIP)
    with tempfile.TemporaryDirectory() as work, JackServer() as server:
        {"startup": case_startup, "dummy": case_dummy, "play": case_play}[case](krv, server, work)
    print("PASS")


if __name__ == "__main__":
    main()
