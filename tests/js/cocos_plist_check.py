#!/usr/bin/env python3
"""Reads tilvane-pack's Cocos2d-x plist with Python's plistlib and checks it
field by field as Cocos2d-x's SpriteFrameCache reads format 3: every frame,
placed as spriteOffset, spriteSize and spriteSourceSize say (y up, centred),
shows the source image's pixels at textureRect in the decoded atlas.

Usage: cocos_plist_check.py WORK PLIST [turned]
(with "turned", some frame must be turned: textureRotated, its block the
image turned clockwise)
"""
import json
import os
import plistlib
import re
import sys

work, plist_name = sys.argv[1], sys.argv[2]
want_turned = len(sys.argv) > 3
image_name = plist_name.replace(".plist", ".png")
failures = []
passed = 0


def expect(what, got, wanted):
    global passed
    if got == wanted:
        passed += 1
    else:
        failures.append("%s: got %r, expected %r" % (what, got, wanted))


def numbers(text):
    return [float(v) for v in re.findall(r"-?[0-9.]+(?:e-?[0-9]+)?", text)]


manifest = json.load(open(os.path.join(work, "raw", "manifest.json")))
sprite_data = json.load(open(os.path.join(work, "sprite-data.json")))
with open(os.path.join(work, "out", plist_name), "rb") as f:
    plist = plistlib.load(f)

meta = plist["metadata"]
expect("format", meta["format"], 3)
expect("textureFileName", meta["textureFileName"], image_name)
expect("realTextureFileName", meta["realTextureFileName"], image_name)
aw, ah = [int(v) for v in numbers(meta["size"])]
atlas = open(os.path.join(work, "out", image_name + ".rgba"), "rb").read()
expect("atlas bytes", len(atlas), aw * ah * 4)
frames = plist["frames"]
expect("frame names", sorted(frames), sorted(manifest))
turned = 0

for name, frame in frames.items():
    label = repr(name)
    source = manifest.get(name)
    if source is None:
        continue
    sw, sh = source["w"], source["h"]
    pixels = open(source["raw"], "rb").read()
    expect(label + " keys", sorted(frame), sorted(["aliases", "anchor", "spriteOffset", "spriteSize",
                                                  "spriteSourceSize", "textureRect", "textureRotated"]))
    expect(label + " aliases", frame["aliases"], [])
    rotated = frame["textureRotated"]
    turned += rotated
    expect(label + " spriteSourceSize", numbers(frame["spriteSourceSize"]), [sw, sh])
    ox, oy = numbers(frame["spriteOffset"])
    w, h = numbers(frame["spriteSize"])
    tx, ty, tw, th = numbers(frame["textureRect"])
    expect(label + " textureRect size", [tw, th], [w, h])
    pivot = sprite_data.get(name, {}).get("pivot", [0.5, 1])
    # Cocos's anchor counts from the bottom.
    expect(label + " anchor", numbers(frame["anchor"]), [pivot[0], 1 - pivot[1]])
    # The kept pixels' bottom-left corner: centred in the source, then moved.
    left = ox + (sw - w) / 2
    bottom = oy + (sh - h) / 2
    top = sh - bottom - h
    expect(label + " whole pixels", [left % 1, top % 1], [0, 0])
    left, top, w, h, tx, ty = int(left), int(top), int(w), int(h), int(tx), int(ty)
    wrong = 0
    for y in range(sh):
        for x in range(sw):
            want = pixels[(y * sw + x) * 4:(y * sw + x) * 4 + 4]
            if left <= x < left + w and top <= y < top + h:
                u, v = x - left, y - top
                # Turned clockwise: the image's top row is the block's right column.
                ax, ay = (tx + h - 1 - v, ty + u) if rotated else (tx + u, ty + v)
                got = atlas[(ay * aw + ax) * 4:(ay * aw + ax) * 4 + 4]
                wrong += got != want
            else:
                wrong += want[3] != 0
    expect(label + " pixels wrong", wrong, 0)

expect("frames turned", turned > 0, want_turned)

for line in failures:
    print(line)
print("%d passed, %d failed" % (passed, len(failures)))
sys.exit(0 if passed and not failures else 1)
