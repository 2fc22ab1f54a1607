#!/usr/bin/env python3
"""Makes the fixtures of the hand-written codecs (BMP, Targa, SGI, PSD, PCX,
ILBM, CEL) under tests/data/<format>/.

Every fixture shows one of four 7 x 5 patterns that the tests compute again
(tests/codecs/codec_support.h). Where a Debian tool (netpbm, ImageMagick 6)
writes a variant, the tool makes it; the variants no tool writes are built
byte by byte here. Run from anywhere; rerunning gives the same files.
"""
import os
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
W, H = 7, 5
COLOURS = [(0, 0, 0), (255, 0, 0), (0, 255, 0), (0, 0, 255),
           (255, 255, 0), (0, 255, 255), (255, 0, 255), (255, 255, 255)]
MAGICK = "/usr/bin/convert"  # ImageMagick 6; never the convert on the PATH


def colour_index(x, y):
    return (x + 2 * y) % 8


def colour(x, y):
    return COLOURS[colour_index(x, y)]


def grey(x, y):
    return x * 36 + y * 5


def mono(x, y):
    return (x + y) % 3 == 0


def alpha(x, y):
    return 20 + x * 30 + y * 9


def write_sources(folder):
    paths = {}
    with open(os.path.join(folder, "colour.ppm"), "w") as f:
        f.write("P3\n%d %d\n255\n" % (W, H))
        for y in range(H):
            f.write(" ".join("%d %d %d" % colour(x, y) for x in range(W)) + "\n")
    with open(os.path.join(folder, "grey.pgm"), "w") as f:
        f.write("P2\n%d %d\n255\n" % (W, H))
        for y in range(H):
            f.write(" ".join(str(grey(x, y)) for x in range(W)) + "\n")
    with open(os.path.join(folder, "mono.pbm"), "w") as f:
        # PBM: 1 is black; the pattern's set pixels are white.
        f.write("P1\n%d %d\n" % (W, H))
        for y in range(H):
            f.write(" ".join("0" if mono(x, y) else "1" for x in range(W)) + "\n")
    with open(os.path.join(folder, "mask.pbm"), "w") as f:
        # Mask for ILBM: opaque (black in PBM) where the pattern's alpha > 128.
        f.write("P1\n%d %d\n" % (W, H))
        for y in range(H):
            f.write(" ".join("1" if alpha(x, y) > 128 else "0" for x in range(W)) + "\n")
    with open(os.path.join(folder, "rgba.pam"), "wb") as f:
        f.write(b"P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n"
                % (W, H))
        for y in range(H):
            for x in range(W):
                f.write(bytes(colour(x, y) + (alpha(x, y),)))
    for name in ("colour.ppm", "grey.pgm", "mono.pbm", "mask.pbm", "rgba.pam"):
        paths[name.split(".")[0]] = os.path.join(folder, name)
    return paths


def run(command, out_path, stdin_path=None):
    with open(out_path, "wb") as out:
        source = open(stdin_path, "rb") if stdin_path else subprocess.DEVNULL
        try:
            subprocess.run(command, stdin=source, stdout=out, stderr=subprocess.DEVNULL, check=True)
        finally:
            if stdin_path:
                source.close()


def magick(args, out_path):
    subprocess.run([MAGICK] + args + [out_path], stderr=subprocess.DEVNULL, check=True)


def save(path, data):
    with open(path, "wb") as f:
        f.write(data)


# --- BMP variants no tool here writes ---------------------------------------

def bmp(bpp, rows, palette=b"", compression=0, top_down=False, masks=b"",
        colours_used=0):
    info = struct.pack("<IiiHHIIiiII", 40, W, -H if top_down else H, 1, bpp,
                       compression, len(rows), 2835, 2835, colours_used, 0)
    offset = 14 + len(info) + len(masks) + len(palette)
    head = b"BM" + struct.pack("<IHHI", offset + len(rows), 0, 0, offset)
    return head + info + masks + palette + rows


def pad4(row):
    return row + b"\0" * (-len(row) % 4)


def bmp_rows(pixel_bytes, top_down=False):
    order = range(H) if top_down else range(H - 1, -1, -1)
    return b"".join(pad4(b"".join(pixel_bytes(x, y) for x in range(W))) for y in order)


