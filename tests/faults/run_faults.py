#!/usr/bin/env python3
"""Fault tests: run the real riruride binary where the machine lets it down.

Each case builds a scratch tree (source, working folder, TEMP, a recording
BROWSER), breaks one thing - an unreadable source, a folder the user may not
write, a disk that fills up while the fragments or the document are written,
a source that fails to read - runs riruride and checks what a user would see:
exit code 1, one message naming the path and the reason, no browser started,
no fragment and no half-written document left behind. Some cases then free
the machine again and check that the next run writes the whole document.

Permission cases run riruride as an unprivileged user (nobody) when the tests
run as root, since root may read and write anything. The full disk comes from
a file size limit (SIGXFSZ at its default), and, where mounting is permitted,
from a small tmpfs.

Usage: run_faults.py RIRURIDE_BINARY
"""

import dataclasses
import os
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from typing import Callable, Optional

DOCUMENT_NAME = "zuvaduv_multiview.htm"
NOBODY = 65534
RUN_TIMEOUT = 60.0
NO_LAUNCH_GRACE = 0.5   # how long to watch for a browser that must not start
LAUNCH_WAIT = 5.0       # how long a started browser may take to record


class Skipped(Exception):
    pass


# --- sources ------------------------------------------------------------------

def page_group_lines(count: int) -> bytes:
    return b"".join(b'<g id="page%d" width="210" height="297" visibility="hidden">\n</g>\n'
                    % (k + 1) for k in range(count))


def outline_lines(count: int) -> bytes:
    return b"".join(b'<page num="%d" title="Chapter %d"/>\n' % (k + 1, k + 1)
                    for k in range(count))


SMALL_SOURCE = b"<svg>\n" + page_group_lines(3) + b"</svg>\n"
# About 1.7 MB of page list: far beyond the 256 KiB limit set below.
MANY_PAGES = b"<svg>\n" + page_group_lines(12000) + b"</svg>\n"
# About 1.3 MB of outline and a page list of one line.
MANY_ENTRIES = b"<svg>\n" + outline_lines(30000) + page_group_lines(1) + b"</svg>\n"
FILE_LIMIT = 256 * 1024


# --- one case's tree ------------------------------------------------------------

class Tree:
    """The folders and files of one case, below a fresh scratch folder that
    an unprivileged user can reach."""

    def __init__(self, root: str, name: str):
        self.root = os.path.join(root, name.replace(" ", "_").replace(",", ""))
        self.work = os.path.join(self.root, "work")
        self.temp = os.path.join(self.root, "temp")
        self.record = os.path.join(self.root, "record")
        self.source = os.path.join(self.root, "source.svg")
        self.recorder = os.path.join(self.root, "browser.sh")
        for folder in (self.root, self.work, self.temp, self.record):
            os.mkdir(folder)
            os.chmod(folder, 0o777)
        os.chmod(self.root, 0o755)
        with open(self.recorder, "w") as f:
            f.write('#!/bin/sh\nprintf "%%s\\n" "$@" >> "%s/launched"\n' % self.record)
        os.chmod(self.recorder, 0o755)
        self.write_source(SMALL_SOURCE)

    @property
    def document(self) -> str:
        return os.path.join(self.temp, DOCUMENT_NAME)

    @property
    def launched(self) -> str:
        return os.path.join(self.record, "launched")

    def write_source(self, data: bytes) -> None:
        with open(self.source, "wb") as f:
            f.write(data)
        os.chmod(self.source, 0o644)


@dataclasses.dataclass
class Outcome:
    exit_code: int
    stderr: bytes


def running_as_root() -> bool:
    return os.geteuid() == 0


def run_riruride(binary: str, tree: Tree, unprivileged: bool = False,
                 file_limit: Optional[int] = None) -> Outcome:
    """Runs riruride on the tree's source from its working folder."""
    env = dict(os.environ, TEMP=tree.temp, BROWSER=tree.recorder)

    def in_child():
        if file_limit is not None:
            # SIGXFSZ stays at its default, as after a shell's `ulimit -f`:
            # riruride itself ignores it, so that a write past the limit fails
            # with EFBIG, as a full disk fails with ENOSPC, and it cleans up.
            signal.signal(signal.SIGXFSZ, signal.SIG_DFL)
            resource.setrlimit(resource.RLIMIT_FSIZE, (file_limit, file_limit))

    extra = {}
    if unprivileged and running_as_root():
        extra = dict(user=NOBODY, group=NOBODY, extra_groups=[])
    done = subprocess.run([binary, tree.source], cwd=tree.work, env=env,
                          stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                          stderr=subprocess.PIPE, timeout=RUN_TIMEOUT,
                          preexec_fn=in_child, restore_signals=False, **extra)
    return Outcome(done.returncode, done.stderr)


