#!/usr/bin/python3
"""Size benchmark: how long krv's commands over the whole sequence take as
the sequence grows, on the built-in MIDI host (no sound hardware, no
server).

For each size (tracks x steps) it starts one krv with KRV_MIDI_HOST=none,
its standard input a pipe, and loads a sequence of that size (a
script in the form `save` writes, every event a different note, channel,
gate and velocity, some muted, a few soloed, a scattered selection). Then
it times, RUNS times each, from writing the command line to reading the
prompt that follows its output (all of which is read):

    save        to a file that is not there yet (no overwrite question)
    load        of what save wrote
    read        of the same, into an empty sequence (deletesequence first,
                not timed)
    display
    exportsmf   to a file that is not there yet
    importsmf   of what exportsmf wrote, into an empty sequence
    importsmf timed  the same, notes placed by their times

and prints the median of each, in milliseconds, as two tables: wall clock,
then krv's CPU time beside it. The load / save ratio that matters is the
CPU one (krv's own work, whatever else the machine runs); the wall clock
ratio, which also counts save's fsyncs and the machine's other load, is
printed for reference. Where mido can
be imported, the time it takes to read (mido.MidiFile) and to write
(MidiFile.save) the same MIDI file is timed in this script and printed
beside the MIDI file commands.

    bench/scale.py [--pipe] build/krv [runs] [sizes]
    bench/scale.py build/krv 7 256x16,1024x16,256x64,1024x64

Without --pipe krv's output goes to a file (in /dev/shm where there is
one, so that no disk write-back is timed), which this script reads as it
grows (polling every 20 microseconds); with --pipe it goes to a pipe, which
this script reads at once, as a terminal would: every write(2) of krv then
wakes the reader, which the file hides. What save and exportsmf write goes
to a folder under the system's temporary folder, as a user's files would.
"""
import os
import random
import select
import statistics
import subprocess
import sys
import tempfile
import time

try:
    import mido
except ImportError:
    mido = None

DEFAULT_SIZES = "256x16,1024x16,256x64,1024x64"


class Krv:
    """One krv at its prompt, its standard input a pipe; run times one
    command. Its standard output goes to a file (as the issue's figures were
    taken), or with inPipe to a pipe that this script reads as fast as it
    can, as a terminal would."""

    def __init__(self, krv, work, pipe):
        env = dict(os.environ, KRV_MIDI_HOST="none")
        self.pipe = pipe
        if pipe:
            out = subprocess.PIPE
        else:
            # In memory where there is a tmpfs: krv's messages go to a
            # terminal in use, and a file on disk would add the disk's
            # write-back (shared with whatever else runs) to the figures.
            self.output = tempfile.NamedTemporaryFile(
                prefix="krv-scale-", suffix=".out",
                dir="/dev/shm" if os.path.isdir("/dev/shm") else work)
            out = open(self.output.name, "wb")
            self.reader = open(self.output.name, "rb")
        self.process = subprocess.Popen([krv], cwd=work, env=env, stdin=subprocess.PIPE,
                                        stdout=out, stderr=subprocess.DEVNULL)
        if not pipe:
            out.close()
        self.number = 1
        self.read_to_prompt()

    def read_piece(self):
        """What krv wrote since the last call; waits for something."""
        if self.pipe:
            descriptor = self.process.stdout.fileno()
            select.select([descriptor], [], [])
            piece = os.read(descriptor, 1 << 20)
            if not piece:
                raise RuntimeError("krv ended before its prompt")
            return piece
        while True:
            piece = self.reader.read()
            if piece:
                return piece
            if self.process.poll() is not None:
                raise RuntimeError("krv ended before its prompt")
            time.sleep(0.00002)

    def read_to_prompt(self):
        """Reads output up to the numbered prompt that comes next."""
        prompt = b"%d krv> " % self.number
        tail = b""
        while not tail.endswith(prompt):
            tail = (tail + self.read_piece())[-64:]

    def cpu_seconds(self):
        """CPU time krv's threads have had so far, in nanoseconds' detail
        (/proc's utime and stime count in hundredths of a second)."""
        total = 0
        folder = "/proc/%d/task" % self.process.pid
        for thread in os.listdir(folder):
            try:
                with open(os.path.join(folder, thread, "schedstat")) as stat:
                    total += int(stat.read().split()[0])
            except OSError:
                pass  # a thread that ended meanwhile
        return total / 1e9

    def run(self, line):
        """Seconds from sending the line to its next prompt, and the CPU
        seconds krv took meanwhile."""
        cpu = self.cpu_seconds()
        start = time.perf_counter()
        os.write(self.process.stdin.fileno(), (line + "\n").encode())
        self.number += 1
        self.read_to_prompt()
        return time.perf_counter() - start, self.cpu_seconds() - cpu

    def quit(self):
        self.process.stdin.write(b"quit\n")
        self.process.stdin.close()
        self.process.wait(timeout=60)
        if not self.pipe:
            self.reader.close()
            self.output.close()


