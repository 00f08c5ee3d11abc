#!/usr/bin/env python3
"""Hostile peers for a hosting game program on 127.0.0.1 (ZARN_START=host:N).

  hostile_peer.py hostile PORT SEED REPORT
      Connects, sends junk into the login queue, joins with an unterminated
      60-character name, waits for the start of play and then, phase by phase,
      sends random bytes, truncated frames, frames with bad checksums, oversized
      lengths, runs of FF, game packets whose numbers are out of range, floods of
      pings and of grids, and frames with damage. Between phases it sends
      keep-alives and waits until the host has answered a ping (so the host has
      read everything before it; a flood of pings must be answered whole).
      Valid grids carry scores below 900000, invalid ones (a bad cell code
      among them) 900000 and above; the last valid grid carries 7777. Winner
      claims that its grids did not earn are among the lies. It then keeps its
      seat with keep-alives until the host closes. REPORT gets key=value lines.
  hostile_peer.py host PORT SEED REPORT
      Hosts one joining program (ZARN_START=join:127.0.0.1): lies before the
      welcome and the start, then the same phases of play as a hostile joiner,
      with grids for player 0 (the host's own board on the joiner's screen).
  hostile_peer.py silent PORT SECONDS REPORT
      Connects with a small receive buffer, joins, sends keep-alives and never
      reads; REPORT says whether and when the host gave the connection up.
  hostile_peer.py raw PORT COUNT SECONDS
      COUNT connections that neither send nor read, held for SECONDS; then a
      burst of connections that send junk and close at once.

Every time is CLOCK_MONOTONIC in microseconds (the clock the program's frame
stamps use). Every loop is bounded in time.
"""
import random
import socket
import struct
import sys
import threading
import time

import frames

TAG = 11
KEEPALIVE = bytes((TAG, 2, 4, 0))
PING_REQUEST = bytes.fromhex('fffa0a00fffcf704fffb')
PING_REPLY = bytes.fromhex('fffa0a00fffdf903fffb')
FINAL_SCORE = 7777
MARK = 900000
# Cell codes a grid may carry: stones at rest, and a board's moving states
# (breaking 0x40 + code, clearing 0x50 + code, a wildcard taking a colour
# 0x60 + colour, falling 0x80 / 0x90 / 0xA0 + code, vacated 0xC1 to 0xC3,
# turning black 253, exploded 255). Every other byte is refused.
GOOD_CELLS = (list(range(16)) + [base + c for base in (0x40, 0x50, 0x80, 0x90, 0xA0) for c in range(1, 16)]
              + [0x60 + c for c in range(1, 8)] + [0xC1, 0xC2, 0xC3, 253, 255])
BAD_CELLS = [v for v in range(256) if v not in GOOD_CELLS]


def now_us():
    return int(time.monotonic() * 1e6)


def connect(port, deadline_s, rcvbuf=0):
    end = time.monotonic() + deadline_s
    while True:
        s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        if rcvbuf:
            s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, rcvbuf)
        try:
            s.settimeout(5)
            s.connect(('127.0.0.1', port))
            s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            return s
        except OSError:
            s.close()
            if time.monotonic() > end:
                raise
            time.sleep(0.1)


def packet(pid, body=b'', length=None):
    n = 4 + len(body) if length is None else length
    return bytes((TAG, pid)) + struct.pack('<H', n & 0xFFFF) + body


def grid(conn, player, score, cells, fall=0):
    return packet(6, struct.pack('<I', score & 0xFFFFFFFF) + bytes((conn, player, fall)) + bytes(cells))