# --- checks ---------------------------------------------------------------------

def launches(tree: Tree, wait: float) -> list:
    deadline = time.monotonic() + wait
    while time.monotonic() < deadline and not os.path.exists(tree.launched):
        time.sleep(0.05)
    if not os.path.exists(tree.launched):
        return []
    with open(tree.launched) as f:
        return f.read().splitlines()


def check_failed(tree: Tree, outcome: Outcome, message: str,
                 document_before: Optional[bytes]) -> list:
    """The run failed as it should: exit 1, exactly `message`, no browser, no
    fragment, and the document as it was before the run (absent when None)."""
    problems = []
    if outcome.exit_code != 1:
        problems.append("exit code %d, expected 1" % outcome.exit_code)
    expected = ("riruride: " + message + "\n").encode()
    if outcome.stderr != expected:
        problems.append("message %r, expected %r" % (outcome.stderr, expected))
    left = sorted(os.listdir(tree.work))
    if left:
        problems.append("left behind in the working folder: %s" % left)
    if document_before is None:
        if os.path.lexists(tree.document):
            problems.append("a document was left in TEMP")
    else:
        with open(tree.document, "rb") as f:
            if f.read() != document_before:
                problems.append("the earlier document was changed")
    started = launches(tree, NO_LAUNCH_GRACE)
    if started:
        problems.append("a browser was started: %r" % started)
    return problems


def check_whole_document(tree: Tree, outcome: Outcome, pages: int) -> list:
    """The run succeeded: exit 0, silent, one browser on the document, which
    is whole: its head, one embed line per page, its tail."""
    problems = []
    if outcome.exit_code != 0:
        problems.append("exit code %d, expected 0 (%r)" % (outcome.exit_code, outcome.stderr))
    if outcome.stderr:
        problems.append("unexpected message %r" % outcome.stderr)
    left = sorted(os.listdir(tree.work))
    if left:
        problems.append("left behind in the working folder: %s" % left)
    with open(tree.document, "rb") as f:
        document = f.read()
    title = b"<html>\r\n<head>\r\n<title>ZUV Aduv "
    if not document.startswith(title):
        problems.append("the document does not begin with its head")
    if b"var  mPage=%d;\r\n" % pages not in document:
        problems.append("the document does not count %d pages" % pages)
    if document.count(b"<embed src=") != pages:
        problems.append("the document does not hold %d embed lines" % pages)
    if not document.endswith(b"</body>\r\n</html>\r\n"):
        problems.append("the document does not end with its tail")
    started = launches(tree, LAUNCH_WAIT)
    if started != [tree.document]:
        problems.append("browser started with %r, expected once with the document" % started)
    return problems


# --- the machine let down ----------------------------------------------------------

class Tmpfs:
    """A small tmpfs mounted on `folder` for the length of a with block."""

    def __init__(self, folder: str, size: str):
        self.folder = folder
        self.size = size

    def __enter__(self):
        if not running_as_root() or not shutil.which("mount"):
            raise Skipped("mounting a tmpfs needs root")
        done = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%s,mode=0777" % self.size,
                               "riruride-faults", self.folder],
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        if done.returncode != 0:
            raise Skipped("cannot mount a tmpfs here: %s" % done.stdout.decode().strip())
        return self

    def __exit__(self, *exc):
        subprocess.run(["umount", self.folder], check=True)


def recovered(binary: str, tree: Tree, pages: int) -> list:
    """With the machine whole again, the next run writes the whole document."""
    return ["after the fault: " + p
            for p in check_whole_document(tree, run_riruride(binary, tree), pages)]


def disk_full(binary: str, tree: Tree, source: bytes, message: str,
              file_limit: Optional[int] = None) -> list:
    tree.write_source(source)
    return check_failed(tree, run_riruride(binary, tree, file_limit=file_limit),
                        message, None)


def case_unreadable_source(binary, tree):
    os.chmod(tree.source, 0)
    return check_failed(tree, run_riruride(binary, tree, unprivileged=True),
                        "cannot open %s: Permission denied" % tree.source, None)


def case_source_read_error(binary, tree):
    # Reading this process's memory from offset 0 fails with EIO after the
    # open has succeeded, so the scan itself meets the read error.
    tree.source = "/proc/self/mem"
    if not os.path.exists(tree.source):
        raise Skipped("no /proc/self/mem on this system")
    return check_failed(tree, run_riruride(binary, tree),
                        "cannot read /proc/self/mem: Input/output error", None)


def case_working_folder_not_writable(binary, tree):
    os.chmod(tree.work, 0o555)
    return check_failed(tree, run_riruride(binary, tree, unprivileged=True),
                        "cannot create tmp2.htm: Permission denied", None)


