#!/usr/bin/env python3
"""Draws the updater's icon: a lattice radio tower beside a small building and a tree,
against a cyan sky. Writes a 32 x 32, 16-colour (4 bits per pixel, standard VGA
palette) .ico file.

    python3 make_icon.py [output.ico]     (default: vlrupdate.ico beside this script)

Only the standard library is used, and the output is the same byte for byte on every
run, so the committed icon can be checked against the script.
"""

import os
import struct
import sys

SIZE = 32

# The standard 16-colour VGA palette, as (red, green, blue).
PALETTE = [
    (0x00, 0x00, 0x00),  # 0 black
    (0x80, 0x00, 0x00),  # 1 dark red
    (0x00, 0x80, 0x00),  # 2 dark green
    (0x80, 0x80, 0x00),  # 3 olive
    (0x00, 0x00, 0x80),  # 4 navy
    (0x80, 0x00, 0x80),  # 5 purple
    (0x00, 0x80, 0x80),  # 6 teal
    (0xC0, 0xC0, 0xC0),  # 7 silver
    (0x80, 0x80, 0x80),  # 8 grey
    (0xFF, 0x00, 0x00),  # 9 red
    (0x00, 0xFF, 0x00),  # 10 green
    (0xFF, 0xFF, 0x00),  # 11 yellow
    (0x00, 0x00, 0xFF),  # 12 blue
    (0xFF, 0x00, 0xFF),  # 13 magenta
    (0x00, 0xFF, 0xFF),  # 14 cyan
    (0xFF, 0xFF, 0xFF),  # 15 white
]
BLACK, DARK_RED, DARK_GREEN, OLIVE, NAVY = 0, 1, 2, 3, 4
TEAL, SILVER, GREY, RED, GREEN, YELLOW, CYAN, WHITE = 6, 7, 8, 9, 10, 11, 14, 15


class Canvas:
    """A 32 x 32 grid of palette indices; (0, 0) is the top-left pixel."""

    def __init__(self, background):
        self.pixels = [[background] * SIZE for _ in range(SIZE)]

    def put(self, x, y, colour):
        if 0 <= x < SIZE and 0 <= y < SIZE:
            self.pixels[y][x] = colour

    def rect(self, x0, y0, x1, y1, colour):
        """Fills the rectangle with corners (x0, y0) and (x1, y1), both included."""
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.put(x, y, colour)

    def line(self, x0, y0, x1, y1, colour):
        """A straight line from (x0, y0) to (x1, y1) (Bresenham)."""
        dx, dy = abs(x1 - x0), -abs(y1 - y0)
        sx, sy = (1 if x0 < x1 else -1), (1 if y0 < y1 else -1)
        err = dx + dy
        while True:
            self.put(x0, y0, colour)
            if x0 == x1 and y0 == y1:
                return
            e2 = 2 * err
            if e2 >= dy:
                err += dy
                x0 += sx
            if e2 <= dx:
                err += dx
                y0 += sy


def draw():
    c = Canvas(CYAN)

    # Ground.
    c.rect(0, 28, 31, 31, DARK_GREEN)
    c.rect(0, 28, 31, 28, GREEN)

    # The lattice tower: two legs narrowing towards the top, cross-braced.
    top_y, foot_y = 3, 27
    left_foot, right_foot = 7, 17
    left_top, right_top = 11, 13

    def leg_x(foot, top, y):
        return round(foot + (top - foot) * (foot_y - y) / (foot_y - top_y))

    c.line(left_foot, foot_y, left_top, top_y, NAVY)
    c.line(right_foot, foot_y, right_top, top_y, NAVY)
    braces = [27, 21, 16, 12, 8, 5, 3]
    for upper, lower in zip(braces[1:], braces[:-1]):
        l0, r0 = leg_x(left_foot, left_top, lower), leg_x(right_foot, right_top, lower)
        l1, r1 = leg_x(left_foot, left_top, upper), leg_x(right_foot, right_top, upper)
        c.line(l0, lower, r0, lower, NAVY)  # horizontal strut
        c.line(l0, lower, r1, upper, GREY)  # the two diagonals of the bay
        c.line(r0, lower, l1, upper, GREY)
    c.line(left_top, top_y, right_top, top_y, NAVY)
    # The mast on top, its red warning light and a small antenna dish.
    c.line(12, 0, 12, top_y, NAVY)
    c.put(12, 0, RED)
    c.put(11, 1, RED)
    c.put(13, 1, RED)
    c.rect(14, 8, 15, 10, WHITE)
    c.put(16, 9, SILVER)

    # The small building to the right of the tower: walls, roof, door and windows.
    c.rect(19, 19, 27, 27, SILVER)
    c.line(18, 18, 23, 14, DARK_RED)
    c.line(23, 14, 28, 18, DARK_RED)
    c.rect(19, 17, 27, 18, DARK_RED)
    c.rect(20, 16, 26, 16, DARK_RED)
    c.rect(21, 15, 25, 15, DARK_RED)
    c.line(19, 19, 19, 27, GREY)
    c.line(27, 19, 27, 27, GREY)
    c.rect(22, 23, 24, 27, OLIVE)  # door
    c.rect(20, 20, 21, 21, YELLOW)  # windows
    c.rect(25, 20, 26, 21, YELLOW)

    # The tree at the left edge: a trunk and a round crown.
    c.rect(2, 22, 3, 27, OLIVE)
    crown = [
        (2, 14, 3), (1, 15, 4), (0, 16, 5), (0, 17, 5),
        (0, 18, 5), (0, 19, 5), (1, 20, 4), (2, 21, 3),
    ]
    for x0, y, x1 in crown:
        c.rect(x0, y, x1, y, DARK_GREEN)
    for x, y in [(2, 15), (1, 17), (3, 16), (2, 18), (4, 19), (1, 19)]:
        c.put(x, y, GREEN)
    return c


def ico_bytes(canvas):
    """The canvas as a one-image .ico: 4-bit BMP data with an all-opaque AND mask."""
    xor_stride = SIZE // 2  # two pixels per byte; 16 bytes is already a multiple of 4
    and_stride = 4  # 32 bits per row, padded to 4 bytes
    image_size = 40 + 16 * 4 + xor_stride * SIZE + and_stride * SIZE

    header = struct.pack("<HHH", 0, 1, 1)  # reserved, type icon, one image
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, image_size, 6 + 16)
    # BITMAPINFOHEADER: the height counts the colour bitmap and the mask.
    info = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 4, 0,
                       xor_stride * SIZE + and_stride * SIZE, 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    rows = []
    for y in range(SIZE - 1, -1, -1):  # bottom-up
        row = canvas.pixels[y]
        rows.append(bytes((row[x] << 4) | row[x + 1] for x in range(0, SIZE, 2)))
    mask = bytes(and_stride * SIZE)
    return header + entry + info + palette + b"".join(rows) + mask


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "vlrupdate.ico")
    with open(out, "wb") as f:
        f.write(ico_bytes(draw()))


if __name__ == "__main__":
    main()
