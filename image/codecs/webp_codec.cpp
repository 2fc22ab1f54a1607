#include <webp/decode.h>
#include <webp/demux.h>
#include <webp/encode.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "image/blit.h"
#include "image/codecs/codec_limits.h"
#include "image/codecs/codecs.h"

namespace tilvane::codecs {

namespace {

// libwebp keeps a whole ARGB copy of a lossless picture while it decodes, beside
// the image it hands back: both count against the decoded-size limit.
constexpr std::size_t kDecodeBytesPerPixel = 8;

// Decodes one bitstream (a whole file, or an animation frame's chunks) of the
// image's size into it, rows flipped into the image's bottom-up storage. The
// image is 24 bits (alpha dropped) or 32 (straight alpha, never premultiplied).
bool decodeInto(ByteSpan data, PixelImage& image) {
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) return false;
    if (WebPGetFeatures(data.data(), data.size(), &config.input) != VP8_STATUS_OK ||
        config.input.width != image.width() || config.input.height != image.height()) {
        return false;
    }
    config.output.colorspace = image.bitDepth() == 32 ? MODE_BGRA : MODE_BGR;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = image.bits();
    config.output.u.RGBA.stride = static_cast<int>(image.stride());
    config.output.u.RGBA.size = image.byteSize();
    // Storage row 0 is the picture's bottom row.
    config.options.flip = 1;
    const bool ok = WebPDecode(data.data(), data.size(), &config) == VP8_STATUS_OK;
    WebPFreeDecBuffer(&config.output);
    return ok;
}

// The first frame of an animation on a canvas cleared to transparent, as a
// player shows it before the second: the background colour the file names is
// only a hint, and a first frame has nothing beneath it to blend with. 24 bits
// when the frame covers the canvas and has no alpha, else 32.
ImagePtr readFirstFrame(ByteSpan data) {
    const WebPData whole{data.data(), data.size()};
    WebPDemuxer* demux = WebPDemux(&whole);
    if (!demux) return nullptr;
    ImagePtr canvas;
    const std::int64_t width = WebPDemuxGetI(demux, WEBP_FF_CANVAS_WIDTH);
    const std::int64_t height = WebPDemuxGetI(demux, WEBP_FF_CANVAS_HEIGHT);
    WebPIterator frame;
    // The canvas and the frame beside it, checked before either is made.
    if (imageSizeAllowed(width, height, kDecodeBytesPerPixel + 4) &&
        WebPDemuxGetFrame(demux, 1, &frame)) {
        const ByteSpan chunks(frame.fragment.bytes, frame.fragment.size);
        const bool inside = frame.width > 0 && frame.height > 0 && frame.x_offset >= 0 &&
                            frame.y_offset >= 0 && frame.x_offset + frame.width <= width &&
                            frame.y_offset + frame.height <= height;
        const bool covers = frame.width == width && frame.height == height;
        if (covers) {
            canvas = PixelImage::create(frame.width, frame.height, frame.has_alpha ? 32 : 24);
            if (canvas && !decodeInto(chunks, *canvas)) canvas.reset();
        } else if (inside) {
            ImagePtr pixels = PixelImage::create(frame.width, frame.height, 32);
            if (pixels && decodeInto(chunks, *pixels)) {
                canvas = PixelImage::create(static_cast<std::int32_t>(width),
                                            static_cast<std::int32_t>(height), 32);
            }
            if (canvas) {
                blitImage(canvas.get(), pixels.get(), frame.x_offset, frame.y_offset, nullptr);
            }
        }
        WebPDemuxReleaseIterator(&frame);
    }
    WebPDemuxDelete(demux);
    return canvas;
}

int writeToStream(const std::uint8_t* data, std::size_t size, const WebPPicture* picture) {
    auto* out = static_cast<std::FILE*>(picture->custom_ptr);
    return size == 0 || std::fwrite(data, 1, size, out) == size;
}

}  // namespace

ImagePtr readWebp(ByteSpan data) {
    WebPBitstreamFeatures features;
    if (WebPGetFeatures(data.data(), data.size(), &features) != VP8_STATUS_OK) return nullptr;
    if (features.has_animation) return readFirstFrame(data);
    // Checked before the library or we allocate anything the size of the image.
    if (!imageSizeAllowed(features.width, features.height, kDecodeBytesPerPixel)) return nullptr;
    ImagePtr image =
        PixelImage::create(features.width, features.height, features.has_alpha ? 32 : 24);
    if (!image || !decodeInto(data, *image)) return nullptr;
    return image;
}

bool writeWebp(const PixelImage& image, std::FILE* out, std::optional<int> lossyQuality) {
    if (!out || image.bitDepth() != 32 || image.width() <= 0 || image.height() <= 0 ||
        image.width() > WEBP_MAX_DIMENSION || image.height() > WEBP_MAX_DIMENSION) {
        return false;
    }
    WebPConfig config;
    if (!WebPConfigInit(&config)) return false;
    if (lossyQuality) {
        config.quality = static_cast<float>(std::clamp(*lossyQuality, 0, 100));
        // Colour is stored at half resolution: converted the slower, sharper
        // way, a sprite's one-pixel outline keeps more of its colour.
        config.use_sharp_yuv = 1;
    } else if (!WebPConfigLosslessPreset(&config, 6)) {
        return false;
    }
    // The colour under a transparent pixel is kept as given (--bleed sets it on
    // purpose; filtering reads it), not replaced by what compresses best.
    config.exact = 1;
    config.thread_level = 1;
    if (!WebPValidateConfig(&config)) return false;

    WebPPicture picture;
    if (!WebPPictureInit(&picture)) return false;
    picture.use_argb = 1;
    picture.width = image.width();
    picture.height = image.height();
    if (!WebPPictureAlloc(&picture)) return false;
    for (std::int32_t y = 0; y < image.height(); ++y) {
        const std::uint8_t* src = image.row(y);
        std::uint32_t* dst = picture.argb + static_cast<std::size_t>(y) * picture.argb_stride;
        for (std::int32_t x = 0; x < image.width(); ++x, src += 4) {
            dst[x] = std::uint32_t{src[3]} << 24 | std::uint32_t{src[2]} << 16 |
                     std::uint32_t{src[1]} << 8 | src[0];
        }
    }
    picture.writer = writeToStream;
    picture.custom_ptr = out;
    const bool ok = WebPEncode(&config, &picture) != 0;
    WebPPictureFree(&picture);
    return ok && !std::ferror(out);
}

}  // namespace tilvane::codecs
