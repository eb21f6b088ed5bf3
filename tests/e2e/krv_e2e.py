"""What the end-to-end tests share: krv read to its prompt and typed at, and
the notes a recorder heard checked. Every wait has a deadline."""
import os
import re
import select
import signal
import subprocess
import sys
import threading
import time
import traceback

SKIP = 77
# Set for sanitizer builds, whose instrumented threads are slow: timings are
# looser there, and some are printed only.
SLOW = os.environ.get("KRV_E2E_SLOW") == "1"
STARTUP = "KRVShell: setting up MIDI config\n"
PROMPT = re.compile(rb"\d+ krv> ")
# One long note a bar: at 20 bpm a C4 sounds for 2.7 s of every 3.
LONG_NOTES = ["newtrack", "setscale 1 4", "selectall", "setnote C4", "setgatetime 90", "clear",
              "bpm 20"]
# The ways krv ends while a note sounds: (what, input, signal, exit status).
EXITS = [("quit", "quit\n", None, 0), ("stop and quit", "stop\nquit\n", None, 0),
         ("end of input", "", None, 0), ("SIGTERM", "", signal.SIGTERM, 128 + 15),
         ("SIGHUP", "", signal.SIGHUP, 128 + 1)]


# What kept a try from measuring krv: cycles the server skipped (the JACK recorder's reports), and
# freezes of this whole machine, which a virtual machine here has for 50-60 ms every few seconds.
DISTURBED = []
TRIES = 8
# Every process a try started (krv, recorders, players), oldest first: a
# failed try's must not play on into the next try, nor hold a client's name
# or the transport's timebase from it.
STARTED = []


def started(process):
    STARTED.append(process)
    return process


def stop_started(keep=0):
    """Stops what was started after the first keep processes."""
    while len(STARTED) > keep:
        stop_process(STARTED.pop())


def watch_for_freezes(limit_ms=4.0):
    """From now on, every wake-up of a 5 ms sleep that comes later than
    limit_ms goes into DISTURBED: a freeze that held up krv's clock too."""
    def watch():
        while True:
            before = time.monotonic()
            time.sleep(0.005)
            late_ms = (time.monotonic() - before - 0.005) * 1000
            if late_ms > limit_ms:
                DISTURBED.append(("frozen ms", round(late_ms)))
    threading.Thread(target=watch, daemon=True).start()


def steadily(measure, *args):
    """measure(*args), made again while it fails in a try something was
    DISTURBED in. A failure it lets through fails with 2, so that a
    steadily() around it does not make again what this one judged. When
    every try was disturbed nothing was measured: that skips, saying so (a
    fault fails the first try that is not). What a failed try started is
    stopped before the next."""
    for attempt in range(1, TRIES + 1):
        seen, running = len(DISTURBED), len(STARTED)
        try:
            return measure(*args)
        except SystemExit as failure:
            if failure.code != 1 or len(DISTURBED) == seen:
                sys.exit(2 if failure.code == 1 else failure.code)
            print("disturbed: %r; try %d of %d" % (DISTURBED[seen:], attempt, TRIES))
        except Exception:
            # A disturbed try can leave what it reads incomplete enough for
            # the reading itself to fail; an undisturbed one fails as it is.
            if len(DISTURBED) == seen:
                print("FAIL: raised:\n" + traceback.format_exc())
                sys.exit(2)
            print("disturbed: %r; try %d of %d, which raised:\n%s"
                  % (DISTURBED[seen:], attempt, TRIES, traceback.format_exc()))
        stop_started(running)
    skip("this machine froze or its server skipped cycles in all %d tries" % TRIES)


def skip(message):
    print("SKIP: " + message)
    sys.exit(SKIP)


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


def expect_equal(actual, expected, what):
    if actual != expected:
        fail("%s:\n--- expected\n%s\n--- actual\n%s" % (what, expected, actual))


def expect_in(text, wanted, what, count=None):
    if (text.count(wanted) != count) if count is not None else wanted not in text:
        fail("%s: %r %s in %r" % (what, wanted, "not %s times" % count if count else "not",
                                 text[-600:]))


def now_ms():
    return time.monotonic_ns() / 1e6


def wait_for(ready, what, seconds=10):
    """What ready() returns once it is true, polled until a deadline."""
    deadline = time.monotonic() + seconds
    while True:
        found = ready()
        if found:
            return found
        if time.monotonic() > deadline:
            fail("%s did not come within %g s" % (what, seconds))
        time.sleep(0.01)


def stop_process(process, sig=signal.SIGTERM, seconds=10):
    if process.poll() is None:
        process.send_signal(sig)
    try:
        process.wait(timeout=seconds)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


