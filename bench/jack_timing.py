#!/usr/bin/python3
"""Timing and CPU benchmark on JACK: krv beside jack_midiseq, each measured
as a whole system.

Every run has the same topology: a server (jackd with the dummy driver, or
PipeWire with its JACK library), one player and a recorder of its own (our
client, tests/jack/krv_jack_recorder.cpp), and nothing else. The runs are:

    server alone       the recorder only: the base
    krv idle           krv with the pattern loaded, at its prompt
    krv N tracks       krv playing N tracks, a note on every sixteenth
    jack_midiseq idle  jack_midiseq with an empty loop
    jack_midiseq N     jack_midiseq playing the same notes a second

For each run it prints the CPU of the whole system (the scheduler's run time
of every thread of the server, the player and the recorder, over the run's
wall time, in % of a core), the player's share (the system less the base),
its cost per note sent, and for playing runs the onset error of every note
against the ideal grid fitted to its onsets (median, 99th percentile and
maximum, in microseconds). A run in which the recorder reported cycles it
was not called for says how many, and its figures are marked with "*":
skipped cycles read as jitter otherwise. Last, per period, the time from
`play` typed to krv's first note-on.

    bench/jack_timing.py build/krv build/tests/krv_jack_recorder \\
        [seconds] [periods] [tracks] [bpm] [servers]
    bench/jack_timing.py build/krv build/tests/krv_jack_recorder 20 256,1024 16,256,1024 120 jack,pipewire

jackd runs under the name KRV_TEST_JACK_SERVER (or "krv-test"), as the
end-to-end tests' servers do.
"""
import os
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import jack_e2e  # noqa: E402  (the servers, the recorder and krv of the end-to-end tests)

RATE = jack_e2e.RATE
STEPS = 16


def cpu_seconds(pid):
    """Run time of all the process's threads, from the scheduler's own
    account (/proc/PID/task/TID/schedstat, nanoseconds): utime and stime
    count whole clock ticks, too coarse for a tenth of a point."""
    total = 0
    for task in os.listdir("/proc/%d/task" % pid):
        try:
            with open("/proc/%d/task/%s/schedstat" % (pid, task)) as schedstat:
                total += int(schedstat.read().split()[0])
        except FileNotFoundError:
            pass  # a thread that ended meanwhile
    return total / 1e9


def system_share(processes, seconds):
    """The share of a core the processes used together over the next seconds."""
    before = sum(cpu_seconds(p.pid) for p in processes)
    start = time.monotonic()
    time.sleep(seconds)
    return (sum(cpu_seconds(p.pid) for p in processes) - before) / (time.monotonic() - start)


def krv_pattern(tracks, bpm):
    lines = ["bpm %d" % bpm, "setscale 1 %d" % STEPS]
    for track in range(1, tracks + 1):
        lines += ["newtrack", "selt %d" % track, "setnote %d" % (24 + track % 96),
                  "setvelocity 100", "clear"]
    return lines


def midiseq_notes(tracks, bpm):
    """jack_midiseq's loop of one bar: as many notes on every sixteenth."""
    step = RATE * 60.0 / bpm / 4
    notes = []
    for index in range(STEPS):
        for track in range(tracks):
            notes += [str(int(index * step)), str(24 + track % 96), str(int(step / 2))]
    return [str(int(step * STEPS))] + notes


def onset_errors_us(frames, step_frames):
    """Distance of each distinct onset from the grid of steps that fits the
    onsets best (offset and step length), in microseconds."""
    frames = sorted(set(frames))
    if len(frames) < 2:
        return []
    first = frames[0]
    steps = [round((f - first) / step_frames) for f in frames]
    mean_step, mean_frame = statistics.mean(steps), statistics.mean(frames)
    covariance = sum((k - mean_step) * (f - mean_frame) for k, f in zip(steps, frames))
    fitted = covariance / sum((k - mean_step) ** 2 for k in steps)
    offsets = [(f - first) - k * fitted for f, k in zip(frames, steps)]
    anchor = statistics.median(offsets)
    return [abs(o - anchor) * 1e6 / RATE for o in offsets]


def errors_text(errors):
    if not errors:
        return ""
    ordered = sorted(errors)
    p99 = ordered[min(len(ordered) - 1, int(len(ordered) * 0.99))]
    return "onsets median %6.1f  p99 %7.1f  max %7.1f us" % (
        statistics.median(ordered), p99, ordered[-1])


class Run:
    """One system: the server, a recorder and a player started by start()."""

    def __init__(self, server, seconds):
        self.server, self.seconds = server, seconds

    def measure(self, start, settle=1.5):
        del jack_e2e.DISTURBED[:]
        recorder = self.server.start_recorder()
        player, stop = start()
        time.sleep(settle)
        processes = [self.server.process, recorder] + ([player] if player else [])
        share = system_share(processes, self.seconds)
        stop()
        recorded = self.server.heard(recorder)
        return share, recorded, len(jack_e2e.DISTURBED)


