#!/usr/bin/env python3
"""Runs riruride end to end on POSIX: every case of cases.CASES against the
real binary, each in a scratch tree of its own.

    run_e2e.py --exe build/riruride [--only TEXT] [--keep] [--list]

Scratch tree of one case:
    work/   the current directory of the run (fragments appear here)
    temp/   TEMP (other names for some cases)
    rec/    the stand-in browser, what it received, riruride's stdout/stderr
The stand-in browser is a shell script that writes its arguments, each ended
by a NUL byte, to a file it then moves into place, so that a half-written
record is never seen.
"""

from __future__ import annotations

import argparse
import os
import shutil
import socket
import stat
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import cases  # noqa: E402
from cases import Case, Outcome  # noqa: E402

SOURCES = os.path.join(HERE, "sources")
EXPECTED = os.path.join(HERE, "expected")
RUN_TIMEOUT = 20.0
LAUNCH_WAIT = 5.0        # how long a started browser may take to record
NO_LAUNCH_GRACE = 1.0    # how long to watch for a browser that must not start
PATH_BROWSER_NAME = "riruride-e2e-browser"


class Skipped(Exception):
    pass


def running_as_root() -> bool:
    return hasattr(os, "geteuid") and os.geteuid() == 0


# --- setting up one case ----------------------------------------------------

class Scratch:
    """Names of one case's scratch tree."""

    def __init__(self, case: Case):
        self.root = os.path.realpath(tempfile.mkdtemp(prefix="riruride-e2e-"))
        self.work = os.path.join(self.root, "work")
        self.rec = os.path.join(
            self.root, "rec folder" if case.browser == "recorder-blank-folder" else "rec")
        self.received = os.path.join(self.rec, "received")
        os.mkdir(self.work)
        os.mkdir(self.rec)
        self.fields = {
            "name": case.place,
            "abs": self.work + "/" + case.place,
            "real": os.path.normpath(self.work + "/" + case.place),
        }

    def expand(self, template: str) -> str:
        return template.format(**self.fields)


def place_source(case: Case, s: Scratch) -> None:
    target = os.path.normpath(os.path.join(s.work, case.place))
    os.makedirs(os.path.dirname(target), exist_ok=True)
    if case.setup == "source-dir":
        os.mkdir(target)
    elif case.setup == "source-socket":
        sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        sock.bind(target)
        sock.close()
    elif case.fixture is not None:
        shutil.copyfile(os.path.join(SOURCES, case.fixture), target)


def temp_folder(case: Case, s: Scratch):
    """(TEMP value or None to unset, TMPDIR value or None, document folder to create)."""
    plain = os.path.join(s.root, "temp")
    kind = case.temp
    if kind == "plain":
        return plain, None, plain
    if kind == "blanks":
        folder = os.path.join(s.root, "temp with blanks")
        return folder, None, folder
    if kind == "trailing-slash":
        return plain + "/", None, plain
    if kind == "missing":
        return os.path.join(s.root, "no such folder"), None, None
    if kind in ("path-255", "path-256"):
        total = 255 if kind == "path-255" else 256
        length = total - len("/" + cases.DOCUMENT_NAME)
        folder = s.root + "/" + "t" * (length - len(s.root) - 1)
        assert len(folder + "/" + cases.DOCUMENT_NAME) == total
        return folder, None, folder
    if kind == "unset":
        return None, plain, plain
    if kind == "empty":
        return "", plain, plain
    if kind == "system":
        return "", None, None
    raise ValueError("unknown temp kind " + kind)


def document_path(temp, tmpdir) -> str:
    folder = temp or tmpdir or "/tmp"
    return folder + "/" + cases.DOCUMENT_NAME


def write_recorder(s: Scratch, name: str, delay: float) -> str:
    path = os.path.join(s.rec, name)
    with open(path, "w") as f:
        f.write("#!/bin/sh\n"
                "# Stands in for the web browser: records its arguments.\n")
        if delay:
            f.write("sleep %g\n" % delay)
        f.write("for a in \"$@\"; do printf '%%s\\000' \"$a\"; done > '%s.part'\n"
                "mv '%s.part' '%s'\n" % (s.received, s.received, s.received))
    os.chmod(path, 0o755)
    return path


