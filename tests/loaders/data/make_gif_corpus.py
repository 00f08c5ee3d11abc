#!/usr/bin/python3
"""Makes the GIF test corpus in the current folder with ImageMagick, gifsicle,
giflib's gifbuild and Pillow, and Pillow's decode of the first image of each.

manifest.txt: "<name> <kind> [<source>]", kind being
  ref     <name>.ref holds "sw sh x0 y0 x1 y1 t\n" (logical screen, the first
          image's rectangle, the transparent index or -1), 768 palette bytes
          and the screen's palette indices
  refuse  the loader must answer 3 without a callback
  cut     made from <source> with image data that ends before its last row:
          the loader must fail (1); the rows it delivers are <source>'s
"""
import shutil
import subprocess

from PIL import Image

CONVERT = "/usr/bin/convert"
manifest = []


def run(*args, **kw):
    # Quantised without dither: the same kinds of file, without the half second
    # ImageMagick spends setting up its dither on every call.
    if args[0] == CONVERT:
        args = (CONVERT, "+dither") + args[1:]
    subprocess.run(list(args), check=True, stdout=kw.get("stdout", subprocess.DEVNULL),
                   stderr=subprocess.DEVNULL)


def ref(name):
    im = Image.open(name)
    x0, y0, x1, y1 = im.tile[0][1]
    im.load()
    t = im.info.get("transparency", -1)
    pal = (im.getpalette() or []) + [0] * 768
    with open(name + ".ref", "wb") as f:
        f.write(b"%d %d %d %d %d %d %d\n" % (im.size + (x0, y0, x1, y1, t)))
        f.write(bytes(pal[:768]))
        f.write(im.tobytes())
    manifest.append((name, "ref"))


def gifbuild(src, dst, edit):
    text = subprocess.run(["gifbuild", "-d", src], check=True, capture_output=True, text=True).stdout
    with open(dst + ".txt", "w") as f:
        f.write(edit(text))
    with open(dst, "wb") as f:
        run("gifbuild", dst + ".txt", stdout=f)


def image_data(data):
    """Where the first image's sub-blocks start (after the code size) and end
    (after their terminator)."""
    at = 13 + ((3 << ((data[10] & 7) + 1)) if data[10] & 0x80 else 0)
    while data[at] == 0x21:  # extensions: label, then sub-blocks
        at += 2
        while data[at]:
            at += data[at] + 1
        at += 1
    assert data[at] == 0x2C
    packed = data[at + 9]
    at += 10 + (3 << ((packed & 7) + 1) if packed & 0x80 else 0) + 1
    start = at
    while data[at]:
        at += data[at] + 1
    return start, at + 1


