#!/usr/bin/env python3
"""Writes the bar's three cursors (32 x 32, monochrome) as .cur files.

'#' black, '.' white, anything else transparent. Run from this folder:
    python3 make_cursors.py
"""
import math
import struct

SIZE = 32

ARROW = [
    "#",
    "##",
    "#.#",
    "#..#",
    "#...#",
    "#....#",
    "#.....#",
    "#......#",
    "#.......#",
    "#........#",
    "#.....#####",
    "#..#..#",
    "#.# #..#",
    "##  #..#",
    "#    #..#",
    "     #..#",
    "      ##",
]


def blank():
    return [[" "] * SIZE for _ in range(SIZE)]


def paste(grid, art, x0, y0):
    for y, row in enumerate(art):
        for x, ch in enumerate(row):
            if ch in "#." and 0 <= y0 + y < SIZE and 0 <= x0 + x < SIZE:
                grid[y0 + y][x0 + x] = ch


def box(grid, x0, y0, x1, y1, dashed):
    """A white box with a black (optionally dashed) outline: the dragged item."""
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            edge = x in (x0, x1) or y in (y0, y1)
            if edge:
                on = not dashed or (x + y) % 2 == 0
                grid[y][x] = "#" if on else "."
            else:
                grid[y][x] = "."


def drag_cursor():
    g = blank()
    paste(g, ARROW, 0, 0)
    box(g, 9, 17, 22, 26, dashed=True)
    return g, (0, 0)


def folder_cursor():
    # A pointing hand: the folder buttons are pressed like links.
    hand = [
        "     ##",
        "    #..#",
        "    #..#",
        "    #..#",
        "    #..###",
        "    #..#..###",
        "    #..#..#..##",
        " ## #..#..#..#.#",
        "#..##........#..#",
        "#...#...........#",
        " #..............#",
        "  #.............#",
        "  #............#",
        "   #...........#",
        "    #.........#",
        "    #.........#",
        "     #.......#",
        "     #########",
    ]
    g = blank()
    paste(g, hand, 2, 0)
    return g, (7, 0)


def nodrop_cursor():
    g = blank()
    cx, cy, r_out, r_in = 15.5, 15.5, 13.0, 9.0
    for y in range(SIZE):
        for x in range(SIZE):
            dx, dy = x - cx, y - cy
            d = math.hypot(dx, dy)
            # Slash from upper left to lower right, 4 px wide.
            on_slash = abs(dx - dy) <= 2.9 and d <= r_in + 0.5
            if r_in <= d <= r_out or on_slash:
                g[y][x] = "#"
            elif (r_in - 1.2 <= d < r_in or r_out < d <= r_out + 1.2) or (
                    d <= r_in and abs(dx - dy) <= 4.3):
                g[y][x] = "."
    return g, (16, 16)


def cur_bytes(grid, hotspot):
    row_bytes = SIZE // 8  # 32 px rows are already 4-byte aligned
    xor = bytearray()
    andm = bytearray()
    for y in reversed(range(SIZE)):  # bottom-up
        xr = [0] * row_bytes
        ar = [0] * row_bytes
        for x in range(SIZE):
            ch = grid[y][x]
            bit = 0x80 >> (x % 8)
            if ch == ".":
                xr[x // 8] |= bit
            elif ch != "#":
                ar[x // 8] |= bit
        xor += bytes(xr)
        andm += bytes(ar)
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 1, 0, len(xor) + len(andm),
                         0, 0, 2, 0)
    palette = bytes([0, 0, 0, 0, 255, 255, 255, 0])
    image = header + palette + bytes(xor) + bytes(andm)
    directory = struct.pack("<HHH", 0, 2, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, hotspot[0], hotspot[1], len(image), 6 + 16)
    return directory + entry + image


def main():
    for name, make in (("drag.cur", drag_cursor), ("folder.cur", folder_cursor),
                       ("nodrop.cur", nodrop_cursor)):
        grid, hot = make()
        with open(name, "wb") as f:
            f.write(cur_bytes(grid, hot))


if __name__ == "__main__":
    main()