def browser_environment(case: Case, s: Scratch, env: dict) -> None:
    kind = case.browser
    if kind in ("recorder", "recorder-blank-folder"):
        env["BROWSER"] = write_recorder(s, "browser", 0)
    elif kind == "slow-recorder":
        env["BROWSER"] = write_recorder(s, "browser", cases.RECORDER_DELAY)
    elif kind == "recorder-on-path":
        write_recorder(s, PATH_BROWSER_NAME, 0)
        env["BROWSER"] = PATH_BROWSER_NAME
        env["PATH"] = s.rec + os.pathsep + env.get("PATH", os.defpath)
    elif kind == "fallback-on-path":
        if not sys.platform.startswith("linux"):
            raise Skipped("the xdg-open fallback is the Linux one")
        write_recorder(s, "xdg-open", 0)
        env["PATH"] = s.rec + os.pathsep + env.get("PATH", os.defpath)
    elif kind == "missing":
        env["BROWSER"] = os.path.join(s.root, "no-such-browser")
    else:
        raise ValueError("unknown browser kind " + kind)


def apply_setup(case: Case, s: Scratch, doc_folder) -> None:
    if case.setup == "stale":
        with open(os.path.join(doc_folder, cases.DOCUMENT_NAME), "wb") as f:
            f.write(b"<html>document of an earlier run</html>\r\n" * 200)
        with open(os.path.join(s.work, "tmp2.htm"), "wb") as f:
            f.write(b'<NOBR><A name="page9"><embed src="old.svg"> 9</A></NOBR>\r\n' * 50)
        with open(os.path.join(s.work, "tmp3.htm"), "wb") as f:
            f.write(b'<LI><A href="#page9">[9] Old</A>\r\n' * 50)
    elif case.setup == "source-unreadable":
        if running_as_root():
            raise Skipped("running as root, file permissions are not enforced")
        os.chmod(s.fields["real"], 0)
    elif case.setup == "cwd-readonly":
        if running_as_root():
            raise Skipped("running as root, folder permissions are not enforced "
                          "('working folder removed' covers an unusable folder)")
        os.chmod(s.work, 0o555)
    elif case.setup == "fragment-blocked":
        os.mkdir(os.path.join(s.work, "tmp3.htm"))
        with open(os.path.join(s.work, "tmp3.htm", "keep"), "wb") as f:
            f.write(b"keep\n")


# --- observing ---------------------------------------------------------------

def wait_for_record(path: str, seconds: float):
    deadline = time.monotonic() + seconds
    while True:
        if os.path.exists(path):
            with open(path, "rb") as f:
                data = f.read()
            return [os.fsdecode(a) for a in data.split(b"\0")[:-1]]
        if time.monotonic() >= deadline:
            return None
        time.sleep(0.05)


def run_program(exe: str, argv: list, case: Case, s: Scratch, env: dict):
    """Runs riruride; returns (exit code or None, stderr bytes, seconds)."""
    preexec = None
    cwd = s.work
    if case.setup == "cwd-removed":
        cwd = None

        def preexec():
            os.chdir(s.work)
            os.rmdir(s.work)
    out_path = os.path.join(s.rec, "stdout")
    err_path = os.path.join(s.rec, "stderr")
    # Files rather than pipes: a browser that inherits them must not keep
    # this runner waiting.
    with open(out_path, "wb") as out, open(err_path, "wb") as err:
        start = time.monotonic()
        proc = subprocess.Popen([exe] + argv, cwd=cwd, env=env, stdin=subprocess.DEVNULL,
                                stdout=out, stderr=err, preexec_fn=preexec)
        try:
            code = proc.wait(timeout=RUN_TIMEOUT)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
            code = None
        elapsed = time.monotonic() - start
    with open(err_path, "rb") as f:
        return code, f.read(), elapsed


def base_environment() -> dict:
    env = dict(os.environ)
    for name in ("TEMP", "TMPDIR", "BROWSER", "TMP"):
        env.pop(name, None)
    return env


