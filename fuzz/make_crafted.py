#!/usr/bin/env python3
"""Makes the crafted files under fuzz/corpus/<codec>/ for our own readers and
for the odd JPEG and GIF files that no library tool writes. bad_* files must
fail to load (HostileFiles.CraftedCorpusFilesFail loads every one);
crafted_* files must load as a sound image whose pixels
HostileFiles.CraftedCorpusFilesLoadWithTheirPixels checks, most of them the bases
the bad_* files next to them are patched from. All are fuzz seeds too.

Run once from anywhere: python3 fuzz/make_crafted.py [output folder]."""
import os
import struct
import sys

from make_hostile_corpus import lzw_literal

HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.join(HERE, "..", "tests", "data")
CORPUS = sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "corpus")


def fixture(name):
    with open(os.path.join(DATA, name), "rb") as f:
        return bytearray(f.read())


def put(codec, name, data):
    os.makedirs(os.path.join(CORPUS, codec), exist_ok=True)
    with open(os.path.join(CORPUS, codec, name), "wb") as f:
        f.write(bytes(data))


def put_field(data, at, size, big, value):
    for i in range(size):
        data[at + i] = (value >> 8 * (size - 1 - i if big else i)) & 0xFF


def patched(data, at, patch):
    data = bytearray(data)
    data[at:at + len(patch)] = bytes(patch)
    return data


# ---- Sizes: zero, 2^31 pixels and more, or the largest a field holds
# without the data to fill them, written into each fixture's size fields.

SIZE_FIELDS = [
    # fixture, width at, height at, field bytes, big-endian, largest value
    ("bmp/colour_24bit.bmp", 18, 22, 4, False, 0x7FFFFFFF),
    ("bmp/colour_os2_24bit.bmp", 18, 20, 2, False, 0xFFFF),
    ("tga/colour_24bit.tga", 12, 14, 2, False, 0xFFFF),
    ("tga/rgba_32bit_rle.tga", 12, 14, 2, False, 0xFFFF),
    ("sgi/colour_verbatim.rgb", 6, 8, 2, True, 0xFFFF),
    ("sgi/rgba_rle.rgb", 6, 8, 2, True, 0xFFFF),
    ("psd/colour_raw.psd", 18, 14, 4, True, 0xFFFFFFFF),
    ("psd/rgba_rle.psd", 18, 14, 4, True, 0xFFFFFFFF),
    ("pcx/colour_8bit.pcx", 8, 10, 2, False, 0xFFFF),
    ("pcx/colour_24bit.pcx", 8, 10, 2, False, 0xFFFF),
    ("iff/colour_3planes.iff", 20, 22, 2, True, 0xFFFF),
    ("iff/colour_24planes.iff", 20, 22, 2, True, 0xFFFF),
    ("cel/colour_8bit.cel", 2, 4, 2, False, 0xFFFF),
]


def make_sizes():
    for name, width_at, height_at, size, big, largest in SIZE_FIELDS:
        codec, base = name.split("/")
        pcx = codec == "pcx"
        wide = min(largest, 65536)
        # None: an empty side; 0: the side the fixture has.
        for width, height in [(None, 0), (0, None), (wide, min(wide, 65535)),
                              (largest, largest), (32767, 32767)]:
            data = fixture(name)
            for at, value in ((width_at, width), (height_at, height)):
                if value is None and pcx:
                    # PCX stores the first and last column and row: an empty
                    # side has its first (4 bytes before) after its last.
                    put_field(data, at - 4, 2, False, 5)
                    put_field(data, at, 2, False, 4)
                elif value is None:
                    put_field(data, at, size, big, 0)
                elif value != 0:
                    put_field(data, at, size, big, value)
            label = "%sx%s" % ("empty" if width is None else width or "same",
                               "empty" if height is None else height or "same")
            put(codec, "bad_size_%s_%s" % (label, base), data)


# ---- Own formats: runs, maps and offsets that overrun

def bmp_file(width, height, bits, compression, pixels):
    """A minimal BMP: info header, a black and white palette, the pixels."""
    palette = bytes([0, 0, 0, 0, 255, 255, 255, 0])
    offset = 54 + len(palette)
    fields = [offset + len(pixels), 0, offset, 40, width, height, 1 | bits << 16,
              compression, 0, 0, 0, 2, 0]
    return b"BM" + struct.pack("<13I", *fields) + palette + bytes(pixels)


