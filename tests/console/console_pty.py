#!/usr/bin/env python3
"""console_pty.py KRV CASE: krv at a pseudo-terminal, as a user at a real
terminal would have it, HOME a scratch folder."""
import fcntl
import os
import pty
import re
import select
import signal
import struct
import sys
import tempfile
import termios
import time

UP, CTRL_C, CTRL_D = "\x1b[A", "\x03", "\x04"
QUESTION = r"unsaved changes - %s anyway \(y/n\) \?$"


class Console:
    """krv on a pseudo-terminal; expect() waits for a pattern in its output."""

    def __init__(self, env, cwd, args=(), terminal=None):
        self.output, self.terminal = "", terminal
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            os.chdir(cwd)
            os.execve(KRV, [KRV, *args], env)
        self.expect(r"1 krv> $")

    def set_columns(self, columns, rows=50):
        fcntl.ioctl(self.fd, termios.TIOCSWINSZ, struct.pack("HHHH", rows, columns, 0, 0))
        if self.terminal:
            self.terminal.resize(rows, columns)

    def read(self, timeout):
        """Takes in what krv writes within timeout seconds; False once it has
        ended or said nothing."""
        if not select.select([self.fd], [], [], max(timeout, 0))[0]:
            return False
        try:
            chunk = os.read(self.fd, 4096)
        except OSError:
            return False
        self.output += chunk.decode(errors="replace")
        if self.terminal:
            self.terminal.feed(chunk)
        return bool(chunk)

    def until(self, done, what, timeout=20):
        """Reads output until done() holds."""
        deadline = time.monotonic() + timeout
        while not done():
            if not self.read(deadline - time.monotonic()):
                shown = "\n".join(self.terminal.lines()) if self.terminal else self.output
                raise AssertionError(f"no {what} in output:\n{shown!r}")

    def expect(self, pattern, timeout=20):
        """Waits for the pattern in the output not yet consumed; returns the
        consumed text up to the end of the match."""
        self.until(lambda: re.search(pattern, self.output), repr(pattern), timeout)
        end = re.search(pattern, self.output).end()
        consumed, self.output = self.output[:end], self.output[end:]
        return consumed

    def talk(self, *steps):
        """Types each step's keys and waits for its pattern; a number n
        stands for the pattern of prompt n. Returns what the last said."""
        said = ""
        for keys, pattern in steps:
            os.write(self.fd, keys.encode())
            said = self.expect(rf"{pattern} krv> $" if isinstance(pattern, int) else pattern)
        return said

    def finish(self, keys=""):
        """Types keys, waits for the end of krv; returns its exit status and
        what it printed last."""
        os.write(self.fd, keys.encode())
        while self.read(20):
            pass
        status = os.waitpid(self.pid, 0)[1]
        os.close(self.fd)
        return os.waitstatus_to_exitcode(status), self.output


def environment(home, **extra):
    env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "TERM": "xterm",
           "KRV_MIDI_HOST": "none", "HOME": home, **extra}
    return {k: v for k, v in env.items() if v is not None}


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def body_lines(said):
    """The lines of an answer, without the echoed command and the prompt."""
    return [line.rstrip() for line in said.split("\r\n")[1:-1]]


def test_editing(scratch):
    folder = os.path.join(scratch, "work")
    os.makedirs(os.path.join(folder, "grooves"))
    for name in ("groove one.krv", "grid.krv"):
        open(os.path.join(folder, name), "w").close()
    console = Console(environment(scratch), folder)
    # A unique command completes with a blank after it. Several: the second
    # Tab lists them. Ctrl-C then drops the line, so the next command gets
    # number 2 again.
    listing = console.talk(("vers\t\r", r"KRVShell built .*\r\n2 krv> $"),
                           ("unsel\t\t", r"unselt"))
    check(all(word in listing for word in ("unselectevent", "unselectstep", "unselecttrack",
                                           "unsels")), f"a word missing from the listing:\n{listing!r}")
    # File names after a command that takes a file, blanks escaped; a folder
    # ends in a slash. Key names after fitkey, in any case. Note names are
    # not completed. The up arrow recalls the last line; "!!" still prints
    # what it runs.
    history = console.talk(("ectall", r"ectall$"), (CTRL_C, 2), ("ver\r", 3),
                           ("read groove\t\\ \t\r", 4), ("read gro\ts\t\r", 5),
                           ("fitkey d\tb\t\r", 6), ("setnote C\t", r"\x07"), (CTRL_C, 6),
                           (UP + "\r", 7), ("!!\r", r"!!\r\nfitkey Db ?\r\n.*\r\n8 krv> $"),
                           ("history\r", 9))
    check(body_lines(history) == ["1 version", "2 ver", "3 read groove\\ one.krv",
                                  "4 read grooves/", "5 fitkey Db", "6 fitkey Db", "7 fitkey Db",
                                  "8 history"], history)
    # Ctrl-D on an empty line ends krv like quit, on a line of its own.
    status, rest = console.finish(CTRL_D)
    check(status == 0 and rest.endswith("\r\n"), f"exit status {status}, said {rest!r}")


