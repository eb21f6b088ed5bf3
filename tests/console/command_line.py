#!/usr/bin/env python3
"""krv run from the command line, row by row in one scratch folder: its
options, scripts and batch mode, scripts' safety and a MIDI system it
cannot have.

    command_line.py KRV VERSION GROUP

A row: (arguments, standard input or None for /dev/null, exit status,
checks, files written first). A check is STREAM OP TEXT: STREAM is out, err
or a file's name, OP is = (the whole text), : (a whole line), ~ (within it)
or ! (not within it); "+NAME" and "-NAME" say a file is there or not. A file
written first of content None is removed, of FIFO made a FIFO.
"""
import os
import re
import shutil
import stat
import subprocess
import sys
import tempfile

ONE, TWO = "newtrack\nbpm 90\n", "newtrack\nselectall\nsetnote 61\n"
SAFE = "--allow-shell-in-scripts"
SH_REFUSED = "sh: not run from a script; start krv with %s to allow it" % SAFE
STARTED = "out=KRVShell: setting up MIDI config"


def groups(version):
    exists = "exists; run krv with --overwrite to replace it"
    return {
        "bad-host": [
            ([], None, 1, [STARTED, 'err=krv: unknown MIDI system "no-such-host" in '
                           "KRV_MIDI_HOST (it takes alsa, jack or none)"], {}, "no-such-host"),
        ] + ([([], None, 1, [STARTED, "err=krv: no JACK server is running"], {}, "jack")]
             if shutil.which("jackd") else []) + (
            [([], None, 1, [STARTED, "err=krv: can't open the ALSA sequencer (/dev/snd/seq): "
                                     "No such file or directory"], {}, "alsa")]
            if not os.path.exists("/dev/snd/seq") else []),
        "command-line": [
            (["--help"], None, 0, ["err=", "out~usage: krv [bpm]", "out~--version",
                                   "out~KRV_MIDI_HOST", "out~JACK_DEFAULT_SERVER",
                                   "out~state/krv/history", "out~default.krv", "out~" + SAFE], {}),
            # The version, then the MIDI systems krv tries, for a bug report.
            (["--version"], None, 0, ["out=krv %s\nMIDI systems: alsa, jack, none (built-in); "
                                      "KRV_MIDI_HOST=jack chooses" % version], {}, "jack"),
            (["--bogus"], None, 2, ["out=", "err~unknown option '--bogus'", "err~usage: krv"], {}),
            # A tempo, also a negative one, is no option; krv starts at it (or at 120).
            (["140"], "save t.krv\n", 0, ["t.krv:bpm 140.000000"], {"t.krv": None}),
            (["-5"], "save t.krv\n", 0, ["t.krv:bpm 120.000000"], {"t.krv": None}),
            # "-" is standard input, in batch mode among the files too; "--"
            # ends the options, so a file may begin with "-".
            (["-b", "-"], "status\n", 0, ["out~0 tracks,"], {"-x.krv": "newtrack\n"}),
            (["-b", "--", "-x.krv", "-"], "status\n", 0, ["out~1 track,"], {}),
        ],
        "scripts-and-batch": [
            # In order, each as read runs it, then the prompt; a number first
            # is the tempo.
            (["140", "one.krv", "two.krv"], "status\ndisplay 1 1\n", 0, [
                "out:1 krv> stopped, 90 bpm, scale 1 16, loop 1-16, 2 tracks, 1 port (built-in)",
                "out:|02|N:|C#4|", "err=", "out~added track 1\n", "out~added track 2\n",
                "out!added track 3"], {"one.krv": ONE, "two.krv": TWO}),
            # A script that cannot be read stops krv before anything starts.
            (["one.krv", "missing.krv"], None, 2, ["out=", "err=krv: can't open 'missing.krv'"],
             {}),
            # Batch stops at the first failing command, said with its file and line.
            (["--batch", "one.krv", "bad.krv", "two.krv"], None, 1, [
                "err=bad.krv:4: setnote: bad note name/number", "out:bad note name/number",
                "out!set note 60", "out!krv> "],
             {"bad.krv": "newtrack\n\nselectall\nsetnote H9\nsetnote 60\n"}),
            (["-b", "one.krv", "two.krv", "save.krv"], None, 0, ["err=", "all.krv:setnote 61"],
             {"save.krv": "play\nsave all.krv\n"}),
            # The same job again: no line is an answer, so the save fails and
            # says how to go on; with --overwrite it runs. A MIDI file is
            # replaced as ever, a script by an export only with the option.
            (["-b", "one.krv", "save.krv"], None, 1,
             ["err=save.krv:2: save: all.krv " + exists],
             {"save.krv": "play\nsave all.krv\nexportsmf all.mid\n",
              "export.krv": "exportsmf one.krv\n", "mid.krv": "exportsmf all.mid\n"}),
            (["-b", "--overwrite", "one.krv", "save.krv"], None, 0, ["err="], {}),
            (["-b", "one.krv", "mid.krv"], None, 0, ["err="], {}),
            (["-b", "one.krv", "export.krv"], None, 1, [
                "err=export.krv:1: exportsmf: one.krv exists and is not a Standard MIDI File; "
                "run krv with --overwrite to replace it"], {}),
            (["one.krv"], "exportsmf one.krv\nn\n", 0,
             ["out~krv> one.krv is not a Standard MIDI File\n", "one.krv=" + ONE.strip()], {}),
            (["--batch"], "newtrack\nbogus 1\n", 1, ["err=-:2: bogus: command not found"], {}),
            (["-b"], "newtrack\nquit\nbogus\n", 0, ["err="], {}),
        ],
        "script-safety": [
            # A script runs no host command, by either name, whatever reads
            # it, unless krv was started with the option, before or after the
            # tempo. (The transcripts run typed ones.)
            ([], "read innocent-beat.krv\ndefault\nload innocent-beat.krv\n", 0,
             ["-pwned", "out:" + SH_REFUSED, "out:added track 2", "out~shell: not run from a"],
             {"innocent-beat.krv": "newtrack\nsh touch pwned\nnewtrack\n",
              "default.krv": "shell touch pwned\n"}),
            ([SAFE, "140"], "load innocent-beat.krv\nsave seq.krv\n", 0,
             ["+pwned", "seq.krv:bpm 140.000000"], {"pwned": None}),
            (["140", SAFE], "load innocent-beat.krv\nsave seq.krv\n", 0,
             ["+pwned", "seq.krv:bpm 140.000000"], {"pwned": None, "seq.krv": None}),
            # Nothing waits on a FIFO without a writer or a reader, nor
            # writes over a device.
            ([], "newtrack\nread pipe\nload pipe\nimportsmf pipe\nsave pipe\nexportsmf pipe\n"
                 "save /dev/null\ndisplay\n", 0,
             ["out~can't open 'pipe'", "out~krv: can't read 'pipe': not a regular file",
              "out~can't open 'pipe': not a regular file",
              "out~krv: can't write 'pipe': not a regular file",
              "out~can't open '/dev/null': not a regular file", "out~\n|01|"],
             {"pipe": "FIFO"}),
        ],
    }


