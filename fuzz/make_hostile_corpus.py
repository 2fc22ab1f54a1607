#!/usr/bin/env python3
"""Makes the corpora of the PNG, JPEG, TIFF, GIF and WebP fuzz targets under
fuzz/corpus/<codec>/: seed_* are the test fixtures (valid files for the fuzzer
to mutate); bad_* are hostile files that every reader must refuse: truncations,
headers claiming 2^31 pixels or more, zero sizes, indices beyond the palette,
offsets beyond the file, endless progressive scans, JPEG data that ends early
or has a bit flipped. The codec tests load every bad_* file and expect
failure."""
import os
import shutil
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.join(HERE, "..", "tests", "data")
CORPUS = os.path.join(HERE, "corpus")


def fixture(name):
    with open(os.path.join(DATA, name), "rb") as f:
        return f.read()


def put(codec, name, data):
    with open(os.path.join(CORPUS, codec, name), "wb") as f:
        f.write(data)


def seeds_and_cuts(codec, prefix):
    for name in sorted(os.listdir(DATA)):
        if not name.startswith(prefix):
            continue
        data = fixture(name)
        put(codec, "seed_" + name, data)
        # TIFF files may end in tag values that libtiff can do without.
        last = len(data) // 2 if codec == "tiff" else len(data) - 16
        cuts = [len(data) // 3, last]
        if codec == "jpeg":
            cuts.append(len(data) - 2)  # every row there, the end marker missing
        for cut in cuts:
            put(codec, "bad_cut%d_%s" % (cut, name), data[:cut])


# ---- PNG: chunks rewritten with their CRC

def png_chunks(data):
    pos, out = 8, []
    while pos + 8 <= len(data):
        n, kind = struct.unpack(">I4s", data[pos:pos + 8])
        out.append([kind, data[pos + 8:pos + 8 + n]])
        pos += 12 + n
    return out


def png_join(chunks):
    body = b"".join(struct.pack(">I", len(d)) + k + d + struct.pack(">I", zlib.crc32(k + d))
                    for k, d in chunks)
    return b"\x89PNG\r\n\x1a\n" + body


def png_with_size(data, width, height):
    chunks = png_chunks(data)
    chunks[0][1] = struct.pack(">II", width, height) + chunks[0][1][8:]
    return png_join(chunks)


def make_png():
    rgba = fixture("png_rgba8.png")
    put("png", "bad_2pow31_pixels.png", png_with_size(rgba, 65536, 32768))
    put("png", "bad_side_over_limit.png", png_with_size(rgba, 40000, 4))
    # Within the side limit but 2^30 pixels of 16-bit RGBA: over the decoded limit.
    put("png", "bad_decoded_over_limit.png",
        png_with_size(fixture("png_rgba16.png"), 32768, 32768))
    put("png", "bad_zero_width.png", png_with_size(rgba, 0, 12))
    put("png", "bad_zero_height.png", png_with_size(rgba, 16, 0))
    # Four palette entries for indices up to 11.
    chunks = png_chunks(fixture("png_palette8.png"))
    for c in chunks:
        if c[0] == b"PLTE":
            c[1] = c[1][:12]
    put("png", "bad_palette_index.png", png_join(chunks))
    chunks = png_chunks(fixture("png_palette4.png"))
    for c in chunks:
        if c[0] == b"PLTE":
            c[1] = c[1][:6]
    put("png", "bad_palette_index4.png", png_join(chunks))
    # Image data that inflates to fewer rows than the header promises.
    chunks = png_chunks(rgba)
    for c in chunks:
        if c[0] == b"IDAT":
            c[1] = zlib.compress(b"\0" * 65)
    put("png", "bad_short_image_data.png", png_join(chunks))
    damaged = bytearray(rgba)
    damaged[len(damaged) // 2] ^= 0xFF
    put("png", "bad_crc.png", bytes(damaged))


# ---- JPEG: the frame header's size fields

def jpeg_with_size(data, width, height):
    out = bytearray(data)
    pos = 2
    while pos + 4 <= len(out):
        marker = out[pos + 1]
        length = struct.unpack(">H", out[pos + 2:pos + 4])[0]
        if marker in (0xC0, 0xC1, 0xC2):
            out[pos + 5:pos + 9] = struct.pack(">HH", height, width)
            return bytes(out)
        pos += 2 + length
    raise SystemExit("no frame header")


def make_jpeg():
    rgb = fixture("jpeg_rgb.jpg")
    put("jpeg", "bad_2pow31_pixels.jpg", jpeg_with_size(rgb, 65535, 32769))
    put("jpeg", "bad_decoded_over_limit.jpg", jpeg_with_size(rgb, 32768, 32768))
    put("jpeg", "bad_zero_height.jpg", jpeg_with_size(rgb, 16, 0))
    put("jpeg", "bad_zero_width.jpg", jpeg_with_size(rgb, 0, 12))
    put("jpeg", "bad_progressive_2pow31.jpg",
        jpeg_with_size(fixture("jpeg_progressive.jpg"), 65535, 32769))
    # The last scan of a progressive file repeated 600 times: libjpeg only
    # warns about the bogus progression, the scan limit must stop it.
    prog = fixture("jpeg_progressive.jpg")
    last_sos = prog.rfind(b"\xff\xda")
    eoi = prog.rfind(b"\xff\xd9")
    scan = prog[last_sos:eoi]
    put("jpeg", "bad_endless_scans.jpg", prog[:eoi] + scan * 600 + b"\xff\xd9")
    # Headers claiming more rows than the data holds: libjpeg only warns and
    # makes up the rest. The small claim passes the size bound of complete
    # Huffman data, the larger ones do not.
    put("jpeg", "bad_claims_taller.jpg", jpeg_with_size(rgb, 16, 40))
    put("jpeg", "bad_claims_2000x2000.jpg", jpeg_with_size(rgb, 2000, 2000))
    put("jpeg", "bad_claims_16384x16384.jpg", jpeg_with_size(rgb, 16384, 16384))
    # Single bit flips that libjpeg only warns about, one of each warning.
    for name, offset, bit, warning in JPEG_FLIPS:
        data = bytearray(fixture(name))
        data[offset] ^= 1 << bit
        put("jpeg", "bad_flip_%s_%d_%d_%s.jpg" % (name[5:-4], offset, bit, warning), bytes(data))


JPEG_FLIPS = [
    ("jpeg_rgb.jpg", 258, 2, "extraneous_bytes"),
    ("jpeg_rgb.jpg", 166, 3, "marker_in_data"),
    ("jpeg_rgb.jpg", 312, 3, "bad_huffman_code"),
    ("jpeg_rgb.jpg", 304, 3, "not_sequential"),
    ("jpeg_progressive.jpg", 383, 4, "bogus_progression"),
    ("jpeg_progressive.jpg", 418, 1, "extraneous_bytes"),
    ("jpeg_progressive.jpg", 371, 1, "marker_in_data"),
    ("jpeg_progressive.jpg", 428, 4, "bad_huffman_code"),
    ("jpeg_grey.jpg", 125, 4, "extraneous_bytes"),
    ("jpeg_grey.jpg", 96, 6, "marker_in_data"),
    ("jpeg_grey.jpg", 166, 0, "bad_huffman_code"),
    ("jpeg_grey.jpg", 162, 3, "not_sequential"),
    ("jpeg_cmyk.jpg", 17, 4, "adobe_transform"),
    ("jpeg_cmyk.jpg", 250, 1, "extraneous_bytes"),
    ("jpeg_cmyk.jpg", 164, 6, "marker_in_data"),
    ("jpeg_cmyk.jpg", 444, 4, "bad_huffman_code"),
    ("jpeg_cmyk.jpg", 327, 3, "not_sequential"),
]


# ---- TIFF: tag values of the first directory

def tiff_patch(data, values):
    out = bytearray(data)
    e = "<" if data[:2] == b"II" else ">"
    ifd = struct.unpack(e + "I", data[4:8])[0]
    count = struct.unpack(e + "H", data[ifd:ifd + 2])[0]
    for i in range(count):
        at = ifd + 2 + 12 * i
        tag, kind, n = struct.unpack(e + "HHI", data[at:at + 8])
        if tag not in values:
            continue
        size = {3: 2, 4: 4}.get(kind)
        if size is None:
            continue
        fmt = e + ("H" if kind == 3 else "I")
        value = min(values[tag], 65535) if kind == 3 else values[tag]
        where = at + 8 if n * size <= 4 else struct.unpack(e + "I", data[at + 8:at + 12])[0]
        for k in range(n):
            out[where + k * size:where + (k + 1) * size] = struct.pack(fmt, value)
    return bytes(out)


def make_tiff():
    for name in ("tiff_rgb_strips.tif", "tiff_rgba_unassoc.tif", "tiff_rgb_tiles.tif"):
        base = name[5:-4]
        data = fixture(name)
        put("tiff", "bad_2pow31_pixels_%s.tif" % base, tiff_patch(data, {256: 65536, 257: 32768}))
        put("tiff", "bad_decoded_over_limit_%s.tif" % base,
            tiff_patch(data, {256: 32768, 257: 32768}))
        put("tiff", "bad_zero_width_%s.tif" % base, tiff_patch(data, {256: 0}))
        put("tiff", "bad_zero_height_%s.tif" % base, tiff_patch(data, {257: 0}))
        # Image data said to lie far beyond the end of the file.
        put("tiff", "bad_offsets_%s.tif" % base, tiff_patch(data, {273: 0x7FFFFFF0, 324: 0x7FFFFFF0}))
    put("tiff", "bad_not_tiff.tif", b"II*\x00" + b"\xff" * 12)


# ---- GIF: hand-made files

def gif(screen_w, screen_h, frame, palette_bits=1, lzw=None, transparent=None):
    """A GIF with a global palette of 2^palette_bits colours and one frame
    (left, top, width, height) whose LZW data is given (3-bit codes)."""
    colours = 1 << palette_bits
    out = b"GIF89a" + struct.pack("<HHBBB", screen_w, screen_h, 0x80 | (palette_bits - 1), 0, 0)
    out += bytes((i * 40) % 256 for i in range(3 * colours))
    if transparent is not None:
        out += b"\x21\xf9\x04\x01\x00\x00" + bytes([transparent]) + b"\x00"
    out += b"\x2c" + struct.pack("<HHHHB", *frame, 0) + b"\x02"
    lzw = lzw or b""
    for i in range(0, len(lzw), 255):
        out += bytes([len(lzw[i:i + 255])]) + lzw[i:i + 255]
    return out + b"\x00\x3b"


def lzw_literal(indices):
    """3-bit codes, a clear before every pixel so the table never grows."""
    codes, buf, bits, out = [], 0, 0, bytearray()
    for i in indices:
        codes += [4, i]
    codes.append(5)
    for c in codes:
        buf |= c << bits
        bits += 3
        while bits >= 8:
            out.append(buf & 0xFF)
            buf >>= 8
            bits -= 8
    if bits:
        out.append(buf)
    return bytes(out)


def make_gif():
    ok = lzw_literal([0, 1, 1, 0])
    put("gif", "seed_handmade.gif", gif(2, 2, (0, 0, 2, 2), 1, ok))
    put("gif", "bad_2pow31_screen.gif", gif(65535, 65535, (0, 0, 2, 2), 1, ok))
    put("gif", "bad_2pow31_frame.gif", gif(2, 2, (0, 0, 65535, 32769), 1, ok))
    put("gif", "bad_zero_screen.gif", gif(0, 0, (0, 0, 2, 2), 1, ok))
    put("gif", "bad_zero_frame.gif", gif(2, 2, (0, 0, 0, 0), 1, ok))
    put("gif", "bad_palette_index.gif", gif(2, 2, (0, 0, 2, 2), 1, lzw_literal([0, 3, 2, 1])))
    put("gif", "bad_short_frame.gif", gif(2, 2, (0, 0, 2, 2), 1, lzw_literal([0, 1])))
    put("gif", "bad_no_frame.gif", gif(2, 2, (0, 0, 2, 2), 1, ok)[:6 + 7 + 6] + b"\x3b")
    put("gif", "bad_no_palette.gif",
        b"GIF89a" + struct.pack("<HHBBB", 2, 2, 0, 0, 0) + b"\x2c" +
        struct.pack("<HHHHB", 0, 0, 2, 2, 0) + b"\x02" + bytes([len(ok)]) + ok + b"\x00\x3b")


# ---- WebP: header fields of libwebp's own files (tests/data/webp_*.webp)

def patched(data, at, new):
    return data[:at] + new + data[at + len(new):]


def vp8l_size(data, width, height):
    """A lossless file (its VP8L chunk first, data at 20) claiming width x height."""
    bits = struct.unpack("<I", data[21:25])[0] & ~0x0FFFFFFF
    return patched(data, 21, struct.pack("<I", bits | (width - 1) | (height - 1) << 14))


def make_webp():
    lossless = fixture("webp_lossless_rgba.webp")
    lossy = fixture("webp_lossy_rgb.webp")
    anim = fixture("webp_animated.webp")
    # The largest size the format holds: 2^28 pixels, over the decoded limit.
    put("webp", "bad_16384x16384.webp", vp8l_size(lossless, 16384, 16384))
    # More pixels than the data holds.
    put("webp", "bad_claims_taller.webp", vp8l_size(lossless, 16, 4000))
    put("webp", "bad_riff_tag.webp", patched(lossless, 8, b"WEBQ"))
    put("webp", "bad_vp8l_signature.webp", patched(lossless, 20, b"\x2e"))
    put("webp", "bad_vp8l_version.webp", patched(lossless, 24, bytes([lossless[24] | 0xE0])))
    put("webp", "bad_riff_size_past_end.webp", patched(lossless, 4, struct.pack("<I", 1 << 30)))
    # Lossy: the key frame's start code, and a width of 0 (14 bits at 26).
    put("webp", "bad_vp8_start_code.webp", patched(lossy, 23, b"\x9d\x01\x2b"))
    put("webp", "bad_vp8_zero_width.webp", patched(lossy, 26, b"\x00\x00"))
    put("webp", "bad_vp8_16383x16383.webp", patched(lossy, 26, struct.pack("<HH", 16383, 16383)))
    # Animation: a canvas of 2^24 a side, one of 16384 a side (the canvas and a
    # frame within the limit would not be), a frame past the canvas's edge.
    put("webp", "bad_anim_canvas_2pow24.webp", patched(anim, 24, b"\xff" * 6))
    put("webp", "bad_anim_canvas_16384.webp",
        patched(anim, 24, struct.pack("<I", 16383)[:3] * 2))
    put("webp", "bad_anim_frame_outside.webp", patched(anim, 52, struct.pack("<I", 6)[:3]))
    # A still image whose extended header's canvas differs from its bitstream.
    vp8x = (b"VP8X" + struct.pack("<I", 10) + struct.pack("<I", 0x10) +
            struct.pack("<I", 31)[:3] + struct.pack("<I", 11)[:3])
    body = b"WEBP" + vp8x + lossless[12:]
    put("webp", "bad_canvas_mismatch.webp", b"RIFF" + struct.pack("<I", len(body)) + body)
    # The same with the canvas the bitstream has loads.
    vp8x = vp8x[:12] + struct.pack("<I", 15)[:3] + struct.pack("<I", 11)[:3]
    body = b"WEBP" + vp8x + lossless[12:]
    put("webp", "crafted_extended_header.webp", b"RIFF" + struct.pack("<I", len(body)) + body)


def main():
    for codec, prefix in (("png", "png_"), ("jpeg", "jpeg_"), ("tiff", "tiff_"), ("gif", "gif_"),
                          ("webp", "webp_")):
        folder = os.path.join(CORPUS, codec)
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        seeds_and_cuts(codec, prefix)
    make_png()
    make_jpeg()
    make_tiff()
    make_gif()
    make_webp()
    return 0


if __name__ == "__main__":
    sys.exit(main())
