#!/usr/bin/env python3
"""Peer frames, written from the protocol tables alone (independent of the C++).

Frame: FF FA, u16 little-endian length L (whole frame), body, check 1, check 2,
FF FB. The body is the payload with a triple FF FF m in front of every run that
starts with an FF outside a run; m = min(bytes left including that FF, 255).
check 1 = sum(i * b_i) mod 256 over the body (i from 1);
check 2 = NOT(sum(b_i & 0x7F)) & 0x7F.

  frames.py encode OUT HEX...   write the frames of the payloads to OUT
  frames.py decode IN           print the payload of every valid frame in IN, hex
"""
import sys


def checks(body):
    c1 = sum((i + 1) * b for i, b in enumerate(body)) & 0xFF
    c2 = ~sum(b & 0x7F for b in body) & 0x7F
    return c1, c2


def encode(payload):
    body = bytearray()
    run = 0
    for i, b in enumerate(payload):
        if b == 0xFF and run == 0:
            run = min(len(payload) - i, 255)
            body += bytes((0xFF, 0xFF, run))
        body.append(b)
        if run:
            run -= 1
    length = len(body) + 8
    assert length <= 0xFFFF
    c1, c2 = checks(body)
    return bytes((0xFF, 0xFA, length & 0xFF, length >> 8)) + bytes(body) + bytes((c1, c2, 0xFF, 0xFB))


def unescape(body):
    out = bytearray()
    i = 0
    while i < len(body):
        if body[i] == 0xFF and i + 2 < len(body) and body[i + 1] == 0xFF and body[i + 2]:
            m = body[i + 2]
            out += body[i + 3:i + 3 + m]
            i += 3 + m
        else:
            out.append(body[i])
            i += 1
    return bytes(out)


def decode(stream):
    """Payloads of the valid frames of a byte stream, in order; junk is skipped."""
    out = []
    i = 0
    while i + 4 <= len(stream):
        if stream[i] == 0xFF and stream[i + 1] == 0xFA:
            length = stream[i + 2] | stream[i + 3] << 8
            if 8 <= length <= len(stream) - i:
                frame = stream[i:i + length]
                body = frame[4:-4]
                if frame[-2:] == b'\xff\xfb' and tuple(frame[-4:-2]) == checks(body):
                    payload = unescape(body)
                    if payload:
                        out.append(payload)
                        i += length
                        continue
        i += 1
    return out


def main(argv):
    if len(argv) >= 3 and argv[1] == 'encode':
        with open(argv[2], 'wb') as f:
            for h in argv[3:]:
                f.write(encode(bytes.fromhex('' if h == '-' else h)))
        return 0
    if len(argv) == 3 and argv[1] == 'decode':
        with open(argv[2], 'rb') as f:
            for p in decode(f.read()):
                print(p.hex())
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == '__main__':
    sys.exit(main(sys.argv))
