#!/usr/bin/env python3
"""Checks a 640x480 screenshot of the game's picture for what the scene holds.

Each part of the scene is recognised by pixels near its colour (16-bit sprites
show their colours rounded to 5 bits per channel): the sky and the meadow of
the background (32-bit), the grey rocks (16-bit), the yellow ball (32-bit,
with alpha), the gold star (a 3D sprite) and the 16-bit panel drawn at
intensity 128 over the meadow, whose pixels must show the half-and-half mix
and not the panel's own colour.
Usage: check_scene.py scene.ppm
"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "picture"))
from ppm import count_near, read_ppm  # noqa: E402


def widened(c):
    """A channel as a 16-bit sprite keeps it: 5 bits, widened back to 8."""
    n = c >> 3
    return (n << 3) | (n >> 2)


def main():
    image = read_ppm(sys.argv[1])
    width, height, pixels = image
    assert (width, height) == (640, 480), f"640x480 expected, got {width}x{height}"
    meadow = (0x4F, 0x9A, 0x3C)
    panel = tuple(widened(c) for c in (0x16, 0x26, 0x5A))
    mix = tuple(p * 128 / 255 + m * (1 - 128 / 255) for p, m in zip(panel, meadow))
    parts = {
        # name: (colour, tolerance, rows, least count, most count)
        "meadow": (meadow, 10, range(360, 432), 15000, None),
        "rocks": (tuple(widened(c) for c in (0x8C, 0x87, 0x82)), 10, range(0, 480), 2500, None),
        "ball": ((0xF2, 0xC2, 0x30), 12, range(0, 480), 700, None),
        "star": ((0xFF, 0xD2, 0x1E), 12, range(0, 120), 250, None),
        "panel, mixed": (mix, 12, range(432, 480), 12000, None),
        "panel, unmixed": (panel, 6, range(432, 480), None, 500),
    }
    failed = False
    for name, (colour, tolerance, rows, least, most) in parts.items():
        n = count_near(image, colour, tolerance, rows)
        ok = (least is None or n >= least) and (most is None or n <= most)
        failed |= not ok
        print(f"{name}: {n} pixels near {tuple(round(c) for c in colour)}{'' if ok else '  <-- wrong'}")
    sky = sum(1 for y in range(0, 340) for x in range(0, 640, 4)
              if pixels[(y * width + x) * 3 + 2] > pixels[(y * width + x) * 3] + 40)
    print(f"sky: {sky} of {340 * 160} sampled pixels blue")
    failed |= sky < 340 * 160 // 2
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
