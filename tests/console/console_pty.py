#!/usr/bin/env python3
"""console_pty.py KRV CASE

Drives krv at a pseudo-terminal, as a user at a real terminal would, with
HOME pointing at a scratch folder. CASE is one of:
  editing   completion, recall with the up arrow, Ctrl-C, Ctrl-D
  history   the history kept between runs and where it lives
  unsaved   quit and Ctrl-D ask about unsaved changes
  narrow    display in blocks that fit a narrow terminal
"""
import fcntl
import os
import pty
import re
import select
import struct
import sys
import tempfile
import termios
import time

UP = "\x1b[A"
CTRL_C = "\x03"
CTRL_D = "\x04"


class Console:
    """krv on a pseudo-terminal; expect() waits for a pattern in its output."""

    def __init__(self, krv, env, cwd, args=()):
        self.output = ""
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            os.chdir(cwd)
            os.execve(krv, [krv, *args], env)
        self.expect(r"1 krv> $")

    def set_columns(self, columns):
        fcntl.ioctl(self.fd, termios.TIOCSWINSZ, struct.pack("HHHH", 50, columns, 0, 0))

    def send(self, text):
        os.write(self.fd, text.encode())

    def expect(self, pattern, timeout=20):
        """Waits for the pattern in the output not yet consumed; returns the
        consumed text up to the end of the match."""
        deadline = time.monotonic() + timeout
        while True:
            match = re.search(pattern, self.output)
            if match:
                consumed = self.output[: match.end()]
                self.output = self.output[match.end():]
                return consumed
            remaining = deadline - time.monotonic()
            ready = select.select([self.fd], [], [], max(remaining, 0))[0]
            chunk = b""
            if ready:
                try:
                    chunk = os.read(self.fd, 4096)
                except OSError:
                    pass
            if not chunk:
                raise AssertionError(f"no {pattern!r} in output:\n{self.output!r}")
            self.output += chunk.decode(errors="replace")

    def finish(self):
        """Waits for the end of krv; returns its exit status and what it
        printed last."""
        rest = ""
        while True:
            try:
                chunk = os.read(self.fd, 4096)
            except OSError:
                break
            if not chunk:
                break
            rest += chunk.decode(errors="replace")
        status = os.waitpid(self.pid, 0)[1]
        os.close(self.fd)
        return os.waitstatus_to_exitcode(status), self.output + rest


def environment(home, **extra):
    env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "TERM": "xterm",
           "KRV_MIDI_HOST": "none", "HOME": home}
    env.update(extra)
    return {k: v for k, v in env.items() if v is not None}


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def test_editing(krv, scratch):
    folder = os.path.join(scratch, "work")
    os.mkdir(folder)
    for name in ("groove one.krv", "grid.krv"):
        open(os.path.join(folder, name), "w").close()
    os.mkdir(os.path.join(folder, "grooves"))
    krv_console = Console(krv, environment(scratch), folder)

    # A unique command completes with a blank after it.
    krv_console.send("vers\t\r")
    krv_console.expect(r"KRVShell built .*\r\n2 krv> $")
    # Several: the second Tab lists them. Ctrl-C then drops the line, so the
    # next command gets number 2 again.
    krv_console.send("unsel\t\t")
    listing = krv_console.expect(r"unselt")
    for word in ("unselectevent", "unselectstep", "unselecttrack", "unsels"):
        check(word in listing, f"{word} missing from the listing:\n{listing!r}")
    krv_console.send("ectall")
    krv_console.expect(r"ectall$")
    krv_console.send(CTRL_C)
    krv_console.expect(r"\r\n2 krv> $")
    krv_console.send("ver\r")
    krv_console.expect(r"KRVShell built .*\r\n3 krv> $")
    # File names after a command that takes a file, blanks escaped; a
    # folder ends in a slash. Key names after fitkey, in any case.
    for keys, number in (("read groove\t\\ \t\r", 4), ("read gro\ts\t\r", 5),
                         ("fitkey d\tb\t\r", 6)):
        krv_console.send(keys)
        krv_console.expect(rf"{number} krv> $")
    # Note names are not completed.
    krv_console.send("setnote C\t")
    krv_console.expect(r"\x07")
    krv_console.send(CTRL_C)
    krv_console.expect(r"\r\n6 krv> $")
    # The up arrow recalls the last line; "!!" still prints what it runs.
    krv_console.send(UP + "\r")
    krv_console.expect(r"7 krv> $")
    krv_console.send("!!\r")
    krv_console.expect(r"!!\r\nfitkey Db ?\r\n.*\r\n8 krv> $")
    krv_console.send("history\r")
    history = [line.rstrip() for line in krv_console.expect(r"9 krv> $").split("\r\n")[1:-1]]
    check(history == ["1 version", "2 ver", "3 read groove\\ one.krv", "4 read grooves/",
                      "5 fitkey Db", "6 fitkey Db", "7 fitkey Db", "8 history"], history)

    # Ctrl-D on an empty line ends krv like quit, on a line of its own.
    krv_console.send(CTRL_D)
    status, rest = krv_console.finish()
    check(status == 0, f"exit status {status}")
    check(rest.endswith("\r\n"), f"no newline at the end: {rest!r}")


