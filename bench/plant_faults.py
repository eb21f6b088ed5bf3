#!/usr/bin/env python3
"""Plant known faults one at a time in a scratch copy of krv and name the
test that catches each.

  bench/plant_faults.py [--tree PATH | --commit REV] [--only N[,M]] [--list]
                        [--work DIR] [--keep]

Each plant replaces one exact text in one file; the text must occur there
exactly once, or the plant is stale (the code moved on) and says so. The
scratch tree is built once as ./setup builds it, and again after each plant
(incrementally, in the same build folder); then ctest runs, stopping at the
first failure: the quick tests first, the jackd cases after. PipeWire cases
are left out (they skip in CI, so a fault only they catch counts as not
caught), and so are `format` (a plant need not be laid out),
`console.setup-run` (it builds krv once more from scratch and checks nothing
a plant changes) and whatever fails before any plant. A test that fails with
a plant must fail again when run alone to count as catching it; one that
then passes is named as flaky and the rest run without it. The exit status
is 1 if any plant is stale, does not build or is not caught.
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

PLAY = "seq/playback/KRVSequencerPlayback.cpp"
JACK_OUT = "midicl/hosts/jack/MIDICLJackOutput.cpp"
FOLLOW = "seq/playback/KRVTransportFollow.cpp"
TRANSPORT = "seq/playback/KRVSequencerTransport.cpp"
CLOCK_IN = "seq/playback/KRVClockFollow.cpp"
STEP_ENTRY = "seq/input/KRVStepEntry.cpp"

# (fault, what it is, file, exact old text, new text)
PLANTS = [
    ("1", "loop end off by one", PLAY,
     "if (ticks >= ticksInLoop) {", "if (ticks > ticksInLoop) {"),
    ("2", "a muted track's note not ended at stop", PLAY,
     "        EndSoundingNote(*track, now);\n",
     "        if (!track->IsMuted()) {\n            EndSoundingNote(*track, now);\n        }\n"),
    ("3", "JACK Now() returning the cycle start", "midicl/hosts/jack/MIDICLJackClock.cpp",
     "return NowAt(cycle, jack_get_time());\n}", "return cycle.mPosition;\n}"),
    ("4", "drain returning when the queue empties", JACK_OUT,
     "mHost->GetCycleCount() > mLastWrittenCycle.load() + 1", "true"),
    ("5", "undo not restoring the loop", "seq/model/KRVSequencerRestore.cpp",
     "        mTicksInLoop = inState.mTicksInLoop;\n", ""),
    ("6", "save writing velocity 0 as 1", "shell/commands/KRVShellScriptCommands.cpp",
     '"setvelocity %d\\n", inEvent.GetVelocity());',
     '"setvelocity %d\\n", std::max(1, int(inEvent.GetVelocity())));'),
    ("7", "timed import flooring instead of rounding", "seq/model/KRVTimedPlacement.h",
     "std::floor(inStartTicks / inTicksPerStep + 0.5)", "std::floor(inStartTicks / inTicksPerStep)"),
    ("8", "Midi Through ranked first", "midicl/hosts/alsa/MIDICLAlsaPortRank.h",
     "kPassThrough = 3,", "kPassThrough = -1,"),
    ("9", "batch exiting 0 on failure", "shell/KRVBatchRun.cpp",
     "DescribeFailure(failure).c_str());\n        return kFailed;",
     "DescribeFailure(failure).c_str());\n        return kAllRan;"),
    ("10", "history !N off by one", "shell/KRVShell.cpp",
     "GetHistoryEntryByNumber(KRVReadInt(reference));",
     "GetHistoryEntryByNumber(KRVReadInt(reference) - 1);"),
    ("11", "refused note-ons not counted", PLAY,
     "        mDroppedNotes.fetch_add(1, std::memory_order_relaxed);\n", ""),
    ("12", "gates rounded instead of truncated", PLAY,
     "static_cast<int>(inGatePercent / 100.0 * inTicksPerStep);",
     "static_cast<int>(inGatePercent / 100.0 * inTicksPerStep + 0.5);"),
    ("13", "JACK latency not added", "midicl/hosts/jack/MIDICLJackHost.cpp",
     "const jack_nframes_t latency = mClock.GetLatencyFrames();",
     "const jack_nframes_t latency = 0;"),
    ("14a", "a note-off sent to the edited port", PLAY,
     "GetPort(ioEvent->mPortPlaying)", "GetPort(ioEvent->mPort)"),
    ("14b", "a note-off sent to the edited channel", PLAY,
     "TrySendNoteOff(ioEvent->mChannelPlaying,", "TrySendNoteOff(ioEvent->mChannel,"),
    ("14c", "a note-off sent to the edited note", PLAY,
     "ioEvent->mNotePlaying, 0,\n", "ioEvent->mNote, 0,\n"),
    ("15", "stop not withdrawing pending messages", PLAY,
     "            port->WithdrawPending(Stamp(static_cast<int>(index), now));\n", ""),
    ("16", "`selecttrack +2` accepted", "shell/commands/KRVCommandTable.cpp",
     '"select track (track)",\n     {Track("bad track number\\n", false)},',
     '"select track (track)",\n     {Track("bad track number\\n", true)},'),
    ("17", "ALSA dropping a refused note-off", "midicl/hosts/alsa/MIDICLAlsaOutput.cpp",
     "if (IsFull(status) && mHeld.Hold(inData)) {", "if (IsFull(status)) {"),
    ("18", "the octave clamp removed", "seq/model/KRVEvent.cpp",
     "    octave = std::clamp(octave, -1000L, 1000L);\n", ""),
    ("19", "the line limit one too long", "shell/console/KRVLineLimit.h",
     "kMaxLineLength = 4096;", "kMaxLineLength = 4097;"),
    ("20", "tempo read only once", "seq/playback/KRVTimerThread.cpp",
     "mPeriod = std::move(inPeriod);", "mPeriod = [period = inPeriod()] { return period; };"),
    ("21", "a velocity-0 note-on imported as a note", "seq/smf/KRVSMFReader.cpp",
     "const bool isNote = kind == 0x90 && data[1] != 0;", "const bool isNote = kind == 0x90;"),
    ("22", "the clock sent after the notes of its tick", PLAY,
     "    SendClockMessages(ticks, inDueTime);\n    SendPendingPrograms(inDueTime);\n",
     "    SendPendingPrograms(inDueTime);\n    struct After {\n        KRVSequencer* s;\n"
     "        int t;\n        std::uint64_t d;\n        ~After() { s->SendClockMessages(t, d); }\n"
     "    } after{this, ticks, inDueTime};\n"),
    ("23", "Continue sent as Start", PLAY,
     ": ioPort.TrySendRealTime(MIDICLClient::kMIDIContinueMessage, inStamp);",
     ": ioPort.TrySendRealTime(MIDICLClient::kMIDIStartMessage, inStamp);"),
    ("24", "play after pause from the top", PLAY,
     "    mFromTop = mTicks < 0;\n", "    mTicks = -1;\n    mFromTop = true;\n"),
    ("25", "a pause going on after ticks never heard", PLAY, "    RewindUnheard(now);\n", ""),
    ("26", "latency not applied", PLAY,
     "    if (inDueTime == 0 || latencyMS == 0) {", "    if (true) {"),
    ("27", "a transport move ignored: the run goes on along the old line", FOLLOW,
     "        mOffset = offset;\n        Anchor(frame, tick, ticksPerFrame);",
     "        Anchor(frame, mTicksPerFrame > 0 ? TickAt(frame - double(offset - mOffset)) : tick,\n"
     "               ticksPerFrame);\n        mOffset = offset;"),
    ("28", "following the transport one step late", TRANSPORT,
     "static_cast<int>((inTick % loop + loop) % loop)",
     "static_cast<int>(((inTick - mTicksPerStep) % loop + loop) % loop)"),
    ("29", "a clock heard counted twice", CLOCK_IN,
     "    mSequencer.TransportTick(mNext, inTime);\n    mNext++;\n",
     "    mSequencer.TransportTick(mNext, inTime);\n    mNext += 2;\n"),
    ("30", "a followed clock's Stop not ending notes", CLOCK_IN,
     "        case kStop:\n            Halt();\n", "        case kStop:\n"),
    ("31", "swing applied to the first step", PLAY,
     "    if (inStep0 % 2 == 0 || inPercent <= kStraightSwing) {",
     "    if (inStep0 % 2 == 1 || inPercent <= kStraightSwing) {"),
    ("32", "a tied note started again on the step it covers", PLAY,
     "    return true;\n}\n\n// Whether the track is in horizontal-solo",
     "    return false;\n}\n\n// Whether the track is in horizontal-solo"),
    ("33", "a legato note ended before the next note-on", PLAY,
     "    if (plays && SendNoteOn(&event, inDueTime)) {\n"
     "        EndLegatoNote(ioTrack, held0, inDueTime);\n",
     "    EndLegatoNote(ioTrack, held0, inDueTime);\n"
     "    if (plays && SendNoteOn(&event, inDueTime)) {\n"),
    ("34", "thru notes left sounding at stop", PLAY,
     "    mInput.EndThruNotes();\n    if (mTransportMode", "    if (mTransportMode"),
    ("35", "a chord split over steps", STEP_ENTRY,
     "    if (!JoinsChord(inSeconds)) {", "    if (true) {"),
    ("36", "the transport's mode lost when the JACK server comes back",
     "shell/KRVDestinations.cpp", "    FollowSyncAgain(ioOut);\n    if (playing) {",
     "    if (playing) {"),
]

# The quick tests, then the jackd ones; the jackd ones run only if every
# quick one passed. Never run: see above.
LEFT_OUT = ["pipewire\\..*", "format", "console\\.setup-run"]
PHASES = [["-E", "jack\\..*"], ["-R", "^jack\\."]]
RESULT = re.compile(r"Test\s+#\d+: (\S+) \.*\s*\**(.*?)\s+[\d.]+ sec")


def run(command, cwd, log):
    with open(log, "a") as out:
        out.write("$ " + " ".join(command) + "\n")
        out.flush()
        return subprocess.run(command, cwd=cwd, stdout=out, stderr=subprocess.STDOUT).returncode


def copy_tree(args, scratch):
    """The scratch source: a detached worktree of a commit, or a copy of a
    folder (its tracked and untracked files when it is a git checkout)."""
    source = os.path.join(scratch, "src")
    shutil.rmtree(source, ignore_errors=True)
    if args.commit:
        subprocess.run(["git", "-C", args.tree, "worktree", "add", "--detach", source,
                        args.commit], check=True, stdout=subprocess.DEVNULL)
        return source
    listed = subprocess.run(["git", "-C", args.tree, "ls-files", "-co", "--exclude-standard",
                             "-z"], capture_output=True)
    if listed.returncode != 0:
        shutil.copytree(args.tree, source, symlinks=True,
                        ignore=shutil.ignore_patterns("build*", ".git"))
        return source
    for name in filter(None, listed.stdout.decode().split("\0")):
        path = os.path.join(args.tree, name)
        if os.path.isfile(path):
            os.makedirs(os.path.dirname(os.path.join(source, name)), exist_ok=True)
            shutil.copy(path, os.path.join(source, name), follow_symlinks=False)
    return source


def build(source, build_dir, log):
    if run(["cmake", "-S", source, "-B", build_dir, "-DBUILD_TESTING=ON"], source, log) != 0:
        return False
    return run(["cmake", "--build", build_dir, "-j2"], source, log) == 0


def ctest(build_dir, log, options, left_out):
    """The status of ctest and the tests it saw fail, in the order it said."""
    start = os.path.getsize(log)
    status = run(["ctest", "-j2", "--output-on-failure", "-E",
                  "^(%s)$" % "|".join(left_out)] + options, build_dir, log)
    failed = []
    with open(log, errors="replace") as text:
        text.seek(start)
        for line in text:
            match = RESULT.search(line)
            if match and match.group(2) not in ("Passed", "Skipped") \
                    and "Not Run" not in match.group(2):
                failed.append(match.group(1))
    return status, failed


def first_failure(build_dir, log, left_out, flaky):
    """The first test that fails, and fails again when run alone, or None
    when every one passes. One that passes alone is flaky: it is noted and
    the rest run without it."""
    left_out = list(left_out)
    for kind, pattern in PHASES:
        while True:
            options = ["--stop-on-failure"] + ([kind, pattern] if kind == "-R" else [])
            skip = left_out + ([pattern] if kind == "-E" else [])
            status, failed = ctest(build_dir, log, options, skip)
            if not failed:
                if status != 0:
                    return "ctest exit %d, see %s" % (status, log)
                break
            name = failed[0]
            if ctest(build_dir, log, ["-R", "^%s$" % re.escape(name)], [])[1]:
                return name
            flaky.add(name)
            left_out.append(re.escape(name))
    return None


def try_plant(plant, source, build_dir, log, left_out, flaky):
    fault, _, name, old, new = plant
    path = os.path.join(source, name)
    with open(path) as text:
        original = text.read()
    if original.count(old) != 1:
        return "STALE (%d matches)" % original.count(old)
    with open(path, "w") as text:
        text.write(original.replace(old, new))
    try:
        with open(log, "a") as out:
            out.write("\n=== fault %s: %s\n" % (fault, name))
        if not build(source, build_dir, log):
            return "DOES NOT BUILD"
        return first_failure(build_dir, log, left_out, flaky) or "NOT CAUGHT"
    finally:
        with open(path, "w") as text:
            text.write(original)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--tree", default=os.path.dirname(os.path.dirname(os.path.abspath(
        __file__))), help="the checkout or folder to copy (default: this one)")
    parser.add_argument("--commit", help="plant in a detached worktree of this commit of --tree")
    parser.add_argument("--only", help="the faults to plant, as 3,14 (14 is 14a-14c)")
    parser.add_argument("--list", action="store_true", help="show the plants and stop")
    parser.add_argument("--work", help="scratch folder (default: a new temporary one)")
    parser.add_argument("--keep", action="store_true", help="keep the scratch folder")
    parser.add_argument("--exclude", action="append", default=[], metavar="REGEX",
                        help="leave out the tests whose whole name matches, as on a machine "
                             "without them (e.g. 'smf\\..*')")
    args = parser.parse_args()
    # A JACK server of its own name, so that a test run beside this one (CI
    # on the same machine) never finds this run's clients on its server.
    os.environ.setdefault("KRV_TEST_JACK_SERVER", "krv-plant-%d" % os.getpid())
    chosen = [p for p in PLANTS if not args.only or
              re.sub(r"[a-z]$", "", p[0]) in args.only.split(",") or p[0] in args.only.split(",")]
    if args.list:
        stale = 0
        for fault, what, name, old, new in chosen:
            with open(os.path.join(args.tree, name)) as text:
                count = text.read().count(old)
            stale += count != 1
            print("%-4s %-44s %s%s\n     - %r\n     + %r" % (
                fault, what, name, "" if count == 1 else " STALE", old, new))
        return 1 if stale else 0
    scratch = args.work or tempfile.mkdtemp(prefix="krv-plant-")
    os.makedirs(scratch, exist_ok=True)
    log = os.path.join(scratch, "log.txt")
    source = copy_tree(args, scratch)
    build_dir = os.path.join(scratch, "build")
    began = time.monotonic()
    if not build(source, build_dir, log):
        print("the unplanted tree does not build; see", log)
        return 1
    # What fails before any plant catches nothing: it is left out.
    left_out = LEFT_OUT + args.exclude
    broken = ctest(build_dir, log, [], left_out)[1]
    if broken:
        print("failing without a plant, left out:", " ".join(broken), flush=True)
    left_out += [re.escape(name) for name in broken]
    flaky = set()
    rows = []
    for plant in chosen:
        at = time.monotonic()
        result = try_plant(plant, source, build_dir, log, left_out, flaky)
        rows.append((plant[0], plant[2], result, time.monotonic() - at))
        print("%-4s %-40s %-32s %4.0f s" % rows[-1], flush=True)
    print("\n%-4s %-40s %s" % ("fault", "file", "caught by"))
    for fault, name, result, _ in rows:
        print("%-5s %-40s %s" % (fault, name, result))
    print("%d plants in %.0f s; log in %s" % (len(rows), time.monotonic() - began, log))
    if flaky:
        print("failed once, then passed alone with the plant:", " ".join(sorted(flaky)))
    if args.commit:
        subprocess.run(["git", "-C", args.tree, "worktree", "remove", "--force", source])
    if not args.keep:
        shutil.rmtree(source, ignore_errors=True)
        shutil.rmtree(build_dir, ignore_errors=True)
    bad = [r for r in rows if r[2] in ("NOT CAUGHT", "DOES NOT BUILD") or r[2].startswith("STALE")]
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
