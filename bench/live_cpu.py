#!/usr/bin/python3
"""Live view benchmark: krv's CPU (user + system, all threads) while it
plays on the built-in MIDI host, at the prompt and in the live view, and in
the view while stopped, for sequences of 16 and 1024 tracks of 16 steps.

krv runs at an 80x24 pseudo-terminal whose output this script reads as a
terminal would. Each figure is the CPU time over SECONDS of wall time, as a
percentage of one core.

    bench/live_cpu.py build/krv [seconds] [tracks,...]
    bench/live_cpu.py build/krv 5 16,1024
"""
import fcntl
import os
import pty
import select
import struct
import sys
import tempfile
import termios
import time


def drain(fd, seconds, until=None):
    """Reads what krv writes for seconds, or until the bytes until come."""
    seen, deadline = b"", time.monotonic() + seconds
    while time.monotonic() < deadline:
        if select.select([fd], [], [], max(deadline - time.monotonic(), 0))[0]:
            try:
                seen += os.read(fd, 65536)
            except OSError:  # krv has gone
                break
            if until is not None and until in seen:
                return
    if until is not None:
        sys.exit(f"live_cpu: no {until!r} from krv")


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def measure(fd, pid, seconds):
    before = cpu_seconds(pid)
    drain(fd, seconds)
    return 100 * (cpu_seconds(pid) - before) / seconds


def run(krv, tracks, seconds, folder):
    script = os.path.join(folder, f"{tracks}.krv")
    with open(script, "w") as file:
        file.write("newtrack\n" * tracks + "bpm 240\n")
    pid, fd = pty.fork()
    if pid == 0:
        os.execve(krv, [krv, script], {"PATH": "/usr/bin:/bin", "TERM": "xterm",
                                       "KRV_MIDI_HOST": "none", "HOME": folder})
    fcntl.ioctl(fd, termios.TIOCSWINSZ, struct.pack("HHHH", 24, 80, 0, 0))
    drain(fd, 60, b"krv> ")
    os.write(fd, b"play\r")
    drain(fd, 10, b"krv> ")
    figures = [measure(fd, pid, seconds)]
    os.write(fd, b"live\r")
    drain(fd, 10, b"\x1b[?1049h")
    figures.append(measure(fd, pid, seconds))
    os.write(fd, b" ")
    figures.append(measure(fd, pid, seconds))
    os.write(fd, b"q")
    drain(fd, 10, b"krv> ")
    os.write(fd, b"quit\ry\r")
    drain(fd, 2)
    os.waitpid(pid, 0)
    os.close(fd)
    return figures


def main():
    krv = os.path.realpath(sys.argv[1])
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 5
    sizes = [int(n) for n in (sys.argv[3] if len(sys.argv) > 3 else "16,1024").split(",")]
    print(f"CPU % of one core over {seconds:g} s, playing 16 steps at 240 bpm")
    print(f"{'tracks':>7} {'prompt, playing':>16} {'live, playing':>14} {'live, stopped':>14}",
          flush=True)
    with tempfile.TemporaryDirectory() as folder:
        for tracks in sizes:
            figures = run(krv, tracks, seconds, folder)
            print(f"{tracks:>7} " + " ".join(f"{f:>{w}.1f}" for f, w in zip(figures, (16, 14, 14))),
                  flush=True)


if __name__ == "__main__":
    main()
