"""End-to-end cases for riruride, and the judgement of one observed run.

This module knows nothing about how riruride is started: a runner (see
run_e2e.py for the POSIX one) sets up a case, runs the real program, observes
what it did and hands an Outcome to check().  The case table below is written
in terms that any runner can map to its own platform: file names relative to
the working folder, argument templates, and named kinds of environment.

Argument and path templates:
  {name}  the source's place as given in the case (relative to the working folder)
  {abs}   the working folder, the separator, then {name}: what riruride makes
          of a relative name (no normalisation)
  {real}  {abs} normalised (for runs whose working folder cannot be used)

Expected documents live in expected/; the ASCII placeholder @SOURCE@ in them
stands for the source path as the document must name it.
"""

from __future__ import annotations

import errno
import os
from dataclasses import dataclass, field
from typing import Optional

USAGE_TEXT = ("ZUV Aduv で作成した .svg ファイルを、riruride.exe に"
              "ドラッグ＆ドロップしてください。")
DOCUMENT_NAME = "zuvaduv_multiview.htm"
FRAGMENT_NAMES = ("tmp2.htm", "tmp3.htm")
PLACEHOLDER = b"@SOURCE@"

# The slow stand-in browser sleeps this long before it records anything;
# riruride must have ended well before that.
RECORDER_DELAY = 4.0

# Browser kinds whose stand-in records the arguments it was started with.
RECORDING_BROWSERS = ("recorder", "recorder-on-path", "recorder-blank-folder",
                      "slow-recorder", "fallback-on-path")


@dataclass(frozen=True)
class Case:
    name: str
    fixture: Optional[str]           # file in sources/; None: no source is put in place
    expected: Optional[str] = None   # document in expected/; None: no document may appear
    exit_code: int = 0
    place: str = "plan.svg"          # where the source goes, relative to the working folder
    args: tuple = ("{name}",)
    source_path: str = "{abs}"       # the source path the document must name
    temp: str = "plain"              # plain, blanks, trailing-slash, missing, path-255,
                                     # path-256, unset, empty, system
    browser: str = "recorder"        # a RECORDING_BROWSERS kind, or missing
    setup: Optional[str] = None      # stale, source-dir, source-socket, source-unreadable,
                                     # cwd-readonly, cwd-removed, fragment-blocked
    stderr: tuple = ()               # usage, note, {source}, {document}, errno:NAME
    posix_only: bool = False


def expects_launch(case: Case) -> bool:
    return case.exit_code == 0 and case.browser in RECORDING_BROWSERS


@dataclass
class Outcome:
    exit_code: Optional[int]         # None: the run did not end in time
    stderr: Optional[bytes]          # None: not observable on this platform
    elapsed: float                   # seconds until riruride ended
    source_path: bytes               # the source path the document must name
    document_path: bytes             # where the document must be, as handed to the browser
    document: Optional[bytes]        # its bytes, None when there is none
    launched: Optional[list]         # arguments the stand-in browser got; None: not started
    fragments_left: list = field(default_factory=list)
    created: set = field(default_factory=set)   # paths that appeared in the scratch tree
    removed: set = field(default_factory=set)   # paths that vanished from it
    document_key: Optional[str] = None          # the document's entry in created
    fragment_keys: set = field(default_factory=set)


THREE = "three_pages_lf.svg"
LONG_NAME = "long-" + "n" * 170 + ".svg"

