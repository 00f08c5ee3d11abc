#!/usr/bin/env python3
"""Independent submission-code encoder, written from the algorithm's description.

  hscode_ref.py TEMPLATE KEY TYPE SCORE   prints the code, or "refused"
"""
import sys


def encode(template, key, typ, score):
    t = [c.lower() for c in template if c != " "]
    S = t.count("s")
    Q = t.count("c")
    M = 0xFFFFFFFF
    K = (key + key * typ) & M
    r = (K % S) & 0xFF
    if r == 0:
        r = 1
    mask = (1 << S) - 1
    if score > mask:
        return "refused"
    rot = ((score >> (S - r)) | (score << r)) & M
    h = (K ^ rot) & mask
    check = (K + score * K + h) & M & ((1 << Q) - 1)
    bits = []
    ci = ti = si = 0
    for c in t:
        if c == "c":
            bits.append((check >> ci) & 1); ci += 1
        elif c == "t":
            bits.append((typ >> ti) & 1); ti += 1
        elif c == "s":
            bits.append((h >> si) & 1); si += 1
        else:
            bits.append(0)
    out = ""
    for i in range(0, len(bits), 4):
        v = sum(b << j for j, b in enumerate(bits[i:i + 4]))
        out += "0123456789ABCDEF"[v]
    return out


if __name__ == "__main__":
    print(encode(sys.argv[1], int(sys.argv[2], 0), int(sys.argv[3], 0), int(sys.argv[4], 0)))
