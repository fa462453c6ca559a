#!/usr/bin/env python3
"""Draws the program icon: 32 x 32 pixels, 16 colours, one image.

A letter (white envelope with a dark outline) and a green arrow leaving it
to the right.  Writes res/vestibar.ico; the output is the same on every run.
"""
import os
import struct

# The standard 16-colour palette, as (blue, green, red, 0) quads.
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]  # (red, green, blue)
BLACK, DARK_BLUE, GREEN, GREY, WHITE, YELLOW = 0, 4, 2, 8, 15, 11
SIZE = 32


def draw():
    """Returns rows top to bottom of palette indexes, None for transparent."""
    pixels = [[None] * SIZE for _ in range(SIZE)]
    # Envelope: x 2..23, y 8..25.
    left, right, top, bottom = 2, 23, 8, 25
    for y in range(top, bottom + 1):
        for x in range(left, right + 1):
            edge = y in (top, bottom) or x in (left, right)
            pixels[y][x] = DARK_BLUE if edge else WHITE
    # The flap: two lines from the top corners to the middle.
    middle = (left + right) // 2
    for x in range(left, right + 1):
        y = top + (x - left if x <= middle else right - x) * 8 // (middle - left)
        if top <= y <= bottom:
            pixels[y][x] = DARK_BLUE
    # A yellow stamp in the upper right corner.
    for y in range(top + 2, top + 5):
        for x in range(right - 4, right - 1):
            pixels[y][x] = YELLOW
    # Arrow: a shaft at y 20..23 from x 14 to 25, head to x 30.
    for y in range(20, 24):
        for x in range(14, 26):
            pixels[y][x] = GREEN
    for i in range(7):
        for y in range(21 - i, 23 + i):
            x = 31 - i - 1
            if 0 <= y < SIZE:
                pixels[y][x] = GREEN
    # Outline the arrow in black so it stands out on the letter.
    outline = []
    for y in range(SIZE):
        for x in range(SIZE):
            if pixels[y][x] == GREEN:
                for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)):
                    nx, ny = x + dx, y + dy
                    if 0 <= nx < SIZE and 0 <= ny < SIZE and pixels[ny][nx] not in (GREEN,):
                        outline.append((nx, ny))
    for x, y in outline:
        pixels[y][x] = BLACK
    return pixels


def icon_bytes(pixels):
    header = struct.pack('<IiiHHIIiiII', 40, SIZE, SIZE * 2, 1, 4, 0, 0, 0, 0, 0, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in PALETTE)
    xor = bytearray()
    mask = bytearray()
    for y in reversed(range(SIZE)):  # bottom-up
        row = pixels[y]
        for x in range(0, SIZE, 2):
            hi = row[x] if row[x] is not None else 0
            lo = row[x + 1] if row[x + 1] is not None else 0
            xor.append((hi << 4) | lo)
        bits = 0
        for x in range(SIZE):
            bits = (bits << 1) | (1 if row[x] is None else 0)
        mask += bits.to_bytes(4, 'big')
    image = header + palette + bytes(xor) + bytes(mask)
    assert len(image) == 744, len(image)
    directory = struct.pack('<HHH', 0, 1, 1)
    entry = struct.pack('<BBBBHHII', SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


def main():
    top = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    with open(os.path.join(top, 'res', 'vestibar.ico'), 'wb') as f:
        f.write(icon_bytes(draw()))


if __name__ == '__main__':
    main()
