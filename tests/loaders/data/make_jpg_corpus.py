#!/usr/bin/python3
"""Makes the JPEG test corpus in the current folder with cjpeg, jpegtran and
ImageMagick, and djpeg's decode (-dct int -nosmooth) of each file.

manifest.txt: "<name> <kind> [<other>]", kind being
  ref     <name>.ref holds "w h\n" and the RGBA bytes of djpeg's decode
  same    the file decodes to exactly the pixels of <other> (a jpegtran pair)
  refuse  the loader must answer 3 without a callback
"""
import subprocess

from PIL import Image

CONVERT = "/usr/bin/convert"
manifest = []


def run(*args, stdin=None, stdout=subprocess.DEVNULL):
    subprocess.run(list(args), check=True, stdin=stdin, stdout=stdout, stderr=subprocess.DEVNULL)


def tool(name, dst, *args, src):
    with open(src, "rb") as i, open(dst, "wb") as o:
        run(name, *args, stdin=i, stdout=o)


def ref(name):
    tool("djpeg", name + ".pnm", "-dct", "int", "-nosmooth", "-pnm", src=name)
    im = Image.open(name + ".pnm")
    with open(name + ".ref", "wb") as f:
        f.write(b"%d %d\n" % im.size + im.convert("RGBA").tobytes())
    manifest.append((name, "ref", ""))


def main():
    # Sources: odd sizes that leave partial MCUs, one of 1 x 1, a wide strip,
    # and a detailed picture of the console's screen size.
    run(CONVERT, "rose:", "-crop", "37x23+5+5", "+repage", "base.ppm")
    run(CONVERT, "rose:", "-crop", "17x9+20+10", "+repage", "w17.ppm")
    run(CONVERT, "rose:", "-crop", "1x1+30+20", "+repage", "one.ppm")
    run(CONVERT, "rose:", "-crop", "70x3+0+20", "+repage", "wide.ppm")
    run(CONVERT, "-seed", "3", "-size", "320x240", "plasma:", "-blur", "0x1", "screen.ppm")
    for src in ("base", "w17", "one", "wide", "screen"):
        for samp, tag in (("1x1", "444"), ("2x1", "422"), ("1x2", "440"), ("2x2", "420")):
            n = "%s_%s.jpg" % (src, tag)
            tool("cjpeg", n, "-sample", samp, "-quality", "85", src=src + ".ppm")
            ref(n)
            p = "%s_%s_prog.jpg" % (src, tag)
            tool("jpegtran", p, "-progressive", src=n)
            manifest.append((p, "same", n))
            d = "%s_%s_cprog.jpg" % (src, tag)
            tool("cjpeg", d, "-sample", samp, "-progressive", "-quality", "75", src=src + ".ppm")
            ref(d)
        g = "%s_grey.jpg" % src
        tool("cjpeg", g, "-grayscale", src=src + ".ppm")
        ref(g)
        gp = "%s_grey_prog.jpg" % src
        tool("jpegtran", gp, "-progressive", src=g)
        manifest.append((gp, "same", g))
    # Restart intervals (every row, every MCU), optimised tables, extreme quality
    # (quality 1 needs 16-bit tables and an extended sequential frame).
    for name, args in (("rst_row", ["-restart", "1"]), ("rst_mcu", ["-restart", "1B"]),
                       ("rst_mcu420", ["-restart", "1B", "-sample", "2x2"]),
                       ("opt", ["-optimize"]), ("q100", ["-quality", "100"]), ("q1", ["-quality", "1"]),
                       ("q5base", ["-quality", "5", "-baseline"])):
        n = name + ".jpg"
        tool("cjpeg", n, *args, src="screen.ppm")
        ref(n)
        p = name + "_prog.jpg"
        tool("jpegtran", p, "-progressive", "-restart", "2B", src=n)
        manifest.append((p, "same", n))
    tool("cjpeg", "grey_rst.jpg", "-grayscale", "-restart", "1B", "-progressive", src="base.ppm")
    ref("grey_rst.jpg")
    # Sequential files whose components come in scans of their own (cjpeg's
    # scan scripts; jpegtran's keep the coefficients of the baseline file).
    for script, tag in (("0;\n1;\n2;\n", "seq3"), ("1 2;\n0;\n", "seq2")):
        with open(tag + ".txt", "w") as f:
            f.write(script)
        for samp, s in (("1x1", "444"), ("2x2", "420")):
            n = "%s_%s.jpg" % (tag, s)
            tool("cjpeg", n, "-sample", samp, "-scans", tag + ".txt", src="base.ppm")
            ref(n)
            t = "%s_%s_tran.jpg" % (tag, s)
            tool("jpegtran", t, "-scans", tag + ".txt", src="base_%s.jpg" % s)
            manifest.append((t, "same", "base_%s.jpg" % s))
    # RGB data, told by an Adobe marker; a JFIF marker beside it says YCbCr.
    for name, args in (("rgb", []), ("rgb_420", ["-sample", "2x2"]), ("rgb_prog", ["-progressive"])):
        tool("cjpeg", name + ".jpg", "-rgb", *args, src="base.ppm")
        ref(name + ".jpg")
    data = open("rgb.jpg", "rb").read()
    jfif = b"\xff\xe0\x00\x10JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00"
    open("rgb_jfif.jpg", "wb").write(data[:2] + jfif + data[2:])
    ref("rgb_jfif.jpg")
    # ImageMagick's encoder, with comment and application segments.
    run(CONVERT, "screen.ppm", "-set", "comment", "a comment before the frame", "-quality", "90",
        "-sampling-factor", "2x2", "im.jpg")
    ref("im.jpg")
    # Variants this loader does not read.
    tool("cjpeg", "arith.jpg", "-arithmetic", src="base.ppm")
    manifest.append(("arith.jpg", "refuse", ""))
    data = bytearray(open("base_444.jpg", "rb").read())
    data[data.index(b"\xff\xc0") + 1] = 0xC3  # lossless frame
    open("sof3.jpg", "wb").write(data)
    manifest.append(("sof3.jpg", "refuse", ""))
    manifest.append(("base.ppm", "refuse", ""))
    run(CONVERT, "base.ppm", "-colorspace", "CMYK", "cmyk.jpg")
    manifest.append(("cmyk.jpg", "refuse", ""))
    run(CONVERT, "base.ppm", "-sampling-factor", "4x1", "s411.jpg")
    manifest.append(("s411.jpg", "refuse", ""))
    with open("manifest.txt", "w") as f:
        for n, k, o in manifest:
            f.write("%s %s %s\n" % (n, k, o or "-"))


if __name__ == "__main__":
    main()