def bmp_palette(entries):
    return b"".join(bytes((b, g, r, 0)) for (r, g, b) in entries)


def make_bmp(out, src):
    run(["ppmtobmp", "-bpp=1", src["mono"]], out + "/mono_1bit.bmp")
    run(["ppmtobmp", "-bpp=4", src["colour"]], out + "/colour_4bit.bmp")
    run(["ppmtobmp", "-bpp=8", src["colour"]], out + "/colour_8bit.bmp")
    run(["ppmtobmp", "-bpp=24", src["colour"]], out + "/colour_24bit.bmp")
    run(["ppmtobmp", "-os2", "-bpp=24", src["colour"]], out + "/colour_os2_24bit.bmp")
    run(["ppmtobmp", "-os2", "-bpp=8", src["colour"]], out + "/colour_os2_8bit.bmp")
    magick([src["colour"], "-type", "Palette", "-compress", "RLE"], "BMP3:" + out + "/colour_rle8.bmp")
    magick([src["colour"], "-define", "bmp:subtype=RGB565"], out + "/colour_16bit_565.bmp")
    magick([src["colour"], "-define", "bmp:subtype=RGB555"], out + "/colour_16bit_555.bmp")
    magick([src["rgba"]], "BMP:" + out + "/rgba_32bit_v5.bmp")

    # RLE4, bottom-up: row 0 as one absolute block, the others as runs of one
    # pixel each, with a delta that skips nothing (0, 0) on the third row.
    pal = bmp_palette(COLOURS + [(0, 0, 0)] * 8)
    stream = b""
    for y in range(H - 1, -1, -1):
        if y == 0:
            nib = [colour_index(x, 0) for x in range(W)] + [0]
            block = bytes((nib[i] << 4 | nib[i + 1]) for i in range(0, W + 1, 2))
            stream += bytes((0, W)) + block + b"\0" * (len(block) % 2)
        else:
            if y == 2:
                stream += bytes((0, 2, 0, 0))
            for x in range(W):
                stream += bytes((1, colour_index(x, y) << 4))
        stream += bytes((0, 0))
    stream += bytes((0, 1))
    save(out + "/colour_rle4.bmp", bmp(4, stream, pal, compression=2))

    # Top-down 24 bits.
    save(out + "/colour_topdown_24bit.bmp",
         bmp(24, bmp_rows(lambda x, y: bytes(colour(x, y)[::-1]), top_down=True), top_down=True))
    # 16 bits without masks: 5-5-5.
    def word555(x, y):
        r, g, b = colour(x, y)
        return struct.pack("<H", (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3))
    save(out + "/colour_16bit_rgb.bmp", bmp(16, bmp_rows(word555)))
    # 32 bits without masks: the fourth byte is alpha.
    save(out + "/rgba_32bit_rgb.bmp",
         bmp(32, bmp_rows(lambda x, y: bytes(colour(x, y)[::-1] + (alpha(x, y),)))))
    # 8 bits with a palette of only 8 entries.
    save(out + "/colour_8bit_short_palette.bmp",
         bmp(8, bmp_rows(lambda x, y: bytes((colour_index(x, y),))), bmp_palette(COLOURS),
             colours_used=8))
    # 32 bits with bit fields in a plain info header and no alpha mask.
    save(out + "/colour_32bit_fields.bmp",
         bmp(32, bmp_rows(lambda x, y: bytes((0,) + colour(x, y)[::-1])), compression=3,
             masks=struct.pack("<III", 0xFF000000, 0x00FF0000, 0x0000FF00)))


# --- Targa -------------------------------------------------------------------

def tga(image_type, bpp, descriptor, pixels, cmap=b"", cmap_len=0, cmap_bits=0):
    head = struct.pack("<BBBHHBHHHHBB", 0, 1 if cmap else 0, image_type, 0, cmap_len,
                       cmap_bits, 0, 0, W, H, bpp, descriptor)
    return head + cmap + pixels