def sequence_script(tracks, steps):
    """A script in the form `save` writes: scale, tempo, every event of
    every track, then a selection."""
    rng = random.Random(tracks * 1000 + steps)
    bars = max(1, steps // 16)
    lines = ["setscale %d %d" % (bars, steps), "setloop %d" % (steps + 1), "bpm 120.000000"]
    for track in range(1, tracks + 1):
        lines.append("newtrack %d" % track)
        if track % 17 == 0:
            lines.append("mutetrack %d" % track)
        for step in range(1, steps + 1):
            lines += ["selectevent %d %d" % (track, step),
                      "setnote %d" % rng.randrange(24, 100),
                      "setchannel %d" % rng.randrange(1, 17),
                      "setport 0",
                      "setgatetime %d" % rng.randrange(10, 91),
                      "setvelocity %d" % rng.randrange(1, 128)]
            if rng.random() < 0.1:
                lines.append("mute")
            if rng.random() < 0.02:
                lines.append("hsolo")
            lines.append("clear")
    for track in range(1, tracks + 1, 7):
        for step in range(1, steps + 1, 5):
            lines.append("selectevent %d %d" % (track, step))
    return "".join(line + "\n" for line in lines)


def timed(runs, action, before=None):
    """Medians of the (wall, CPU) seconds action gives over runs (CPU None
    where it gives none), before() untimed ahead of each."""
    walls, cpus = [], []
    for _ in range(runs):
        if before:
            before()
        wall, cpu = action()
        walls.append(wall)
        cpus.append(cpu)
    return statistics.median(walls), None if None in cpus else statistics.median(cpus)


def remove(path):
    if os.path.exists(path):
        os.unlink(path)


def measure(krv, tracks, steps, runs, pipe):
    with tempfile.TemporaryDirectory(prefix="krv-scale-") as work:
        source = os.path.join(work, "source.krv")
        with open(source, "w") as script:
            script.write(sequence_script(tracks, steps))
        player = Krv(krv, work, pipe)
        player.run("load source.krv")
        times = {}
        times["save"] = timed(runs, lambda: player.run("save saved.krv"),
                              lambda: remove(os.path.join(work, "saved.krv")))
        times["load"] = timed(runs, lambda: player.run("load saved.krv"))
        times["read"] = timed(runs, lambda: player.run("read saved.krv"),
                              lambda: player.run("deletesequence"))
        times["display"] = timed(runs, lambda: player.run("display"))
        times["exportsmf"] = timed(runs, lambda: player.run("exportsmf saved.mid"),
                                   lambda: remove(os.path.join(work, "saved.mid")))
        times["importsmf"] = timed(runs, lambda: player.run("importsmf saved.mid"),
                                   lambda: player.run("deletesequence"))
        times["importsmf timed"] = timed(runs, lambda: player.run("importsmf saved.mid timed"),
                                         lambda: player.run("deletesequence"))
        player.quit()
        if mido is not None:
            midi = os.path.join(work, "saved.mid")
            copy = os.path.join(work, "mido.mid")

            def mido_read():
                start = time.perf_counter()
                mido.MidiFile(midi)
                return time.perf_counter() - start, None

            loaded = mido.MidiFile(midi)

            def mido_write():
                remove(copy)
                start = time.perf_counter()
                loaded.save(copy)
                return time.perf_counter() - start, None

            times["mido write"] = timed(runs, mido_write)
            times["mido read"] = timed(runs, mido_read)
        return times


def ms(seconds):
    value = seconds * 1000.0
    return "%.2f" % value if value < 10 else "%.1f" % value if value < 100 else "%.0f" % value


def main():
    arguments = [a for a in sys.argv[1:] if a != "--pipe"]
    pipe = len(arguments) != len(sys.argv) - 1
    if not arguments:
        print(__doc__)
        sys.exit(2)
    krv = os.path.abspath(arguments[0])
    runs = int(arguments[1]) if len(arguments) > 1 else 7
    sizes = [tuple(int(n) for n in size.split("x"))
             for size in (arguments[2] if len(arguments) > 2 else DEFAULT_SIZES).split(",")]
    results = []
    for tracks, steps in sizes:
        results.append(measure(krv, tracks, steps, runs, pipe))
        sys.stderr.write("measured %dx%d\n" % (tracks, steps))
    print("krv %s, built-in host, output to a %s, median of %d runs%s" %
          (krv, "pipe" if pipe else "file", runs,
           "" if mido else " (mido not importable: no mido row)"))
    for title, column in (("wall clock, from the command to its prompt", 0),
                          ("CPU time of krv (all threads, /proc/PID/task/*/schedstat)", 1)):
        print()
        print(title + ":")
        print()
        print("| command, ms | " + " | ".join("%d×%d" % size for size in sizes) + " |")
        print("|---|" + "---|" * len(sizes))
        for row in ("save", "load", "read", "display"):
            print("| %s | " % row + " | ".join(ms(r[row][column]) for r in results) + " |")
        print("| exportsmf / importsmf | " +
              " | ".join("%s / %s" % (ms(r["exportsmf"][column]), ms(r["importsmf"][column]))
                         for r in results) + " |")
        print("| importsmf timed | " + " | ".join(ms(r["importsmf timed"][column]) for r in results) +
              " |")
        if mido is not None and column == 0:
            print("| mido write / read (same files) | " +
                  " | ".join("%s / %s" % (ms(r["mido write"][0]), ms(r["mido read"][0]))
                             for r in results) + " |")
        print()
        # The wall ratio includes save's two fsyncs; the CPU ratio is krv's own work.
        print("load / save, %s: " %
              ("wall clock (for reference)" if column == 0 else "CPU (the figure compared)") +
              ", ".join("%d×%d %.2f" % (size + (r["load"][column] / r["save"][column],))
                        for size, r in zip(sizes, results)))


if __name__ == "__main__":
    main()