class Link:
    """One connection: sends under a lock (the keep-alive thread and the phases
    share it) and reads frames in a thread."""

    def __init__(self, sock):
        self.s = sock
        self.lock = threading.Lock()
        self.closed = False
        self.start = None       # (connection, player) from the start packet
        self.start_packet = b''
        self.joined = False     # a join packet came (host role)
        self.welcomed = False
        self.pongs = 0
        self.frames = 0
        self.cond = threading.Condition()
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def send(self, data):
        if self.closed:
            return False
        with self.lock:
            try:
                self.s.sendall(data)
                return True
            except OSError:
                self.closed = True
                return False

    def _read(self):
        buf = b''
        self.s.settimeout(1)
        while not self.closed:
            try:
                data = self.s.recv(65536)
            except socket.timeout:
                continue
            except OSError:
                break
            if not data:
                break
            buf += data
            buf = self._frames(buf)
        with self.cond:
            self.closed = True
            self.cond.notify_all()

    def _frames(self, buf):
        # The host's stream holds only whole, valid frames; anything else is skipped.
        while len(buf) >= 4:
            if buf[0] != 0xFF or buf[1] != 0xFA:
                buf = buf[1:]
                continue
            length = buf[2] | buf[3] << 8
            if len(buf) < length:
                break
            got = frames.decode(buf[:length])
            buf = buf[length:] if got else buf[1:]
            for p in got:
                self._payload(p)
        return buf

    def _payload(self, p):
        with self.cond:
            self.frames += 1
            if p == b'\xff\xfd':
                self.pongs += 1
            elif len(p) >= 4 and p[0] == TAG and p[1] == 4:
                self.welcomed = True
            elif len(p) >= 5 and p[0] == TAG and p[1] == 3:
                self.joined = True
            elif len(p) == 252 and p[0] == TAG and p[1] == 5:
                self.start = (p[4], p[5])
                self.start_packet = p
            self.cond.notify_all()

    def wait(self, what, seconds):
        end = time.monotonic() + seconds
        with self.cond:
            while not what() and not self.closed:
                left = end - time.monotonic()
                if left <= 0:
                    return False
                self.cond.wait(left)
            return what()

    def barrier(self, tries=6):
        """Waits until the host has answered a ping sent after everything else."""
        for _ in range(tries):
            seen = self.pongs
            self.send(frames.encode(KEEPALIVE) * 2 + PING_REQUEST)
            if self.wait(lambda: self.pongs > seen, 1.0):
                return True
            if self.closed:
                return False
        return False


def send_chunks(link, rng, data, dribble=False):
    """Sends in pieces of random size (1 to 7 bytes when dribbling)."""
    i = 0
    while i < len(data):
        n = rng.randrange(1, 8) if dribble else rng.randrange(64, 2048)
        if not link.send(data[i:i + n]):
            return
        i += n


def keepalives(link, stop, period=0.4):
    while not stop.is_set() and not link.closed:
        link.send(frames.encode(KEEPALIVE))
        stop.wait(period)


def hostile(port, seed, report):
    rng = random.Random(seed)
    out = {'connect_us': now_us()}
    link = Link(connect(port, 60))
    out['connected_us'] = now_us()

    def chunks(data, dribble=False):
        send_chunks(link, rng, data, dribble)

    # Into the login queue (256 bytes, payloads up to 127): junk, then the join.
    join = packet(3, b'Q' * 30 + b'RSTUVWXYZ' + b'q' * 21)  # 60 characters, no zero
    login = [
        bytes(rng.randrange(256) for _ in range(3000)),
        frames.encode(join)[:9],                                     # truncated
        bytes(frames.encode(join)[:-4]) + b'\x00\x00\xff\xfb',       # bad checksums
        b'\xff\xfa\xff\xff' + bytes(300),                            # length past the ring
        frames.encode(packet(3, b'L' * 150)),                        # payload past 127
        b'\xff' * 2000,                                              # a run of FF
        b'\xff\xfa' * 300,                                           # start markers only
        b'\xff\xfa\x08\x00\x00\x7f\xff\xfb' * 20,                    # empty frames
        frames.encode(packet(3, b'Wrong', length=40)),               # length field lies
        frames.encode(bytes((12, 3, 9, 0, 65, 66, 67, 68, 69))),     # wrong tag
        frames.encode(packet(3, b'T' * 124)),                        # 128 bytes: too long
    ]
    for part in login:
        chunks(part, dribble=rng.random() < 0.3)
    out['login_barrier'] = int(link.barrier())
    link.send(frames.encode(join))
    out['welcomed'] = int(link.wait(lambda: link.welcomed, 30))
    out['started'] = int(link.wait(lambda: link.start is not None, 90))
    if not link.start:
        return finish(out, link, report)
    conn, player = link.start
    out['start_us'] = now_us()
    out['player'] = player
    # The name the host holds for this seat, as its start packet gives it.
    record = 40 + 52 * player
    out['seat_name'] = link.start_packet[record:record + 32].hex()
    play(link, rng, out, conn, player, [0, 4, 5, 200, 255] + [p for p in (1, 2, 3) if p != player])
    return finish(out, link, report)


