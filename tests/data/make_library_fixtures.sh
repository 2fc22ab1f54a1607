#!/bin/sh
# Makes the PNG, JPEG, TIFF, GIF and WebP fixtures of the codec tests from
# pictures whose every pixel is known (drawn by the Python below), using
# ImageMagick's encoders (the system's /usr/bin/convert, never a shadowing one)
# and libwebp's tools. Run from anywhere; writes next to this script. The tests know the drawing rules and
# also ask ImageMagick how it decodes each file.
set -eu
cd "$(dirname "$0")"
IM=/usr/bin/convert
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 - "$work" <<'PY'
import sys
out = sys.argv[1]
W, H = 16, 12

def pam(name, depth, tupltype, pixel, maxval=255):
    with open(f"{out}/{name}", "wb") as f:
        f.write(f"P7\nWIDTH {W}\nHEIGHT {H}\nDEPTH {depth}\nMAXVAL {maxval}\n"
                f"TUPLTYPE {tupltype}\nENDHDR\n".encode())
        for y in range(H):
            for x in range(W):
                for v in pixel(x, y):
                    f.write(v.to_bytes(2 if maxval > 255 else 1, "big"))

# The drawing rules; tests/codecs/codec_support.h holds the same.
def rgb(x, y): return ((x * 16) % 256, (y * 20) % 256, ((x + y) * 8) % 256)
def alpha(x, y): return 0 if (x + y) % 5 == 0 else (255 if (x * y) % 3 else 128)
PALETTE = [(255, 0, 0), (0, 255, 0), (0, 0, 255), (255, 255, 0), (0, 255, 255),
           (255, 0, 255), (255, 255, 255), (0, 0, 0), (128, 0, 0), (0, 128, 0),
           (0, 0, 128), (128, 128, 0)]
def pal(x, y): return PALETTE[(x + 2 * y) % len(PALETTE)]

pam("rgb.pam", 3, "RGB", rgb)
pam("rgb16.pam", 3, "RGB", lambda x, y: [v * 257 for v in rgb(x, y)], 65535)
pam("rgba.pam", 4, "RGB_ALPHA", lambda x, y: rgb(x, y) + (alpha(x, y),))
pam("rgba16.pam", 4, "RGB_ALPHA",
    lambda x, y: [v * 257 for v in rgb(x, y) + (alpha(x, y),)], 65535)
pam("grey1.pam", 1, "GRAYSCALE", lambda x, y: (255 * ((x + y) % 2),))
pam("grey2.pam", 1, "GRAYSCALE", lambda x, y: (85 * ((x + y) % 4),))
pam("grey4.pam", 1, "GRAYSCALE", lambda x, y: (17 * ((x + y) % 16),))
pam("grey8.pam", 1, "GRAYSCALE", lambda x, y: ((x * 16 + y) % 256,))
pam("grey16.pam", 1, "GRAYSCALE", lambda x, y: (((x * 16 + y) % 256) * 257,), 65535)
pam("greyalpha.pam", 2, "GRAYSCALE_ALPHA", lambda x, y: ((x * 16 + y) % 256, alpha(x, y)))
pam("pal.pam", 3, "RGB", pal)
# Palette with one transparent colour: where pal() gives black.
pam("paltrns.pam", 4, "RGB_ALPHA",
    lambda x, y: pal(x, y) + ((0,) if pal(x, y) == (0, 0, 0) else (255,)))
PY

