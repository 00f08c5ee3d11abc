#!/usr/bin/env python3
"""HTTP servers for the client tests, on 127.0.0.1.

  http_peer.py serve PORT READY OUT N   http.server for N requests; each request is
      recorded as OUT/N.req (raw), and its parameters as OUT/N.txt: one line per
      part, "name|filename|content-type|hex of value", parsed with the email
      module (multipart) or urllib (query and form)
  http_peer.py raw PORT READY OUT MODE  one connection on a plain socket: records
      the request in OUT, answers as MODE says (slow, nolength, midheader, big, short,
      long: 40 bytes after a length of 10, twolengths: lengths of 10 and 40);
      late and reset (with a small receive buffer) read nothing until the file
      OUT.go exists; then late reads the whole request and answers with the
      body length it got, and reset reads 64 KiB of it and resets the connection
"""
import email.parser
import email.policy
import http.server
import os
import socket
import struct
import sys
import time
import urllib.parse


def ready(path):
    with open(path, 'w') as f:
        f.write('ready\n')


def parts_of(handler, body):
    ctype = handler.headers.get('Content-Type', '')
    lines = []
    if ctype.startswith('multipart/form-data'):
        msg = email.parser.BytesParser(policy=email.policy.HTTP).parsebytes(
            b'Content-Type: ' + ctype.encode() + b'\r\n\r\n' + body)
        for part in msg.iter_parts():
            name = part.get_param('name', header='content-disposition') or ''
            filename = part.get_filename() or ''
            ptype = part.get('Content-Type', '')
            value = part.get_payload(decode=True) or b''
            lines.append('%s|%s|%s|%s' % (name, filename, ptype, value.hex()))
    else:
        query = urllib.parse.urlsplit(handler.path).query
        if handler.command == 'POST':
            query = body.decode('latin-1')
        for name, value in urllib.parse.parse_qsl(query, keep_blank_values=True, encoding='latin-1'):
            lines.append('%s|||%s' % (name, value.encode('latin-1').hex()))
    return lines


def serve(port, readyfile, out, count):
    seen = [0]

    class Tee:
        """Keeps every byte the handler reads, so the request is recorded raw."""
        def __init__(self, f):
            self.f = f
            self.seen = b''

        def readline(self, *args):
            line = self.f.readline(*args)
            self.seen += line
            return line

        def read(self, *args):
            data = self.f.read(*args)
            self.seen += data
            return data

        def __getattr__(self, name):
            return getattr(self.f, name)

    class Handler(http.server.BaseHTTPRequestHandler):
        def setup(self):
            super().setup()
            self.rfile = Tee(self.rfile)

        def handle_one(self):
            n = seen[0]
            seen[0] += 1
            length = int(self.headers.get('Content-Length', '0'))
            body = self.rfile.read(length) if length else b''
            raw = self.rfile.seen
            with open('%s/%d.req' % (out, n), 'wb') as f:
                f.write(raw)
            with open('%s/%d.txt' % (out, n), 'w') as f:
                for line in parts_of(self, body):
                    f.write(line + '\n')
            reply = ('%s %s %d' % (self.command, urllib.parse.urlsplit(self.path).path, len(body))).encode()
            self.send_response(200)
            self.send_header('Content-Type', 'text/plain')
            self.send_header('Content-Length', str(len(reply)))
            self.end_headers()
            self.wfile.write(reply)

        do_GET = handle_one
        do_POST = handle_one

        def log_message(self, *args):
            pass

    server = http.server.HTTPServer(('127.0.0.1', port), Handler)
    server.timeout = 60
    ready(readyfile)
    while seen[0] < count:
        before = seen[0]
        server.handle_request()
        if seen[0] == before:
            return 1
    server.server_close()
    return 0


def wait_for(path):
    end = time.monotonic() + 60
    while not os.path.exists(path):
        if time.monotonic() > end:
            raise SystemExit('no %s' % path)
        time.sleep(0.01)


def read_request(conn, at_least=0):
    """The header, then the body its Content-Length gives (or at_least bytes)."""
    request = bytearray()
    while b'\r\n\r\n' not in request or len(request) < at_least:
        data = conn.recv(65536)
        if not data:
            return bytes(request)
        request += data
    if at_least:
        return bytes(request)
    head, _, body = bytes(request).partition(b'\r\n\r\n')
    length = 0
    for line in head.split(b'\r\n'):
        name, _, value = line.partition(b':')
        if name.strip().lower() == b'content-length':
            length = int(value)
    body = bytearray(body)
    while len(body) < length:
        data = conn.recv(1 << 20)
        if not data:
            break
        body += data
    return head + b'\r\n\r\n' + bytes(body)


def raw(port, readyfile, out, mode):
    lsock = socket.socket()
    lsock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    if mode in ('late', 'reset'):
        lsock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
    lsock.bind(('127.0.0.1', port))
    lsock.listen(1)
    lsock.settimeout(60)
    ready(readyfile)
    conn, _ = lsock.accept()
    conn.settimeout(60)
    conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    if mode in ('late', 'reset'):
        wait_for(out + '.go')
        request = read_request(conn, 65536 if mode == 'reset' else 0)
        with open(out, 'wb') as f:
            f.write(request)
        if mode == 'late':
            body = request.partition(b'\r\n\r\n')[2]
            reply = str(len(body)).encode()
            conn.sendall(b'HTTP/1.0 200 OK\r\nContent-Length: %d\r\n\r\n' % len(reply) + reply)
        else:
            conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack('ii', 1, 0))
        conn.close()
        lsock.close()
        return 0
    request = b''
    while b'\r\n\r\n' not in request:
        data = conn.recv(4096)
        if not data:
            break
        request += data
    with open(out, 'wb') as f:
        f.write(request)

    def send(*pieces):
        for p in pieces:
            conn.sendall(p)
            time.sleep(0.05)

    if mode == 'slow':
        send(b'HTTP/1.0 200 OK\r\nX-Update: no\r\nSERVER: slowpoke\r\ncontent-length: 11\r\n',
             b'Content-Type: text/plain\r\n\r', b'\n', b'hello', b' world')
    elif mode == 'nolength':
        send(b'HTTP/1.0 404 Not Found\r\nLocation: /elsewhere\r\n\r\n', b'abc')
    elif mode == 'midheader':
        send(b'HTTP/1.0 200 OK\r\nContent-Le')
    elif mode == 'big':
        send(b'HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\n' + b'x' * 100000)
    elif mode == 'short':
        send(b'HTTP/1.0 200 OK\r\nContent-Length: 100\r\nContent-Encoding: gzip\r\n\r\n', b'0123456789')
    elif mode == 'long':
        send(b'HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\n', b'0123456789', b'x' * 30)
    elif mode == 'twolengths':
        send(b'HTTP/1.0 200 OK\r\nContent-Length: 10\r\nContent-Length: 40\r\n\r\n', b'0123456789' + b'x' * 30)
    conn.close()
    lsock.close()
    return 0


def main(argv):
    if len(argv) == 6 and argv[1] == 'serve':
        return serve(int(argv[2]), argv[3], argv[4], int(argv[5]))
    if len(argv) == 6 and argv[1] == 'raw':
        return raw(int(argv[2]), argv[3], argv[4], argv[5])
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == '__main__':
    sys.exit(main(sys.argv))
