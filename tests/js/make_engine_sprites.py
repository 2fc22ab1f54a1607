#!/usr/bin/env python3
"""Writes the sprites the engine-reader test packs, into IN/ as PNG files, and
each one's RGBA bytes (row by row) into RAW/ with a manifest.json of sizes.

Usage: make_engine_sprites.py IN RAW
"""
import json
import os
import struct
import sys
import zlib

# name: (width, height, (left, top, right, bottom) of the visible block inclusive)
SPRITES = {
    "walk_01.png": (12, 10, (2, 3, 8, 7)),
    "walk_02.png": (12, 10, (1, 2, 9, 8)),
    "walk_10.png": (12, 10, (3, 1, 11, 9)),
    "jump-1.png": (9, 14, (0, 4, 8, 13)),
    "jump-2.png": (9, 14, (2, 0, 6, 10)),
    "idle 3.png": (7, 7, (1, 1, 5, 5)),
    "panel.png": (16, 16, (1, 2, 14, 15)),
    "full.png": (5, 6, (0, 0, 4, 5)),
    "a&b <c>'q\".png": (6, 5, (1, 1, 4, 3)),
    "sub/coin_1.png": (8, 8, (2, 2, 5, 5)),
    "sub/coin_2.png": (8, 8, (1, 1, 6, 6)),
    # Taller than the turned runs' atlas: it only fits turned.
    "pole.png": (5, 40, (1, 0, 3, 39)),
}


def pixel(seed, x, y):
    # Every visible pixel differs from its neighbours; some are translucent.
    r = (seed * 37 + x * 29 + y * 11) % 256
    g = (seed * 53 + x * 7 + y * 31) % 256
    b = (seed * 17 + x * y * 5) % 256
    a = 255 if (x + y + seed) % 5 else 128 + (seed % 100)
    return bytes((r, g, b, a))


def png(path, w, h, rows):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    raw = b"".join(b"\0" + row for row in rows)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0))
                + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    into, raw_dir = sys.argv[1], sys.argv[2]
    manifest = {}
    for seed, (name, (w, h, (l, t, r, b))) in enumerate(sorted(SPRITES.items()), start=1):
        rows = []
        for y in range(h):
            rows.append(b"".join(pixel(seed, x, y) if l <= x <= r and t <= y <= b else b"\0\0\0\0"
                                 for x in range(w)))
        path = os.path.join(into, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        png(path, w, h, rows)
        raw = os.path.join(raw_dir, "%d.rgba" % seed)
        with open(raw, "wb") as f:
            f.write(b"".join(rows))
        manifest[name] = {"w": w, "h": h, "raw": raw}
    with open(os.path.join(raw_dir, "manifest.json"), "w") as f:
        json.dump(manifest, f)


main()
