#!/usr/bin/env python3
"""The Windows programs' runs under Wine, compared (scripts/windows-test.sh starts Wine first).

  scripts/windows_runs.py WINDOWS_BUILD LINUX_BUILD

1. Every case of tests/golden/cases.txt through the .exe: the exit status and the messages with
   the expected .result, the dump (its lines end in CR LF, each one) and fdcstat's reports with
   the expected files; fdc2pcapng's export with the Linux program's.
2. Each run of those cases through fdcstat --format json (compared as data) and fdc2pcapng on
   both systems.
3. Runs named the Windows way: a drive letter, backslashes and a blank, letters beyond ASCII,
   more than 260 characters; the output name beside the run, another spelling of an input refused;
   the standard output's bytes as written.
Runs from the repository root, as the golden cases name their files from there.
"""
import concurrent.futures
import json
import os
import pathlib
import shutil
import struct
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
EXPECTED = ROOT / "tests/golden/expected"
EXTENSIONS = {"fdcdump": ".dump", "fdcstat": ".stat", "fdc2pcapng": ".pcapng.txt"}
SHB, SHB_OS, SHB_USERAPPL = 0x0A0D0D0A, 3, 4


def lf(data):
    return data.replace(b"\r\n", b"\n")


class Runner:
    def __init__(self, windows, linux):
        self.windows = windows
        self.linux = linux
        self.scratch = windows / "runs"
        shutil.rmtree(self.scratch, ignore_errors=True)
        self.scratch.mkdir(parents=True)
        self.failures = []

    def wine(self, program, args):
        return run(["wine", str(self.windows / f"{program}.exe")] + args)

    def native(self, program, args):
        return run([str(self.linux / "cli" / program)] + args)

    def out(self, name):
        return os.path.relpath(self.scratch / name, ROOT)

    def check(self, holds, what):
        if not holds:
            self.failures.append(what)


def run(command):
    done = subprocess.run(command, cwd=ROOT, capture_output=True, check=False)
    return done.returncode, done.stdout, done.stderr


def read_cases():
    for line in (ROOT / "tests/golden/cases.txt").read_text().splitlines():
        words = line.split()
        if words and not words[0].startswith("#"):
            yield words[0], words[1], words[2:]


def pcapng_blocks(data):
    """The file's blocks, the section header's application and system options left out: they
    name the program's build and the system it ran on."""
    blocks, at = [], 0
    while at + 12 <= len(data):
        kind, length = struct.unpack_from("<II", data, at)
        if length < 12 or at + length > len(data):
            break
        body = data[at + 8:at + length - 4]
        if kind == SHB:
            body = body[:16] + b"".join(shb_options(body[16:]))
        blocks.append((kind, body))
        at += length
    return blocks, data[at:]


def shb_options(options):
    at = 0
    while at + 4 <= len(options):
        code, length = struct.unpack_from("<HH", options, at)
        end = at + 4 + (length + 3) // 4 * 4
        if code not in (SHB_OS, SHB_USERAPPL):
            yield options[at:end]
        at = end


def golden_case(runner, name, program, args):
    """Problems of one golden case through the .exe, as texts."""
    out = runner.out(name + ".out")
    own = (["--quiet"] if program != "fdcstat" else []) + ["--output", out] + args
    status, stdout, stderr = runner.wine(program, own)
    problems = []
    result = b"exit %d\n" % status + lf(stderr)
    if result != (EXPECTED / (name + ".result")).read_bytes():
        problems.append(f"status and messages: {result!r}")
    if stdout:
        problems.append(f"standard output: {stdout[:200]!r}")
    written = ROOT / out
    expected = EXPECTED / (name + EXTENSIONS[program])
    if written.exists() != expected.exists():
        return problems + [f"output written: {written.exists()}, expected: {expected.exists()}"]
    if not written.exists():
        return problems
    data = written.read_bytes()
    if program == "fdcdump":
        if data.count(b"\n") != data.count(b"\r\n"):
            problems.append("a dump line that does not end in CR LF")
        data = lf(data)
    if program == "fdc2pcapng":
        linux = runner.out(name + ".linux.pcapng")
        runner.native(program, ["--quiet", "--output", linux] + args)
        if pcapng_blocks(data) != pcapng_blocks((ROOT / linux).read_bytes()):
            problems.append("the export differs from the Linux program's")
    elif data != expected.read_bytes():
        problems.append("the output differs from " + os.path.relpath(expected, ROOT))
    return problems


def run_of(args):
    """A case's run: its --minutes and capture file."""
    minutes = args[args.index("--minutes") + 1] if "--minutes" in args else "1"
    return minutes, args[-1]