def krv_run(server, tracks, bpm, play):
    def start():
        krv = server.krv()
        pattern = krv_pattern(tracks, bpm)
        krv.type(*pattern)
        krv.prompts(len(pattern) + 1, 120)
        if play:
            krv.say("play")
        return krv.process, lambda: krv.end("stop\nquit\n")
    return start


def midiseq_run(server, tracks, bpm):
    def start():
        # It needs a note: idle, its one note is an hour away.
        args = midiseq_notes(tracks, bpm) if tracks else [str(RATE * 3600), str(RATE * 3599),
                                                          "60", "100"]
        player = subprocess.Popen(server.prefix + ["jack_midiseq", "reference"] + args,
                                  env=server.env, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL)
        jack_e2e.wait_for(lambda: "reference:out" in server.ports(), "jack_midiseq")
        subprocess.run(server.prefix + ["jack_connect", "reference:out", jack_e2e.RECORDER],
                       env=server.env, check=True)
        return player, lambda: jack_e2e.stop_process(player)
    return start


def report(what, share, base, recorded, missed, step_frames):
    ons = [n for n in recorded if n.kind == "on"]
    player = share - base if base is not None else 0.0
    # The notes a second the recorder heard, from its first to its last.
    span = (ons[-1].ms - ons[0].ms) / 1000.0 if len(ons) > 1 else 0
    per_note = " %6.1f us a note" % (player / (len(ons) / span) * 1e6) if span else ""
    mark = "*" if missed else " "
    print("  %-20s system %5.2f %%%s player %5.2f %%%s  %s%s" % (
        what, share * 100, mark, player * 100, per_note,
        errors_text(onset_errors_us([n.frame for n in ons], step_frames)),
        "  (%d runs of skipped cycles)" % missed if missed else ""))
    sys.stdout.flush()


def play_latency(server, runs=5):
    """`play` typed to krv's first note-on, on CLOCK_MONOTONIC."""
    delays = []
    for _ in range(runs):
        recorder = server.start_recorder()
        krv = server.krv()
        krv.type(*jack_e2e.LONG_NOTES)
        krv.prompts(len(jack_e2e.LONG_NOTES) + 1)
        sent = krv.type("play")
        krv.prompts()
        time.sleep(0.3)
        krv.end("stop\nquit\n")
        ons = [n for n in server.heard(recorder) if n.kind == "on"]
        if ons:
            delays.append(ons[0].ms - sent)
    if delays:
        print("  play to first note-on: median %.2f ms, max %.2f ms (%d runs; a period is %.2f ms)"
              % (statistics.median(delays), max(delays), len(delays), server.period_ms()))


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    jack_e2e.KRV, jack_e2e.RECORDING = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    args = sys.argv[3:] + [None] * 5
    seconds = float(args[0] or 20)
    periods = [int(p) for p in (args[1] or "256,1024").split(",")]
    track_counts = [int(t) for t in (args[2] or "16,256,1024").split(",")]
    bpm = int(args[3] or 120)
    kinds = (args[4] or "jack").split(",")
    servers = {"jack": jack_e2e.JackServer, "pipewire": jack_e2e.PipeWireServer}
    step_frames = RATE * 60.0 / bpm / 4
    print("%g s a run at %d bpm, %d Hz; CPU in %% of one core; * marks a run with skipped cycles"
          % (seconds, bpm, RATE))
    for kind in kinds:
        for period in periods:
            print("%s, period %d frames (%.2f ms)" % (kind, period, period * 1000.0 / RATE))
            with tempfile.TemporaryDirectory() as work, servers[kind](period) as server:
                jack_e2e.WORK = work
                run = Run(server, seconds)
                base, recorded, missed = run.measure(lambda: (None, lambda: None))
                report("server alone", base, None, recorded, missed, step_frames)
                for what, start in [("krv idle", krv_run(server, 16, bpm, False)),
                                    ("jack_midiseq idle", midiseq_run(server, 0, bpm))]:
                    report(what, *measured(run, start, base), step_frames)
                for tracks in track_counts:
                    for what, start in [("krv %d tracks" % tracks, krv_run(server, tracks, bpm, True)),
                                        ("jack_midiseq %d" % tracks,
                                         midiseq_run(server, tracks, bpm))]:
                        report(what, *measured(run, start, base), step_frames)
                play_latency(server)


def measured(run, start, base):
    share, recorded, missed = run.measure(start)
    return share, base, recorded, missed


if __name__ == "__main__":
    main()
