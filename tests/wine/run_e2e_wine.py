#!/usr/bin/env python3
"""Runs riruride.exe end to end under Wine, as a Windows user would start it by
dropping a file onto it: the cases of tests/e2e/cases.py that mean the same on
Windows, a few cases of Windows' own, and a byte-for-byte comparison of the
documents of riruride.exe and of the Linux build for the same source path.

    run_e2e_wine.py --build build-win [--linux-exe build/riruride]
                    [--only TEXT] [--keep] [--list]

Wine rewrites the arguments it is given from Linux, replaces TEMP and TMP with
its own values and sets SystemRoot to C:\\windows in every process. So each
run is described in a job file that launcher.exe, already inside Wine, carries
out: it sets TEMP (and TMP) for riruride.exe, hands the raw command line to
CreateProcessA and waits for riruride.exe and everything it started. In place
of explorer.exe in the test's own Wine prefix (drive_c/windows/explorer.exe,
where the launch command finds it) stands recorder explorer.exe, which writes
down its command line.

Scratch tree of one case (Z:\\ is the Linux root under Wine):
    work/   the current directory of the run (fragments appear here)
    temp/   TEMP (other names for some cases)
    rec/    the job file, what the recorder received, riruride's stdout/stderr
"""

from __future__ import annotations

import argparse
import dataclasses
import ntpath
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
E2E = os.path.join(os.path.dirname(HERE), "e2e")
sys.path.insert(0, E2E)

import cases  # noqa: E402
from cases import Case, Outcome  # noqa: E402

SOURCES = os.path.join(E2E, "sources")
EXPECTED = os.path.join(E2E, "expected")
RUN_IN_WINE = os.path.join(HERE, "run_in_wine.sh")
RUN_TIMEOUT = 60.0
LAUNCHER_FAILED = 100
SYSTEM_ROOT = "C:\\windows"      # what Wine gives every process
LAUNCH_PREFIX = SYSTEM_ROOT + "\\explorer.exe "
USAGE_CAPTION = "ZUV Aduv マルチページビューア"
# Wine traces these calls (and nothing else) when its relay channel is on;
# the usage cases read the message box's arguments from the trace.
TRACED_CALLS = "user32.MessageBoxW;user32.MessageBoxA"


class Skipped(Exception):
    pass


def running_as_root() -> bool:
    return hasattr(os, "geteuid") and os.geteuid() == 0


def windows_path(unix_path: str) -> str:
    """The path under Wine's drive Z:, which is the Linux root."""
    return "Z:" + unix_path.replace("/", "\\")


# --- Wine --------------------------------------------------------------------

class Wine:
    """The test's Wine prefix, with the recorder in place of explorer.exe and
    a copy of riruride.exe in a folder with a blank, as under Program Files."""

    def __init__(self, build: str, session: str):
        self.prefix = os.path.join(build, "wineprefix")
        self.launcher = os.path.join(build, "tests", "wine", "launcher.exe")
        recorder = os.path.join(build, "tests", "wine", "explorer.exe")
        exe = os.path.join(build, "riruride.exe")
        for path in (self.launcher, recorder, exe):
            if not os.path.isfile(path):
                raise SystemExit("missing " + path + ": build the windows preset first")
        self.env = dict(os.environ, WINEPREFIX=self.prefix, WINEDEBUG="-all")
        self.env.pop("RIRURIDE_WINEDEBUG", None)
        self.code_page = "cp" + self.run([self.launcher, "--acp"]).strip()
        self.run(["reg", "add", "HKCU\\Software\\Wine\\Debug", "/v", "RelayInclude",
                  "/t", "REG_SZ", "/d", TRACED_CALLS, "/f"])
        windows_dir = os.path.join(self.prefix, "drive_c", "windows")
        shutil.copyfile(recorder, os.path.join(windows_dir, "explorer.exe"))
        # One wineserver for the whole suite instead of one per run: the one
        # left from the run above gives way to one that stays.
        subprocess.run(["wineserver", "--kill"], env=self.env)
        subprocess.run(["wineserver", "--wait"], env=self.env)
        subprocess.run(["wineserver", "--persistent"], env=self.env, check=True)
        self.programs = {}
        for folder in ("Program Files", "bin"):
            os.makedirs(os.path.join(session, folder))
            copy = os.path.join(session, folder, "riruride.exe")
            shutil.copyfile(exe, copy)
            self.programs[folder] = windows_path(copy)

    def run(self, argv: list, cwd=None, stdout=subprocess.PIPE, stderr=None, trace=False):
        env = dict(self.env, RIRURIDE_WINEDEBUG="-all,+relay") if trace else self.env
        proc = subprocess.run([RUN_IN_WINE, self.prefix] + argv, cwd=cwd, env=env,
                              stdin=subprocess.DEVNULL, stdout=stdout, stderr=stderr,
                              timeout=RUN_TIMEOUT)
        if stdout == subprocess.PIPE:
            return proc.stdout.decode("ascii")
        return proc.returncode

    def ansi(self, text: str) -> bytes:
        """`text` in the ANSI code page; Skipped when it has no such bytes."""
        try:
            return text.encode(self.code_page)
        except UnicodeEncodeError:
            raise Skipped("%r has no bytes in Wine's ANSI code page %s"
                          % (text, self.code_page))

    def close(self) -> None:
        subprocess.run(["wineserver", "--kill"], env=self.env)


