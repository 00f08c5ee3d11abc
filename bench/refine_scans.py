#!/usr/bin/python3
"""Makes the progressive JPEGs whose scans cost work without data, from a file
an encoder made, each SIZE bytes (comment segments pad them):

  refine_scans.py pad IN OUT SIZE     IN as it is
  refine_scans.py empty IN OUT SIZE   IN's refining scans keep their headers and
                                      lose their entropy data; the one of most
                                      blocks is then repeated as long as the
                                      decoder's work budget for SIZE bytes lasts
  refine_scans.py runs IN OUT SIZE    IN's AC scans, first and refining, hold
                                      end-of-band runs only (a table of run
                                      symbols before each), so every block stays
                                      empty and no refinement reads a bit; the
                                      last one repeated as long as the budget lasts

The budget is the decoder's: 64 units a byte of the file, a unit for each
block a scan visits and for each bit of entropy data it reads.
"""
import struct
import sys

BUDGET_PER_BYTE = 64


def segments(data):
    """(marker, segment bytes, entropy bytes after it), in file order, to EOI."""
    out = []
    i = 2
    while i + 1 < len(data):
        m = data[i + 1]
        if m == 0xD9:
            break
        n = struct.unpack(">H", data[i + 2:i + 4])[0]
        seg = data[i:i + 2 + n]
        i += 2 + n
        j = i
        if m == 0xDA:
            while not (data[j] == 0xFF and data[j + 1] != 0 and not 0xD0 <= data[j + 1] <= 0xD7):
                j += 1
        out.append((m, seg, data[i:j]))
        i = j
    return out


def blocks_of(segs):
    """A function giving the blocks a scan of the given component ids visits."""
    for m, seg, _ in segs:
        if m in (0xC0, 0xC1, 0xC2):
            h, w, n = struct.unpack(">HHB", seg[5:10])
            samp = {seg[10 + 3 * k]: (seg[11 + 3 * k] >> 4, seg[11 + 3 * k] & 15) for k in range(n)}
            break
    hmax = max(s[0] for s in samp.values())
    vmax = max(s[1] for s in samp.values())

    def ceil(a, b):
        return (a + b - 1) // b

    def blocks(ids):
        if len(ids) == 1:
            sh, sv = samp[ids[0]]
            return ceil(ceil(w * sh, hmax), 8) * ceil(ceil(h * sv, vmax), 8)
        return ceil(w, 8 * hmax) * ceil(h, 8 * vmax) * sum(samp[i][0] * samp[i][1] for i in ids)
    return blocks


def scan_info(seg):
    """Component ids, AC table number, spectral start and high approximation bit."""
    n = seg[4]
    ids = [seg[5 + 2 * k] for k in range(n)]
    ac = seg[6] & 15
    ss = seg[5 + 2 * n]
    ah = seg[7 + 2 * n] >> 4
    return ids, ac, ss, ah


def run_table(ac):
    """An AC table whose 15 symbols are the end-of-band runs 0x00 to 0xE0, symbol r
    coded as the 4-bit number r."""
    counts = bytes([0, 0, 0, 15] + [0] * 12)
    payload = bytes([0x10 | ac]) + counts + bytes(r << 4 for r in range(15))
    return b"\xff\xc4" + struct.pack(">H", len(payload) + 2) + payload


def run_data(n):
    """End-of-band runs over n blocks under run_table, stuffed and padded with 1-bits."""
    bits = []
    while n:
        k = min(n, 32767)
        r = k.bit_length() - 1
        bits.append((r, 4))
        if r:
            bits.append((k - (1 << r), r))
        n -= k
    out, acc, count = bytearray(), 0, 0
    for value, length in bits:
        for i in range(length - 1, -1, -1):
            acc = acc << 1 | (value >> i) & 1
            count += 1
            if count == 8:
                out.append(acc)
                if acc == 0xFF:
                    out.append(0)
                acc, count = 0, 0
    if count:
        acc = acc << (8 - count) | (1 << (8 - count)) - 1
        out.append(acc)
        if acc == 0xFF:
            out.append(0)
    return bytes(out)


def padded(body, size):
    """body (SOI and segments, no EOI) with comment segments up to size bytes and EOI."""
    pad = size - len(body) - 2
    if pad < 0 or 0 < pad < 4:
        raise SystemExit("%d bytes do not fit in %d" % (len(body) + 2, size))
    while pad:
        n = min(pad, 65537)
        if 0 < pad - n < 4:
            n -= 4
        body += b"\xff\xfe" + struct.pack(">H", n - 2) + b"\0" * (n - 4)
        pad -= n
    return body + b"\xff\xd9"


def main(argv):
    if len(argv) != 5 or argv[1] not in ("pad", "empty", "runs"):
        raise SystemExit(__doc__)
    mode, src, dst, size = argv[1], argv[2], argv[3], int(argv[4])
    data = open(src, "rb").read()
    if mode == "pad":
        open(dst, "wb").write(padded(data[:-2], size))
        return 0
    segs = segments(data)
    blocks = blocks_of(segs)
    out = [b"\xff\xd8"]
    work = 0
    last = None  # the scan to repeat and the blocks it visits
    for m, seg, ent in segs:
        if m != 0xDA:
            out.append(seg + ent)
            continue
        ids, ac, ss, ah = scan_info(seg)
        n = blocks(ids)
        if mode == "empty" and ah:
            ent = b""
            if last is None or n > last[1]:
                last = (seg, n)
        elif mode == "runs" and ss:
            ent = run_data(n)
            out.append(run_table(ac))
            last = (seg + ent, n + 8 * len(ent))
        out.append(seg + ent)
        work += n + 8 * len(ent)
    scan, cost = last
    room = size * BUDGET_PER_BYTE - 64 * 4096  # a margin for what the decoder reads ahead
    while work + cost <= room:
        out.append(scan)
        work += cost
    open(dst, "wb").write(padded(b"".join(out), size))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
