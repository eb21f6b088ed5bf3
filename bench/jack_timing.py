#!/usr/bin/python3
"""Timing benchmark: how close krv's notes land to the ideal grid on JACK.

For each JACK period and tempo it starts a JACK server with the dummy driver,
plays a 16-track pattern (every track a note on every step) through krv and,
in the same run, the same grid through jack_midiseq (which places notes at
exact frames) as the reference. Both are recorded by jack_midi_dump -a, a
client that is not krv's code. A busy loop keeps the other core loaded.

It prints, for krv and for the reference, the onset error of every note
against the ideal grid (median, 99th percentile and maximum of the absolute
error, in microseconds) and krv's CPU use while playing.

    bench/jack_timing.py build/krv [seconds] [periods] [tempos]
    bench/jack_timing.py build/krv 30 64,256,1024 120,300
"""
import os
import re
import signal
import statistics
import subprocess
import sys
import tempfile
import time

RATE = 48000
TRACKS = 16
STEPS = 16


class Server:
    def __init__(self, period):
        self.name = "krv-bench-%d-%d" % (os.getpid(), period)
        self.env = dict(os.environ, JACK_DEFAULT_SERVER=self.name, KRV_MIDI_HOST="jack")
        self.period = period
        self.processes = []

    def __enter__(self):
        self.jackd = subprocess.Popen(
            ["jackd", "-n", self.name, "-d", "dummy", "-r", str(RATE), "-p", str(self.period)],
            env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.wait_for("system:")
        return self

    def __exit__(self, *args):
        for process in reversed(self.processes):
            if process.poll() is None:
                process.kill()
            process.wait()
        self.jackd.send_signal(signal.SIGTERM)
        self.jackd.wait()

    def ports(self):
        return subprocess.run(["jack_lsp"], env=self.env, capture_output=True, text=True).stdout

    def wait_for(self, port):
        deadline = time.time() + 10
        while port not in self.ports():
            if time.time() > deadline:
                sys.exit("benchmark: %s did not appear" % port)
            time.sleep(0.1)

    def start(self, args, **kwargs):
        process = subprocess.Popen(args, env=self.env, **kwargs)
        self.processes.append(process)
        return process

    def recorder(self, name, path):
        self.start(["jack_midi_dump", "-a", name], stdout=open(path, "w"),
                   stderr=subprocess.DEVNULL)
        self.wait_for(name + ":input")


def krv_pattern(bpm):
    lines = ["bpm %d" % bpm, "setscale 1 %d" % STEPS]
    for track in range(1, TRACKS + 1):
        lines += ["newtrack", "selt %d" % track, "setnote %d" % (48 + track),
                  "setvelocity 100", "clear"]
    return "".join(line + "\n" for line in lines + ["play"])


def onsets(path):
    frames = []
    for line in open(path):
        match = re.match(r"\s*(\d+): 9[0-9a-f] ", line)
        if match:
            frames.append(int(match.group(1)))
    return frames


def onset_errors_us(frames, step_frames, fit_rate=False):
    """Absolute error of each onset against the ideal grid: steps of exactly
    step_frames, placed where they fit the onsets best. With fit_rate the
    grid's step length is fitted too, which takes out the difference between
    the audio clock's rate and the system clock's (krv keeps time by the
    system clock; jack_midiseq counts frames) and leaves the jitter."""
    if not frames:
        return []
    first = frames[0]
    steps = [round((f - first) / step_frames) for f in frames]
    if fit_rate and len(set(steps)) > 1:
        mean_step, mean_frame = statistics.mean(steps), statistics.mean(frames)
        covariance = sum((k - mean_step) * (f - mean_frame) for k, f in zip(steps, frames))
        step_frames = covariance / sum((k - mean_step) ** 2 for k in steps)
    offsets = [(f - first) - k * step_frames for f, k in zip(frames, steps)]
    anchor = statistics.median(offsets)
    return [abs(o - anchor) * 1e6 / RATE for o in offsets]


def cpu_seconds(pid):
    fields = open("/proc/%d/stat" % pid).read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def summary(errors):
    if not errors:
        return "no notes recorded"
    ordered = sorted(errors)
    p99 = ordered[min(len(ordered) - 1, int(len(ordered) * 0.99))]
    return "notes %6d  median %8.1f us  p99 %8.1f us  max %8.1f us" % (
        len(ordered), statistics.median(ordered), p99, ordered[-1])


def run(krv, period, bpm, seconds, work):
    step_frames = RATE * 60 / bpm / 4  # a sixteenth note
    with Server(period) as server:
        krv_dump = os.path.join(work, "krv-%d-%d.txt" % (period, bpm))
        ref_dump = os.path.join(work, "ref-%d-%d.txt" % (period, bpm))
        server.recorder("krv-recorder", krv_dump)
        player = server.start([krv], stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, text=True)
        player.stdin.write(krv_pattern(bpm))
        player.stdin.flush()
        server.recorder("reference-recorder", ref_dump)
        loop = int(step_frames * STEPS)
        notes = []
        for step in range(STEPS):
            notes += [str(int(step * step_frames)), str(60 + step), str(int(step_frames / 2))]
        server.start(["jack_midiseq", "reference", str(loop)] + notes,
                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        server.wait_for("reference:out")
        subprocess.run(["jack_connect", "reference:out", "reference-recorder:input"],
                       env=server.env, check=True)
        burner = server.start([sys.executable, "-c", "while True: pass"])
        time.sleep(1)
        cpu_before, wall_before = cpu_seconds(player.pid), time.time()
        time.sleep(seconds)
        cpu = (cpu_seconds(player.pid) - cpu_before) / (time.time() - wall_before)
        player.stdin.write("stop\nquit\n")
        player.stdin.close()
        player.wait(timeout=30)
        burner.kill()
        time.sleep(0.5)
    krv_onsets, ref_onsets = onsets(krv_dump), onsets(ref_dump)
    print("period %4d frames, %3d bpm" % (period, bpm))
    print("  krv, nominal grid   " + summary(onset_errors_us(krv_onsets, step_frames)) +
          "  cpu %.1f %%" % (cpu * 100))
    print("  krv, fitted rate    " + summary(onset_errors_us(krv_onsets, step_frames, True)))
    print("  reference           " + summary(onset_errors_us(ref_onsets, step_frames)))
    sys.stdout.flush()


def main():
    krv = os.path.abspath(sys.argv[1])
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 30
    periods = [int(p) for p in (sys.argv[3] if len(sys.argv) > 3 else "64,256,1024").split(",")]
    tempos = [int(t) for t in (sys.argv[4] if len(sys.argv) > 4 else "120,300").split(",")]
    print("one frame at %d Hz is %.1f us; %d tracks, %d steps a bar, %g s a run, other core busy"
          % (RATE, 1e6 / RATE, TRACKS, STEPS, seconds))
    # KRV_BENCH_KEEP=folder keeps the recordings there.
    keep = os.environ.get("KRV_BENCH_KEEP")
    with tempfile.TemporaryDirectory() as scratch:
        work = keep or scratch
        for period in periods:
            for bpm in tempos:
                run(krv, period, bpm, seconds, work)


if __name__ == "__main__":
    main()