def play(link, rng, out, conn, player, bad_players):
    """The phases of play. Grids are `conn`, `player` (as the receiver takes
    them from this side); `bad_players` are numbers the receiver must refuse."""

    def chunks(data, dribble=False):
        send_chunks(link, rng, data, dribble)

    def damaged(payload):
        f = bytearray(frames.encode(payload))
        f[rng.randrange(len(f))] ^= 1 << rng.randrange(8)
        return bytes(f)

    stop = threading.Event()
    pinger = threading.Thread(target=keepalives, args=(link, stop), daemon=True)
    pinger.start()
    valid = []

    def good_grid(score=None):
        score = rng.randrange(1000, 9000) if score is None else score
        valid.append(score)
        cells = bytes(rng.choice(GOOD_CELLS) for _ in range(81))
        return frames.encode(grid(conn, player, score, cells, rng.randrange(256)))

    def marked():
        return MARK + rng.randrange(100000)

    def bad_packets():
        cells = bytes(rng.randrange(16) for _ in range(81))
        pkts = []
        for pl in bad_players:                                       # player numbers
            pkts.append(grid(conn, pl, marked(), cells))
        for c in (conn + 1, 17, 99, 255):                            # not its connection
            pkts.append(grid(c, player, marked(), cells))
        g = grid(conn, player, marked(), cells)
        pkts += [g[:-1], g + b'\x00', packet(6, g[4:], length=91), bytes((12,)) + g[1:]]
        for t, src, n, k in ((4, 0, 1, 0), (9, 0, 1, 0), (0, 7, 1, 0), (0, 0, 0, 0),
                             (0, 0, 4, 0), (0, 0, 200, 0), (0, 0, 1, 4), (0, 0, 1, 255)):
            pkts.append(packet(7, bytes((conn, t, src, n, k, 0, 0, 0))))
        def winner(c, pl, score, ranking=0):
            return packet(9, bytes((c, pl, 0, 0)) + struct.pack('<4I', score, 0, 0, 0) + bytes((ranking,)) * 4
                          + bytes(4))
        for c, pl, ranking in ((conn, 0, 0), (conn, 5, 0), (conn, 9, 0), (conn + 1, player, 0),
                               (conn, player, 9)):                   # winners, one fault each
            pkts.append(winner(c, pl, MARK, ranking))
        # Claims in order but not earned: below the target (50000), and below
        # what a grid just showed.
        pkts.append(winner(conn, player, 1))
        shown = 80000 + rng.randrange(10000)
        valid.append(shown)
        pkts.append(grid(conn, player, shown, bytes(1) + cells[1:]))     # not full: no halving
        pkts.append(winner(conn, player, 60000))
        for lv in (0, 10, 255):                                      # levels
            pkts.append(packet(8, bytes((lv, 0, 0, 0))))
        pkts += [packet(11, b'\x00'), packet(11, length=5), packet(13, b'\x00'),   # pauses that lie
                packet(0), packet(14), packet(255), bytes((TAG, 2)), b'',
                packet(10, bytes((conn, 9)) + bytes(18)), packet(12, bytes((conn,)) + bytes(16) + bytes((5, 5, 5, 5)) + bytes(3)),
                packet(5, bytes(248)), packet(4, bytes(8)), packet(1),
                packet(3, b'N' * 123), packet(3, b'M' * 124)]         # names past the bound
        # Last, so that a seat taking one would show it for a while: a cell no
        # board holds.
        for bad in rng.sample(BAD_CELLS, 12):
            at = rng.randrange(81)
            pkts.append(grid(conn, player, marked(), cells[:at] + bytes((bad,)) + cells[at + 1:]))
        return pkts

    def ping_flood():
        # Every request is answered: the host read the whole flood.
        want = link.pongs + 300
        chunks(PING_REQUEST * 300 + PING_REPLY * 300)
        out['ping_flood_answered'] = int(link.wait(lambda: link.pongs >= want, 15))

    phases = [
        ('random', lambda: chunks(bytes(rng.randrange(256) for _ in range(20000)))),
        ('truncated', lambda: chunks(b''.join(
            frames.encode(grid(99, 5, marked(), bytes(81)))[:rng.randrange(1, 100)]
            for _ in range(100)), dribble=True)),
        ('checksums', lambda: chunks(b''.join(
            (lambda f: f[:-4] + bytes(((f[-4] + 1) & 0xFF, f[-3])) + f[-2:])(
                frames.encode(grid(conn, player, marked(), bytes(rng.randrange(16) for _ in range(81)))))
            for _ in range(200)))),
        ('oversized', lambda: chunks(b''.join([
            b'\xff\xfa\xff\xff' + bytes(3000),
            b'\xff\xfa\x28\x23' + bytes(1000),                       # 9000: past the ring
            frames.encode(bytes(600)),                               # payload past 511
            frames.encode(grid(conn, player, marked(), bytes(81)) + bytes(500)),
            frames.encode(bytes(rng.randrange(256) for _ in range(5000))),
            b'\xff\xfa\x00\x04' + bytes(200),                        # waits, then is shown invalid
        ]))),
        ('ff', lambda: chunks(b'\xff' * 10000 + b'\xff\xff\x05' * 500 + b'\xff\xfa\x08\x00\x00\x7f\xff\xfb' * 100
                              + frames.encode(b'\xff' * 300) + frames.encode(b'\xff\xfb\xff\xfa' * 20))),
        ('packets', lambda: chunks(b''.join(frames.encode(p) if p else b'\xff\xfa\x08\x00\x00\x7f\xff\xfb'
                                            for p in bad_packets() * 3))),
        ('pings', ping_flood),
        ('grids', lambda: chunks(b''.join(good_grid() for _ in range(800)))),
        # The frame checks cannot see every single flip (the top bit of a body
        # byte at an even place changes neither sum), so these payloads stay
        # refused whatever one flip does: wrong tag, player and connection.
        ('damage', lambda: chunks(b''.join(damaged(bytes((12,)) + grid(99, 0, marked(), bytes(81))[1:])
                                           for _ in range(300)))),
        ('random2', lambda: chunks(bytes(rng.randrange(256) for _ in range(20000)), dribble=True)),
    ]
    barriers = 0
    for name, run in phases:
        run()
        ok = link.barrier()
        barriers += ok
        out['phase_' + name] = int(ok)
        if link.closed:
            break
    out['barriers'] = barriers
    link.send(good_grid(FINAL_SCORE))
    out['final_barrier'] = int(link.barrier())
    out['end_us'] = now_us()
    out['valid_scores'] = ','.join(str(v) for v in valid)
    out['closed_early'] = int(link.closed)
    # Keep the seat until the other side ends (bounded).
    link.wait(lambda: False, 120)
    stop.set()



