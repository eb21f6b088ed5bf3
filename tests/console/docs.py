#!/usr/bin/env python3
"""docs.py KRV SOURCE VERSION manpage|examples: what the documentation
promises, checked against the real krv.

manpage: the manual page renders without a warning (groff -ww, and man -l as
a user would read it), carries the project's version, and lists exactly the
commands and short forms of the command table, as krv's own help shows them:
the table is the only place that knows how many there are.

examples: the example scripts load with `read` without a word of complaint
and give the grids they promise; the drum beats that the manual page and the
README build by hand come out as described.
"""
import os
import re
import subprocess
import sys
import tempfile

# What a complaint of any command looks like.
COMPLAINT = re.compile(r"not found|need |bad |can't|couldn't|out of range|unknown|invalid",
                       re.I)
# 1 plays, . is muted; one string per track.
DRUMS_16 = {"C2": "1...1...1...1...", "D2": "....1.......1...", "F#2": "1.1.1.1.1.1.1.1."}
DRUMS_8 = {"C2": "1.1.1.1.", "D2": "..1...1.", "F#2": "11111111"}
BASSLINE = "A1 . A2 A1 . C2 A1 . G1 . G2 G1 . E1 G1 B1"


def fail(message):
    sys.exit(f"{CASE}: {message}")


def run_krv(lines):
    return subprocess.run([KRV], input="".join(line + "\n" for line in lines),
                          capture_output=True, text=True, check=True,
                          env=dict(os.environ, KRV_MIDI_HOST="none")).stdout


def commands_in_help():
    """The rows of help, in order."""
    return [(m[1], m[2] or "") for m in re.finditer(r"^(?:\d+ krv> )?(\w+)(?:/(\w+))?: ",
                                                     run_krv(["help"]), re.M)
            if m[1] not in ("hint", "KRVShell")]


def commands_in_page(page):
    section = page.split(".SH COMMANDS", 1)[1].split("\n.SH ", 1)[0]
    return {(m[1], m[2] or "")
            for m in re.finditer(r"^\.TP\n\\fB(\w+)\\fR(?:, \\fB(\w+)\\fR)?", section, re.M)}


def case_manpage(source, version):
    path = os.path.join(source, "doc/krv.1")
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

    rows = commands_in_help()
    in_help, in_page = set(rows), commands_in_page(page)
    if not rows or len(in_help) != len(rows):
        fail(f"help lists no commands, or one twice: {rows}")
    if in_help != in_page:
        fail(f"not in the page: {sorted(in_help - in_page)}; "
             f"not in the table: {sorted(in_page - in_help)}")


def grid(output):
    """Each track of the last display as (notes, channels, plays)."""
    tracks, rows = [], {}
    for line in output.splitlines():
        cells = [cell.strip() for cell in line.split("|")[1:-1]]
        if len(cells) > 2 and cells[0] != "T:" and cells[1] in ("N:", "C:", "S:"):
            rows[cells[1]] = cells[2:]
            if cells[1] == "S:":
                plays = "".join("." if "M" in mark else "1" for mark in rows["S:"])
                tracks.append((rows["N:"], rows["C:"], plays))
    return tracks


def check_drums(tracks, expected, where):
    if len(tracks) != 3:
        fail(f"{where} has {len(tracks)} tracks")
    for notes, channels, plays in tracks:
        # What a muted step holds does not matter.
        played = {note for note, play in zip(notes, plays) if play == "1"}
        note = played.pop() if len(played) == 1 else str(played)
        if expected.get(note) != plays or set(channels) != {"010"}:
            fail(f"{where}: track {note} on {channels[0]} plays {plays}")


def complaints(output):
    return [line for line in output.splitlines() if COMPLAINT.search(line)]


def case_examples(source, _):
    # Whatever the replayed lines write lands in a scratch folder.
    scratch = tempfile.TemporaryDirectory()
    os.chdir(scratch.name)
    examples = os.path.join(source, "examples")
    both = run_krv([f"read {examples}/bassline.krv", f"read {examples}/drums.krv", "di"])
    if complaints(both):
        fail(f"an example script complains: {complaints(both)}")
    tracks = grid(both)
    check_drums(tracks[:3], DRUMS_16, "drums.krv")
    notes, channels, plays = tracks[3]
    shown = " ".join(note if play == "1" else "." for note, play in zip(notes, plays))
    if shown != BASSLINE or set(channels) != {"0 2"}:
        fail(f"bassline.krv plays {shown} on {channels[0]}")

    # The manual's worked example and the README's tour, typed as shown.
    page = open(os.path.join(source, "doc/krv.1")).read()
    example = page.split(".SH EXAMPLE", 1)[1].split(".nf\n", 1)[1].split(".fi\n", 1)[0]
    readme = open(os.path.join(source, "README.md")).read()
    tour = re.findall(r"^    \d+ krv> (.+)$", readme.split("## A short tour", 1)[1], re.M)
    for where, lines in (("the manual", example.splitlines()), ("the README tour", tour)):
        # Up to where the beat stands (display, play and saving follow).
        lines = lines[: next(i for i, line in enumerate(lines) if "play" in line)]
        output = run_krv(lines + ["di"])
        if complaints(output):
            fail(f"{where} complains: {complaints(output)}")
        check_drums(grid(output), DRUMS_8, where)


if __name__ == "__main__":
    KRV, SOURCE, VERSION, CASE = sys.argv[1:]
    KRV, SOURCE = os.path.realpath(KRV), os.path.realpath(SOURCE)
    globals()["case_" + CASE](SOURCE, VERSION)
    print(f"{CASE}: ok")
