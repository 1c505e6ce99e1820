#!/usr/bin/env python3
"""Binary 8-bit PPM pictures, as ImageMagick's import and convert write them,
for the checks of screenshots.

As a program: ppm.py FILE R,G,B TOLERANCE LEAST exits 0 when at least LEAST
pixels of FILE are within TOLERANCE of the colour in every channel.
"""
import sys


def read_ppm(path):
    """(width, height, RGB bytes row by row) of a binary 8-bit PPM file."""
    with open(path, "rb") as f:
        data = f.read()
    parts, pos = [], 0
    while len(parts) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos) + 1
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        parts.append(data[pos:end])
        pos = end
    pos += 1
    assert parts[0] == b"P6" and parts[3] == b"255", "binary 8-bit PPM expected"
    w, h = int(parts[1]), int(parts[2])
    return w, h, data[pos:pos + w * h * 3]


def pixel(image, x, y):
    w, h, data = image
    i = (y * w + x) * 3
    return data[i], data[i + 1], data[i + 2]


def count_near(image, colour, tolerance, rows=None):
    """Pixels within `tolerance` of `colour` in every channel, in `rows` (all by default)."""
    w, h, data = image
    n = 0
    for y in rows if rows is not None else range(h):
        row = data[y * w * 3:(y + 1) * w * 3]
        for i in range(0, len(row), 3):
            if all(abs(row[i + k] - colour[k]) <= tolerance for k in range(3)):
                n += 1
    return n


if __name__ == "__main__":
    path, colour, tolerance, least = sys.argv[1:5]
    found = count_near(read_ppm(path), tuple(int(c) for c in colour.split(",")), int(tolerance))
    sys.exit(0 if found >= int(least) else 1)
