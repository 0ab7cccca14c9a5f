#!/usr/bin/env python3
"""Draws KESTOVAN's icons and hand pointer and writes them as .ico/.cur files.

    python3 src/app/res/draw_resources.py      (rewrites the files beside it)

kestovan.ico  the program's common icon: a diskette going down a drain
folders.ico   the start-menu folder chooser's icon: a folder with a question mark
hand.cur      the pointing hand over clickable labels, hot spot at the fingertip (6, 0)
Both icons hold a 32x32 and a 16x16 image in the 16 standard colours.
"""
import os
import struct

# The 16 standard colours, in palette order (R, G, B).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER = range(8)
GREY, RED, LIME, YELLOW, BLUE, FUCHSIA, AQUA, WHITE = range(8, 16)
CLEAR = None


class Canvas:
    def __init__(self, size):
        self.size = size
        self.px = [[CLEAR] * size for _ in range(size)]

    def set(self, x, y, c):
        if 0 <= x < self.size and 0 <= y < self.size:
            self.px[y][x] = c

    def rect(self, x0, y0, x1, y1, c):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.set(x, y, c)

    def outline(self, x0, y0, x1, y1, c):
        for x in range(x0, x1 + 1):
            self.set(x, y0, c)
            self.set(x, y1, c)
        for y in range(y0, y1 + 1):
            self.set(x0, y, c)
            self.set(x1, y, c)

    def ellipse(self, cx, cy, rx, ry, c, only=None):
        for y in range(self.size):
            for x in range(self.size):
                dx, dy = (x + 0.5 - cx) / rx, (y + 0.5 - cy) / ry
                if dx * dx + dy * dy <= 1.0 and (only is None or only(x, y)):
                    self.set(x, y, c)

    def pattern(self, x0, y0, rows, colours):
        for dy, row in enumerate(rows):
            for dx, ch in enumerate(row):
                if ch in colours:
                    self.set(x0 + dx, y0 + dy, colours[ch])

    def halved(self):
        """The 16x16 image: each 2x2 block takes its most telling pixel."""
        small = Canvas(self.size // 2)
        rank = {BLACK: 0, RED: 1, NAVY: 2, WHITE: 3}
        for y in range(small.size):
            for x in range(small.size):
                block = [self.px[2 * y + j][2 * x + i] for j in (0, 1) for i in (0, 1)]
                opaque = [c for c in block if c is not CLEAR]
                if len(opaque) < 2:
                    continue
                small.px[y][x] = min(opaque, key=lambda c: (rank.get(c, 9), -opaque.count(c)))
        return small


def program_icon():
    c = Canvas(32)
    # The drain: a grey rim around a dark hole with water swirling in it.
    c.ellipse(16, 25.5, 15, 6, GREY)
    c.ellipse(16, 25.5, 15, 6, SILVER, only=lambda x, y: y <= 22)
    c.ellipse(16, 25.5, 11.5, 4, BLACK)
    for x, y in [(8, 25), (9, 26), (10, 27), (22, 24), (23, 25), (21, 27), (20, 28), (12, 23),
                 (13, 23), (19, 23)]:
        c.set(x, y, AQUA)
    # The diskette, half-way down.
    c.rect(7, 1, 24, 24, NAVY)
    c.outline(7, 1, 24, 24, BLACK)
    c.rect(11, 1, 20, 7, SILVER)
    c.outline(11, 1, 20, 7, BLACK)
    c.rect(16, 2, 18, 6, GREY)
    c.rect(10, 12, 21, 24, WHITE)
    c.outline(10, 12, 21, 24, BLACK)
    c.rect(11, 14, 20, 14, RED)
    c.rect(11, 17, 20, 17, BLUE)
    c.rect(11, 20, 20, 20, BLUE)
    c.set(8, 2, BLACK)  # the write-protect notch
    # The front lip of the rim covers the diskette's lower edge.
    c.ellipse(16, 25.5, 15, 6, GREY, only=lambda x, y: y >= 27 and (x < 5 or x > 26 or y >= 29))
    c.ellipse(16, 25.5, 11.5, 4, BLACK, only=lambda x, y: y >= 27 and y < 29 and 4 < x < 27)
    for x, y in [(9, 28), (14, 28), (18, 28), (23, 27)]:
        c.set(x, y, AQUA)
    c.ellipse(16, 25.5, 15, 6, GREY, only=lambda x, y: y >= 29)
    # Water drops splashing off the sides.
    for x, y in [(3, 12), (4, 14), (2, 16), (28, 11), (27, 14), (29, 16)]:
        c.set(x, y, AQUA)
    return c


def folders_icon():
    c = Canvas(32)
    c.rect(3, 5, 13, 9, YELLOW)
    c.outline(3, 5, 13, 9, BLACK)
    c.rect(2, 8, 29, 27, YELLOW)
    c.outline(2, 8, 29, 27, BLACK)
    c.rect(3, 26, 28, 26, OLIVE)
    c.rect(28, 9, 28, 26, OLIVE)
    c.rect(3, 9, 27, 9, WHITE)
    question = [
        "..XXXXX..",
        ".XXXXXXX.",
        "XXX...XXX",
        "XX.....XX",
        "......XXX",
        ".....XXX.",
        "....XXX..",
        "....XX...",
        "....XX...",
        ".........",
        "....XX...",
        "....XX...",
    ]
    c.pattern(11, 12, question, {"X": NAVY})
    return c


HAND = [
    "......XX..........",
    ".....XooX.........",
    ".....XooX.........",
    ".....XooX.........",
    ".....XooX.........",
    ".....XooXXX.......",
    ".....XooXooXXX....",
    ".....XooXooXooXX..",
    ".XX..XooXooXooXoX.",
    "XooX.XooooooooXooX",
    "XoooXXoooooooooooX",
    ".XooXXoooooooooooX",
    "..XoXooooooooooooX",
    "..XooooooooooooooX",
    "...XoooooooooooooX",
    "...XooooooooooooX.",
    "....XoooooooooooX.",
    "....XooooooooooX..",
    ".....XoooooooooX..",
    ".....XoooooooooX..",
    ".....XXXXXXXXXXX..",
]


def rows_bottom_up(size):
    return range(size - 1, -1, -1)


def pad4(data):
    return data + b"\0" * (-len(data) % 4)


def icon_image(canvas):
    size = canvas.size
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    xor = b""
    mask = b""
    for y in rows_bottom_up(size):
        row = canvas.px[y]
        nibbles = [0 if c is CLEAR else c for c in row]
        xor += pad4(bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, size, 2)))
        bits = 0
        line = b""
        for x, c in enumerate(row):
            bits = (bits << 1) | (1 if c is CLEAR else 0)
            if x % 8 == 7:
                line += bytes([bits])
                bits = 0
        mask += pad4(line)
    return header + palette + xor + mask