def run_session(env, folder, lines):
    console = Console(env, folder)
    console.talk(*((line + "\r", number) for number, line in enumerate(lines, start=2)))
    return console.finish("quit\r")


def read_lines(path):
    with open(path) as file:
        return file.read().splitlines()


def test_history(scratch):
    home = os.path.join(scratch, "home")
    os.mkdir(home)
    kept = os.path.join(home, ".local/state/krv/history")
    # The answer to a question is not kept; the commands are. Lines from
    # the last run come back with the up arrow.
    check(run_session(environment(home), home, ["ver", "save a.krv"])[0] == 0, "exit status")
    console = Console(environment(home), home)
    console.talk(("save a.krv\r", r"overwrite \(y/n\) \?$"), ("y\r", r"closing file\r\n2 krv> $"),
                 (UP * 4 + "\r", r"KRVShell built .*\r\n3 krv> $"))
    console.finish("quit\r")
    check(read_lines(kept) == ["ver", "save a.krv", "quit", "save a.krv", "ver", "quit"],
          read_lines(kept))
    # At most 1000 lines, the newest.
    with open(kept, "w") as file:
        file.writelines(f"display {n}\n" for n in range(1, 1501))
    run_session(environment(home), home, [])
    lines = read_lines(kept)
    check(len(lines) == 1000 and lines[0] == "display 502" and lines[-1] == "quit", lines[:3])
    # XDG_STATE_HOME, when set and absolute, is where the history lives; a
    # relative one is ignored, as if it were not set.
    state = os.path.join(scratch, "state")
    run_session(environment(home, XDG_STATE_HOME=state), home, ["di"])
    run_session(environment(home, XDG_STATE_HOME="relative"), home, ["ver"])
    check(read_lines(os.path.join(state, "krv/history")) == ["di", "quit"] and
          read_lines(kept)[-2:] == ["ver", "quit"] and not os.path.exists(home + "/relative"),
          "XDG_STATE_HOME")
    # No home, or one that cannot hold folders: nothing kept, nothing said.
    not_a_folder = os.path.join(scratch, "file")
    open(not_a_folder, "w").close()
    for env in (environment(None), environment(not_a_folder)):
        status, rest = run_session(env, scratch, ["di"])
        check(status == 0 and rest == "quit\r\n", f"status {status}, said {rest!r}")


# Sessions at a console and how they end: (arguments, steps, last keys,
# whether "unsaved" may be said last).
UNSAVED = [
    # quit asks while a change is unsaved; no keeps krv, a save ends the
    # question.
    ([], [("newtrack\r", 2), ("quit\r", QUESTION % "quit"), ("n\r", 3), ("save a.krv\r", 4)],
     "quit\r", False),
    # load and deletesequence ask too: no (or Ctrl-C) keeps the work, yes
    # goes on; what was loaded counts as saved.
    (["a.krv"], [("newtrack\r", r"added track 2\r\n2 krv> $"),
                 ("load a.krv\r", QUESTION % "load"), ("n\r", 3),
                 ("deletesequence\r", QUESTION % "delete"), ("\x03", 4),
                 ("status\r", r"2 tracks.*\r\n5 krv> $"),
                 ("deletesequence\r", QUESTION % "delete"), ("y\r", r"deleted sequence\r\n6 krv> $"),
                 ("load a.krv\r", QUESTION % "load"), ("y\r", r"cleared selection\r\n7 krv> $")],
     "quit\r", False),
    # A change undone is no change; a script read at start counts as saved.
    (["a.krv"], [("bpm 90\r", 2), ("undo\r", 3)], "quit\r", False),
    # Ctrl-D asks too (a yes leaves, as after quit); Ctrl-D at the question
    # is a no, and Ctrl-D once more right away leaves.
    ([], [("namechannel 1 lead\r", 2), (CTRL_D, QUESTION % "quit"), (CTRL_D, r"\r\n2 krv> $")],
     CTRL_D, True),
]


