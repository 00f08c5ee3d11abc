#!/usr/bin/env python3
"""Independent model of the level's opening deal and next stones, drawing from
the C library's rand() through ctypes. Each argument is seed:mode:level:count;
prints one line per case: the 81 cells row-major, then the stones given."""
import ctypes
import ctypes.util
import sys

libc = ctypes.CDLL(ctypes.util.find_library("c") or "libc.so.6")
libc.rand.restype = ctypes.c_int


def rnd():
    return libc.rand()


def config(mode, level):
    """colours, nuclear threshold, dormant max for a mode and level."""
    if mode in (2, 3, 4):
        return min(level + 2, 7), 0, 0
    if level >= 11:
        colours = 7
    elif level >= 7:
        colours = 6
    elif level >= 4:
        colours = 5
    elif level >= 2:
        colours = 4
    else:
        colours = 3
    hard = level >= 14
    if hard:
        nuclear = 24
    elif level >= 7:
        nuclear = 64
    elif level >= 3:
        nuclear = 48
    else:
        nuclear = 0
    dormant = 1 if level >= 9 else 0
    return colours, nuclear, dormant


def deal(colours, nuclear, dormant_max):
    g = [[0] * 9 for _ in range(9)]

    def cell(r, c):
        if 0 <= r < 9 and 0 <= c < 9:
            return g[r][c]
        return -1

    placed = 0
    for r in range(9):
        for c in range(r, 9):
            u = rnd() % colours + 1
            if placed < dormant_max and rnd() % 30 == 17:
                u = 12
                placed += 1
            if nuclear and rnd() % 30 == 13:
                u = 11
            n = 0
            if cell(r, c - 1) == u:
                n = 2 if cell(r, c - 2) == u else 1
                n += (cell(r - 1, c - 1) == u) + (cell(r + 1, c - 1) == u)
            if cell(r - 1, c) == u:
                n += 2 if cell(r - 2, c) == u else 1
                n += (cell(r - 1, c - 1) == u) + (cell(r - 1, c + 1) == u)
            if n > 1:
                b = g[r][c - 1] if c > 0 else 0
                a = g[r - 1][c] if r > 0 else 0
                if a == 0:
                    a = b
                if b == 0 or a == b:
                    u = rnd() % (colours - 1) + 1
                    if u == a:
                        u += 1
                else:
                    t = rnd() % (colours - 2)
                    u = t + 1
                    if u == a or u == b:
                        u = t + 2
                    if u == a or u == b:
                        u += 1
            g[r][c] = u
    return g


def run(seed, mode, level, count):
    libc.srand(seed)
    for _ in range(8):  # the fall table
        rnd()
    colours, nuclear, dormant = config(mode, level)
    g = [[0] * 9 for _ in range(9)]
    if mode in (0, 1):
        g = deal(colours, nuclear, dormant)
    counter = 0
    last = 1
    stones = []
    for _ in range(count):
        if mode == 4:
            if rnd() % 100 > 94:
                s = 14
            elif rnd() % 100 < 5:
                s = 11
            else:
                s = rnd() % colours + 1
        elif mode in (2, 3):
            s = rnd() % colours + 1
        else:
            s = None
            if nuclear:
                counter = (counter + ((rnd() // 256) & 3) + 1) & 255
                if counter >= nuclear:
                    counter = 0
                    s = 11
            if s is None and rnd() % 100 > 94:
                s = 14
            if s is None:
                present = []
                for row in g:
                    for v in row:
                        col = v & 15
                        if 1 <= col <= 7 and col not in present:
                            present.append(col)
                            last = col
                if not present:
                    s = last
                else:
                    s = sorted(present)[rnd() % len(present)]
        stones.append(s)
    cells = ",".join(str(v) for row in g for v in row)
    return "%d:%d:%d %s | %s" % (seed, mode, level, cells, ",".join(map(str, stones)))


def main():
    for arg in sys.argv[1:]:
        seed, mode, level, count = (int(x) for x in arg.split(":"))
        print(run(seed, mode, level, count))


if __name__ == "__main__":
    main()
