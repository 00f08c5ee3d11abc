#!/usr/bin/python3
"""Makes the BMP test corpus in the current folder with ImageMagick and Pillow,
and Pillow's decode of each file.

manifest.txt: "<name> <kind>", kind being
  ref     <name>.ref holds "w h\n" and the RGBA bytes; <name>.idx the palette
          indices (palette files only)
  refuse  the loader must answer 3 without a callback
"""
import subprocess

from PIL import Image

CONVERT = "/usr/bin/convert"
manifest = []


def run(*args):
    subprocess.run(list(args), check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def ref(name):
    im = Image.open(name)
    im.load()
    with open(name + ".ref", "wb") as f:
        f.write(b"%d %d\n" % im.size + im.convert("RGBA").tobytes())
    if im.mode == "P":
        open(name + ".idx", "wb").write(im.tobytes())
    manifest.append((name, "ref"))


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
    # Variants this loader does not read.
    run(CONVERT, "base.png", "-type", "Palette", "-colors", "256", "-compress", "RLE", "BMP3:rle8.bmp")
    run(CONVERT, "base.png", "-define", "bmp:subtype=RGB565", "BMP:r565.bmp")
    run(CONVERT, "base.png", "-alpha", "set", "BMP:a32.bmp")
    for n in ("rle8.bmp", "r565.bmp", "a32.bmp", "base.png"):
        manifest.append((n, "refuse"))
    with open("manifest.txt", "w") as f:
        for n, k in manifest:
            f.write("%s %s\n" % (n, k))


if __name__ == "__main__":
    main()
