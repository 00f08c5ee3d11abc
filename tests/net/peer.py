#!/usr/bin/env python3
"""A peer of the game over TCP on 127.0.0.1, for the network tests.

  peer.py echo PORT        join, decode every frame the host sends and send its
                           payload back in a frame written here; stop at "bye"
  peer.py hostile PORT N   join and send junk of every kind (seed N), then a
                           good frame "end", then wait for the host to close;
                           what the host sends is read all along
  peer.py silent PORT S    join and neither read nor close for S seconds
"""
import random
import socket
import sys
import threading
import time

import frames


def join(port):
    s = socket.create_connection(('127.0.0.1', port), timeout=60)
    s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    return s


def echo(port):
    s = join(port)
    buf = b''
    handled = 0
    while True:
        data = s.recv(4096)
        if not data:
            return 1
        buf += data
        payloads = frames.decode(buf)
        for p in payloads[handled:]:
            s.sendall(frames.encode(p))
            if p == b'bye':
                s.close()
                return 0
        handled = len(payloads)


def read_all(s):
    try:
        while s.recv(65536):
            pass
    except OSError:
        pass


def hostile(port, seed):
    rng = random.Random(seed)
    s = join(port)
    # Hostile in what it sends, not in what it reads: the host's traffic is
    # taken as it comes, however long the junk below takes to send.
    s.settimeout(None)
    reader = threading.Thread(target=read_all, args=(s,), daemon=True)
    reader.start()
    good = frames.encode(bytes((11, 7, 8, 0, 1, 2, 3, 4)))
    parts = []
    parts.append(bytes(rng.randrange(256) for _ in range(3000)))          # random bytes
    parts.append(good[:len(good) // 2])                                   # truncated frame
    bad = bytearray(good)
    bad[-4] ^= 0x55
    parts.append(bytes(bad))                                              # bad checksum
    parts.append(good)
    parts.append(b'\xff\xfa\xff\xff' + bytes(200))                        # oversized length
    parts.append(b'\xff\xfa\x08\x00\x00\x7f\xff\xfb' * 50)                # empty frames
    parts.append(frames.encode(bytes(5000)))                              # payload too large
    for pkt in ((11, 6, 12, 0, 200, 0, 0, 0, 0, 0, 0, 0),                 # player out of range
                (11, 9, 4, 0), (11, 0, 4, 0), (11, 99, 4, 0), (12, 1, 4, 0),
                (11, 5, 0xFF, 0xFF), (11,)):
        parts.append(frames.encode(bytes(pkt)))
    parts.append(bytes([0xFF, 0xFA]) * 500)                               # start markers only
    for _ in range(200):                                                  # frames with damage
        f = bytearray(frames.encode(bytes(rng.randrange(256) for _ in range(rng.randrange(1, 60)))))
        f[rng.randrange(len(f))] ^= 1 << rng.randrange(8)
        parts.append(bytes(f))
    for p in parts:
        # Dribble some parts a few bytes at a time.
        if rng.random() < 0.3:
            for i in range(0, len(p), 7):
                s.sendall(p[i:i + 7])
        else:
            s.sendall(p)
    s.sendall(good + frames.encode(b'end'))
    reader.join(60)
    return 0 if not reader.is_alive() else 1


def silent(port, seconds):
    s = join(port)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
    time.sleep(seconds)
    s.close()
    return 0


def main(argv):
    if len(argv) == 3 and argv[1] == 'echo':
        return echo(int(argv[2]))
    if len(argv) == 4 and argv[1] == 'hostile':
        return hostile(int(argv[2]), int(argv[3]))
    if len(argv) == 4 and argv[1] == 'silent':
        return silent(int(argv[2]), float(argv[3]))
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == '__main__':
    sys.exit(main(sys.argv))
