#!/usr/bin/env python3
"""Independent reader and writer of EPK2 and EPCK packs and of the LZW stream,
written from the layout documented in framework/epk_format.h (only the check
constant and the default vendor tag are read from there).

  epk_ref.py write PACK VENDOR CREATED MODIFIED METHOD FILE...   EPK2 pack
  epk_ref.py epck PACK VENDOR METHOD FILE...                     EPCK pack
  epk_ref.py read PACK OUTDIR        entries to OUTDIR/<i>, manifest on stdout
  epk_ref.py lzw-c IN OUT / lzw-d IN OUT    LZW compress / decompress
"""
import hashlib
import json
import os
import re
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
FORMAT_H = os.path.join(HERE, '..', '..', 'framework', 'epk_format.h')


def constants():
    text = open(FORMAT_H).read()
    check = int(re.search(r'kEpkCheckConstant\s*=\s*(0x[0-9A-Fa-f]+)', text).group(1), 16)
    vendor = re.search(r'kEpkDefaultVendor\[5\]\s*=\s*"(....)"', text).group(1).encode()
    return check, vendor


CHECK, DEFAULT_VENDOR = constants()


def check_word(header28):
    h = bytearray(header28)
    h[20:24] = b'\0\0\0\0'
    hexd = hashlib.md5(bytes(h)).hexdigest().encode()
    return (struct.unpack('<I', hexd[5:9])[0] + CHECK) & 0xFFFFFFFF


def store_name(path):
    base = re.split(r'[/\\]', path)[-1]
    if len(base) < 64:
        return base
    cut = base[:63]
    dot = base.rfind('.')
    if dot >= 0:
        ext = base[dot:dot + 32]
        cut = cut[:63 - len(ext)] + ext
    return cut


# ---- LZW ----

def lzw_compress(data):
    n = len(data)
    if n == 0:
        return None
    out = bytearray(16)
    width, limit = 9, 512
    acc, bits = 0, 0
    table = {}  # bytes -> entry index
    entries = 0

    def emit(code):
        nonlocal acc, bits
        acc = (acc << width) | code
        bits += width
        while bits >= 8:
            out.append((acc >> (bits - 8)) & 0xFF)
            bits -= 8
        acc &= (1 << bits) - 1

    def code_of(s):
        return s[0] if len(s) == 1 else 256 + table[s]

    w = data[0:1]
    for i in range(1, n):
        c = data[i:i + 1]
        wc = w + c
        if len(wc) < 192 and (len(wc) == 1 or wc in table):
            w = wc
            continue
        if entries + 256 <= 4000:
            if len(wc) < 192 and wc not in table:
                table[wc] = entries
            entries += 1
        emit(code_of(w))
        if entries + 255 >= 4000:
            entries, width, limit = 0, 9, 512
            table = {}
        if entries + 255 >= limit:
            limit *= 2
            width += 1
        w = c
        if len(out) + 6 >= n:
            return None
    emit(code_of(w))
    if bits:
        out.append((acc << (8 - bits)) & 0xFF)
    struct.pack_into('<II', out, 8, len(out), n)
    return bytes(out)


def lzw_decompress(stream):
    if len(stream) < 16:
        raise ValueError('short')
    unpacked = struct.unpack_from('<I', stream, 12)[0]
    out = bytearray()
    entries = []
    width, limit = 9, 512
    acc, bits, pos = 0, 0, 16
    prev = None
    while True:
        while bits < width and pos < len(stream):
            acc = (acc << 8) | stream[pos]
            pos += 1
            bits += 8
        if bits < width:
            break
        code = (acc >> (bits - width)) & ((1 << width) - 1)
        bits -= width
        acc &= (1 << bits) - 1
        if prev is None:
            if code >= 256:
                raise ValueError('bad first code')
            s = bytes([code])
        elif code < len(entries) + 256:
            s = bytes([code]) if code < 256 else entries[code - 256]
            if len(entries) + 256 <= 4000:
                entries.append(prev + s[:1])
        elif code == len(entries) + 256:
            s = prev + prev[:1]
            if len(entries) + 256 <= 4000:
                entries.append(s)
        else:
            raise ValueError('bad code')
        out += s
        prev = s
        if len(entries) + 256 > 3999:
            entries, width, limit, prev = [], 9, 512, None
        if len(entries) + 256 >= limit:
            limit *= 2
            width += 1
    if len(out) != unpacked:
        raise ValueError('length')
    return bytes(out)


