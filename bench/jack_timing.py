#!/usr/bin/python3
"""Timing benchmark: how close krv's notes land to the ideal grid on JACK,
side by side with jack_midiseq, and how long `play` and `stop` take to be
heard.

For each period it starts a JACK server with the dummy driver (named
"krv-test", as in the end-to-end tests, unless --server-name says
otherwise), or PipeWire with its JACK library, plays a 16-track pattern
(every track a note on every step) through krv and, in the same run, the
same grid through jack_midiseq, which places notes at exact frames. Both are
recorded by our recorder client (tests/jack/krv_jack_recorder.cpp). A busy
loop keeps the other core loaded.

It prints, for krv and for jack_midiseq, the onset error of every note
against the ideal grid fitted to its onsets (median, 99th percentile and
maximum of the absolute error, in microseconds); the CPU use of krv (the
scheduler's run time of all its threads, /proc/PID/task/*/schedstat) beside
jack_midiseq's, first with krv idle at its prompt (the pattern loaded, not
playing) and then playing; and the latency from `play` to the first note-on
and from `stop` to the last note-off, measured on JACK's clock.

    bench/jack_timing.py [--server-name NAME] build/krv build/tests/krv_jack_recorder \\
        [seconds] [periods] [tempos] [latency runs] [servers]
    bench/jack_timing.py build/krv build/tests/krv_jack_recorder 30 256,512,1024 120,137,300 5 \
        jack,pipewire

TEMPOS default to 120 and 137 bpm: at 120 (and 300) every tick is a whole
number of frames at 48 kHz; at 137 a sixteenth is 5255.47 frames, so the
placement has to round, and the onset errors show by how much.

SERVERS is "jack" (the default), "pipewire" (PipeWire's JACK, the period
forced as its quantum) or both. --server-name names the jackd started (the
default is the tests' "krv-test"; another name lets the benchmark run
beside the tests); PipeWire's server has no such name.
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import jack_e2e  # noqa: E402  (the servers and the recorder of the end-to-end tests)

RATE = jack_e2e.RATE
TRACKS = 16
STEPS = 16


def krv_pattern(bpm):
    """The pattern, loaded and not yet playing."""
    lines = ["bpm %d" % bpm, "setscale 1 %d" % STEPS]
    for track in range(1, TRACKS + 1):
        lines += ["newtrack", "selt %d" % track, "setnote %d" % (48 + track),
                  "setvelocity 100", "clear"]
    return jack_e2e.lines(lines)


def onset_errors_us(frames, step_frames):
    """Absolute error of each onset against the grid of steps that fits the
    onsets best (offset and step length), in microseconds."""
    if len(frames) < 2:
        return []
    first = frames[0]
    steps = [round((f - first) / step_frames) for f in frames]
    mean_step, mean_frame = statistics.mean(steps), statistics.mean(frames)
    covariance = sum((k - mean_step) * (f - mean_frame) for k, f in zip(steps, frames))
    step_frames = covariance / sum((k - mean_step) ** 2 for k in steps)
    offsets = [(f - first) - k * step_frames for f, k in zip(frames, steps)]
    anchor = statistics.median(offsets)
    return [abs(o - anchor) * 1e6 / RATE for o in offsets]


def cpu_seconds(pid):
    """Time on a CPU of all the process's threads, in seconds, from the
    scheduler's own account (/proc/PID/task/TID/schedstat, nanoseconds).
    utime and stime count whole clock ticks: over a 10 s run one tick is
    0.1 point of a core, the size of the differences to be shown."""
    total = 0
    for task in os.listdir("/proc/%d/task" % pid):
        try:
            with open("/proc/%d/task/%s/schedstat" % (pid, task)) as schedstat:
                total += int(schedstat.read().split()[0])
        except FileNotFoundError:
            pass  # a thread that ended meanwhile
    return total / 1e9


def cpu_shares(processes, seconds):
    """The share of a core each process used over the next seconds."""
    before = [cpu_seconds(p.pid) for p in processes]
    wall_before = time.time()
    time.sleep(seconds)
    wall = time.time() - wall_before
    return [(cpu_seconds(p.pid) - b) / wall for p, b in zip(processes, before)]


def summary(errors):
    if not errors:
        return "no notes recorded"
    ordered = sorted(errors)
    p99 = ordered[min(len(ordered) - 1, int(len(ordered) * 0.99))]
    return "notes %6d  median %7.1f us  p99 %7.1f us  max %7.1f us" % (
        len(ordered), statistics.median(ordered), p99, ordered[-1])


def onsets(recording):
    return sorted(on[0] for on in recording.ons())


def play_side_by_side(krv, server, bpm, seconds, work):
    step_frames = RATE * 60 / bpm / 4  # a sixteenth note
    krv_path = os.path.join(work, "krv.txt")
    ref_path = os.path.join(work, "ref.txt")
    krv_recorder = server.start_recorder(krv_path, "krv-recorder")
    player = server.krv([krv], stdout=subprocess.DEVNULL)
    player.stdin.write(krv_pattern(bpm))
    player.stdin.flush()
    ref_recorder = server.start_recorder(ref_path, "reference-recorder")
    notes = []
    for step in range(STEPS):
        notes += [str(int(step * step_frames)), str(60 + step), str(int(step_frames / 2))]
    reference = subprocess.Popen(server.prefix + ["jack_midiseq", "reference", str(int(step_frames * STEPS))] +
                                 notes, env=server.env, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL)
    server.clients.append(reference)
    jack_e2e.wait_for(lambda: "reference:out" in server.ports(), "jack_midiseq")
    subprocess.run(server.prefix + ["jack_connect", "reference:out", "reference-recorder:in"],
                   env=server.env,
                   check=True)
    burner = subprocess.Popen([sys.executable, "-c", "while True: pass"])
    time.sleep(1.5)
    # krv at its prompt, jack_midiseq playing, side by side.
    idle, ref_idle = cpu_shares([player, reference], min(seconds, 10))
    player.stdin.write("play\n")
    player.stdin.flush()
    time.sleep(1.5)
    cpu, ref_cpu = cpu_shares([player, reference], seconds)
    player.communicate("stop\nquit\n", timeout=30)
    burner.kill()
    burner.wait()
    jack_e2e.stop_process(reference)
    time.sleep(0.2)
    jack_e2e.stop_process(krv_recorder)
    jack_e2e.stop_process(ref_recorder)
    krv_errors = onset_errors_us(onsets(jack_e2e.Recording(krv_path)), step_frames)
    ref_errors = onset_errors_us(onsets(jack_e2e.Recording(ref_path)), step_frames)
    print("  %3d bpm  krv          %s" % (bpm, summary(krv_errors)))
    print("  %3d bpm  jack_midiseq %s" % (bpm, summary(ref_errors)))
    print("  %3d bpm  cpu of a core: krv idle %.2f %%, playing %.2f %%; jack_midiseq %.2f %%, %.2f %%"
          % (bpm, idle * 100, cpu * 100, ref_idle * 100, ref_cpu * 100))
    if krv_errors and ref_errors:
        print("  %3d bpm  krv max - jack_midiseq max: %.1f us (one frame is %.1f us)" %
              (bpm, max(krv_errors) - max(ref_errors), 1e6 / RATE))


def latency(krv, server, runs, work):
    plays, stops = [], []
    for _ in range(runs):
        play, stop = jack_e2e.measure_latency(krv, server, work)
        plays.append(play)
        stops.append(stop)
    bound = 2 * server.period * 1000.0 / RATE + 5
    for what, values in (("play to first note-on", plays), ("stop to last note-off", stops)):
        print("  %-22s median %6.2f ms  max %6.2f ms  (bound %.2f ms, %d runs)" %
              (what, statistics.median(values), max(values), bound, runs))


def main():
    parser = argparse.ArgumentParser(
        description="krv's timing and CPU on JACK beside jack_midiseq's (see the module's text)")
    parser.add_argument("--server-name", default=jack_e2e.SERVER_NAME,
                        help="name of the jackd started (default %(default)s)")
    parser.add_argument("krv")
    parser.add_argument("recorder")
    parser.add_argument("seconds", nargs="?", type=float, default=30)
    parser.add_argument("periods", nargs="?", default="256,512,1024")
    parser.add_argument("tempos", nargs="?", default="120,137")
    parser.add_argument("runs", nargs="?", type=int, default=5)
    parser.add_argument("servers", nargs="?", default="jack")
    arguments = parser.parse_args()
    krv = os.path.abspath(arguments.krv)
    recorder = os.path.abspath(arguments.recorder)
    seconds = arguments.seconds
    periods = [int(p) for p in arguments.periods.split(",")]
    tempos = [int(t) for t in arguments.tempos.split(",")]
    runs = arguments.runs
    kinds = arguments.servers.split(",")
    # JackServer reads the name when it starts a server.
    jack_e2e.SERVER_NAME = arguments.server_name
    servers = {"jack": jack_e2e.JackServer, "pipewire": jack_e2e.PipeWireServer}
    print("one frame at %d Hz is %.1f us; %d tracks, %d steps a bar, %g s a run, other core busy"
          % (RATE, 1e6 / RATE, TRACKS, STEPS, seconds))
    sys.stdout.flush()
    for kind in kinds:
        for period in periods:
            print("%s, period %d frames (%.2f ms)" % (kind, period, period * 1000.0 / RATE))
            with tempfile.TemporaryDirectory() as work, \
                    servers[kind](recorder, period) as server:
                for bpm in tempos:
                    play_side_by_side(krv, server, bpm, seconds, work)
                latency(krv, server, runs, work)
            sys.stdout.flush()


if __name__ == "__main__":
    main()