def write_job(path: str, program: bytes, env: dict, command_line: bytes) -> None:
    """The job file of launcher.exe: the program, the environment, then '--'
    and the command line byte for byte."""
    lines = [b"program " + program]
    for name, value in env.items():
        lines.append(b"unset " + name.encode() if value is None
                     else b"set " + name.encode() + b"=" + value)
    with open(path, "wb") as f:
        f.write(b"\n".join(lines) + b"\n--\n" + command_line)


# --- the cases ------------------------------------------------------------------

@dataclasses.dataclass(frozen=True)
class WinCase:
    """A case as riruride.exe is started for it: the command line is the
    program's name (quoted, unless `program` is 'bin-unquoted'), `gap`, and
    the argument; the table's argument templates are read with {name} meaning
    the absolute path, as a drop gives it."""
    case: Case
    argument: str
    program: str = "quoted"
    gap: str = " "


def table_case(case: Case) -> WinCase:
    """The Windows form of a case of cases.CASES, or Skipped with the reason."""
    if case.posix_only:
        raise Skipped("POSIX only")
    if case.browser != "recorder":
        raise Skipped("the browser is chosen on POSIX only; Windows starts explorer.exe")
    if case.temp in ("path-255", "path-256"):
        raise Skipped("on Windows the launch command is the tighter limit "
                      "(see 'launch command of 255 bytes')")
    if any(c in case.place for c in '"\r\n'):
        raise Skipped("Windows file names cannot hold this character")
    if len(case.args) > 1 or any("{" not in a for a in case.args if a.strip('"')):
        raise Skipped("Windows hands over one command line, not arguments to join")
    argument = " ".join(a.replace("{name}", "{abs}") for a in case.args)
    stderr = tuple(t for t in case.stderr if t != "usage")   # the usage is a message box
    return WinCase(dataclasses.replace(case, stderr=stderr), argument)


THREE = cases.THREE

# Cases of Windows' own: the edge cases of the command line as it reaches the
# program, and the limits of the launch command.
WINDOWS_CASES = [
    WinCase(Case("two quoted paths stay one path, which names no file", THREE, None,
                 exit_code=1, place="a.svg", source_path='{abs}" "{dir}\\b.svg',
                 stderr=("{source}",)),
            '"{abs}" "{dir}\\b.svg"'),
    WinCase(Case("relative name stays as given", THREE, "three_pages.htm",
                 source_path="{name}"), "{name}"),
    WinCase(Case("quoted name, no blank before the quoted path", THREE,
                 "three_pages.htm"), '"{abs}"', gap=""),
    WinCase(Case("unquoted program name, tab and blanks before the path", THREE,
                 "three_pages.htm"), '"{abs}"', program="bin-unquoted", gap="\t \t "),
    # Windows drops trailing blanks when it opens a file; the document keeps them.
    WinCase(Case("blanks after the path are part of it", THREE, "three_pages.htm",
                 source_path="{abs}  "), "{abs}  "),
    WinCase(Case("ANSI non-ASCII bytes in the file name", THREE, "three_pages.htm",
                 place="plan \u00e9 v2.svg"), '"{abs}"'),
    WinCase(Case("launch command of 255 bytes", THREE, "three_pages.htm",
                 temp="command-255"), '"{abs}"'),
    WinCase(Case("launch command of 256 bytes is not run", THREE, None, exit_code=1,
                 temp="command-256", stderr=("note",)), '"{abs}"'),
    WinCase(Case("TEMP and TMP unset: nothing is made", THREE, None, exit_code=1,
                 temp="none", stderr=("note",)), '"{abs}"'),
]


# --- one run -------------------------------------------------------------------

