#!/usr/bin/env python3
"""killed_save.py KRV

A save killed with SIGKILL at any moment leaves the old file or the new one,
whole, and nothing else in the folder. Twenty saves of a large sequence are
killed: every other one while the save is held in the middle of writing
(krv's progress lines fill a small pipe that is not read), the others after
a random delay that spans the whole save, its flush and rename included.
Prints how many ended with the old file and how many with the new one.
"""
import fcntl
import os
import random
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import termios
import threading
import time

F_SETPIPE_SZ = 1031
TRACKS = 1024
ROUNDS = 20


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


def start(krv, folder):
    return subprocess.Popen([krv], cwd=folder, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL, env=dict(os.environ, KRV_MIDI_HOST="none"))


def send(process, text):
    process.stdin.write(text.encode())
    process.stdin.flush()


def wait_for(process, marker):
    """Reads krv's output until a line holds the marker."""
    seen = b""
    while marker not in seen:
        piece = os.read(process.stdout.fileno(), 65536)
        if not piece:
            fail("krv ended before saying " + repr(marker))
        seen = seen[-len(marker):] + piece


def held(process):
    """Whether krv sleeps with its first lines of the save unread: it waits
    for room in the pipe, its save stopped part way."""
    queued = fcntl.ioctl(process.stdout.fileno(), termios.FIONREAD, b"\0" * 4)
    with open("/proc/%d/stat" % process.pid) as stat:
        asleep = stat.read().rsplit(")", 1)[1].split()[0] == "S"
    return struct.unpack("i", queued)[0] > 0 and asleep


def drain(process):
    while os.read(process.stdout.fileno(), 65536):
        pass


def build(note):
    """Commands that make a large sequence, every note set to the given one."""
    lines = ["setscale 4 64"] + ["newtrack"] * TRACKS
    lines += ["selectall", "setnote %d" % note, "mute", "hsolo", "clear", "version"]
    return "\n".join(lines) + "\n"


def main():
    krv = os.path.realpath(sys.argv[1])
    work = tempfile.mkdtemp()
    try:
        target_folder = os.path.join(work, "target")
        os.mkdir(target_folder)
        target = os.path.join(target_folder, "song.krv")
        reference = os.path.join(work, "reference.krv")
        endings = {"old": 0, "new": 0}
        rng = random.Random(17)
        save_seconds = 0.05
        for round_number in range(ROUNDS):
            process = start(krv, work)
            send(process, build(round_number))
            wait_for(process, b"KRVShell built")
            # What this round's save would write, in full.
            if os.path.exists(reference):
                os.remove(reference)
            begun = time.monotonic()
            send(process, "save reference.krv\nversion\n")
            wait_for(process, b"KRVShell built")
            save_seconds = max(save_seconds, time.monotonic() - begun)
            with open(reference, "rb") as file:
                new = file.read()
            old = None
            if os.path.exists(target):
                with open(target, "rb") as file:
                    old = file.read()
            answer = "y\n" if old is not None else ""
            if round_number % 2 == 0:
                # Held mid-write: the progress lines stop on a full pipe.
                fcntl.fcntl(process.stdout.fileno(), F_SETPIPE_SZ, 4096)
                send(process, "save target/song.krv\n" + answer)
                deadline = time.monotonic() + 10
                while not held(process):
                    if time.monotonic() > deadline:
                        fail("round %d: the save never filled the pipe" % round_number)
                    time.sleep(0.01)
            else:
                reader = threading.Thread(target=drain, args=(process,), daemon=True)
                reader.start()
                send(process, "save target/song.krv\n" + answer)
                time.sleep(rng.uniform(0.0, save_seconds * 1.5))
            process.send_signal(signal.SIGKILL)
            process.wait()
            left = sorted(os.listdir(target_folder))
            if old is None and left == []:
                endings["old"] += 1
                continue
            if left != ["song.krv"]:
                fail("round %d left %s in the folder" % (round_number, left))
            with open(target, "rb") as file:
                now = file.read()
            if now == new:
                endings["new"] += 1
            elif now == old:
                endings["old"] += 1
            else:
                fail("round %d left a file that is neither the old nor the new one (%d bytes)"
                     % (round_number, len(now)))
        print("killed saves: %d left the old file, %d the new one, none anything else"
              % (endings["old"], endings["new"]))
        if endings["old"] < ROUNDS // 2:
            fail("the saves held mid-write should all have left the old file")
    finally:
        shutil.rmtree(work)


main()