def case_temp_not_writable(binary, tree):
    os.chmod(tree.temp, 0o555)
    return check_failed(tree, run_riruride(binary, tree, unprivileged=True),
                        "cannot create %s: Permission denied" % tree.document, None)


def case_earlier_document_of_another_user(binary, tree):
    # A shared TEMP such as /tmp: sticky, and the earlier document belongs to
    # someone else, so it may be neither replaced nor removed.
    if not running_as_root():
        raise Skipped("needs root to make a document of another user")
    os.chmod(tree.temp, 0o1777)
    earlier = b"<html>document of an earlier run by another user</html>\r\n"
    with open(tree.document, "wb") as f:
        f.write(earlier)
    os.chmod(tree.document, 0o644)
    return check_failed(tree, run_riruride(binary, tree, unprivileged=True),
                        "cannot create %s: Permission denied" % tree.document, earlier)


def case_page_list_over_file_limit(binary, tree):
    return (disk_full(binary, tree, MANY_PAGES, "cannot write tmp2.htm: File too large",
                      FILE_LIMIT)
            + recovered(binary, tree, 12000))


def case_outline_over_file_limit(binary, tree):
    return (disk_full(binary, tree, MANY_ENTRIES, "cannot write tmp3.htm: File too large",
                      FILE_LIMIT)
            + recovered(binary, tree, 1))


def case_document_over_file_limit(binary, tree):
    # The document is the page list plus the head and a page bar of some
    # 30 bytes per page, so a limit 60000 bytes below the document's size
    # lets both fragments through and stops the document within its page list.
    tree.write_source(MANY_PAGES)
    first = run_riruride(binary, tree)
    problems = check_whole_document(tree, first, 12000)
    os.remove(tree.launched)
    limit = os.path.getsize(tree.document) - 60000
    os.remove(tree.document)
    return (problems
            + disk_full(binary, tree, MANY_PAGES,
                        "cannot write %s: File too large" % tree.document, limit)
            + recovered(binary, tree, 12000))


# Once the tmpfs is gone, the folder below it is roomy again.
def case_working_folder_full(binary, tree):
    with Tmpfs(tree.work, "128k"):
        problems = disk_full(binary, tree, MANY_PAGES,
                             "cannot write tmp2.htm: No space left on device")
    return problems + recovered(binary, tree, 12000)


def case_temp_full(binary, tree):
    with Tmpfs(tree.temp, "128k"):
        problems = disk_full(binary, tree, MANY_PAGES,
                             "cannot write %s: No space left on device" % tree.document)
    return problems + recovered(binary, tree, 12000)


def case_earlier_document_replaced(binary, tree):
    earlier = b"<html>document of an earlier run</html>\r\n" * 5000
    with open(tree.document, "wb") as f:
        f.write(earlier)
    problems = check_whole_document(tree, run_riruride(binary, tree), 3)
    with open(tree.document, "rb") as f:
        if b"earlier run" in f.read():
            problems.append("bytes of the earlier document remain")
    return problems


CASES: list = [
    ("unreadable source", case_unreadable_source),
    ("source read error during the scan", case_source_read_error),
    ("working folder not writable", case_working_folder_not_writable),
    ("TEMP not writable", case_temp_not_writable),
    ("earlier document of another user in a sticky TEMP",
     case_earlier_document_of_another_user),
    ("page list over the file size limit", case_page_list_over_file_limit),
    ("outline over the file size limit", case_outline_over_file_limit),
    ("document over the file size limit", case_document_over_file_limit),
    ("working folder on a full tmpfs", case_working_folder_full),
    ("TEMP on a full tmpfs", case_temp_full),
    ("earlier document replaced by a successful run", case_earlier_document_replaced),
]


def main() -> int:
    if len(sys.argv) != 2:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    root = tempfile.mkdtemp(prefix="riruride-faults-")
    os.chmod(root, 0o755)
    failed = 0
    try:
        # A copy that the unprivileged user can reach wherever the build lies.
        binary = os.path.join(root, "riruride")
        shutil.copy(sys.argv[1], binary)
        os.chmod(binary, 0o755)
        for name, check in CASES:
            tree = Tree(root, name)
            try:
                problems = check(binary, tree)
            except Skipped as reason:
                print("== %s skipped: %s" % (name, reason))
                continue
            if problems:
                failed += 1
                print("FAIL %s" % name)
                for problem in problems:
                    print("     " + problem)
            else:
                print("ok   %s" % name)
    finally:
        shutil.rmtree(root, ignore_errors=True)
    print("%d of %d fault cases failed" % (failed, len(CASES)) if failed
          else "all fault cases passed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
