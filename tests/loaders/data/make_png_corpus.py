#!/usr/bin/python3
"""Makes the PNG test corpus in the current folder with ImageMagick, Pillow and
pngcrush, and the reference decode of each file.

Writes manifest.txt, one line per file: "<name> <kind> [<source>]", kind being
  ref     <name>.ref holds "w h\n" and the expected RGBA bytes
  refuse  the loader must answer 3 without a callback
  bad     the loader must fail (1) after claiming the file
  cut     made from <source> with image data that ends before its last row:
          the loader must fail (1); the rows it delivers are <source>'s
"""
import struct
import subprocess
import sys
import zlib

from PIL import Image

CONVERT = "/usr/bin/convert"
manifest = []


def run(*args):
    subprocess.run(list(args), check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def ihdr(name):
    d = open(name, "rb").read()
    return d[24], d[25], d[28]  # depth, colour type, interlace


def ref_pillow(name):
    im = Image.open(name)
    im.load()
    rgba = im.convert("RGBA")
    with open(name + ".ref", "wb") as f:
        f.write(b"%d %d\n" % im.size + rgba.tobytes())
    manifest.append((name, "ref"))


def ref_magick16(name):
    # 16-bit samples are taken by their high byte.
    w, h = Image.open(name).size
    raw = subprocess.run([CONVERT, name, "-depth", "16", "-endian", "MSB", "rgba:-"], check=True,
                         stdout=subprocess.PIPE).stdout
    out = bytes(raw[i] for i in range(0, len(raw), 2))
    with open(name + ".ref", "wb") as f:
        f.write(b"%d %d\n" % (w, h) + out)
    manifest.append((name, "ref"))


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def chunks_of(data):
    """The (type, body) chunks of a PNG file."""
    out, at = [], 8
    while at + 8 <= len(data):
        n = struct.unpack(">I", data[at:at + 4])[0]
        out.append((data[at + 4:at + 8], data[at + 8:at + 8 + n]))
        at += 12 + n
    return out


def with_image_data(src, dst, edit, extra=b""):
    """src with its inflated image data passed through edit and deflated again
    into one IDAT chunk, extra chunks before it."""
    cs = chunks_of(open(src, "rb").read())
    raw = zlib.decompress(b"".join(b for t, b in cs if t == b"IDAT"))
    data = b"\x89PNG\r\n\x1a\n"
    for t, b in cs:
        if t == b"IDAT":
            if extra is not None:
                data += extra + chunk(b"IDAT", zlib.compress(edit(raw)))
                extra = None
        else:
            data += chunk(t, b)
    open(dst, "wb").write(data)


def line_bytes(src):
    w, depth, ctype = struct.unpack(">I", open(src, "rb").read()[16:20])[0], *ihdr(src)[:2]
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[ctype]
    return 1 + (w * depth * channels + 7) // 8


def raw_png(name, w, h, depth, ctype, rows, extra=b"", interlace=0, compression=0, filt=0, idat=True):
    """A PNG written byte by byte; rows are the filtered scanlines."""
    data = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, depth, ctype, compression, filt, interlace))
    data += extra
    if idat:
        data += chunk(b"IDAT", zlib.compress(rows))
    data += chunk(b"IEND", b"")
    open(name, "wb").write(data)