class Scratch:
    def __init__(self, case: Case):
        self.root = os.path.realpath(tempfile.mkdtemp(prefix="riruride-wine-"))
        self.work = os.path.join(self.root, "work")
        self.rec = os.path.join(self.root, "rec")
        os.mkdir(self.work)
        os.mkdir(self.rec)
        self.received = os.path.join(self.rec, "received")
        self.unix_source = os.path.normpath(os.path.join(self.work, case.place))
        work = windows_path(self.work)
        place = case.place.replace("/", "\\")
        self.fields = {"name": place, "abs": work + "\\" + place,
                       "real": ntpath.normpath(work + "\\" + place), "dir": work}

    def expand(self, template: str) -> str:
        return template.format(**self.fields)


def place_source(case: Case, s: Scratch) -> None:
    os.makedirs(os.path.dirname(s.unix_source), exist_ok=True)
    if case.setup == "source-dir":
        os.mkdir(s.unix_source)
    elif case.fixture is not None:
        shutil.copyfile(os.path.join(SOURCES, case.fixture), s.unix_source)


def temp_folder(case: Case, s: Scratch):
    """(TEMP, TMP, Linux folder that receives the document); a value None
    unsets the variable, a missing key leaves Wine's own."""
    plain = os.path.join(s.root, "temp")
    kind = case.temp
    if kind == "plain":
        return {"TEMP": windows_path(plain)}, plain
    if kind == "blanks":
        folder = os.path.join(s.root, "temp with blanks")
        return {"TEMP": windows_path(folder)}, folder
    if kind == "trailing-slash":
        return {"TEMP": windows_path(plain) + "\\"}, plain
    if kind == "missing":
        return {"TEMP": windows_path(os.path.join(s.root, "no such folder"))}, None
    if kind in ("command-255", "command-256"):
        total = 255 if kind == "command-255" else 256
        length = total - len(LAUNCH_PREFIX) - len("\\" + cases.DOCUMENT_NAME)
        folder = s.root + "/" + "t" * (length - len(windows_path(s.root)) - 1)
        assert len(LAUNCH_PREFIX + windows_path(folder) + "\\" + cases.DOCUMENT_NAME) == total
        return {"TEMP": windows_path(folder)}, folder
    if kind == "unset":
        return {"TEMP": None, "TMP": windows_path(plain)}, plain
    if kind == "empty":
        return {"TEMP": "", "TMP": windows_path(plain)}, plain
    if kind == "none":
        return {"TEMP": None, "TMP": None}, None
    raise ValueError("unknown temp kind " + kind)


def apply_setup(case: Case, s: Scratch, doc_folder) -> None:
    if case.setup in ("source-unreadable", "cwd-readonly"):
        if running_as_root():
            raise Skipped("running as root, file permissions are not enforced")
        os.chmod(s.unix_source if case.setup == "source-unreadable" else s.work, 0)
    elif case.setup == "stale":
        with open(os.path.join(doc_folder, cases.DOCUMENT_NAME), "wb") as f:
            f.write(b"<html>document of an earlier run</html>\r\n" * 200)
        for name in cases.FRAGMENT_NAMES:
            with open(os.path.join(s.work, name), "wb") as f:
                f.write(b"<LI>stale fragment line</LI>\r\n" * 50)
    elif case.setup == "fragment-blocked":
        os.mkdir(os.path.join(s.work, "tmp3.htm"))
        with open(os.path.join(s.work, "tmp3.htm", "keep"), "wb") as f:
            f.write(b"keep\n")
    elif case.setup is not None and case.setup != "source-dir":
        raise Skipped("setup %s has no Windows form" % case.setup)


def launch(wine: Wine, s: Scratch, program: bytes, env: dict, command_line: bytes):
    """Runs one job, with the message boxes traced; returns (exit code,
    stderr bytes with the trace, seconds)."""
    job = os.path.join(s.rec, "job")
    env = dict(env, RIRURIDE_RECORDER_FILE=wine.ansi(windows_path(s.received)))
    write_job(job, program, env, command_line)
    err_path = os.path.join(s.rec, "stderr")
    with open(os.path.join(s.rec, "stdout"), "wb") as out, open(err_path, "wb") as err:
        start = time.monotonic()
        try:
            code = wine.run([wine.launcher, windows_path(job)], cwd=s.work,
                            stdout=out, stderr=err, trace=True)
        except subprocess.TimeoutExpired:
            code = None
        elapsed = time.monotonic() - start
    with open(err_path, "rb") as f:
        return code, f.read(), elapsed