def make_tga(out, src):
    # The netpbm writers put the input's file name in the image ID; fed from
    # standard input they leave it empty, so the files do not depend on where
    # the script ran. One fixture has an ID on purpose.
    def targa(args, source, name):
        run(args, out + "/" + name, stdin_path=src[source])
    targa(["ppmtotga", "-rgb", "-norle"], "colour", "colour_24bit.tga")
    targa(["ppmtotga", "-rgb"], "colour", "colour_24bit_rle.tga")
    targa(["ppmtotga", "-cmap", "-norle"], "colour", "colour_cmap.tga")
    targa(["ppmtotga", "-cmap"], "colour", "colour_cmap_rle.tga")
    targa(["ppmtotga", "-cmap16", "-norle"], "colour", "colour_cmap16.tga")
    targa(["ppmtotga", "-mono", "-norle"], "grey", "grey_8bit.tga")
    targa(["ppmtotga", "-mono"], "grey", "grey_8bit_rle.tga")
    targa(["pamtotga", "-rgb", "-norle"], "rgba", "rgba_32bit.tga")
    targa(["pamtotga", "-rgb"], "rgba", "rgba_32bit_rle.tga")
    targa(["ppmtotga", "-name", "fixture", "-rgb", "-norle"], "colour",
          "colour_24bit_image_id.tga")

    bgra = lambda x, y: bytes(colour(x, y)[::-1] + (alpha(x, y),))
    # Top-left origin, and top-right (right to left as well).
    save(out + "/rgba_32bit_top_left.tga",
         tga(2, 32, 0x28, b"".join(bgra(x, y) for y in range(H) for x in range(W))))
    save(out + "/rgba_32bit_top_right.tga",
         tga(2, 32, 0x38, b"".join(bgra(x, y) for y in range(H) for x in range(W - 1, -1, -1))))
    # 16-bit true colour, bottom-up, run-length coded one pixel per packet.
    def word(x, y):
        r, g, b = colour(x, y)
        return struct.pack("<H", 0x8000 | (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3))
    save(out + "/colour_16bit_rle.tga",
         tga(10, 16, 0x01, b"".join(b"\x00" + word(x, y) for y in range(H - 1, -1, -1)
                                    for x in range(W))))
    # Colour map of 32-bit entries (with alpha) starting at index 0.
    cmap = b"".join(bytes(c[::-1] + (255 if i % 2 == 0 else 0,)) for i, c in enumerate(COLOURS))
    save(out + "/colour_cmap32.tga",
         tga(1, 8, 0x28, bytes(colour_index(x, y) for y in range(H) for x in range(W)),
             cmap, len(COLOURS), 32))


# --- SGI ---------------------------------------------------------------------

def sgi_header(storage, bpc, dim, zsize):
    head = struct.pack(">HBBHHHHII4s80sI", 474, storage, bpc, dim, W, H, zsize, 0,
                       255 if bpc == 1 else 65535, b"", b"fixture", 0)
    return head + b"\0" * (512 - len(head))


def make_sgi(out, src):
    run(["pnmtosgi", "-verbatim", src["colour"]], out + "/colour_verbatim.rgb")
    run(["pnmtosgi", "-rle", src["colour"]], out + "/colour_rle.rgb")
    run(["pnmtosgi", "-verbatim", src["grey"]], out + "/grey_verbatim.rgb")
    run(["pnmtosgi", "-rle", src["grey"]], out + "/grey_rle.rgb")
    magick([src["rgba"], "-compress", "RLE"], "SGI:" + out + "/rgba_rle.rgb")
    magick([src["rgba"], "-compress", "None"], "SGI:" + out + "/rgba_verbatim.rgb")
    magick([src["colour"], "-depth", "16", "-compress", "None"], "SGI:" + out + "/colour_16bit.rgb")
    magick([src["rgba"], "-depth", "16", "-compress", "RLE"], "SGI:" + out + "/rgba_16bit_rle.rgb")
    # Grey and alpha, two channels, verbatim (bottom-up scanlines per channel).
    planes = b"".join(bytes(grey(x, y) for x in range(W)) for y in range(H - 1, -1, -1))
    planes += b"".join(bytes(alpha(x, y) for x in range(W)) for y in range(H - 1, -1, -1))
    save(out + "/grey_alpha_verbatim.rgb", sgi_header(0, 1, 3, 2) + planes)


