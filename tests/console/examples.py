#!/usr/bin/env python3
"""examples.py KRV SOURCE

The example scripts load with `read` without a word of complaint and give
the grids they promise; the drum beats that the manual page and the README
build by hand come out as described.
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


def run_krv(krv, lines):
    result = subprocess.run([krv], input="".join(line + "\n" for line in lines),
                            capture_output=True, text=True, check=True,
                            env=dict(os.environ, KRV_MIDI_HOST="none"))
    return result.stdout


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
        sys.exit(f"examples: {where} has {len(tracks)} tracks")
    for notes, channels, plays in tracks:
        # What a muted step holds does not matter.
        played = {note for note, play in zip(notes, plays) if play == "1"}
        note = played.pop() if len(played) == 1 else str(played)
        if expected.get(note) != plays or set(channels) != {"010"}:
            sys.exit(f"examples: {where}: track {note} on {channels[0]} plays {plays}")


def complaints(output):
    return [line for line in output.splitlines() if COMPLAINT.search(line)]


def main():
    krv, source = (os.path.realpath(arg) for arg in sys.argv[1:])
    # Whatever the replayed lines write lands in a scratch folder.
    scratch = tempfile.TemporaryDirectory()
    os.chdir(scratch.name)
    examples = os.path.join(source, "examples")
    both = run_krv(krv, [f"read {examples}/bassline.krv", f"read {examples}/drums.krv", "di"])
    if complaints(both):
        sys.exit(f"examples: an example script complains: {complaints(both)}")
    tracks = grid(both)
    check_drums(tracks[:3], DRUMS_16, "drums.krv")
    notes, channels, plays = tracks[3]
    shown = " ".join(note if play == "1" else "." for note, play in zip(notes, plays))
    if shown != BASSLINE or set(channels) != {"0 2"}:
        sys.exit(f"examples: bassline.krv plays {shown} on {channels[0]}")

    # The manual's worked example and the README's tour, typed as shown.
    page = open(os.path.join(source, "doc/krv.1")).read()
    example = page.split(".SH EXAMPLE", 1)[1].split(".nf\n", 1)[1].split(".fi\n", 1)[0]
    readme = open(os.path.join(source, "README.md")).read()
    tour = re.findall(r"^    \d+ krv> (.+)$", readme.split("## A short tour", 1)[1], re.M)
    for where, lines in (("the manual", example.splitlines()), ("the README tour", tour)):
        # Up to where the beat stands (display, play and saving follow).
        lines = lines[: next(i for i, line in enumerate(lines) if "play" in line)]
        output = run_krv(krv, lines + ["di"])
        if complaints(output):
            sys.exit(f"examples: {where} complains: {complaints(output)}")
        check_drums(grid(output), DRUMS_8, where)
    print("examples: ok")


if __name__ == "__main__":
    main()