def main():
    run(CONVERT, "rose:", "-crop", "37x23+5+5", "+repage", "base.png")
    run(CONVERT, "rose:", "-crop", "1x1+30+20", "+repage", "one.png")
    run(CONVERT, "rose:", "-crop", "9x3+30+20", "+repage", "three.png")
    # A noisy picture fills the string table, so full-table codes and clears occur.
    run(CONVERT, "-seed", "7", "-size", "160x120", "plasma:", "plasma.png")
    for colours in (2, 4, 16, 256):
        n = "im%d.gif" % colours
        run(CONVERT, "base.png", "-colors", str(colours), n)
        ref(n)
    run(CONVERT, "one.png", "one.gif")
    run(CONVERT, "three.png", "-interlace", "GIF", "three_il.gif")
    run(CONVERT, "base.png", "-interlace", "GIF", "im_il.gif")
    run(CONVERT, "plasma.png", "-colors", "256", "plasma.gif")
    run(CONVERT, "plasma.png", "-colors", "256", "-interlace", "GIF", "plasma_il.gif")
    run(CONVERT, "base.png", "-alpha", "set", "-region", "10x10+0+0", "-alpha", "transparent", "+region",
        "-colors", "16", "im_tr.gif")
    # Several frames: only the first one is decoded.
    run(CONVERT, "base.png", "plasma.png[37x23+0+0]", "-colors", "32", "frames.gif")
    for n in ("one.gif", "three_il.gif", "im_il.gif", "plasma.gif", "plasma_il.gif", "im_tr.gif", "frames.gif"):
        ref(n)

    # gifsicle: interlace, transparency, long comments, position on a larger screen,
    # local colour tables of a second frame.
    run("gifsicle", "-i", "im16.gif", "-o", "gs_il.gif")
    run("gifsicle", "--transparent", "3", "im16.gif", "-o", "gs_tr.gif")
    run("gifsicle", "--comment", "x" * 700, "--app-extension", "TEST0000", "y" * 600,
        "im16.gif", "-o", "gs_comment.gif")
    run("gifsicle", "-S", "50x40", "-p", "10,5", "im4.gif", "-o", "gs_pos.gif")
    run("gifsicle", "--no-warnings", "--colors", "4", "plasma.gif", "-o", "gs_c4.gif")
    run("gifsicle", "im4.gif", "plasma_il.gif", "-o", "gs_local.gif")
    run("gifsicle", "--loop", "im4.gif", "im16.gif", "-o", "gs_loop.gif")
    for n in ("gs_il.gif", "gs_tr.gif", "gs_comment.gif", "gs_pos.gif", "gs_c4.gif", "gs_local.gif", "gs_loop.gif"):
        ref(n)

    # giflib's gifbuild: the same pictures rebuilt, one with a comment before the
    # image and one with the global table moved into a local one.
    gifbuild("im16.gif", "gb_plain.gif", lambda t: t)
    gifbuild("im16.gif", "gb_comment.gif",
             lambda t: t.replace("image # 1", "comment\n" + ("z" * 60 + "\n") * 12 + "end\n\nimage # 1"))
    def to_local(t):
        head, rest = t.split("screen map", 1)
        cmap, rest = rest.split("end", 1)
        body = rest.replace("image bits", "image map" + cmap + "end\nimage bits", 1)
        return head + body
    gifbuild("im16.gif", "gb_local.gif", to_local)
    for n in ("gb_plain.gif", "gb_comment.gif", "gb_local.gif"):
        ref(n)

    # Pillow's own encoder.
    Image.open("base.png").convert("P", palette=Image.ADAPTIVE, colors=64).save("pil.gif")
    Image.open("plasma.png").convert("P", palette=Image.ADAPTIVE, colors=256).save("pil_il.gif", interlace=True)
    for n in ("pil.gif", "pil_il.gif"):
        ref(n)

    # Image data that ends before the last row: files cut inside it, and a chain
    # of sub-blocks that ends cleanly after half of them. A file that lacks only
    # its trailer after whole image data is a good picture.
    for src in ("plasma.gif", "plasma_il.gif", "gs_comment.gif", "im16.gif"):
        d = open(src, "rb").read()
        start, end = image_data(d)
        open("cut_" + src, "wb").write(d[:(start + end) // 2])
        manifest.append(("cut_" + src, "cut", src))
        blocks, at = [], start
        while d[at]:
            blocks.append(d[at:at + d[at] + 1])
            at += d[at] + 1
        if len(blocks) > 2:
            open("half_" + src, "wb").write(d[:start] + b"".join(blocks[:len(blocks) // 2]) + b"\0\x3b")
            manifest.append(("half_" + src, "cut", src))
        open("notrailer_" + src, "wb").write(d[:end])
        shutil.copy(src + ".ref", "notrailer_" + src + ".ref")
        manifest.append(("notrailer_" + src, "ref"))

    # Not a GIF this loader reads.
    with open("gif86.gif", "wb") as f:
        f.write(b"GIF86a" + open("im4.gif", "rb").read()[6:])
    for n in ("gif86.gif", "base.png"):
        manifest.append((n, "refuse"))
    with open("manifest.txt", "w") as f:
        for entry in manifest:
            f.write(" ".join(entry) + "\n")


if __name__ == "__main__":
    main()