w=$work
# PNG: every colour type and depth
$IM $w/grey1.pam -strip -define png:color-type=0 -define png:bit-depth=1 png_grey1.png
$IM $w/grey2.pam -strip -define png:color-type=0 -define png:bit-depth=2 png_grey2.png
$IM $w/grey4.pam -strip -define png:color-type=0 -define png:bit-depth=4 png_grey4.png
$IM $w/grey8.pam -strip -define png:color-type=0 -define png:bit-depth=8 png_grey8.png
$IM $w/grey16.pam -strip -define png:color-type=0 -define png:bit-depth=16 png_grey16.png
$IM $w/greyalpha.pam -strip -define png:color-type=4 -define png:bit-depth=8 png_grey_alpha.png
$IM $w/pal.pam -strip -define png:color-type=3 -define png:bit-depth=4 png_palette4.png
$IM $w/pal.pam -strip -define png:color-type=3 -define png:bit-depth=8 png_palette8.png
# ImageMagick drops the alpha of palette PNGs; netpbm writes the tRNS chunk.
$IM $w/pal.pam $w/pal.ppm
pnmtopng -transparent =rgb:00/00/00 $w/pal.ppm > png_palette_trns.png 2>/dev/null
$IM $w/rgb.pam -strip -define png:color-type=2 -define png:bit-depth=8 png_rgb8.png
$IM $w/rgb16.pam -strip -define png:color-type=2 -define png:bit-depth=16 png_rgb16.png
$IM $w/rgba.pam -strip -define png:color-type=6 -define png:bit-depth=8 png_rgba8.png
$IM $w/rgba16.pam -strip -define png:color-type=6 -define png:bit-depth=16 png_rgba16.png
$IM $w/rgba.pam -strip -define png:color-type=6 -interlace PNG png_interlaced.png

# JPEG: grey, RGB (baseline and progressive), CMYK with Adobe's marker
$IM $w/grey8.pam -strip -quality 95 jpeg_grey.jpg
$IM $w/rgb.pam -strip -quality 95 jpeg_rgb.jpg
$IM $w/rgb.pam -strip -quality 95 -interlace JPEG jpeg_progressive.jpg
$IM $w/rgb.pam -strip -quality 95 -colorspace CMYK jpeg_cmyk.jpg

# TIFF: strips, tiles, alpha both ways, grey, palette, 16 bits, orientation
$IM $w/rgb.pam -strip -compress None -define tiff:rows-per-strip=5 tiff_rgb_strips.tif
$IM $w/rgb.pam -strip -compress LZW -define tiff:tile-geometry=16x16 tiff_rgb_tiles.tif
$IM $w/rgba.pam -strip -compress Zip -define tiff:alpha=unassociated tiff_rgba_unassoc.tif
$IM $w/rgba.pam -strip -compress None -define tiff:alpha=associated tiff_rgba_assoc.tif
$IM $w/grey8.pam -strip -compress None tiff_grey.tif
$IM $w/pal.pam -strip -compress None -type Palette tiff_palette.tif
$IM $w/rgb16.pam -strip -compress None -depth 16 tiff_rgb16.tif
# The tag says the stored first row is the picture's bottom row.
$IM $w/rgb.pam -strip -compress None -flip -orient bottom-left tiff_orient_botleft.tif

# GIF: opaque, transparent, interlaced, a frame smaller than the screen
$IM $w/pal.pam -strip gif_opaque.gif
$IM $w/paltrns.pam -strip gif_transparent.gif
$IM $w/pal.pam -strip -interlace GIF gif_interlaced.gif
$IM $w/pal.pam -strip -crop 6x5+3+2 -repage 16x12+3+2 gif_small_frame.gif
# WebP (libwebp's own encoders): lossless with every colour kept, lossy with
# alpha stored losslessly, and an animation whose first frame is a 6 x 5 part
# of the palette picture at (4, 2) (WebP offsets are even), its second the whole.
cwebp -quiet -lossless -exact $w/rgba.pam -o webp_lossless_rgba.webp
cwebp -quiet -lossless $w/rgb.pam -o webp_lossless_rgb.webp
cwebp -quiet -q 95 -sharp_yuv $w/rgb.pam -o webp_lossy_rgb.webp
cwebp -quiet -q 95 -sharp_yuv -alpha_q 100 -exact $w/rgba.pam -o webp_lossy_rgba.webp
$IM $w/pal.pam -crop 6x5+4+2 +repage $w/part.pam
cwebp -quiet -lossless $w/part.pam -o $w/part.webp
cwebp -quiet -lossless $w/pal.pam -o $w/whole.webp
webpmux -frame $w/part.webp +100+4+2 -frame $w/whole.webp +100+0+0 -loop 0 \
  -o webp_animated.webp >/dev/null 2>&1
ls -l png_*.png jpeg_*.jpg tiff_*.tif gif_*.gif webp_*.webp | awk '{ s += $5 } END { print NR " files, " s " bytes" }'