def pack_entry(data, method):
    if len(data) >= 5 and method in (1, 2):
        c = lzw_compress(data) if method == 1 else zlib.compress(data)
        if c is not None and len(c) < len(data) - 4:
            return c, method
    return data, 0


def write_epk2(path, vendor, created, modified, method, files):
    body = bytearray()
    offsets = []
    for f in files:
        data = open(f, 'rb').read()
        stored, m = pack_entry(data, method)
        offsets.append(28 + len(body))
        name = store_name(f).encode('latin-1')
        rec = struct.pack('<I64sIIIBBHII', 92, name, 0, len(data), len(stored), m, 0, 0,
                          created, modified)
        body += rec + stored
    header = bytearray(struct.pack('<4s4sIB3xIIH2x', b'EPK2', vendor, 28, 200, len(files), 0, 0))
    struct.pack_into('<I', header, 20, check_word(header))
    with open(path, 'wb') as out:
        out.write(bytes(header) + bytes(body) + struct.pack('<%dI' % len(offsets), *offsets))


def write_epck(path, vendor, method, files):
    datas = []
    for f in files:
        data = open(f, 'rb').read()
        stored, m = pack_entry(data, method)
        datas.append((f, data, stored, m))
    table = bytearray()
    body = bytearray()
    start = 32 + 152 * len(files)
    for f, data, stored, m in datas:
        table += struct.pack('<128sIIII8s', f.encode('latin-1'), start + len(body), len(data),
                             len(stored), m, b'\xee' * 8)
        body += stored
    header = struct.pack('<4s4s8sI12s', b'EPCK', vendor, b'\x11' * 8, len(files), b'\x22' * 12)
    with open(path, 'wb') as out:
        out.write(header + bytes(table) + bytes(body))


def read_pack(path, outdir):
    raw = open(path, 'rb').read()
    magic = raw[:4]
    entries = []
    if magic == b'EPK2':
        header = raw[:28]
        stored_check = struct.unpack_from('<I', header, 20)[0]
        if check_word(header) != stored_check:
            raise ValueError('check word')
        vendor = header[4:8]
        count = struct.unpack_from('<I', header, 16)[0]
        table = struct.unpack_from('<%dI' % count, raw, len(raw) - 4 * count)
        for off in table:
            (rsize, name, _, unpacked, stored, method, _, _, created,
             modified) = struct.unpack_from('<I64sIIIBBHII', raw, off)
            data_at = off + rsize
            entries.append(dict(name=name.split(b'\0')[0].decode('latin-1'), unpacked=unpacked,
                                stored=stored, method=method, created=created, modified=modified,
                                data=raw[data_at:data_at + stored]))
    elif magic == b'EPCK':
        vendor = raw[4:8]
        count = struct.unpack_from('<I', raw, 16)[0]
        for i in range(count):
            name, off, unpacked, stored, method = struct.unpack_from('<128sIIII', raw, 32 + 152 * i)
            entries.append(dict(name=store_name(name.split(b'\0')[0].decode('latin-1')),
                                unpacked=unpacked, stored=stored, method=method & 0xFF,
                                created=0, modified=0, data=raw[off:off + stored]))
    else:
        raise ValueError('magic')
    manifest = dict(vendor=vendor.decode('latin-1'), entries=[])
    for i, e in enumerate(entries):
        data = e.pop('data')
        if e['method'] == 1:
            data = lzw_decompress(data)
        elif e['method'] == 2:
            data = zlib.decompress(data)
        if len(data) != e['unpacked']:
            raise ValueError('size')
        with open(os.path.join(outdir, str(i)), 'wb') as out:
            out.write(data)
        manifest['entries'].append(e)
    print(json.dumps(manifest, sort_keys=True))


def main(argv):
    cmd = argv[1]
    if cmd == 'write':
        write_epk2(argv[2], argv[3].encode(), int(argv[4]), int(argv[5]), int(argv[6]), argv[7:])
    elif cmd == 'epck':
        write_epck(argv[2], argv[3].encode(), int(argv[4]), argv[5:])
    elif cmd == 'read':
        read_pack(argv[2], argv[3])
    elif cmd == 'lzw-c':
        c = lzw_compress(open(argv[2], 'rb').read())
        if c is None:
            return 3
        open(argv[3], 'wb').write(c)
    elif cmd == 'lzw-d':
        open(argv[3], 'wb').write(lzw_decompress(open(argv[2], 'rb').read()))
    else:
        return 2
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
