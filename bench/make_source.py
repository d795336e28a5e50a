#!/usr/bin/env python3
"""Writes a large drawing source for the benchmark, in the line conventions
riruride reads: an outline of nested page entries in the metadata, then one
page group per page with its content lines.

The output is the same for the same arguments (fixed seed). About one line in
three ends in CR LF, the rest in LF; every page carries at least one path line
longer than 255 bytes.

usage: make_source.py OUTPUT [--mib N] [--pages N]
"""

import argparse
import random
import sys

SEED = 6
MIB = 1024 * 1024
# Pages per MiB of source when --pages is not given: 100 000 pages in 256 MiB.
PAGES_PER_MIB = 100000 / 256

SIZES = [("595.28", "841.89"), ("841.89", "595.28"), ("612", "792"),
         ("1190.55", "841.89"), ("420.94", "595.28")]
COLOURS = ["#1f4e79", "#a0522d", "#2e6b30", "#7fb77e", "#333333", "#c00000"]


def outline_lines(rng, pages):
    """Yields (text, crlf) for the outline: chapters of up to nine sections,
    some self-closing, some with their end tag on a line of their own, some
    with subsections of their own; every 50th entry is titled "New Page"."""
    num = 0

    def title(label):
        return "New Page" if num % 50 == 0 else label

    chapter = 0
    while num < pages:
        num += 1
        chapter += 1
        crlf = rng.random() < 0.3
        yield f'<page num="{num}" title="{title(f"Chapter {chapter}")}">', crlf
        for section in range(1, rng.randint(1, 9) + 1):
            if num >= pages:
                break
            num += 1
            label = title(f"Section {chapter}.{section} of the drawing")
            kind = rng.random()
            if kind < 0.5:
                yield f' <page num="{num}" title="{label}"/>', crlf
            elif kind < 0.8 or num + 2 > pages:
                yield f' <page num="{num}" title="{label}">', crlf
                yield " </page>", crlf
            else:
                yield f' <page num="{num}" title="{label}">', crlf
                for sub in range(1, 3):
                    num += 1
                    yield (f'  <page num="{num}" title="'
                           f'{title(f"Detail {chapter}.{section}.{sub}")}"/>', crlf)
                yield " </page>", crlf
        yield "</page>", crlf


def path_data(rng, points):
    x, y = rng.randint(0, 500), rng.randint(0, 800)
    parts = [f"M {x} {y}"]
    for _ in range(points):
        x += rng.randint(-40, 40)
        y += rng.randint(-40, 40)
        parts.append(f"L {x}.{rng.randint(0, 99):02d} {y}.{rng.randint(0, 99):02d}")
    return " ".join(parts)


def content_line(rng, number):
    colour = rng.choice(COLOURS)
    kind = rng.random()
    if kind < 0.35:
        return (f'<rect x="{rng.randint(0, 500)}" y="{rng.randint(0, 800)}" '
                f'width="{rng.randint(1, 300)}" height="{rng.randint(1, 300)}" '
                f'fill="none" stroke="{colour}" stroke-width="{rng.randint(1, 4)}"/>')
    if kind < 0.6:
        return (f'<text x="{rng.randint(0, 500)}" y="{rng.randint(0, 800)}" '
                f'font-family="sans-serif" font-size="{rng.randint(8, 40)}" '
                f'fill="{colour}">Label {number}-{rng.randint(1, 999)}</text>')
    if kind < 0.8:
        return (f'<circle cx="{rng.randint(0, 500)}" cy="{rng.randint(0, 800)}" '
                f'r="{rng.randint(1, 90)}" fill="{colour}"/>')
    return (f'<path d="{path_data(rng, rng.randint(2, 8))}" fill="none" '
            f'stroke="{colour}" stroke-width="{rng.randint(1, 4)}"/>')


def page_lines(rng, number, budget):
    """Yields the lines of one page group, about `budget` bytes in all."""
    width, height = rng.choice(SIZES)
    visibility = "visible" if number == 1 else "hidden"
    head = (f'<g id="page{number}" width="{width}" height="{height}" '
            f'visibility="{visibility}">')
    yield head
    used = len(head)
    # The long line: path data well past the line reader's 255-byte cut.
    long_line = (f'<path d="{path_data(rng, rng.randint(20, 120))}" fill="none" '
                 f'stroke="{rng.choice(COLOURS)}" stroke-width="1"/>')
    yield long_line
    used += len(long_line)
    while used < budget - 8:
        line = content_line(rng, number)
        yield line
        used += len(line) + 1
    yield "</g>"


def write_source(path, mib, pages):
    rng = random.Random(SEED)
    target = mib * MIB
    pieces = []
    size = 0

    def emit(text, crlf):
        nonlocal size
        line = text + ("\r\n" if crlf else "\n")
        pieces.append(line)
        size += len(line)

    emit('<?xml version="1.0" encoding="UTF-8" standalone="no"?>', False)
    emit('<svg xmlns="http://www.w3.org/2000/svg" version="1.1" width="842" '
         'height="842" viewBox="0 0 842 842">', False)
    emit("<metadata>", False)
    emit("<outline>", False)
    for text, crlf in outline_lines(rng, pages):
        emit(text, crlf)
    emit("</outline>", False)
    emit("</metadata>", False)

    with open(path, "w", encoding="ascii", newline="") as out:
        out.write("".join(pieces))
        written = size
        pieces.clear()
        for number in range(1, pages + 1):
            budget = max(64, (target - written - 8) // (pages - number + 1))
            crlf = rng.random() < 0.33
            size = 0
            for text in page_lines(rng, number, budget):
                emit(text, crlf)
            written += size
            if len(pieces) > 4096:
                out.write("".join(pieces))
                pieces.clear()
        emit("</svg>", False)
        out.write("".join(pieces))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("output")
    parser.add_argument("--mib", type=int, default=256, help="about this size (MiB)")
    parser.add_argument("--pages", type=int, default=None,
                        help="page groups and outline entries (default: 100000 per 256 MiB)")
    args = parser.parse_args()
    pages = args.pages if args.pages is not None else max(1, round(args.mib * PAGES_PER_MIB))
    try:
        write_source(args.output, args.mib, pages)
    except OSError as error:
        sys.exit(f"make_source.py: cannot write {args.output}: {error.strerror}")


if __name__ == "__main__":
    main()
