#!/usr/bin/python3
"""Makes the TGA test corpus in the current folder with ImageMagick, netpbm and
Pillow, and Pillow's decode of each file.

manifest.txt: "<name> <kind> [<source>]", kind being
  ref     <name>.ref holds "w h\n" and the RGBA bytes
  refuse  the loader must answer 3 without a callback
  cut     made from <source> and cut inside its pixels: the loader must fail
          (1); the rows it delivers are <source>'s
"""
import subprocess

from PIL import Image

CONVERT = "/usr/bin/convert"
manifest = []


def run(*args, stdout=subprocess.DEVNULL, stdin=None):
    # Quantised without dither: the same kinds of file, without the half second
    # ImageMagick spends setting up its dither on every call.
    if args[0] == CONVERT:
        args = (CONVERT, "+dither") + args[1:]
    subprocess.run(list(args), check=True, stdout=stdout, stdin=stdin, stderr=subprocess.DEVNULL)


def ref(name):
    im = Image.open(name)
    im.load()
    with open(name + ".ref", "wb") as f:
        f.write(b"%d %d\n" % im.size + im.convert("RGBA").tobytes())
    manifest.append((name, "ref"))


def netpbm(src, dst, *args):
    with open(src, "rb") as i, open(dst, "wb") as o:
        run("pamtotga", *args, stdin=i, stdout=o)


def main():
    for base, crop in (("base", "37x23+5+5"), ("one", "1x1+30+20"), ("wide", "70x3+0+20")):
        run(CONVERT, "rose:", "-crop", crop, "+repage", base + ".png")
        # ImageMagick: true colour, colour-mapped, grey and with alpha.
        run(CONVERT, base + ".png", "-compress", "None", base + "_im24.tga")
        run(CONVERT, base + ".png", "-type", "Palette", "-colors", "40", "-compress", "None", base + "_immap.tga")
        run(CONVERT, base + ".png", "-colorspace", "Gray", "-type", "Grayscale", "-compress", "None",
            base + "_imgrey.tga")
        run(CONVERT, base + ".png", "-alpha", "set", "-channel", "A", "-fx", "(i+j)%3/2", "+channel",
            "-compress", "None", base + "_im32.tga")
        # netpbm: colour-mapped, grey and true colour.
        run(CONVERT, base + ".png", base + ".ppm")
        run(CONVERT, base + ".png", "-colorspace", "Gray", base + ".pgm")
        run(CONVERT, base + ".png", "-colors", "30", base + "_30.ppm")
        netpbm(base + "_30.ppm", base + "_pbmmap.tga", "-cmap", "-norle")
        netpbm(base + ".pgm", base + "_pbmgrey.tga", "-mono", "-norle")
        netpbm(base + ".ppm", base + "_pbm24.tga", "-rgb", "-norle")
        # Pillow, bottom row first and top row first.
        im = Image.open(base + ".png")
        for mode in ("RGB", "RGBA", "L", "P"):
            c = im.convert(mode) if mode != "RGBA" else im.convert("RGBA")
            if mode == "RGBA":
                c.putalpha(Image.linear_gradient("L").resize(im.size))
            for orient in (-1, 1):
                n = "%s_pil%s%s.tga" % (base, mode, "top" if orient == 1 else "")
                c.save(n, orientation=orient)
        for n in sorted(f for f in __import__("os").listdir(".") if f.startswith(base + "_") and f.endswith(".tga")):
            ref(n)
    # Cut inside the pixels (the colour map, when there is one, is whole).
    for src in ("base_im24.tga", "base_pbmmap.tga", "base_pilRGBAtop.tga", "wide_imgrey.tga"):
        d = open(src, "rb").read()
        maplen = (d[5] | d[6] << 8) * d[7] // 8 if d[1] == 1 else 0
        start = 18 + d[0] + maplen
        open("cut_" + src, "wb").write(d[:(start + len(d)) // 2])
        manifest.append(("cut_" + src, "cut", src))
    # Variants this loader does not read: run-length types, 2-bit grey-alpha, 1-bit.
    run(CONVERT, "base.png", "-compress", "RLE", "rle24.tga")
    run(CONVERT, "base.png", "-type", "Palette", "-colors", "40", "-compress", "RLE", "rlemap.tga")
    Image.open("base.png").convert("RGB").save("pilrle.tga", compression="tga_rle")
    Image.open("base.png").convert("LA").save("pilLA.tga")
    for n in ("rle24.tga", "rlemap.tga", "pilrle.tga", "pilLA.tga"):
        manifest.append((n, "refuse"))
    with open("manifest.txt", "w") as f:
        for entry in manifest:
            f.write(" ".join(entry) + "\n")


if __name__ == "__main__":
    main()
