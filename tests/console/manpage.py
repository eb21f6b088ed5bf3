#!/usr/bin/env python3
"""manpage.py KRV MANPAGE VERSION

The manual page renders without a warning (groff -ww, and man -l as a user
would read it), carries the project's version, and lists exactly the
commands and short forms of the command table, as krv's own help shows them:
the table is the only place that knows how many there are.
"""
import os
import re
import subprocess
import sys


def fail(message):
    sys.exit(f"manpage: {message}")


def commands_in_help(krv):
    """The rows of help, in order."""
    output = subprocess.run([krv], input="help\n", capture_output=True, text=True, check=True,
                            env=dict(os.environ, KRV_MIDI_HOST="none")).stdout
    return [(m[1], m[2] or "") for m in re.finditer(r"^(?:\d+ krv> )?(\w+)(?:/(\w+))?: ",
                                                     output, re.M)
            if m[1] not in ("hint", "KRVShell")]


def commands_in_page(page):
    section = page.split(".SH COMMANDS", 1)[1].split("\n.SH ", 1)[0]
    return {(m[1], m[2] or "")
            for m in re.finditer(r"^\.TP\n\\fB(\w+)\\fR(?:, \\fB(\w+)\\fR)?", section, re.M)}


def main():
    krv, path, version = sys.argv[1:]
    page = open(path).read()

    groff = subprocess.run(["groff", "-ww", "-z", "-man", path], capture_output=True, text=True)
    if groff.returncode != 0 or groff.stderr:
        fail(f"groff warns:\n{groff.stderr}")
    man = subprocess.run(["man", "-l", path], capture_output=True, text=True,
                         env=dict(os.environ, MANWIDTH="80", MAN_DISABLE_SECCOMP="1"))
    if man.returncode != 0 or man.stderr:
        fail(f"man -l fails:\n{man.stderr}")
    for heading in ("SYNOPSIS", "DESCRIPTION", "OPTIONS", "COMMANDS", "SCRIPTS", "ENVIRONMENT",
                    "FILES", "EXIT STATUS", "EXAMPLE"):
        if not re.search(rf"^{heading}$", man.stdout, re.M):
            fail(f"no {heading} in the rendered page")

    title = re.search(r'^\.TH KRV 1 "[^"]*" "krv ([^"]*)"', page, re.M)
    if not title or title[1] != version:
        fail(f"the page is for version {title and title[1]}, the project is {version}")

    rows = commands_in_help(krv)
    in_help, in_page = set(rows), commands_in_page(page)
    if not rows or len(in_help) != len(rows):
        fail(f"help lists no commands, or one twice: {rows}")
    if in_help != in_page:
        fail(f"not in the page: {sorted(in_help - in_page)}; "
             f"not in the table: {sorted(in_page - in_help)}")
    print("manpage: ok")


if __name__ == "__main__":
    main()