def write_icon(path, canvases):
    images = [icon_image(c) for c in canvases]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for canvas, image in zip(canvases, images):
        out += struct.pack("<BBBBHHII", canvas.size, canvas.size, 16, 0, 1, 4, len(image), offset)
        offset += len(image)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


def write_cursor(path, art, hot_x, hot_y):
    size = 32
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 1, 0, 0, 0, 0, 2, 0)
    palette = struct.pack("<BBBB", 0, 0, 0, 0) + struct.pack("<BBBB", 255, 255, 255, 0)
    xor = b""
    mask = b""
    for y in rows_bottom_up(size):
        row = art[y] if y < len(art) else ""
        row = row.ljust(size, ".")
        xor_bits = 0
        and_bits = 0
        xor_line = b""
        and_line = b""
        for x, ch in enumerate(row):
            xor_bits = (xor_bits << 1) | (1 if ch == "o" else 0)
            and_bits = (and_bits << 1) | (1 if ch == "." else 0)
            if x % 8 == 7:
                xor_line += bytes([xor_bits])
                and_line += bytes([and_bits])
                xor_bits = and_bits = 0
        xor += pad4(xor_line)
        mask += pad4(and_line)
    image = header + palette + xor + mask
    out = struct.pack("<HHH", 0, 2, 1)
    out += struct.pack("<BBBBHHII", size, size, 2, 0, hot_x, hot_y, len(image), 22)
    with open(path, "wb") as f:
        f.write(out + image)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    program = program_icon()
    write_icon(os.path.join(here, "kestovan.ico"), [program, program.halved()])
    folders = folders_icon()
    write_icon(os.path.join(here, "folders.ico"), [folders, folders.halved()])
    write_cursor(os.path.join(here, "hand.cur"), HAND, 6, 0)


if __name__ == "__main__":
    main()