CASES = [
    # --- reading the source ---------------------------------------------
    Case("three pages, LF line ends", THREE, "three_pages.htm"),
    Case("three pages, CR LF line ends", "three_pages_crlf.svg", "three_pages.htm"),
    Case("UTF-16 LE with byte-order mark", "three_pages_utf16le.svg", "three_pages.htm"),
    Case("UTF-16 BE with byte-order mark", "three_pages_utf16be.svg", "three_pages.htm"),
    Case("UTF-16 without byte-order mark is read as plain bytes",
         "three_pages_utf16le_nobom.svg", "no_pages.htm"),
    Case("no page groups", "no_pages.svg", "no_pages.htm"),
    Case("empty source", "empty.svg", "no_pages.htm"),
    Case("one-byte source", "one_byte.svg", "no_pages.htm"),
    Case("marker at the first byte is lost to the byte-order probe",
         "first_line_marker.svg", "first_line_marker.htm"),
    Case("page-group lines: decimals, stroke-width, auto, high bytes, no digit, "
         "saturation, marker rules", "page_group_rules.svg", "page_group_rules.htm"),
    Case("lines over 255 bytes are cut without losing a byte",
         "long_lines.svg", "long_lines.htm"),
    Case("UTF-16 LE low bytes: early line end, NUL, digit look-alikes, odd last byte",
         "utf16le_edges.svg", "utf16le_edges.htm"),

    # --- page outline ---------------------------------------------------
    Case("outline: two chapters, self-closing children",
         "outline_two_self.svg", "outline_two_self.htm"),
    Case("outline: two chapters, children with end tags",
         "outline_two_nested.svg", "outline_two_nested.htm"),
    Case("outline: New Page among real titles",
         "outline_new_page_mix.svg", "outline_new_page_mix.htm"),
    Case("outline: title differing from New Page in letter case",
         "outline_lookalike_case.svg", "outline_lookalike_case.htm"),
    Case("outline: title New Page with a trailing blank",
         "outline_lookalike_blank.svg", "outline_lookalike_blank.htm"),
    Case("outline: empty title", "outline_empty_title.svg", "outline_empty_title.htm"),
    Case("outline: end tags without an open entry",
         "outline_unbalanced.svg", "outline_unbalanced.htm"),
    Case("outline: skipped entries, slashes, raw < & % in a title",
         "outline_odd_entries.svg", "outline_odd_entries.htm"),
    Case("outline: titles without page groups",
         "outline_no_pages.svg", "outline_no_pages.htm"),
    Case("outline: list line over 255 bytes",
         "outline_long_title.svg", "outline_long_title.htm"),
    Case("outline: only New Page titles keep the plain page bar",
         "outline_all_new_page.svg", "outline_all_new_page.htm"),
    Case("outline: UTF-16 BE titles reduced to low bytes",
         "outline_utf16be.svg", "outline_utf16be.htm"),

    # --- the command argument and the source path ------------------------
    Case("absolute path", THREE, "three_pages.htm", args=("{abs}",)),
    Case("quoted path", THREE, "three_pages.htm", args=('"{abs}"',)),
    Case("opening quote only", THREE, "three_pages.htm", args=('"{name}',)),
    Case("closing quote only", THREE, "three_pages.htm", args=('{abs}"',)),
    Case("blanks and non-ASCII in the file name", THREE, "three_pages.htm",
         place="plan é 図 v2.svg"),
    Case("path given as several arguments", THREE, "three_pages.htm",
         place="my plan 2.svg", args=("my", "plan", "2.svg")),
    Case("two quoted paths become one path", THREE, "three_pages.htm",
         place='a.svg" "b.svg', args=('"a.svg"', '"b.svg"')),
    Case("percent signs and ampersand in the file name", THREE, "three_pages.htm",
         place="100% & %s%n.svg"),
    Case("relative path into a subfolder", THREE, "three_pages.htm",
         place="drawings/plan.svg"),
    Case("relative path with .. is prefixed, not normalised", THREE, "three_pages.htm",
         place="../elsewhere/plan.svg"),
    Case("long path: embed lines over 255 bytes", THREE, "three_pages.htm",
         place=LONG_NAME),
    Case("long path in the outline heading", "outline_two_self.svg",
         "outline_two_self.htm", place=LONG_NAME),
    Case("CR and LF bytes in the file name", THREE, "three_pages.htm",
         place="odd\rname\nhere.svg", posix_only=True),

    # --- usage ------------------------------------------------------------
    Case("no argument", None, exit_code=2, args=(), stderr=("usage",)),
    Case('empty quoted argument ""', None, exit_code=2, args=('""',), stderr=("usage",)),
    Case("lone double quote", None, exit_code=2, args=('"',), stderr=("usage",)),
    Case("empty argument", None, exit_code=2, args=("",), stderr=("usage",)),

    # --- where the document goes ------------------------------------------
    Case("TEMP with blanks", THREE, "three_pages.htm", temp="blanks"),
    Case("TEMP ending in a slash", THREE, "three_pages.htm", temp="trailing-slash"),
    Case("TEMP unset: TMPDIR is used", THREE, "three_pages.htm", temp="unset"),
    Case("TEMP empty: TMPDIR is used", THREE, "three_pages.htm", temp="empty"),
    Case("TEMP and TMPDIR unset: /tmp is used", THREE, "three_pages.htm",
         temp="system", posix_only=True),
    Case("document path of exactly 255 bytes", THREE, "three_pages.htm", temp="path-255"),
    Case("document path of 256 bytes", THREE, None, exit_code=1, temp="path-256",
         stderr=("note",)),
    Case("TEMP folder missing", THREE, None, exit_code=1, temp="missing",
         stderr=("{document}", "errno:ENOENT")),
    Case("stale document and fragments are replaced", THREE, "three_pages.htm",
         setup="stale"),

    # --- launching the browser --------------------------------------------
    Case("browser found on PATH", THREE, "three_pages.htm", browser="recorder-on-path"),
    Case("browser in a folder with blanks", THREE, "three_pages.htm",
         browser="recorder-blank-folder"),
    Case("browser is not waited for", THREE, "three_pages.htm", browser="slow-recorder"),
    Case("browser cannot be started", THREE, "three_pages.htm", browser="missing",
         stderr=("note",)),
    Case("BROWSER unset: xdg-open from PATH", THREE, "three_pages.htm",
         browser="fallback-on-path", posix_only=True),

    # --- failures ---------------------------------------------------------
    Case("missing source", None, None, exit_code=1, place="absent.svg",
         stderr=("{source}", "errno:ENOENT")),
    Case("directory as source", None, None, exit_code=1, place="folder.svg",
         setup="source-dir", stderr=("{source}",)),
    Case("source that cannot be opened (a socket)", None, None, exit_code=1,
         setup="source-socket", stderr=("{source}",), posix_only=True),
    Case("unreadable source", THREE, None, exit_code=1, setup="source-unreadable",
         stderr=("{source}", "errno:EACCES")),
    Case("read-only working folder", THREE, None, exit_code=1, setup="cwd-readonly",
         place="../elsewhere/plan.svg", args=("{real}",), source_path="{real}",
         stderr=("note",)),
    Case("working folder removed", THREE, None, exit_code=1, setup="cwd-removed",
         place="../elsewhere/plan.svg", args=("{real}",), source_path="{real}",
         stderr=("note",), posix_only=True),
    Case("fragment name taken by a folder", THREE, None, exit_code=1,
         setup="fragment-blocked", stderr=("note",)),
]