def finish(out, link, report):
    out['frames_read'] = link.frames
    out['pongs'] = link.pongs
    with open(report, 'w') as f:
        for k, v in out.items():
            f.write('%s=%s\n' % (k, v))
    try:
        link.s.close()
    except OSError:
        pass
    return 0


def seat_record(name, conn, kind, link_value):
    return (name + bytes(32))[:32] + bytes(16) + bytes((conn, kind, link_value, 0))


def host(port, seed, report):
    """A host that seats one joining program as player 1 on connection 1, with
    lies and junk before the welcome and the start, then the phases of play."""
    rng = random.Random(seed)
    out = {}
    srv = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    srv.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    srv.bind(('127.0.0.1', port))
    srv.listen(1)
    srv.settimeout(90)
    sock, _ = srv.accept()
    srv.close()
    sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    out['connected_us'] = now_us()
    link = Link(sock)
    out['joined'] = int(link.wait(lambda: link.joined, 30))

    def chunks(data, dribble=False):
        send_chunks(link, rng, data, dribble)

    welcome = packet(4, struct.pack('<I', 50000) + bytes((1, 0, 0, 0)))
    chunks(bytes(rng.randrange(256) for _ in range(2000))
           + frames.encode(packet(4, struct.pack('<I', 50000) + bytes((0, 0, 0, 0))))     # level 0
           + frames.encode(packet(4, struct.pack('<I', 50000) + bytes((10, 0, 0, 0))))    # level 10
           + frames.encode(welcome + b'\x00')                                             # too long
           + frames.encode(welcome)[:-1])                                                  # truncated
    link.send(frames.encode(welcome))
    # Starts that lie, each in one field, then the real one: player 1 on
    # connection 1, the host's and player 2's names 32 characters without a zero.
    fall = bytes(rng.randrange(2) for _ in range(16))
    rotation = bytes(rng.randrange(3) for _ in range(16))
    records = [seat_record(b'H' * 32, 0, 4, 2), seat_record(b'Fuzz', 1, 4, 2),
               seat_record(b'X' * 32, 2, 4, 2), seat_record(b'', 0, 2, 0)]

    def start(conn=1, player=1, fall=fall, rotation=rotation, records=records):
        return packet(5, bytes((conn, player)) + fall + rotation + bytes(2) + b''.join(records) + bytes(4))

    lies = [start(player=0), start(player=4), start(conn=17), start(fall=bytes((2,)) * 16),
            start(rotation=bytes((3,)) * 16), start(records=[seat_record(b'A', 0, 9, 2)] + records[1:]),
            start(records=records[:2] + [seat_record(b'B', 2, 4, 7)] + records[3:]),
            start(records=records[:3] + [seat_record(b'C', 99, 0, 0)]), start()[:-1], start() + b'\x00']
    chunks(b''.join(frames.encode(p) for p in lies))
    link.send(frames.encode(start()))
    out['start_us'] = now_us()
    # The joiner answers pings only once it plays.
    out['start_barrier'] = int(link.barrier())
    play(link, rng, out, 1, 0, [1, 4, 5, 200, 255])
    return finish(out, link, report)