def test_unsaved(scratch):
    for args, steps, last, asked in UNSAVED:
        console = Console(environment(scratch), scratch, args)
        console.talk(*steps)
        status, rest = console.finish(last)
        check(status == 0 and (asked or "unsaved" not in rest),
              f"{steps}: status {status}, said {rest!r}")


def test_narrow(scratch):
    console = Console(environment(scratch), scratch)
    console.set_columns(80)
    lines = body_lines(console.talk(("setscale 4 64\r", 2), ("newtrack\r", 3), ("display\r", 4)))
    check(all(len(line) <= 80 for line in lines), "a line is wider than the terminal")
    # Blocks of 18 steps, (80 - 7) / 4, each headed by its numbers.
    headers = [line for line in lines if line.startswith("|T:|S:|")]
    firsts = [int(header[7:10]) for header in headers]
    check(firsts == [1, 19, 37, 55], f"blocks start at {firsts}")
    check(headers[-1].endswith("|064|"), headers[-1])
    check(sum(line.startswith("|01|N:|") for line in lines) == 4, "a block lacks the track")
    console.talk(("quit\r", QUESTION % "quit"))
    console.finish("y\r")


try:
    import pyte
except ImportError:
    # Debian's package, where the python3 found first is another.
    sys.path.append("/usr/lib/python3/dist-packages")
    try:
        import pyte
    except ImportError:
        pyte = None

SMCUP, RMCUP = b"\x1b[?1049h", b"\x1b[?1049l"
# What a terminal in keypad mode sends, as the live view asks it to.
RIGHT, DOWN, SHIFT_UP = "\x1bOC", "\x1bOB", "\x1b[1;2A"


class Terminal:
    """What a terminal shows: pyte's screen, and as a second one the
    alternate screen that pyte lacks, written between the sequences that
    enter and leave it."""

    def __init__(self):
        self.screens = [pyte.Screen(80, 50), pyte.Screen(80, 50)]
        self.streams = [pyte.ByteStream(screen) for screen in self.screens]
        self.alternate, self.held, self.raw = False, b"", b""

    def feed(self, chunk):
        self.raw += chunk
        data, self.held = self.held + chunk, b""
        # A switch cut in two by a read comes whole with the next.
        cut = data.rfind(b"\x1b")
        if cut >= 0 and len(data) - cut < len(SMCUP) and SMCUP.startswith(data[cut:cut + 7]):
            data, self.held = data[:cut], data[cut:]
        for part in re.split(rb"(\x1b\[\?1049[hl])", data):
            if part in (SMCUP, RMCUP):
                self.alternate = part == SMCUP
                self.screens[1].reset()
            elif part:
                self.streams[self.alternate].feed(part)

    def resize(self, rows, columns):
        for screen in self.screens:
            screen.resize(rows, columns)

    def lines(self):
        return [line.rstrip() for line in self.screens[self.alternate].display]

    def lit_steps(self, row):
        """The steps shown in reverse video on a row of the grid."""
        line = self.screens[self.alternate].buffer[row]
        return sorted({(x - 7) // 4 + 1 for x in range(7, self.screens[1].columns)
                       if line[x].reverse and line[x].data != "|"})

    def restored(self, before):
        """The prompt's screen as it was before (scrolled by a line or so
        for what came after), the cursor seen."""
        shown, now = [line for line in before if line], [line for line in self.lines() if line]
        kept = shown[-8:-1]
        return (not self.alternate and self.raw.rfind(b"\x1b[?25h") > self.raw.rfind(b"\x1b[?25l")
                and any(now[end].startswith(shown[-1]) and now[end - len(kept):end] == kept
                        for end in range(len(kept), len(now))))