def expected_stderr_bytes(token: str, outcome: Outcome) -> Optional[bytes]:
    """The bytes a stderr token stands for; None for 'note' (any message)."""
    if token == "usage":
        return USAGE_TEXT.encode("utf-8")
    if token == "note":
        return None
    if token == "{source}":
        return outcome.source_path
    if token == "{document}":
        return outcome.document_path
    if token.startswith("errno:"):
        return os.strerror(getattr(errno, token[len("errno:"):])).encode()
    raise ValueError("unknown stderr token " + token)


def check_exit(case: Case, outcome: Outcome) -> list:
    if outcome.exit_code is None:
        return ["did not end in time"]
    if outcome.exit_code != case.exit_code:
        return ["exit code %d, expected %d" % (outcome.exit_code, case.exit_code)]
    return []


def check_stderr(case: Case, outcome: Outcome) -> list:
    if outcome.stderr is None:
        return []
    problems = []
    for token in case.stderr:
        wanted = expected_stderr_bytes(token, outcome)
        if wanted is None:
            if not outcome.stderr.strip():
                problems.append("nothing on stderr")
        elif wanted not in outcome.stderr:
            problems.append("stderr lacks %s (%r); got %r" % (token, wanted, outcome.stderr))
    return problems


def first_difference(got: bytes, want: bytes) -> str:
    at = next((i for i, (a, b) in enumerate(zip(got, want)) if a != b),
              min(len(got), len(want)))
    line = want.count(b"\n", 0, at) + 1
    return ("document differs at byte %d (line %d): got %r, expected %r"
            % (at, line, got[max(0, at - 30):at + 50], want[max(0, at - 30):at + 50]))


def check_document(case: Case, outcome: Outcome, expected_dir: str) -> list:
    if case.expected is None:
        return [] if outcome.document is None else ["a document was written"]
    if outcome.document is None:
        return ["no document at %r" % outcome.document_path]
    with open(os.path.join(expected_dir, case.expected), "rb") as f:
        template = f.read()
    # The document is a text file: every LF it is given, also one inside the
    # source path, reaches the disk as CR LF.
    source_on_disk = outcome.source_path.replace(b"\n", b"\r\n")
    want = template.replace(PLACEHOLDER, source_on_disk)
    if outcome.document != want:
        return [first_difference(outcome.document, want)]
    return []


def check_files(case: Case, outcome: Outcome) -> list:
    problems = []
    if outcome.fragments_left:
        problems.append("fragments left: " + ", ".join(outcome.fragments_left))
    allowed_new = set()
    if case.expected is not None and outcome.document_key:
        allowed_new.add(outcome.document_key)
    stray = sorted(outcome.created - allowed_new)
    if stray:
        problems.append("files created: %r" % stray)
    gone = sorted(outcome.removed - outcome.fragment_keys)
    if gone:
        problems.append("files removed: %r" % gone)
    return problems


def check_launch(case: Case, outcome: Outcome) -> list:
    if expects_launch(case):
        if outcome.launched is None:
            return ["browser was not started with the document"]
        if outcome.launched != [outcome.document_path]:
            return ["browser got %r, expected [%r]" % (outcome.launched, outcome.document_path)]
        if case.browser == "slow-recorder" and outcome.elapsed > RECORDER_DELAY / 2:
            return ["riruride took %.1f s: it waited for the browser" % outcome.elapsed]
        return []
    if outcome.launched is not None:
        return ["a browser was started with %r" % outcome.launched]
    return []


def check(case: Case, outcome: Outcome, expected_dir: str) -> list:
    """Everything wrong with one observed run; empty when it is as it should be."""
    problems = check_exit(case, outcome)
    for part in (check_stderr, check_files, check_launch):
        problems += part(case, outcome)
    problems += check_document(case, outcome, expected_dir)
    return problems


def snapshot(root: str, skip: str) -> set:
    """Returns every file and folder below `root`, as paths relative to it,
    leaving out the folder `skip` (the recorder's) and what it holds."""
    seen = set()
    for folder, dirs, files in os.walk(root):
        if folder == skip:
            dirs[:] = []
            continue
        for name in dirs + files:
            full = os.path.join(folder, name)
            if full != skip:
                seen.add(os.path.relpath(full, root))
    return seen