def run_session(krv, env, folder, lines):
    krv_console = Console(krv, env, folder)
    for number, line in enumerate(lines, start=2):
        krv_console.send(line + "\r")
        krv_console.expect(rf"{number} krv> $")
    krv_console.send("quit\r")
    return krv_console.finish()


def read_lines(path):
    with open(path) as file:
        return file.read().splitlines()


def test_history(krv, scratch):
    home = os.path.join(scratch, "home")
    os.mkdir(home)
    kept = os.path.join(home, ".local/state/krv/history")

    # The answer to a question is not kept; the commands are.
    status, _ = run_session(krv, environment(home), home, ["ver", "save a.krv"])
    check(status == 0, f"exit status {status}")
    krv_console = Console(krv, environment(home), home)
    krv_console.send("save a.krv\r")
    krv_console.expect(r"overwrite \(y/n\) \?$")
    krv_console.send("y\r")
    krv_console.expect(r"closing file\r\n2 krv> $")
    # Lines from the last run come back with the up arrow.
    krv_console.send(UP + UP + UP + UP)
    krv_console.send("\r")
    krv_console.expect(r"KRVShell built .*\r\n3 krv> $")
    krv_console.send("quit\r")
    krv_console.finish()
    check(read_lines(kept) == ["ver", "save a.krv", "quit", "save a.krv", "ver", "quit"],
          read_lines(kept))

    # At most 1000 lines, the newest.
    with open(kept, "w") as file:
        file.writelines(f"display {n}\n" for n in range(1, 1501))
    run_session(krv, environment(home), home, [])
    lines = read_lines(kept)
    check(len(lines) == 1000 and lines[0] == "display 502" and lines[-1] == "quit", lines[:3])

    # XDG_STATE_HOME, when set, is where the history lives.
    state = os.path.join(scratch, "state")
    run_session(krv, environment(home, XDG_STATE_HOME=state), home, ["di"])
    check(read_lines(os.path.join(state, "krv/history")) == ["di", "quit"], "XDG_STATE_HOME")

    # No home, or one that cannot hold folders: nothing kept, nothing said.
    not_a_folder = os.path.join(scratch, "file")
    open(not_a_folder, "w").close()
    for env in (environment(None), environment(not_a_folder)):
        status, rest = run_session(krv, env, scratch, ["di"])
        check(status == 0 and rest == "quit\r\n", f"status {status}, said {rest!r}")


QUESTION = r"unsaved changes - quit anyway \(y/n\) \?$"


