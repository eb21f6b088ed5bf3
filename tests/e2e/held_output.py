#!/usr/bin/env python3
"""krv (KRV_MIDI_HOST=none) whose output is a small pipe read only when the
case chooses: signals act at once while a write blocks, and a save killed at
any moment leaves the old file or the new one, whole, and nothing else.

    held_output.py KRV CASE
"""
import fcntl
import os
import random
import select
import signal
import subprocess
import sys
import tempfile
import threading
import time

from krv_e2e import fail, started, stop_started, wait_for

HELPS = 20
# help prints some 2.5 kB: these fill a one-page pipe many times over.
HELP_LAST_LINE = b"vunsolo/vu: vertical unsolo\n"
TRACKS, ROUNDS = 1024, 20


class Held:
    """krv with a pipe on each side, its output one page."""

    def __init__(self, folder):
        self.output, write_end = os.pipe()
        fcntl.fcntl(write_end, fcntl.F_SETPIPE_SZ, 4096)
        # A second write end of our own tells when the pipe is full.
        self.probe = os.dup(write_end)
        env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": folder,
               "KRV_MIDI_HOST": "none"}
        self.process = started(subprocess.Popen([KRV], stdin=subprocess.PIPE, stdout=write_end,
                                                stderr=subprocess.DEVNULL, cwd=folder, env=env))
        os.close(write_end)

    def send(self, text):
        self.process.stdin.write(text.encode())
        self.process.stdin.flush()

    def threads(self):
        return set(os.listdir("/proc/%d/task" % self.process.pid))

    def blocked(self):
        """krv sleeps with the pipe full: in a write that blocks."""
        with open("/proc/%d/stat" % self.process.pid) as stat:
            asleep = stat.read().rsplit(")", 1)[1].split()[0] == "S"
        return asleep and not select.select([], [self.probe], [], 0)[1]

    def fill_output(self):
        self.send("help\n" * HELPS)
        wait_for(self.blocked, "a write blocked on a full pipe")

    def read_until(self, ending, seconds=10):
        seen = b""
        while ending not in seen:
            if not select.select([self.output], [], [], seconds)[0]:
                fail("no %r within %d s: %r" % (ending, seconds, seen[-300:]))
            chunk = os.read(self.output, 65536)
            if not chunk:
                fail("krv ended before %r: %r" % (ending, seen[-300:]))
            seen = seen[-len(ending):] + chunk

    def signal_within(self, sig, status, seconds=1.0):
        self.process.send_signal(sig)
        try:
            got = self.process.wait(timeout=seconds)
        except subprocess.TimeoutExpired:
            fail("krv still running %g s after %s" % (seconds, sig.name))
        if got != status:
            fail("exit status %d after %s, not %d" % (got, sig.name, status))

    def read_all(self):
        os.close(self.probe)
        self.probe = None
        chunks = []
        while chunk := os.read(self.output, 65536):
            chunks.append(chunk)
        return b"".join(chunks)

    def close(self):
        for fd in (self.output, self.probe):
            if fd is not None:
                os.close(fd)


# SIGHUP is taken as SIGTERM is, by the same handler (SignalsTest).
def case_term_blocked(folder):
    krv = Held(folder)
    krv.fill_output()
    krv.signal_within(signal.SIGTERM, 143)


def case_term_waiting(folder):
    krv = Held(folder)
    krv.send("version\n")
    krv.read_until(b"2 krv> ")
    krv.signal_within(signal.SIGTERM, 143)


def case_int_blocked(folder):
    """SIGINT while playing and a write blocks: playback stops at once, krv
    stays, and once read all its output comes."""
    krv = Held(folder)
    idle = krv.threads()
    krv.send("play\n")
    # The clock is a thread started by the next prompt. A sanitizer may
    # start one of its own beside it and keep it: what is new need not end.
    krv.read_until(b"2 krv> ")
    started = krv.threads() - idle
    if not started:
        fail("no playback thread")
    krv.fill_output()
    krv.process.send_signal(signal.SIGINT)
    wait_for(lambda: started - krv.threads(), "the end of playback after SIGINT", 1)
    if krv.process.poll() is not None:
        fail("krv ended on SIGINT with %d" % krv.process.returncode)
    krv.send("quit\n")
    helps = krv.read_all().count(HELP_LAST_LINE)
    if krv.process.wait(timeout=10) != 0 or helps != HELPS:
        fail("%d of %d help texts, exit status %d" % (helps, HELPS, krv.process.returncode))


def case_killed_save(folder):
    """Twenty saves of a large sequence killed: every other one held in the
    middle of writing (its progress lines fill the pipe), the others after a
    random delay that spans the whole save, its flush and rename included."""
    os.mkdir(os.path.join(folder, "target"))
    target, reference = (os.path.join(folder, name) for name in ("target/song.krv", "ref.krv"))
    endings, rng, save_seconds = {"old": 0, "new": 0}, random.Random(17), 0.05
    for round_number in range(ROUNDS):
        krv = Held(folder)
        krv.send("\n".join(["setscale 4 64"] + ["newtrack"] * TRACKS + [
            "selectall", "setnote %d" % round_number, "mute", "hsolo", "clear", "version", ""]))
        krv.read_until(b"KRVShell built")
        # What this round's save would write, in full.
        begun = time.monotonic()
        krv.send("save ref.krv\nversion\n")
        krv.read_until(b"KRVShell built")
        save_seconds = max(save_seconds, time.monotonic() - begun)
        new = open(reference, "rb").read()
        os.remove(reference)
        old = open(target, "rb").read() if os.path.exists(target) else None
        krv.send("save target/song.krv\n" + ("y\n" if old is not None else ""))
        reader = threading.Thread(target=krv.read_all, daemon=True)
        if round_number % 2 == 0:
            wait_for(krv.blocked, "round %d: the save filling the pipe" % round_number)
        else:
            reader.start()
            time.sleep(rng.uniform(0.0, save_seconds * 1.5))
        krv.process.send_signal(signal.SIGKILL)
        krv.process.wait()
        if reader.is_alive():
            reader.join()
        krv.close()
        left = sorted(os.listdir(os.path.dirname(target)))
        now = open(target, "rb").read() if left == ["song.krv"] else None
        if left not in ([], ["song.krv"]) or (old is not None and now is None) or \
                now not in (old, new):
            fail("round %d left %s, neither the old file nor the new one" % (round_number, left))
        endings["new" if now == new else "old"] += 1
    print("killed saves: %d left the old file, %d the new one" % (endings["old"], endings["new"]))
    if endings["old"] < ROUNDS // 2:
        fail("the saves held mid-write should all have left the old file")


if __name__ == "__main__":
    KRV = os.path.realpath(sys.argv[1])
    with tempfile.TemporaryDirectory() as scratch:
        try:
            globals()["case_" + sys.argv[2].replace("-", "_")](scratch)
        finally:
            stop_started()
    print("PASS: " + sys.argv[2])