TRACE_LINE = re.compile(rb"^[0-9a-f]{4}:(Call|Ret |trace:|warn:|err:|fixme:)")
BOX_CALL = re.compile(rb"Call user32\.(MessageBox[AW])\(([0-9a-f]+),[0-9a-f]+ L?\"(.*)\","
                      rb"[0-9a-f]+ L?\"(.*)\",([0-9a-f]+)\)")


def split_trace(err: bytes):
    """(riruride's own stderr, the message box calls Wine traced in it as
    (function, owner, text, caption, style))."""
    own, boxes = [], []
    for line in err.splitlines(keepends=True):
        if TRACE_LINE.match(line):
            found = BOX_CALL.search(line)
            if found:
                function, owner, text, caption, style = found.groups()
                boxes.append((function.decode(), int(owner, 16), text, caption,
                              int(style, 16)))
        else:
            own.append(line)
    return b"".join(own), boxes


def traced_text(text: str) -> bytes:
    """`text` as Wine's trace writes a wide string: ASCII as it is, every
    other character as a backslash and four hex digits."""
    out = []
    for c in text:
        if c in '"\\':
            out.append("\\" + c)
        elif " " <= c <= "~":
            out.append(c)
        else:
            out.append("\\%04x" % ord(c))
    return "".join(out).encode()


def check_message_boxes(case: Case, boxes: list) -> list:
    """The usage message is one wide message box without owner, icon or
    other buttons than OK (style 0); no other run shows a box."""
    if case.exit_code != 2:
        return ["message box shown: %r" % boxes] if boxes else []
    wanted = [("MessageBoxW", 0, traced_text(cases.USAGE_TEXT), traced_text(USAGE_CAPTION), 0)]
    return [] if boxes == wanted else ["message boxes %r, expected %r" % (boxes, wanted)]


def run_case(wc: WinCase, wine: Wine, keep: bool):
    """Runs one case; returns its Outcome and the message boxes shown."""
    case = wc.case
    s = Scratch(case)
    try:
        place_source(case, s)
        temp_env, doc_folder = temp_folder(case, s)
        if doc_folder:
            os.makedirs(doc_folder, exist_ok=True)
        apply_setup(case, s, doc_folder)
        env = {name: None if value is None else wine.ansi(value)
               for name, value in temp_env.items()}
        temp = env.get("TEMP") or env.get("TMP") or b""
        document_path = temp + b"\\" + cases.DOCUMENT_NAME.encode()

        if wc.program == "bin-unquoted":
            program = wine.programs["bin"]
            name = wine.ansi(program)
        else:
            program = wine.programs["Program Files"]
            name = b'"' + wine.ansi(program) + b'"'
        command_line = name + wine.ansi(wc.gap + s.expand(wc.argument))

        before = cases.snapshot(s.root, s.rec)
        code, err, elapsed = launch(wine, s, wine.ansi(program), env, command_line)
        if code is not None and code >= LAUNCHER_FAILED:
            raise RuntimeError("launcher failed: " + err.decode("latin-1"))
        err, boxes = split_trace(err)
        after = cases.snapshot(s.root, s.rec)

        launched = None
        if os.path.exists(s.received):
            with open(s.received, "rb") as f:
                recorded = f.read()
            # The check of cases.py compares what the viewer was given.
            wanted = wine.ansi(LAUNCH_PREFIX) + document_path
            launched = ([document_path] if recorded == wanted
                        else [b"command " + recorded + b", expected " + wanted])
        document = None
        doc_key = None
        if doc_folder:
            doc_file = os.path.join(doc_folder, cases.DOCUMENT_NAME)
            doc_key = os.path.relpath(doc_file, s.root)
            if os.path.isfile(doc_file):
                with open(doc_file, "rb") as f:
                    document = f.read()
        return boxes, Outcome(
            exit_code=code, stderr=err, elapsed=elapsed,
            source_path=wine.ansi(s.expand(case.source_path)),
            document_path=document_path, document=document, launched=launched,
            fragments_left=[n for n in cases.FRAGMENT_NAMES
                            if os.path.isfile(os.path.join(s.work, n))],
            created=after - before, removed=before - after, document_key=doc_key,
            fragment_keys={os.path.join("work", n) for n in cases.FRAGMENT_NAMES})
    finally:
        cleanup(s, keep)


def cleanup(s: Scratch, keep: bool) -> None:
    for folder, dirs, _ in os.walk(s.root):
        for name in dirs:
            os.chmod(os.path.join(folder, name), 0o755)
    if os.path.isdir(s.work):
        os.chmod(s.work, 0o755)
    if keep:
        print("  kept " + s.root)
    else:
        shutil.rmtree(s.root, ignore_errors=True)