def silent(port, seconds, report):
    s = connect(port, 60, rcvbuf=2048)
    out = {'connected_us': now_us(), 'closed': 0}
    end = time.monotonic() + seconds
    s.settimeout(2)
    try:
        s.sendall(frames.encode(packet(3, b'Silent\x00')))
        while time.monotonic() < end:
            s.sendall(frames.encode(KEEPALIVE))
            time.sleep(0.4)
    except OSError:
        out['closed'] = 1
        out['closed_us'] = now_us()
    with open(report, 'w') as f:
        for k, v in out.items():
            f.write('%s=%s\n' % (k, v))
    s.close()
    return 0


def raw(port, count, seconds):
    rng = random.Random(count)
    held = [connect(port, 60) for _ in range(count)]
    for _ in range(12):
        try:
            s = connect(port, 5)
            s.sendall(bytes(rng.randrange(256) for _ in range(rng.randrange(1, 5000))))
            s.close()
        except OSError:
            pass
    time.sleep(seconds)
    for s in held:
        s.close()
    return 0


def main(argv):
    if len(argv) == 5 and argv[1] == 'hostile':
        return hostile(int(argv[2]), int(argv[3]), argv[4])
    if len(argv) == 5 and argv[1] == 'host':
        return host(int(argv[2]), int(argv[3]), argv[4])
    if len(argv) == 5 and argv[1] == 'silent':
        return silent(int(argv[2]), float(argv[3]), argv[4])
    if len(argv) == 5 and argv[1] == 'raw':
        return raw(int(argv[2]), int(argv[3]), float(argv[4]))
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == '__main__':
    sys.exit(main(sys.argv))