def same_run(runner, minutes, capture):
    """Problems of fdcstat's JSON and fdc2pcapng's export of one run against Linux's."""
    problems = []
    args = ["--minutes", minutes, capture]
    stat = ["--format", "json"] + args
    got, want = runner.wine("fdcstat", stat), runner.native("fdcstat", stat)
    if (got[0], lf(got[2])) != (want[0], want[2]):
        problems.append(f"fdcstat exit {got[0]} {got[2]!r}, Linux exit {want[0]} {want[2]!r}")
    elif got[0] == 0 and json.loads(got[1]) != json.loads(want[1]):
        problems.append("fdcstat's JSON differs")
    key = f"{capture.replace('/', '_')}-{minutes}"
    outs = [runner.out(f"{key}.{side}.pcapng") for side in ("wine", "linux")]
    got = runner.wine("fdc2pcapng", ["--quiet", "--output", outs[0]] + args)
    want = runner.native("fdc2pcapng", ["--quiet", "--output", outs[1]] + args)
    if (got[0], lf(got[2])) != (want[0], want[2]):
        problems.append(f"fdc2pcapng exit {got[0]} {got[2]!r}, Linux exit {want[0]} {want[2]!r}")
    elif got[0] == 0:
        exports = [pcapng_blocks((ROOT / out).read_bytes()) for out in outs]
        if exports[0] != exports[1]:
            problems.append("fdc2pcapng's export differs")
    return [f"{capture} --minutes {minutes}: {p}" for p in problems]


def windows_names(runner):
    """The sample run under Windows names, dumped as the golden case "sample" dumps it."""
    drive = runner.windows / "wine/drive_c"
    folders = ["Daten\\Linie 1", "Daten\\L\u00ednea \u00fc \u65e5\u672c",
               "Daten\\" + "\\".join(["Langer Ordnername " + "x" * 30] * 6)]
    golden = (EXPECTED / "sample.dump").read_bytes()
    for folder in folders:
        place = drive / folder.replace("\\", "/")
        place.mkdir(parents=True, exist_ok=True)
        for name in ("Line11159.FdcCapt", "Line11200.FdcCapt", "Line11201.FdcCapt"):
            shutil.copy(ROOT / "samples" / name, place / name)
        capture = f"C:\\{folder}\\Line11159.FdcCapt"
        status, _, stderr = runner.wine("fdcdump", ["--quiet", "--minutes", "3", capture])
        dump = place / "Line11159_.txt"
        want = golden.replace(b"samples/", f"C:\\{folder}\\".encode())
        runner.check(status == 0 and dump.exists() and lf(dump.read_bytes()) == want,
                     f"{capture}: exit {status} {stderr!r}, the dump beside the run")
        spelled = f"c:/{folder.lower()}/./LINE11200.fdccapt"
        args = ["--minutes", "3", "--output", spelled, capture]
        status, _, stderr = runner.wine("fdcdump", args)
        refusal = ("fdcdump: The output file would overwrite the input file "
                   f"C:\\{folder}\\Line11200.FdcCapt\n")
        runner.check(status == 2 and lf(stderr).decode() == refusal, f"{spelled}: {stderr!r}")


def written_as_is(runner):
    """The standard output's bytes as written, and a report written over the previous one."""
    sample = ["--minutes", "3", "samples/Line11159.FdcCapt"]
    status, stdout, _ = runner.wine("fdcdump", ["--output", "-"] + sample)
    runner.check(status == 0 and stdout.count(b"\n") == stdout.count(b"\r\n")
                 and lf(stdout) == (EXPECTED / "sample.dump").read_bytes(),
                 "fdcdump's dump on the standard output, every line in CR LF")
    for report in ("csv", "json"):
        status, stdout, _ = runner.wine("fdcstat", ["--format", report] + sample)
        want = (EXPECTED / f"sample-stat-{report}.stat").read_bytes()
        runner.check(status == 0 and stdout == want, f"fdcstat's {report} on the standard output")
    # Windows renames over an existing file only when asked to.
    for attempt in ("first", "second"):
        status, _, stderr = runner.wine("fdcstat", ["--output", runner.out("again.stat")] + sample)
        runner.check(status == 0, f"fdcstat's {attempt} report: exit {status} {stderr!r}")


def main():
    windows, linux = (pathlib.Path(p).resolve() for p in sys.argv[1:3])
    runner = Runner(windows, linux)
    cases = list(read_cases())
    runs = sorted({run_of(args) for _, _, args in cases})
    with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
        golden = pool.map(lambda c: [f"{c[0]}: {p}" for p in golden_case(runner, *c)], cases)
        same = pool.map(lambda r: same_run(runner, *r), runs)
        for problems in list(golden) + list(same):
            runner.failures += problems
    windows_names(runner)
    written_as_is(runner)
    for failure in runner.failures:
        print("FAILED:", failure)
    print(f"windows runs: {len(cases)} golden cases, {len(runs)} runs compared with Linux, "
          f"{len(runner.failures)} failed")
    return 1 if runner.failures else 0


if __name__ == "__main__":
    sys.exit(main())
