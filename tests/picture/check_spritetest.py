#!/usr/bin/env python3
"""Checks a screenshot of spritetest against a model of what it must show.

spritetest draws back.bmp 1:1 into a 640x480 back buffer, then six copies of a
256x256 sprite with a horizontal alpha gradient (0 at the left edge, 255 at the
right), all turned clockwise by the same unknown angle, top-left corners at
(50,50) ... (150,150); the back buffer is stretched into the window's client
area less 10-pixel borders. The check finds the picture in the screenshot,
then the angle that explains it best, and requires that
  - the background shows where no copy lies (sun, ground, sky), and
  - the model with the gradient explains the copies closely, while the same
    model with the gradient reversed (opaque left edge) does not.
Usage: check_spritetest.py [--drawn] screenshot.ppm back.ppm
With --drawn only the first, quick part is checked: a frame with the
background is on the screen (what a caller waits for before the full check).
"""
import math
import sys

from ppm import pixel, read_ppm


def sprite_texel(u, v):
    """Colour and alpha of the sprite at texel (u, v): x*2^24 + dx*dx/10 + dy*dy/10."""
    dx, dy = u - 128, v - 128
    low = int(dx * dx / 10) + int(dy * dy / 10)
    return (low >> 16) & 255, (low >> 8) & 255, low & 255, u / 255.0


def model(back, x, y, angle, reverse):
    r, g, b = pixel(back, x, y)
    colour = [float(r), float(g), float(b)]
    c, s = math.cos(angle), math.sin(angle)
    for i in range(-50, 51, 20):
        cx, cy = i + 100 + 128, i + 100 + 128
        # Undo the clockwise turn to find the texel under this pixel.
        px, py = x + 0.5 - cx, y + 0.5 - cy
        u = c * px + s * py + 128
        v = -s * px + c * py + 128
        if 0 <= u < 256 and 0 <= v < 256:
            tr, tg, tb, a = sprite_texel(int(u), int(v))
            if reverse:
                a = 1.0 - a
            colour = [a * t + (1 - a) * k for t, k in zip((tr, tg, tb), colour)]
    return colour


def main():
    args = sys.argv[1:]
    drawn_only = args[:1] == ["--drawn"]
    if drawn_only:
        args = args[1:]
    shot = read_ppm(args[0])
    back = read_ppm(args[1])
    sw, sh, _ = shot
    # The picture: the bounding box of pixels that are not black.
    xs, ys = [], []
    for y in range(0, sh, 2):
        for x in range(0, sw, 2):
            if sum(pixel(shot, x, y)) > 30:
                xs.append(x)
                ys.append(y)
    if not xs:
        sys.exit("nothing was drawn")
    left, top, right, bottom = min(xs), min(ys), max(xs) + 2, max(ys) + 2
    width, height = right - left, bottom - top
    print("picture at %d,%d size %dx%d" % (left, top, width, height))

    def shown(x, y):  # back-buffer pixel (x, y) as it appears on screen
        return pixel(shot, min(sw - 1, left + int((x + 0.5) * width / 640)),
                     min(sh - 1, top + int((y + 0.5) * height / 480)))

    def close(a, b, tolerance):
        return all(abs(p - q) <= tolerance for p, q in zip(a, b))

    # The background where no copy can reach (the copies stay within ~500).
    for x, y, what in ((520, 120, "sun"), (600, 460, "ground"), (600, 20, "sky"), (20, 460, "ground")):
        expected = pixel(back, x, y)
        if not close(shown(x, y), expected, 40):
            sys.exit("background %s at %d,%d shows %s, not %s" % (what, x, y, shown(x, y), expected))
    if drawn_only:
        print("a frame is drawn")
        return

    # Sample points over the copies; find the angle that explains them.
    samples = [(x, y) for y in range(60, 420, 12) for x in range(60, 420, 12)]

    def error(angle, reverse):
        total = 0.0
        for x, y in samples:
            m = model(back, x, y, angle, reverse)
            s = shown(x, y)
            total += sum(abs(p - q) for p, q in zip(m, s)) / 3
        return total / len(samples)

    best = min((error(math.radians(d), False), d) for d in range(0, 360, 2))
    angle_err, angle = min((error(math.radians(best[1] + d / 4.0), False), best[1] + d / 4.0) for d in range(-8, 9))
    print("best angle %.2f degrees: mean error %.1f" % (angle, angle_err))
    if angle_err > 12:
        sys.exit("the copies do not match six turned alpha-gradient sprites")
    # Where the gradient's direction matters (the two models differ), the
    # picture must follow the gradient as drawn, not the reversed one.
    a = math.radians(angle)
    telling = []
    for x, y in samples:
        m, mr = model(back, x, y, a, False), model(back, x, y, a, True)
        if sum(abs(p - q) for p, q in zip(m, mr)) / 3 > 30:
            s = shown(x, y)
            telling.append((sum(abs(p - q) for p, q in zip(m, s)) / 3, sum(abs(p - q) for p, q in zip(mr, s)) / 3))
    if len(telling) < 20:
        sys.exit("too few points tell the gradient's direction")
    right = sum(t[0] for t in telling) / len(telling)
    wrong = sum(t[1] for t in telling) / len(telling)
    print("%d telling points: error %.1f as drawn, %.1f if reversed" % (len(telling), right, wrong))
    if right > 15 or wrong < 2 * right + 15:
        sys.exit("the copies do not show a transparent left edge and an opaque right edge")
    print("picture ok")


if __name__ == "__main__":
    main()