def test_unsaved(krv, scratch):
    env = environment(scratch)
    # quit asks while a change is unsaved; no keeps krv, a save ends the
    # question.
    krv_console = Console(krv, env, scratch)
    krv_console.send("newtrack\r")
    krv_console.expect(r"2 krv> $")
    krv_console.send("quit\r")
    krv_console.expect(QUESTION)
    krv_console.send("n\r")
    krv_console.expect(r"3 krv> $")
    krv_console.send("save a.krv\r")
    krv_console.expect(r"4 krv> $")
    krv_console.send("quit\r")
    status, rest = krv_console.finish()
    check(status == 0 and "unsaved" not in rest, f"status {status}, said {rest!r}")

    # load and deletesequence ask too: no (or Ctrl-C) keeps the work, yes
    # goes on; what was loaded counts as saved.
    krv_console = Console(krv, env, scratch, ["a.krv"])
    for line, answer, said in (("newtrack", None, r"added track 2\r\n2 krv> $"),
                               ("load a.krv", "n\r", r"\r\n3 krv> $"),
                               ("deletesequence", "\x03", r"\r\n4 krv> $"),
                               ("status", None, r"2 tracks.*\r\n5 krv> $"),
                               ("deletesequence", "y\r", r"deleted sequence\r\n6 krv> $"),
                               ("load a.krv", "y\r", r"cleared selection\r\n7 krv> $")):
        krv_console.send(line + "\r")
        if answer is not None:
            verb = line.split()[0].replace("deletesequence", "delete")
            krv_console.expect(r"unsaved changes - %s anyway \(y/n\) \?$" % verb)
            krv_console.send(answer)
        krv_console.expect(said)
    krv_console.send("quit\r")
    status, rest = krv_console.finish()
    check(status == 0 and "unsaved" not in rest, f"after load: status {status}, said {rest!r}")

    # Ctrl-D asks too, and yes leaves.
    krv_console = Console(krv, env, scratch)
    krv_console.send("namechannel 1 lead\r")
    krv_console.expect(r"2 krv> $")
    krv_console.send(CTRL_D)
    krv_console.expect(QUESTION)
    krv_console.send("y\r")
    status, _ = krv_console.finish()
    check(status == 0, f"yes: status {status}")

    # A change undone is no change; a script read at start counts as saved.
    krv_console = Console(krv, env, scratch, ["a.krv"])
    krv_console.send("bpm 90\r")
    krv_console.expect(r"2 krv> $")
    krv_console.send("undo\r")
    krv_console.expect(r"3 krv> $")
    krv_console.send("quit\r")
    status, rest = krv_console.finish()
    check(status == 0 and "unsaved" not in rest, f"after undo: status {status}, said {rest!r}")

    # Ctrl-D at the question is a no; Ctrl-D once more right away leaves.
    krv_console = Console(krv, env, scratch)
    krv_console.send("newtrack\r")
    krv_console.expect(r"2 krv> $")
    krv_console.send(CTRL_D)
    krv_console.expect(QUESTION)
    krv_console.send(CTRL_D)
    krv_console.expect(r"2 krv> $")
    krv_console.send(CTRL_D)
    status, _ = krv_console.finish()
    check(status == 0, f"Ctrl-D twice: status {status}")


def test_narrow(krv, scratch):
    krv_console = Console(krv, environment(scratch), scratch)
    krv_console.set_columns(80)
    krv_console.send("setscale 4 64\r")
    krv_console.expect(r"2 krv> $")
    krv_console.send("newtrack\r")
    krv_console.expect(r"3 krv> $")
    krv_console.send("display\r")
    lines = krv_console.expect(r"4 krv> $").split("\r\n")[1:-1]
    check(all(len(line) <= 80 for line in lines), "a line is wider than the terminal")
    # Blocks of 18 steps, (80 - 7) / 4, each headed by its numbers.
    headers = [line for line in lines if line.startswith("|T:|S:|")]
    firsts = [int(header[7:10]) for header in headers]
    check(firsts == [1, 19, 37, 55], f"blocks start at {firsts}")
    check(headers[-1].endswith("|064|"), headers[-1])
    check(sum(line.startswith("|01|N:|") for line in lines) == 4, "a block lacks the track")
    # A range that fits comes whole; a wide terminal gets one block.
    krv_console.send("display 5 8\r")
    lines = krv_console.expect(r"5 krv> $").split("\r\n")[1:-1]
    check(lines[1] == "|T:|S:|005|006|007|008|", lines[:3])
    krv_console.set_columns(300)
    krv_console.send("display\r")
    lines = krv_console.expect(r"6 krv> $").split("\r\n")[1:-1]
    check(sum(line.startswith("|T:|S:|") for line in lines) == 1, "a wide terminal got blocks")
    krv_console.send("quit\r")
    krv_console.expect(QUESTION)
    krv_console.send("y\r")
    krv_console.finish()


def main():
    krv, case = os.path.realpath(sys.argv[1]), sys.argv[2]
    with tempfile.TemporaryDirectory() as scratch:
        {"editing": test_editing, "history": test_history, "unsaved": test_unsaved,
         "narrow": test_narrow}[case](krv, scratch)
    print(f"console {case}: ok")


if __name__ == "__main__":
    main()