class Krv:
    def __init__(self, args, env):
        self.process = started(subprocess.Popen(args, env=env, stdin=subprocess.PIPE,
                                                stdout=subprocess.PIPE, stderr=subprocess.PIPE))
        self.said = ""

    def type(self, *commands):
        """Writes commands; returns when, in ms on CLOCK_MONOTONIC."""
        sent = now_ms()
        self.process.stdin.write("".join(c + "\n" for c in commands).encode())
        self.process.stdin.flush()
        return sent

    def read_until(self, done, what, seconds):
        """What krv says until done(what it said) holds."""
        seen = b""
        deadline = time.monotonic() + seconds
        while not done(seen):
            if time.monotonic() > deadline:
                fail("not %s within %d s: %r" % (what, seconds, seen[-400:]))
            if select.select([self.process.stdout], [], [], 0.05)[0]:
                chunk = os.read(self.process.stdout.fileno(), 4096)
                if not chunk:
                    fail("krv ended after %r; its standard error:\n%s" % (
                        seen[-400:], self.process.communicate(timeout=10)[1].decode()))
                seen += chunk
        self.said += seen.decode()
        return seen.decode()

    def prompts(self, count=1, seconds=30):
        """What krv says until it has shown count more prompts and waits."""
        return self.read_until(lambda seen: len(PROMPT.findall(seen)) >= count and
                               seen.endswith(b"krv> "), "%d prompts" % count, seconds)

    def until(self, text, seconds=30):
        """What krv says until it has said text, which no prompt follows."""
        return self.read_until(lambda seen: text.encode() in seen, repr(text), seconds)

    def say(self, *commands):
        """krv's answers to commands typed one at a time at its prompt."""
        answer = ""
        for command in commands:
            self.type(command)
            answer += self.prompts()
        return answer

    def send_signal(self, sig):
        self.process.send_signal(sig)

    def end(self, text="quit\n", status=0, seconds=30):
        """What krv said after text, once it has ended with status; all of
        its standard error (a sanitizer's report) when not."""
        out, err = self.process.communicate(text.encode(), timeout=seconds)
        if status is not None and self.process.returncode != status:
            fail("krv exited with %d, not %d; its standard error:\n%s" % (
                self.process.returncode, status, err.decode()))
        self.said += out.decode()
        return out.decode()


def start_playing(start, commands=LONG_NOTES):
    """A krv from start() told commands and play, at its prompt after play."""
    krv = start()
    krv.type(*(list(commands) + ["play"]))
    krv.prompts(len(commands) + 2, 60)
    return krv


class Note:
    """A message heard: ms on CLOCK_MONOTONIC (and frame on JACK), where, what."""

    def __init__(self, ms, kind, channel, key, value=0, dest="", frame=0, delivered=True):
        self.ms, self.kind, self.channel, self.key, self.value = ms, kind, channel, key, value
        self.dest, self.frame, self.delivered = dest, frame, delivered

    def voice(self):
        return (self.dest, self.channel, self.key)

    def __repr__(self):
        return "%.2f %s %s ch%d %d %d%s" % (self.ms, self.dest, self.kind, self.channel + 1,
                                            self.key, self.value,
                                            "" if self.delivered else " refused")


def of_kind(notes, kind):
    return [n for n in notes if n.kind == kind and n.delivered]


def expect_paired(notes, what, overlap=1):
    """Per destination, channel and key, on, off, on, off...: at most
    overlap notes of a key at once, none left sounding. Returns the (on,
    off) pairs in the order of their note-ons."""
    sounding, pairs = {}, []
    for note in notes:
        if note.delivered and note.kind in ("on", "off"):
            held = sounding.setdefault(note.voice(), [])
            if note.kind == "on" and len(held) < overlap:
                held.append(len(pairs))
                pairs.append([note, None])
            elif note.kind == "off" and held:
                pairs[held.pop(0)][1] = note
            else:
                fail("%s: %r out of turn in\n%s" % (what, note, "\n".join(map(repr, notes))))
    if not pairs or any(off is None for _, off in pairs):
        fail("%s: notes left sounding, or none: %r" % (what, notes))
    return pairs


def expect_all_ended(notes, what):
    """The last note-on or note-off of every key is a note-off."""
    last = {n.voice(): n.kind for n in notes if n.delivered and n.kind in ("on", "off")}
    if not last or "on" in last.values():
        fail("%s: notes left sounding: %r" % (what, notes))


def expect_near(values, limit, what, median_limit=None):
    """Each value within limit of 0, and their median within median_limit."""
    worst = max(values, key=abs) if values else float("nan")
    median = sorted(values)[len(values) // 2] if values else 0
    print("%s: median %.2f, worst %.2f of %d" % (what, median, worst, len(values)))
    if not values or abs(worst) > limit or (
            median_limit is not None and abs(median) > median_limit):
        fail("%s stray: %s" % (what, " ".join("%d:%.2f" % (i, v) for i, v in enumerate(values)
                                              if abs(v) > (median_limit or limit))[:2000]))