def main():
    run(CONVERT, "rose:", "rose.png")
    run(CONVERT, "rose:", "-alpha", "set", "-channel", "A", "-fx", "i/w", "+channel", "rosea.png")
    rose = Image.open("rose.png").convert("RGB")

    # Grey at every depth, grey with alpha, colour and colour with alpha.
    for d in (1, 2, 4, 8, 16):
        n = "grey%d.png" % d
        run(CONVERT, "rose:", "-colorspace", "Gray", "-define", "png:color-type=0", "-define", "png:bit-depth=%d" % d, n)
        assert ihdr(n)[:2] == (d, 0), n
        (ref_magick16 if d == 16 else ref_pillow)(n)
    for ctype, src in ((4, "rosea.png"), (2, "rose:"), (6, "rosea.png")):
        for d in (8, 16):
            n = "type%d_%d.png" % (ctype, d)
            args = [CONVERT, src] + (["-colorspace", "Gray"] if ctype == 4 else [])
            run(*(args + ["-define", "png:color-type=%d" % ctype, "-define", "png:bit-depth=%d" % d, n]))
            assert ihdr(n)[:2] == (d, ctype), n
            (ref_magick16 if d == 16 else ref_pillow)(n)

    # Palettes of every depth, with and without transparency.
    for bits in (1, 2, 4, 8):
        p = rose.quantize(colors=1 << bits)
        n = "pal%d.png" % bits
        p.save(n, bits=bits)
        assert ihdr(n)[:2] == (bits, 3), n
        ref_pillow(n)
        n = "pal%d_trns.png" % bits
        alphas = bytes((i * 85) & 0xFF for i in range(min(1 << bits, 3)))
        p.save(n, bits=bits, transparency=alphas)
        ref_pillow(n)

    # The other two tRNS forms: a grey key and a colour key (8-bit samples).
    g = rose.convert("L")
    key = g.getpixel((10, 10))
    g.save("grey8_trns.png", transparency=key)
    ref_pillow("grey8_trns.png")
    key = rose.getpixel((20, 20))
    rose.save("rgb8_trns.png", transparency=key)
    ref_pillow("rgb8_trns.png")

    # Adam7 at widths 1 to 4 (and one larger picture) over several colour types.
    for w in (1, 2, 3, 4, 37):
        for kind, args in (("rgb", []), ("grey4", ["-colorspace", "Gray", "-define", "png:color-type=0", "-define", "png:bit-depth=4"]),
                           ("rgba16", ["-alpha", "set", "-channel", "A", "-fx", "j/h", "+channel", "-define", "png:color-type=6", "-define", "png:bit-depth=16"]),
                           ("grey1", ["-colorspace", "Gray", "-define", "png:color-type=0", "-define", "png:bit-depth=1"])):
            n = "adam7_%s_w%d.png" % (kind, w)
            run(CONVERT, "rose:", "-crop", "%dx%d+20+10" % (w, 9 if w < 37 else 23), "+repage", *args, "-interlace", "PNG", n)
            assert ihdr(n)[2] == 1, n
            (ref_magick16 if kind == "rgba16" else ref_pillow)(n)
    q = rose.quantize(colors=16)
    q.save("adam7_pal_src.png", bits=4)
    run(CONVERT, "adam7_pal_src.png", "-interlace", "PNG", "adam7_pal.png")
    ref_pillow("adam7_pal.png")

    # Every filter type forced, over filter units of 1, 2, 3 and 8 bytes.
    for f in range(5):
        for src in ("rose.png", "type4_8.png", "type6_16.png", "grey2.png"):
            n = "filter%d_%s" % (f, src)
            run("pngcrush", "-q", "-m", "1", "-f", str(f), src, n)
            (ref_magick16 if src == "type6_16.png" else ref_pillow)(n)

    # Image data split over several IDAT chunks.
    run(CONVERT, "rose:", "-scale", "300%", "big.png")
    run("pngcrush", "-q", "-max", "512", "big.png", "split.png")
    assert open("split.png", "rb").read().count(b"IDAT") > 3
    ref_pillow("split.png")
    run("pngcrush", "-q", "-max", "512", "adam7_rgb_w37.png", "split_adam7.png")
    ref_pillow("split_adam7.png")

    # 16-bit keys: ImageMagick's 16-bit gradients, where neighbours share the
    # high bytes of their samples, with a tRNS chunk holding one pixel's samples.
    # Only pixels equal in all 16 bits are transparent.
    for n, kind, args in (("key16_rgb.png", "rgb", ["-define", "png:color-type=2"]),
                          ("key16_grey.png", "gray", ["-colorspace", "Gray", "-define", "png:color-type=0"])):
        run(CONVERT, "-size", "2x300", "gradient:rgb(10%,20%,30%)-rgb(10.5%,20.5%,30.5%)", "-rotate", "-90",
            "-depth", "16", *args, "src_" + n)
        samples = subprocess.run([CONVERT, "src_" + n, "-depth", "16", "-endian", "MSB", kind + ":-"],
                                 check=True, stdout=subprocess.PIPE).stdout
        step = 6 if kind == "rgb" else 2
        key = samples[150 * step:151 * step]
        assert sum(samples[i:i + step:2] == key[::2] for i in range(0, len(samples), step)) > 20, n
        with_image_data("src_" + n, n, lambda raw: raw, chunk(b"tRNS", key))
        ref_magick16(n)

    # Image data that ends before the last row: a stream that ends cleanly after
    # some of the rows (plain and interlaced), and files cut inside the stream.
    for src, keep in (("type2_8.png", 0.5), ("pal4.png", None), ("type6_16.png", 0.1), ("adam7_rgb_w37.png", 0.7),
                      ("grey16.png", 0.6)):
        n = "cut_stream_" + src
        line = line_bytes(src)
        with_image_data(src, n, lambda raw: raw[:len(raw) - line] if keep is None else
                        raw[:int(len(raw) * keep) // line * line])
        manifest.append((n, "cut", src))
    for src in ("grey8.png", "split.png", "adam7_grey4_w37.png"):
        d = open(src, "rb").read()
        n = "cut_file_" + src
        open(n, "wb").write(d[:(d.index(b"IDAT") + d.rindex(b"IEND")) // 2])
        manifest.append((n, "cut", src))

    # Refused variants: compression or filter method other than 0, and not a PNG.
    row = b"\x00" + bytes(range(12))
    raw_png("compression1.png", 4, 1, 8, 2, row, compression=1)
    manifest.append(("compression1.png", "refuse"))
    raw_png("filter1.png", 4, 1, 8, 2, row, filt=1)
    manifest.append(("filter1.png", "refuse"))
    rose.save("rose.bmp")
    manifest.append(("rose.bmp", "refuse"))
    # Claimed but bad: data before the header, no IDAT, a broken stream.
    raw_png("no_idat.png", 4, 1, 8, 2, row, idat=False)
    manifest.append(("no_idat.png", "bad"))
    d = open("grey8.png", "rb").read()
    at = d.index(b"IDAT") + 4
    open("bad_stream.png", "wb").write(d[:at] + b"\xff\xff" + d[at + 2:])
    manifest.append(("bad_stream.png", "bad"))

    with open("manifest.txt", "w") as f:
        for entry in manifest:
            f.write(" ".join(entry) + "\n")


if __name__ == "__main__":
    sys.exit(main())
