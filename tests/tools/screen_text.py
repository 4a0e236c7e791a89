#!/usr/bin/env python3
"""Tells drawn text from the boxes a font without the characters leaves, on a screenshot.

usage: screen_text.py SCREENSHOT.png X Y WIDTH HEIGHT [MIN]

Crops the rectangle, marks the pixels clearly darker than the rectangle's background (its most
common grey), and counts the distinct column patterns of marked pixels. A row of missing-glyph
boxes has only a few (the two sides, the top-and-bottom interior); Chinese characters have many.
Prints the count and exits 0 when it is at least MIN (default 12), 1 when not, 2 on bad input.
"""
import subprocess
import sys
from collections import Counter


def grey_pixels(path, x, y, w, h):
    pgm = subprocess.run(
        ["convert", path, "-crop", f"{w}x{h}+{x}+{y}", "+repage", "-colorspace", "Gray",
         "-depth", "8", "pgm:-"], check=True, capture_output=True).stdout
    # P5 header: magic, width, height, maxval, each separated by whitespace.
    fields, at = [], 0
    while len(fields) < 4:
        while pgm[at:at + 1].isspace():
            at += 1
        start = at
        while not pgm[at:at + 1].isspace():
            at += 1
        fields.append(pgm[start:at])
    at += 1
    if fields[0] != b"P5":
        raise ValueError("not a grey image")
    width, height = int(fields[1]), int(fields[2])
    data = pgm[at:at + width * height]
    return width, height, data


def distinct_columns(path, x, y, w, h):
    width, height, data = grey_pixels(path, x, y, w, h)
    background = Counter(data).most_common(1)[0][0]
    columns = set()
    for cx in range(width):
        mask = tuple(data[cy * width + cx] < background - 80 for cy in range(height))
        if any(mask):
            columns.add(mask)
    return len(columns)


def main(argv):
    if len(argv) not in (6, 7):
        print(__doc__, file=sys.stderr)
        return 2
    try:
        x, y, w, h = (int(v) for v in argv[2:6])
        minimum = int(argv[6]) if len(argv) == 7 else 12
        count = distinct_columns(argv[1], x, y, w, h)
    except (ValueError, subprocess.CalledProcessError) as error:
        print(f"screen_text.py: {error}", file=sys.stderr)
        return 2
    print(count)
    return 0 if count >= minimum else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