def run_case(case: Case, exe: str, keep: bool) -> Outcome:
    """Sets up one case in a fresh scratch tree, runs riruride and observes it."""
    s = Scratch(case)
    try:
        place_source(case, s)
        temp, tmpdir, doc_folder = temp_folder(case, s)
        if doc_folder:
            os.makedirs(doc_folder, exist_ok=True)
        env = base_environment()
        if temp is not None:
            env["TEMP"] = temp
        if tmpdir is not None:
            env["TMPDIR"] = tmpdir
        browser_environment(case, s, env)
        apply_setup(case, s, doc_folder)
        doc = document_path(temp, tmpdir)

        before = cases.snapshot(s.root, s.rec)
        argv = [s.expand(a) for a in case.args]
        code, err, elapsed = run_program(exe, argv, case, s, env)
        if cases.expects_launch(case):
            wait = LAUNCH_WAIT + (cases.RECORDER_DELAY if case.browser == "slow-recorder" else 0)
            launched = wait_for_record(s.received, wait)
        else:
            launched = wait_for_record(s.received, NO_LAUNCH_GRACE)
        after = cases.snapshot(s.root, s.rec)
        if case.setup == "cwd-removed":
            after.add("work")   # removed by this runner, not by riruride

        document = None
        if os.path.isfile(doc):
            with open(doc, "rb") as f:
                document = f.read()
        doc_real = os.path.normpath(doc)
        doc_key = (os.path.relpath(doc_real, s.root)
                   if doc_real.startswith(s.root + os.sep) else None)
        if case.temp == "system" and document is not None:
            os.remove(doc)
        return Outcome(
            exit_code=code, stderr=err, elapsed=elapsed,
            source_path=os.fsencode(s.expand(case.source_path)),
            document_path=os.fsencode(doc), document=document,
            launched=None if launched is None else [os.fsencode(a) for a in launched],
            fragments_left=[n for n in cases.FRAGMENT_NAMES
                            if os.path.isfile(os.path.join(s.work, n))],
            created=after - before, removed=before - after,
            document_key=doc_key,
            fragment_keys={os.path.join("work", n) for n in cases.FRAGMENT_NAMES})
    finally:
        cleanup(s, keep)


def cleanup(s: Scratch, keep: bool) -> None:
    for folder, dirs, files in os.walk(s.root):
        for name in dirs:
            os.chmod(os.path.join(folder, name), 0o755)
        for name in files:
            full = os.path.join(folder, name)
            if not os.path.islink(full) and stat.S_ISREG(os.lstat(full).st_mode):
                os.chmod(full, 0o644)
    if os.path.isdir(s.work):
        os.chmod(s.work, 0o755)
    if keep:
        print("  kept " + s.root)
    else:
        shutil.rmtree(s.root, ignore_errors=True)


# --- driver -------------------------------------------------------------------

def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--exe", required=True, help="the riruride binary")
    parser.add_argument("--only", help="run only cases whose name holds this text")
    parser.add_argument("--keep", action="store_true", help="keep the scratch trees")
    parser.add_argument("--list", action="store_true", help="list the cases and stop")
    opts = parser.parse_args()

    selected = [c for c in cases.CASES if not opts.only or opts.only in c.name]
    if opts.list:
        for c in selected:
            print(c.name)
        return 0
    exe = os.path.abspath(opts.exe)
    if not os.access(exe, os.X_OK):
        print("no executable riruride at " + exe)
        return 2

    passed = failed = skipped = 0
    for case in selected:
        try:
            outcome = run_case(case, exe, opts.keep)
        except Skipped as why:
            print("SKIP %s: %s" % (case.name, why))
            skipped += 1
            continue
        problems = cases.check(case, outcome, EXPECTED)
        if problems:
            print("FAIL %s: %s" % (case.name, "; ".join(problems)))
            failed += 1
        else:
            print("PASS " + case.name)
            passed += 1
        sys.stdout.flush()
    print("%d passed, %d failed, %d skipped" % (passed, failed, skipped))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
