#!/usr/bin/env python3
"""signal_output.py KRV CASE

Runs krv (KRV_MIDI_HOST=none) with its standard input a pipe that stays
open and its standard output a small pipe, and signals it. CASE is one of:
  term-blocked  SIGTERM while a write blocks on output nobody reads: exit
                143 within 1 s
  hup-blocked   the same with SIGHUP: exit 129
  int-blocked   SIGINT while playing and a write blocks: playback stops at
                once, krv stays; once read, all its output comes and quit
                ends it with 0
  term-waiting  SIGTERM while krv waits for a line: exit 143 within 1 s
"""
import fcntl
import os
import select
import signal
import subprocess
import sys
import tempfile
import time

HELPS = 20
# help prints some 2.5 kB: these fill a one-page pipe many times over.
HELP_LAST_LINE = b"vunsolo/vu: vertical unsolo\n"


def fail(message):
    raise AssertionError(message)


def wait_for(condition, what, seconds=10):
    deadline = time.monotonic() + seconds
    while not condition():
        if time.monotonic() > deadline:
            fail(f"no {what} within {seconds} s")
        time.sleep(0.01)


class Krv:
    """krv with a pipe on each side; the test reads its output only when
    it chooses to."""

    def __init__(self, krv, folder):
        self.output, write_end = os.pipe()
        # One page: a couple of commands' output fills it.
        fcntl.fcntl(write_end, fcntl.F_SETPIPE_SZ, 4096)
        # A second write end of our own tells when the pipe is full.
        self.probe = os.dup(write_end)
        env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": folder,
               "KRV_MIDI_HOST": "none"}
        self.process = subprocess.Popen([krv], stdin=subprocess.PIPE, stdout=write_end,
                                        stderr=subprocess.DEVNULL, cwd=folder, env=env)
        os.close(write_end)

    def send(self, text):
        self.process.stdin.write(text.encode())
        self.process.stdin.flush()

    def threads(self):
        return set(os.listdir(f"/proc/{self.process.pid}/task"))

    def fill_output(self):
        """Sends more commands than the pipe takes the output of, and waits
        until krv sleeps with the pipe full: in a write that blocks."""
        self.send("help\n" * HELPS)
        wait_for(lambda: self.output_full() and self.sleeping(), "write blocked on a full pipe")

    def output_full(self):
        return not select.select([], [self.probe], [], 0)[1]

    def sleeping(self):
        with open(f"/proc/{self.process.pid}/stat") as stat:
            return stat.read().rsplit(")", 1)[1].split()[0] == "S"

    def read_until(self, ending, seconds=10):
        seen = b""
        while not seen.endswith(ending):
            if not select.select([self.output], [], [], seconds)[0]:
                fail(f"no {ending!r} within {seconds} s: {seen!r}")
            chunk = os.read(self.output, 4096)
            if not chunk:
                fail(f"krv ended before {ending!r}: {seen!r}")
            seen += chunk

    def signal_within(self, sig, status, seconds=1.0):
        self.process.send_signal(sig)
        try:
            got = self.process.wait(timeout=seconds)
        except subprocess.TimeoutExpired:
            fail(f"krv still running {seconds} s after {sig.name}")
        if got != status:
            fail(f"exit status {got} after {sig.name}, not {status}")

    def read_all(self):
        os.close(self.probe)
        chunks = []
        while chunk := os.read(self.output, 65536):
            chunks.append(chunk)
        return b"".join(chunks)

    def close(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        os.close(self.output)


def case_term_blocked(krv, folder, sig=signal.SIGTERM, status=143):
    console = Krv(krv, folder)
    try:
        console.fill_output()
        console.signal_within(sig, status)
    finally:
        console.close()


def case_hup_blocked(krv, folder):
    case_term_blocked(krv, folder, signal.SIGHUP, 129)


def case_int_blocked(krv, folder):
    console = Krv(krv, folder)
    try:
        idle = console.threads()
        console.send("play\n")
        # The playback clock is a thread of its own, started by the time the
        # next prompt comes. A sanitizer may start one of its own beside it
        # (the thread sanitizer does at the first thread) and keep it, so
        # what is new before that prompt need not be the clock yet.
        console.read_until(b"2 krv> ")
        started = console.threads() - idle
        if not started:
            fail("no playback thread")
        console.fill_output()
        console.process.send_signal(signal.SIGINT)
        wait_for(lambda: started - console.threads(), "end of playback after SIGINT", 1)
        if console.process.poll() is not None:
            fail(f"krv ended on SIGINT with {console.process.returncode}")
        console.send("quit\n")
        output = console.read_all()
        status = console.process.wait(timeout=10)
        if status != 0:
            fail(f"exit status {status} after quit")
        helps = output.count(HELP_LAST_LINE)
        if helps != HELPS:
            fail(f"{helps} of {HELPS} help texts arrived")
    finally:
        console.close()


def case_term_waiting(krv, folder):
    console = Krv(krv, folder)
    try:
        console.send("version\n")
        console.read_until(b"2 krv> ")
        console.signal_within(signal.SIGTERM, 143)
    finally:
        console.close()


CASES = {"term-blocked": case_term_blocked, "hup-blocked": case_hup_blocked,
         "int-blocked": case_int_blocked, "term-waiting": case_term_waiting}


def main():
    if len(sys.argv) != 3 or sys.argv[2] not in CASES:
        sys.exit(__doc__)
    with tempfile.TemporaryDirectory() as folder:
        CASES[sys.argv[2]](os.path.abspath(sys.argv[1]), folder)
    print(f"PASS: {sys.argv[2]}")


if __name__ == "__main__":
    main()
