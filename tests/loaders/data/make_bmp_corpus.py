#!/usr/bin/python3
"""Makes the BMP test corpus in the current folder with ImageMagick and Pillow,
and Pillow's decode of each file.

manifest.txt: "<name> <kind> [<source>]", kind being
  ref     <name>.ref holds "w h\n" and the RGBA bytes; <name>.idx the palette
          indices (palette files only)
  refuse  the loader must answer 3 without a callback
  cut     made from <source> and cut inside its pixels: the loader must fail
          (1); the rows it delivers are <source>'s
"""
import struct
import subprocess

from PIL import Image

CONVERT = "/usr/bin/convert"
manifest = []


def run(*args):
    # Quantised without dither: the same kinds of file, without the half second
    # ImageMagick spends setting up its dither on every call.
    if args[0] == CONVERT:
        args = (CONVERT, "+dither") + args[1:]
    subprocess.run(list(args), check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def ref(name):
    im = Image.open(name)
    im.load()
    with open(name + ".ref", "wb") as f:
        f.write(b"%d %d\n" % im.size + im.convert("RGBA").tobytes())
    if im.mode == "P":
        open(name + ".idx", "wb").write(im.tobytes())
    manifest.append((name, "ref"))


def u32(d, at):
    return struct.unpack("<I", d[at:at + 4])[0]


def smaller_header(src, dst, size, keep_masks=False):
    """src (a 124-byte info header) with a smaller info header of that size; with
    keep_masks, a 40-byte header followed by the three colour masks."""
    d = open(src, "rb").read()
    cut = 124 - size - (12 if keep_masks else 0)
    info = d[14:14 + size] + (d[54:66] if keep_masks else b"")
    head = d[:2] + struct.pack("<III", len(d) - cut, 0, u32(d, 10) - cut) + struct.pack("<I", size) + info[4:]
    open(dst, "wb").write(head + d[14 + 124:])


def top_down(src, dst):
    """src stored top row first: the height negated and the rows reversed."""
    d = open(src, "rb").read()
    w, h, bpp = u32(d, 18), u32(d, 22), struct.unpack("<H", d[28:30])[0]
    off, stride = u32(d, 10), (bpp * w + 31) // 32 * 4
    rows = [d[off + i * stride:off + (i + 1) * stride] for i in range(h)]
    open(dst, "wb").write(d[:22] + struct.pack("<i", -h) + d[26:off] + b"".join(reversed(rows)))


def main():
    # Odd widths exercise the row padding of every depth.
    for base, crop in (("base", "37x23+5+5"), ("small", "9x4+30+20"), ("one", "1x1+30+20")):
        run(CONVERT, "rose:", "-crop", crop, "+repage", base + ".png")
        for kind, args in (("im1", ["-type", "Palette", "-colors", "2"]), ("im4", ["-type", "Palette", "-colors", "16"]),
                           ("im8", ["-type", "Palette", "-colors", "256"]), ("im24", [])):
            n = "%s_%s.bmp" % (base, kind)
            run(CONVERT, base + ".png", *args, "-compress", "None", "BMP3:" + n)
            ref(n)
        im = Image.open(base + ".png")
        for kind, mode in (("pil1", "1"), ("pilP", "P"), ("pilL", "L"), ("pil24", "RGB")):
            n = "%s_%s.bmp" % (base, kind)
            im.convert(mode).save(n)
            ref(n)
    # ImageMagick's own default: a 124-byte info header, colour masks for 16 and
    # 32 bits (with alpha); and the same files with a 108-byte header, and with
    # the masks after a 40-byte one.
    for kind, args in (("p1", ["-type", "Palette", "-colors", "2"]), ("p4", ["-type", "Palette", "-colors", "16"]),
                       ("p8", ["-type", "Palette", "-colors", "200"]), ("t24", ["-type", "TrueColor"]),
                       ("a32", ["-alpha", "set", "-channel", "A", "-fx", "(i+j)%3/2", "+channel"]),
                       ("r565", ["-type", "TrueColor", "-define", "bmp:subtype=RGB565"]),
                       ("r555", ["-type", "TrueColor", "-define", "bmp:subtype=RGB555"])):
        n = "v5_%s.bmp" % kind
        run(CONVERT, "base.png", *args, "-compress", "None", "BMP:" + n)
        assert u32(open(n, "rb").read(), 14) == 124, n
        ref(n)
    for kind in ("p8", "a32", "r565"):
        smaller_header("v5_%s.bmp" % kind, "v4_%s.bmp" % kind, 108)
        ref("v4_%s.bmp" % kind)
    smaller_header("v5_r565.bmp", "v3_r565.bmp", 40, keep_masks=True)
    ref("v3_r565.bmp")
    # Stored top row first (a negative height), as other writers do.
    for src in ("base_im24.bmp", "base_pil1.bmp", "v5_p8.bmp", "v5_a32.bmp"):
        top_down(src, "td_" + src)
        ref("td_" + src)
    # Cut inside the pixels.
    for src in ("base_im24.bmp", "v5_p8.bmp", "td_v5_a32.bmp", "base_pil1.bmp"):
        d = open(src, "rb").read()
        open("cut_" + src, "wb").write(d[:(u32(d, 10) + len(d)) // 2])
        manifest.append(("cut_" + src, "cut", src))

    # Variants this loader does not read.
    run(CONVERT, "base.png", "-type", "Palette", "-colors", "256", "-compress", "RLE", "BMP3:rle8.bmp")
    for n in ("rle8.bmp", "base.png"):
        manifest.append((n, "refuse"))
    with open("manifest.txt", "w") as f:
        for entry in manifest:
            f.write(" ".join(entry) + "\n")


if __name__ == "__main__":
    main()
