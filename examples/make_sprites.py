#!/usr/bin/env python3
"""Draws the example sprites in examples/sprites/ with ImageMagick.

A small game-like set: pickups, items and tiles in several sizes and formats,
most with transparent margins around the drawing so that trimming has work
to do. Run it again after changing a sprite; the output is committed.
"""
import pathlib
import subprocess
import sys

CONVERT = "/usr/bin/convert"  # never plain `convert`: a stand-in may shadow it
HERE = pathlib.Path(__file__).resolve().parent
OUT = HERE / "sprites"

# name, canvas size, background, draw commands (ImageMagick -draw syntax).
SPRITES = [
    ("coin.png", (32, 32), "none", [
        ("#b8860b", "circle 16,16 16,5"),
        ("#ffd700", "circle 15,15 15,7"),
        ("#fff3a0", "ellipse 12,12 2,4 0,360"),
    ]),
    ("gem.png", (48, 48), "none", [
        ("#1565c0", "polygon 24,8 38,20 24,42 10,20"),
        ("#42a5f5", "polygon 24,8 31,20 24,42 17,20"),
        ("#bbdefb", "polygon 24,10 28,18 20,18"),
    ]),
    ("heart.png", (40, 36), "none", [
        ("#c62828", "circle 13,13 13,5"),
        ("#c62828", "circle 27,13 27,5"),
        ("#c62828", "polygon 6,16 34,16 20,31"),
        ("#ef9a9a", "ellipse 11,11 2,3 0,360"),
    ]),
    ("star.gif", (64, 64), "none", [
        ("#fbc02d", "polygon 32,6 39,24 58,24 43,36 49,56 32,44 15,56 21,36 6,24 25,24"),
        ("#fff59d", "polygon 32,14 36,26 28,26"),
    ]),
    ("potion.tga", (24, 40), "none", [
        ("#6d4c41", "rectangle 10,3 14,8"),
        ("#90a4ae", "rectangle 9,9 15,14"),
        ("#7b1fa2", "circle 12,25 12,15"),
        ("#ce93d8", "ellipse 9,22 2,4 0,360"),
    ]),
    ("sword.png", (16, 96), "none", [
        ("#cfd8dc", "polygon 8,4 11,10 11,70 5,70 5,10"),
        ("#90a4ae", "line 8,8 8,68"),
        ("#8d6e63", "rectangle 1,70 14,74"),
        ("#5d4037", "rectangle 6,75 9,88"),
        ("#ffb300", "circle 7,91 7,89"),
    ]),
    ("shield.tif", (56, 64), "none", [
        ("#37474f", "polygon 6,6 50,6 50,30 28,58 6,30"),
        ("#1e88e5", "polygon 10,10 46,10 46,29 28,52 10,29"),
        ("#fdd835", "rectangle 25,12 31,48"),
        ("#fdd835", "rectangle 14,24 42,30"),
    ]),
    ("mushroom.png", (36, 36), "none", [
        ("#efebe9", "rectangle 13,18 23,32"),
        ("#d32f2f", "ellipse 18,16 16,11 180,360"),
        ("#d32f2f", "rectangle 2,15 34,18"),
        ("white", "circle 11,10 11,7"),
        ("white", "circle 25,10 25,8"),
    ]),
    ("key.pcx", (40, 20), "#3a2f4a", [
        ("#ffca28", "circle 9,10 9,3"),
        ("#3a2f4a", "circle 9,10 9,7"),
        ("#ffca28", "rectangle 15,8 36,11"),
        ("#ffca28", "rectangle 30,12 32,16"),
        ("#ffca28", "rectangle 34,12 36,15"),
    ]),
    ("brick_tile.bmp", (32, 32), "#8d3b2b", [
        ("#c1c1b8", "rectangle 0,7 31,8"),
        ("#c1c1b8", "rectangle 0,15 31,16"),
        ("#c1c1b8", "rectangle 0,23 31,24"),
        ("#c1c1b8", "rectangle 0,31 31,31"),
        ("#c1c1b8", "rectangle 12,0 13,7"),
        ("#c1c1b8", "rectangle 4,9 5,15"),
        ("#c1c1b8", "rectangle 22,9 23,15"),
        ("#c1c1b8", "rectangle 14,17 15,23"),
        ("#c1c1b8", "rectangle 28,0 29,7"),
        ("#c1c1b8", "rectangle 6,25 7,31"),
    ]),
    ("grass_tile.jpg", (64, 32), "#4caf50", [
        ("#388e3c", "polygon 0,32 4,18 8,32"),
        ("#388e3c", "polygon 14,32 19,14 23,32"),
        ("#66bb6a", "polygon 30,32 34,20 38,32"),
        ("#388e3c", "polygon 44,32 49,16 53,32"),
        ("#66bb6a", "polygon 56,32 60,22 64,32"),
        ("#795548", "rectangle 0,0 63,5"),
    ]),
    ("slime.png", (80, 56), "none", [
        ("#2e7d32", "ellipse 40,40 30,14 0,360"),
        ("#43a047", "ellipse 40,34 26,20 180,360"),
        ("#43a047", "rectangle 14,33 66,40"),
        ("white", "circle 31,30 31,25"),
        ("white", "circle 49,30 49,25"),
        ("black", "circle 32,31 32,28"),
        ("black", "circle 50,31 50,28"),
    ]),
    ("chest.png", (64, 48), "none", [
        ("#5d4037", "rectangle 8,14 56,42"),
        ("#8d6e63", "rectangle 10,16 54,26"),
        ("#8d6e63", "rectangle 10,29 54,40"),
        ("#ffb300", "rectangle 29,24 35,33"),
        ("#3e2723", "rectangle 31,28 33,30"),
    ]),
    ("arrow.gif", (12, 48), "none", [
        ("#9e9e9e", "polygon 6,2 10,10 2,10"),
        ("#8d6e63", "rectangle 5,10 7,40"),
        ("#e53935", "polygon 2,38 6,44 10,38 10,46 2,46"),
    ]),
]


def draw(name, size, background, commands):
    width, height = size
    args = [CONVERT, "-size", f"{width}x{height}", f"xc:{background}"]
    for colour, primitive in commands:
        args += ["-fill", colour, "-stroke", "none", "-draw", primitive]
    args += ["-depth", "8"]
    target = OUT / name
    if target.suffix in (".png",):
        args += ["-define", "png:exclude-chunks=date,time", "PNG32:" + str(target)]
    elif target.suffix == ".tga":
        # ImageMagick writes its rows top-down whatever the orientation it
        # declares; declaring top-left makes the file say what it holds.
        args += ["-orient", "TopLeft", "-type", "TrueColorAlpha", str(target)]
    elif target.suffix == ".tif":
        args += ["-compress", "LZW", "-type", "TrueColorAlpha", str(target)]
    elif target.suffix in (".bmp",):
        args += ["-type", "TrueColor", "BMP3:" + str(target)]
    else:
        args.append(str(target))
    subprocess.run(args, check=True)


def main():
    OUT.mkdir(exist_ok=True)
    for name, size, background, commands in SPRITES:
        draw(name, size, background, commands)
    print(f"make_sprites: {len(SPRITES)} sprites in {OUT}", file=sys.stderr)


if __name__ == "__main__":
    main()