def prepare(folder, files):
    for name, content in files.items():
        path = os.path.join(folder, name)
        if os.path.lexists(path):
            os.remove(path)
        if content == "FIFO":
            os.mkfifo(path)
        elif content is not None:
            open(path, "w").write(content)


def check(folder, result, wanted):
    if wanted[0] in "+-":
        return os.path.exists(os.path.join(folder, wanted[1:])) == (wanted[0] == "+")
    name, op, text = re.match(r"(.+?)([=:~!])(.*)", wanted, re.S).groups()
    got = {"out": result.stdout, "err": result.stderr}.get(name)
    if got is None:
        path = os.path.join(folder, name)
        got = open(path, errors="replace").read() if os.path.isfile(path) else ""
    return {"=": lambda: got.rstrip("\n") == text, ":": lambda: text in got.splitlines(),
            "~": lambda: text in got, "!": lambda: text not in got}[op]()


def main():
    krv, version, group = os.path.realpath(sys.argv[1]), sys.argv[2], sys.argv[3]
    with tempfile.TemporaryDirectory() as folder:
        for args, stdin, status, checks, files, *host in groups(version)[group]:
            prepare(folder, files)
            env = dict(os.environ, KRV_MIDI_HOST=host[0] if host else "none",
                       JACK_DEFAULT_SERVER="krv-no-server")
            feed = {"input": stdin} if stdin is not None else {"stdin": subprocess.DEVNULL}
            result = subprocess.run([krv] + args, capture_output=True, text=True, cwd=folder,
                                    env=env, timeout=20, **feed)
            failed = [c for c in checks if not check(folder, result, c)]
            if result.returncode != status or failed:
                sys.exit("FAIL: krv %s: status %d (not %d), failed %r\nout: %s\nerr: %s" % (
                    " ".join(args), result.returncode, status, failed, result.stdout[-1500:],
                    result.stderr[-800:]))
        if group == "script-safety" and not (stat.S_ISFIFO(os.lstat(folder + "/pipe").st_mode)
                                             and stat.S_ISCHR(os.stat("/dev/null").st_mode)):
            sys.exit("FAIL: the FIFO or /dev/null was replaced")
    print("%s: ok" % group)


if __name__ == "__main__":
    main()