LIVE_SETUP = ["newtrack", "newtrack", "bpm 8"]
# Keys in the view, and the commands that do at the prompt what they do.
LIVE_KEYS = (RIGHT * 2 + "m" + "+u" + SHIFT_UP + ">]" + DOWN + "M\r" + RIGHT + "\r+vhu",
             ["selectevent 1 3", "mute", "setnote 12", "setvelocity 72", "setgatetime 60",
              "unselectevent 1 3", "mutetrack 2", "selectevent 2 3", "selectevent 2 4",
              "setnote 1", "vsolo"])


def open_live(console):
    os.write(console.fd, b"live\r")
    console.until(lambda: console.terminal.alternate and
                  console.terminal.lines()[0].startswith("stopped"), "live view")


def check_playing_mark(console):
    """The step lit on the ruler and on every track is the one status
    names; a step may pass between the two, which asks again."""
    terminal = console.terminal
    # A step is lit once it sounds, which may be a moment after play.
    console.until(lambda: terminal.lit_steps(2), "a step lit")
    for _ in range(3):
        os.write(console.fd, b":status\r")
        console.until(lambda: any(l.startswith("playing step") for l in terminal.lines()[20:23]),
                      "status in the view")
        said = next(l for l in terminal.lines()[20:23] if l.startswith("playing step"))
        step = int(re.match(r"playing step (\d+)", said).group(1))
        lit = [terminal.lit_steps(row) for row in (1, 2, 4, 10, 15)]
        if lit[0] != [step % 16 + 1]:
            break
        os.write(console.fd, b"\x1b")
    check(all(steps == [step] for steps in lit), f"status says {step}, lit {lit}")
    console.until(lambda: terminal.lit_steps(2) == [step % 16 + 1], "the next step lit", 10)


def test_live(scratch):
    if pyte is None:
        print("SKIP: python3-pyte is not installed")
        sys.exit(77)
    refused = Console(environment(scratch, TERM="dumb"), scratch)
    refused.talk(("live\r", r"TERM is dumb or unset\r\n2 krv> $"))
    refused.finish("quit\r")
    run_session(environment(scratch), scratch, LIVE_SETUP + LIVE_KEYS[1] + ["save typed.krv"])

    console = Console(environment(scratch), scratch, terminal=Terminal())
    console.set_columns(80, 24)
    terminal = console.terminal
    console.talk(*((line + "\r", n) for n, line in enumerate(LIVE_SETUP, start=2)))
    grid = body_lines(console.talk(("display\r", len(LIVE_SETUP) + 2)))
    before = terminal.lines()
    open_live(console)
    # The status line may come in a read of its own before the grid does.
    console.until(lambda: terminal.lines()[1:1 + len(grid)] == grid, "the view's grid as display's")
    # The keys, then q: the prompt's screen is back.
    console.talk((LIVE_KEYS[0] + "q", r"\d+ krv> $"))
    check(terminal.restored(before), "\n".join(terminal.lines()))
    console.talk(("save keys.krv\r", r"closing file\r\n\d+ krv> $"))
    check(read_lines(os.path.join(scratch, "keys.krv")) ==
          read_lines(os.path.join(scratch, "typed.krv")), "the keys did not do as typed")
    # Playing, the lit step moves; a narrower terminal gets the block of
    # steps that holds the cursor (track 2 step 4).
    before = terminal.lines()
    open_live(console)
    os.write(console.fd, b" ")
    check_playing_mark(console)
    console.set_columns(40, 24)
    console.until(lambda: terminal.lines()[2] == "|T:|S:|001|002|003|004|005|006|007|008|",
                  "a redraw for 40 columns")
    # Ctrl-C leaves the view, and playback stops as at the prompt.
    console.talk((CTRL_C, r"\d+ krv> $"))
    check(terminal.restored(before), "\n".join(terminal.lines()))
    console.talk(("status\r", r"stopped.*\r\n\d+ krv> $"))
    # SIGTERM in the view ends krv with the screen restored.
    before = terminal.lines()
    open_live(console)
    os.kill(console.pid, signal.SIGTERM)
    status, _ = console.finish()
    check(status == 128 + signal.SIGTERM and terminal.restored(before),
          f"status {status}:\n" + "\n".join(terminal.lines()))


if __name__ == "__main__":
    KRV, case = os.path.realpath(sys.argv[1]), sys.argv[2]
    with tempfile.TemporaryDirectory() as scratch:
        globals()["test_" + case](scratch)
    print(f"console {case}: ok")