# --- the same document as the Linux build --------------------------------------------

SAME_NAME = "plan 1 & 100%.svg"


def compare_with_linux(fixture: str, wine: Wine, linux_exe: str) -> list:
    """Runs both builds on `fixture` with the same source path string (a Linux
    absolute path, which riruride.exe opens on Wine's drive Z:) and returns
    what differs between their documents."""
    root = os.path.realpath(tempfile.mkdtemp(prefix="riruride-same-"))
    try:
        source = os.path.join(root, SAME_NAME)
        shutil.copyfile(os.path.join(SOURCES, fixture), source)
        linux_temp, windows_temp = os.path.join(root, "lt"), os.path.join(root, "wt")
        os.mkdir(linux_temp)
        os.mkdir(windows_temp)
        env = dict(os.environ, TEMP=linux_temp, BROWSER="true")
        done = subprocess.run([linux_exe, source], cwd=root, env=env, timeout=RUN_TIMEOUT,
                              stdin=subprocess.DEVNULL, capture_output=True)
        if done.returncode != 0:
            return ["Linux build ended with %d: %r" % (done.returncode, done.stderr)]
        s = Scratch(Case("same", fixture))
        try:
            program = wine.programs["Program Files"]
            code, err, _ = launch(wine, s, wine.ansi(program),
                                  {"TEMP": wine.ansi(windows_path(windows_temp))},
                                  b'"' + wine.ansi(program) + b'" ' + os.fsencode(source))
        finally:
            cleanup(s, False)
        if code != 0:
            return ["riruride.exe ended with %s: %r" % (code, err)]
        documents = []
        for folder in (linux_temp, windows_temp):
            with open(os.path.join(folder, cases.DOCUMENT_NAME), "rb") as f:
                documents.append(f.read())
        if documents[0] != documents[1]:
            return [cases.first_difference(documents[1], documents[0])]
        return []
    finally:
        shutil.rmtree(root, ignore_errors=True)


# --- driver ---------------------------------------------------------------------------

def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", required=True, help="the build folder of the windows preset")
    parser.add_argument("--linux-exe", help="the Linux riruride, to compare documents with")
    parser.add_argument("--only", help="run only cases whose name holds this text")
    parser.add_argument("--keep", action="store_true", help="keep the scratch trees")
    parser.add_argument("--list", action="store_true", help="list the cases and stop")
    opts = parser.parse_args()

    planned = []
    for case in cases.CASES:
        try:
            planned.append(table_case(case))
        except Skipped as why:
            planned.append((case, why))
    planned += WINDOWS_CASES
    planned = [p for p in planned
               if not opts.only or opts.only in (p.case.name if isinstance(p, WinCase)
                                                 else p[0].name)]
    fixtures = sorted({c.fixture for c in cases.CASES
                       if c.expected and c.exit_code == 0 and c.fixture})
    if opts.list:
        for p in planned:
            print(p.case.name if isinstance(p, WinCase) else "%s (skipped)" % p[0].name)
        return 0

    session = os.path.realpath(tempfile.mkdtemp(prefix="riruride-wine-session-"))
    wine = Wine(os.path.abspath(opts.build), session)
    passed = failed = skipped = 0

    def report(name: str, problems: list) -> None:
        nonlocal passed, failed
        if problems:
            print("FAIL %s: %s" % (name, "; ".join(problems)))
            failed += 1
        else:
            print("PASS " + name)
            passed += 1
        sys.stdout.flush()

    try:
        for p in planned:
            if not isinstance(p, WinCase):
                print("SKIP %s: %s" % (p[0].name, p[1]))
                skipped += 1
                continue
            try:
                boxes, outcome = run_case(p, wine, opts.keep)
            except Skipped as why:
                print("SKIP %s: %s" % (p.case.name, why))
                skipped += 1
                continue
            report(p.case.name, cases.check(p.case, outcome, EXPECTED) +
                   check_message_boxes(p.case, boxes))
        if opts.linux_exe and not opts.only:
            for fixture in fixtures:
                report("same document as the Linux build: " + fixture,
                       compare_with_linux(fixture, wine, os.path.abspath(opts.linux_exe)))
        elif not opts.only:
            print("SKIP same document as the Linux build: no --linux-exe given")
            skipped += 1
    finally:
        wine.close()
        shutil.rmtree(session, ignore_errors=True)
    print("%d passed, %d failed, %d skipped" % (passed, failed, skipped))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