def mapped_tga(entry_bits):
    """A 3 x 1 Targa whose map has two white entries starting at index 1
    (32-bit entries are expanded while reading, 24-bit ones make a colour
    table), its pixels 0, 2 and 255: only the middle one is in the map."""
    header = [0, 1, 1, 1, 0, 2, 0, entry_bits, 0, 0, 0, 0, 3, 0, 1, 0, 8, 0x20]
    return bytes(header) + b"\xff" * (entry_bits // 4) + bytes([0, 2, 255])


def make_own():
    # A run of 255 in a 3-pixel row, an absolute block of 200 in the next, a
    # delta far past the picture, then more runs: all must stay inside, the
    # run clamped in the bottom row and the block in the top one.
    runs = [255, 1, 0, 0, 0, 200] + [1] * 200 + [0, 0, 0, 2, 250, 250, 255, 1, 0, 1]
    put("bmp", "crafted_rle8_overrun.bmp", bmp_file(3, 2, 8, 1, runs))
    put("bmp", "crafted_rle4_overrun.bmp", bmp_file(3, 2, 4, 2, runs))
    # Index 200 names no palette entry: it reads as black.
    put("bmp", "crafted_index_beyond_palette.bmp", bmp_file(2, 1, 8, 0, [1, 200, 0, 0]))
    put("bmp", "bad_rle_never_ends.bmp", bmp_file(3, 2, 8, 1, [3, 1, 3]))
    put("bmp", "bad_height_int32_min.bmp", patched(fixture("bmp/colour_24bit.bmp"), 22,
                                                   [0, 0, 0, 0x80]))

    put("tga", "crafted_map24.tga", mapped_tga(24))
    put("tga", "crafted_map32.tga", mapped_tga(32))
    # A run packet of 128 pixels for a 3 x 2 image.
    put("tga", "crafted_run_past_image.tga",
        bytes([0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 2, 0, 24, 0, 0xFF, 1, 2, 3]))

    # 8-bit, last column 2, last row 1, one plane of 4 bytes a line, then a
    # run of 63.
    pcx = bytearray(128)
    for at, value in [(0, 0x0A), (1, 5), (2, 1), (3, 8), (8, 2), (10, 1), (65, 1), (66, 4)]:
        pcx[at] = value
    put("pcx", "crafted_run_past_image.pcx", pcx + bytes([0xFF, 7]))

    # A KiSS cel (32-byte header, 8-bit cell, 2 x 2, four pixels) is another
    # format under the same extension.
    kiss = b"KiSS" + bytes([0x20, 8, 0, 0, 2, 0, 2, 0])
    put("cel", "bad_kiss_cel.cel", kiss + bytes(32 - len(kiss)) + bytes([1, 2, 3, 4]))

    # The first scanline's offset far past the file, and its length.
    sgi = fixture("sgi/colour_rle.rgb")
    put("sgi", "bad_scanline_offset.rgb", patched(sgi, 512, [0x7F]))
    put("sgi", "bad_scanline_length.rgb", patched(sgi, 512 + 60, [0xFF]))

    # The first row's byte count, which follows the compression word after
    # the three length-prefixed sections.
    psd = fixture("psd/colour_rle.psd")
    at = 26
    for _ in range(3):
        at += 4 + struct.unpack(">I", psd[at:at + 4])[0]
    assert psd[at + 1] == 1, "not RLE"
    put("psd", "bad_row_count.psd", patched(psd, at + 2, [0xFF, 0xFF]))


# ---- GIF: a 2 x 2 frame with a two-colour palette, red and blue

def hand_made_gif(second, transparent=None, screen_height=2):
    """Its pixels red, `second`, blue, red, as 3-bit LZW codes with a clear
    before each pixel so the table never grows."""
    g = b"GIF89a" + struct.pack("<HH", 2, screen_height)
    g += bytes([0x80, 0, 0, 255, 0, 0, 0, 0, 255])
    if transparent is not None:
        g += bytes([0x21, 0xF9, 4, 1, 0, 0, transparent, 0])
    g += bytes([0x2C, 0, 0, 0, 0, 2, 0, 2, 0, 0, 2])
    lzw = lzw_literal([0, second, 1, 0])
    return g + bytes([len(lzw)]) + lzw + bytes([0, 0x3B])


def make_gif():
    put("gif", "crafted_red_blue.gif", hand_made_gif(1))
    put("gif", "crafted_transparent_index1.gif", hand_made_gif(1, 1))
    # A transparent index beyond the palette names no colour: ignored.
    put("gif", "crafted_transparent_beyond_palette.gif", hand_made_gif(1, 7))
    put("gif", "bad_pixel_beyond_palette.gif", hand_made_gif(3))
    # The frame on a screen of the largest height allowed, and one taller.
    put("gif", "crafted_screen_32768_high.gif", hand_made_gif(1, None, 32768))
    put("gif", "bad_screen_32769_high.gif", hand_made_gif(1, None, 32769))


# ---- JPEG: mid-grey files of the least data, which libjpeg decodes with at
# most a warning when damaged, making up what is missing.

JPEG_HEIGHT_AT = 94  # the frame's height, then its width, big-endian
JPEG_JFIF_MAJOR_AT = 11


def segment(marker, body):
    return bytes([0xFF, marker]) + struct.pack(">H", len(body) + 2) + bytes(body)


def zero_bits(count):
    """count zero bits, the last byte padded with ones as encoders pad it."""
    data = bytes(count // 8)
    return data + bytes([0xFF >> count % 8]) if count % 8 else data


def one_code_table(table_class, symbol):
    """A Huffman table holding one one-bit code, for symbol."""
    body = bytearray(18)
    body[0], body[1], body[17] = table_class << 4, 1, symbol
    return body


def grey_jpeg(width, height, progressive, ac_scans=1):
    """One component, every coefficient zero. A block costs one bit for its
    DC difference and, in a sequential file, one for its end of block; a
    progressive file codes each AC scan as one end-of-band run over all
    blocks, repeated ac_scans times (repeats libjpeg takes without a
    warning). The number of blocks must be a power of two up to 2^14, so the
    run's extra bits are all zero."""
    blocks = ((width + 7) // 8) * ((height + 7) // 8)
    run_bits = blocks.bit_length() - 1
    out = b"\xff\xd8" + segment(0xE0, b"JFIF\x00" + bytes([1, 1, 0, 0, 1, 0, 1, 0, 0]))
    out += segment(0xDB, bytes([0]) + bytes([1] * 64))
    out += segment(0xC2 if progressive else 0xC0,
                   bytes([8]) + struct.pack(">HH", height, width) + bytes([1, 1, 0x11, 0]))
    out += segment(0xC4, one_code_table(0, 0))
    out += segment(0xC4, one_code_table(1, run_bits << 4 if progressive else 0))

    def scan(first, last, data):
        return segment(0xDA, [1, 1, 0, first, last, 0]) + data

    if progressive:
        out += scan(0, 0, zero_bits(blocks))
        out += scan(1, 63, zero_bits(1 + run_bits)) * ac_scans
    else:
        out += scan(0, 63, zero_bits(2 * blocks))
    return out + b"\xff\xd9"


def make_jpeg():
    small = grey_jpeg(64, 64, False)
    progressive = grey_jpeg(64, 64, True)
    put("jpeg", "crafted_grey_64.jpg", small)
    put("jpeg", "crafted_grey_64_progressive.jpg", progressive)
    # At a bit a block, the least data a complete image can have: the size
    # bound must let it through.
    put("jpeg", "crafted_grey_1024_progressive.jpg", grey_jpeg(1024, 1024, True))
    put("jpeg", "crafted_jfif_revision_2.jpg", patched(small, JPEG_JFIF_MAJOR_AT, [2]))
    put("jpeg", "crafted_400_scans.jpg", grey_jpeg(8, 8, True, 399))
    put("jpeg", "bad_600_scans.jpg", grey_jpeg(8, 8, True, 599))
    put("jpeg", "bad_grey_claims_twice_its_height.jpg",
        patched(small, JPEG_HEIGHT_AT, [0, 128, 0, 64]))
    put("jpeg", "bad_grey_claims_16384x16384.jpg",
        patched(small, JPEG_HEIGHT_AT, [0x40, 0, 0x40, 0]))
    put("jpeg", "bad_grey_progressive_claims_16384x16384.jpg",
        patched(progressive, JPEG_HEIGHT_AT, [0x40, 0, 0x40, 0]))
    put("jpeg", "bad_grey_no_end_marker.jpg", small[:-2])
    # A one bit: no code starts with it.
    put("jpeg", "bad_grey_huffman_code.jpg", patched(small, len(small) - 3, [0x80]))
    put("jpeg", "bad_grey_extraneous_bytes.jpg", small[:-2] + bytes([7] * 64) + small[-2:])
    put("jpeg", "bad_grey_marker_in_data.jpg", small[:-6] + b"\xff\xd0" + small[-6:])


if __name__ == "__main__":
    make_sizes()
    make_own()
    make_gif()
    make_jpeg()