# --- PSD ---------------------------------------------------------------------

def make_psd(out, src):
    magick([src["colour"], "-compress", "None"], "PSD:" + out + "/colour_raw.psd")
    magick([src["colour"], "-compress", "RLE"], "PSD:" + out + "/colour_rle.psd")
    magick([src["rgba"], "-compress", "RLE"], "PSD:" + out + "/rgba_rle.psd")
    magick([src["rgba"], "-compress", "None"], "PSD:" + out + "/rgba_raw.psd")
    magick([src["grey"], "-compress", "RLE"], "PSD:" + out + "/grey_rle.psd")
    magick([src["colour"], "-depth", "16", "-compress", "RLE"], "PSD:" + out + "/colour_16bit_rle.psd")
    magick([src["colour"], "-type", "Palette", "-compress", "None"], "PSD:" + out + "/colour_indexed.psd")
    # Bitmap mode: one bit per pixel, set bits black, raw.
    row_bytes = (W + 7) // 8
    rows = b""
    for y in range(H):
        bits = 0
        for x in range(W):
            if not mono(x, y):
                bits |= 1 << (8 * row_bytes - 1 - x)
        rows += bits.to_bytes(row_bytes, "big")
    head = b"8BPS" + struct.pack(">H6sHIIHH", 1, b"", 1, H, W, 1, 0)
    save(out + "/mono_bitmap.psd", head + struct.pack(">IIIH", 0, 0, 0, 0) + rows)


# --- PCX ---------------------------------------------------------------------

def make_pcx(out, src):
    run(["ppmtopcx", src["colour"]], out + "/colour_4planes.pcx")
    run(["ppmtopcx", "-packed", src["colour"]], out + "/colour_4bit_packed.pcx")
    run(["ppmtopcx", "-8bit", src["colour"]], out + "/colour_8bit.pcx")
    run(["ppmtopcx", "-24bit", src["colour"]], out + "/colour_24bit.pcx")
    run(["ppmtopcx", src["mono"]], out + "/mono_1bit.pcx")


# --- ILBM --------------------------------------------------------------------

def make_iff(out, src):
    run(["ppmtoilbm", src["colour"]], out + "/colour_3planes.iff")
    run(["ppmtoilbm", "-nocompress", src["colour"]], out + "/colour_3planes_raw.iff")
    run(["ppmtoilbm", "-fixplanes", "8", src["colour"]], out + "/colour_8planes.iff")
    run(["ppmtoilbm", "-24force", src["colour"]], out + "/colour_24planes.iff")
    run(["ppmtoilbm", "-maskfile", src["mask"], src["colour"]], out + "/colour_mask.iff")
    run(["ppmtoilbm", "-mmethod", "transparentcolor", "-transparent", "rgb:ff/00/00",
         src["colour"]], out + "/colour_transparent.iff")
    run(["ppmtoilbm", "-ham6", src["colour"]], out + "/colour_ham6.iff")
    run(["ppmtoilbm", "-maxplanes", "8", src["grey"]], out + "/grey_8planes.iff")


# --- CEL ---------------------------------------------------------------------

def make_cel(out, _src):
    head = struct.pack("<HHHHHBBI16s", 0x9119, W, H, 0, 0, 8, 0, W * H, b"")
    palette = b"".join(bytes(v * 63 // 255 for v in c) for c in COLOURS) + b"\0" * (768 - 24)
    pixels = bytes(colour_index(x, y) for y in range(H) for x in range(W))
    save(out + "/colour_8bit.cel", head + palette + pixels)


def main():
    makers = {"bmp": make_bmp, "tga": make_tga, "sgi": make_sgi, "psd": make_psd,
              "pcx": make_pcx, "iff": make_iff, "cel": make_cel}
    with tempfile.TemporaryDirectory() as tmp:
        src = write_sources(tmp)
        for name, make in makers.items():
            folder = os.path.join(HERE, name)
            os.makedirs(folder, exist_ok=True)
            make(folder, src)
    return 0


if __name__ == "__main__":
    sys.exit(main())
