#!/usr/bin/env python3
"""An independent reader and writer of "game.cfg", written from its layout table.

  settings_ref.py read FILE            prints one "field=value" line per field and
                                       "valid=1" or "valid=0" (exit 0)
  settings_ref.py write FILE k=v ...   writes the default record with the given
                                       fields changed and valid check words
  settings_ref.py raw FILE off=byte ... writes the default record with raw bytes
                                       changed, then valid check words

Fields: name, host0..host5, key_drop, key_reserved, key_start, key_toggle,
music, effects, mute, colourblind, hsname_M_R, score_M_R, level, multilevel,
connection, target, stylus.
"""
import struct
import sys

SIZE = 804
TEXTS = [("name", 90, 32)] + [("host%d" % i, 250 + 32 * i, 32) for i in range(6)]
TEXTS += [("hsname_%d_%d" % (m, r), 472 + 96 * m + 32 * r, 32) for m in range(3) for r in range(3)]
WORDS = [("key_drop", 444), ("key_reserved", 448), ("key_start", 452), ("key_toggle", 456)]
WORDS += [("score_%d_%d" % (m, r), 760 + 12 * m + 4 * r) for m in range(3) for r in range(3)]
BYTES = [("music", 468), ("effects", 469), ("mute", 470), ("colourblind", 471), ("level", 796),
         ("multilevel", 797), ("connection", 798), ("target", 799), ("stylus", 800)]
CHECK_A, CHECK_B = 460, 464


def checks(rec):
    rec = bytearray(rec)
    rec[CHECK_A:CHECK_B + 4] = bytes(8)
    a = sum(((13 * b) & 0x1FF) + 11 for b in rec) & 0xFFFFFFFF
    b = sum((b & 0x7F) + 34 for b in rec) & 0xFFFFFFFF
    return a, b


def defaults():
    rec = bytearray(SIZE)
    put_text(rec, 90, 32, "Anonymous")
    struct.pack_into("<IIII", rec, 444, 14, 0, 9, 15)
    rec[468:472] = bytes([32, 32, 0, 0])
    for m in range(3):
        for r, (n, s) in enumerate([("Chris", 3000), ("Joe", 2000), ("Kate", 1000)]):
            put_text(rec, 472 + 96 * m + 32 * r, 32, n)
            struct.pack_into("<I", rec, 760 + 12 * m + 4 * r, s)
    rec[796:801] = bytes([1, 1, 0, 1, 0])
    return rec


def put_text(rec, off, size, text):
    data = text.encode("latin-1")[:size - 1]
    rec[off:off + size] = data + bytes(size - len(data))


def seal(rec):
    a, b = checks(rec)
    struct.pack_into("<II", rec, CHECK_A, a, b)


def read(path):
    rec = open(path, "rb").read()
    out = []
    valid = len(rec) >= SIZE
    rec = rec[:SIZE]
    if valid:
        a, b = checks(rec)
        sa, sb = struct.unpack_from("<II", rec, CHECK_A)
        valid = (a, b) == (sa, sb)
        for name, off, size in TEXTS:
            field = rec[off:off + size]
            out.append("%s=%s" % (name, field.split(b"\0")[0].decode("latin-1")))
        for name, off in WORDS:
            out.append("%s=%d" % (name, struct.unpack_from("<I", rec, off)[0]))
        for name, off in BYTES:
            out.append("%s=%d" % (name, rec[off]))
        out.append("check_a=%d" % sa)
        out.append("check_b=%d" % sb)
    out.append("valid=%d" % (1 if valid else 0))
    print("\n".join(out))


def write(path, items):
    rec = defaults()
    texts = {n: (o, s) for n, o, s in TEXTS}
    words = dict(WORDS)
    byts = dict(BYTES)
    for item in items:
        key, value = item.split("=", 1)
        if key in texts:
            put_text(rec, texts[key][0], texts[key][1], value)
        elif key in words:
            struct.pack_into("<I", rec, words[key], int(value, 0))
        elif key in byts:
            rec[byts[key]] = int(value, 0)
        else:
            rec[int(key, 0)] = int(value, 0)
    seal(rec)
    open(path, "wb").write(rec)


if __name__ == "__main__":
    if sys.argv[1] == "read":
        read(sys.argv[2])
    elif sys.argv[1] in ("write", "raw"):
        write(sys.argv[2], sys.argv[3:])
    else:
        sys.exit(2)
