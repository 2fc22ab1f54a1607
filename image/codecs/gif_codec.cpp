#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "image/codecs/codec_limits.h"
#include "image/codecs/codecs.h"

namespace tilvane::codecs {

namespace {

struct MemorySource {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t offset;
};

int readFromMemory(GifFileType* gif, GifByteType* out, int length) {
    auto* source = static_cast<MemorySource*>(gif->UserData);
    if (length <= 0) return 0;
    const std::size_t n = std::min(static_cast<std::size_t>(length), source->size - source->offset);
    std::memcpy(out, source->data + source->offset, n);
    source->offset += n;
    return static_cast<int>(n);
}

struct GifCloser {
    void operator()(GifFileType* gif) const {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};
using GifPtr = std::unique_ptr<GifFileType, GifCloser>;

// The transparent index of the graphics control extension that precedes the
// first frame, or -1.
int transparentIndexOf(const GifByteType* block) {
    if (!block || block[0] < 4) return -1;
    return (block[1] & 0x01) ? block[4] : -1;
}

// Skips the rest of an extension's sub-blocks; false on a damaged file.
bool skipExtension(GifFileType* gif, GifByteType* block) {
    while (block) {
        if (DGifGetExtensionNext(gif, &block) != GIF_OK) return false;
    }
    return true;
}

// Decodes the frame whose descriptor has just been read onto a screen-sized
// image. Returns null on any damage, including an index beyond the palette.
ImagePtr decodeFrame(GifFileType* gif, int transparent) {
    const std::int64_t screenW = gif->SWidth, screenH = gif->SHeight;
    const GifImageDesc& frame = gif->Image;
    const ColorMapObject* map = frame.ColorMap ? frame.ColorMap : gif->SColorMap;
    if (!map || !map->Colors || map->ColorCount <= 0 || map->ColorCount > 256) return nullptr;
    const int colors = map->ColorCount;
    if (frame.Width <= 0 || frame.Height <= 0 || frame.Left < 0 || frame.Top < 0 ||
        !imageSizeAllowed(frame.Width, frame.Height, 1)) {
        return nullptr;
    }
    if (transparent >= colors) transparent = -1;  // names no colour: ignored

    // A frame that leaves part of the screen uncovered shows transparency
    // there, as browsers show it.
    const bool coversScreen =
        frame.Left == 0 && frame.Top == 0 && frame.Width >= screenW && frame.Height >= screenH;
    const bool withAlpha = transparent >= 0 || !coversScreen;
    ImagePtr image = PixelImage::create(static_cast<std::int32_t>(screenW),
                                        static_cast<std::int32_t>(screenH), withAlpha ? 32 : 8);
    if (!image) return nullptr;
    if (!withAlpha) {
        for (int i = 0; i < colors; ++i) {
            const GifColorType& c = map->Colors[i];
            image->colorTable()[i] = PaletteEntry{c.Blue, c.Green, c.Red, 0};
        }
    }

    std::vector<GifPixelType> line;
    try {
        line.resize(static_cast<std::size_t>(frame.Width));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    // Interlaced frames store rows in four passes.
    static constexpr int kStart[] = {0, 4, 2, 1};
    static constexpr int kStep[] = {8, 8, 4, 2};
    const int passes = frame.Interlace ? 4 : 1;
    const std::int64_t visibleW =
        std::max<std::int64_t>(0, std::min<std::int64_t>(frame.Width, screenW - frame.Left));
    for (int pass = 0; pass < passes; ++pass) {
        const int start = frame.Interlace ? kStart[pass] : 0;
        const int step = frame.Interlace ? kStep[pass] : 1;
        for (int row = start; row < frame.Height; row += step) {
            if (DGifGetLine(gif, line.data(), frame.Width) != GIF_OK) return nullptr;
            for (const GifPixelType index : line) {
                if (index >= colors) return nullptr;
            }
            const std::int64_t y = std::int64_t{frame.Top} + row;
            if (y >= screenH) continue;
            std::uint8_t* out = image->row(static_cast<std::int32_t>(y));
            for (std::int64_t x = 0; x < visibleW; ++x) {
                const GifPixelType index = line[static_cast<std::size_t>(x)];
                const std::int64_t sx = frame.Left + x;
                if (!withAlpha) {
                    out[sx] = index;
                } else if (index != transparent) {
                    const GifColorType& c = map->Colors[index];
                    std::uint8_t* p = out + 4 * sx;
                    p[0] = c.Blue;
                    p[1] = c.Green;
                    p[2] = c.Red;
                    p[3] = 255;
                }
            }
        }
    }
    return image;
}

}  // namespace

ImagePtr readGif(ByteSpan data) {
    if (data.size() < 13 || std::memcmp(data.data(), "GIF8", 4) != 0) return nullptr;
    MemorySource source{data.data(), data.size(), 0};
    int error = 0;
    GifPtr gif(DGifOpen(&source, readFromMemory, &error));
    if (!gif) return nullptr;
    // The logical screen is the image; its size is checked before any line.
    if (!imageSizeAllowed(gif->SWidth, gif->SHeight, 4)) return nullptr;

    int transparent = -1;
    // Every record consumes input, so this ends with the data.
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif.get(), &type) != GIF_OK) return nullptr;
        switch (type) {
            case EXTENSION_RECORD_TYPE: {
                int code = 0;
                GifByteType* block = nullptr;
                if (DGifGetExtension(gif.get(), &code, &block) != GIF_OK) return nullptr;
                if (code == GRAPHICS_EXT_FUNC_CODE) transparent = transparentIndexOf(block);
                if (!skipExtension(gif.get(), block)) return nullptr;
                break;
            }
            case IMAGE_DESC_RECORD_TYPE:
                if (DGifGetImageDesc(gif.get()) != GIF_OK) return nullptr;
                return decodeFrame(gif.get(), transparent);
            case TERMINATE_RECORD_TYPE:
            default:
                return nullptr;  // no frame at all
        }
    }
}

}  // namespace tilvane::codecs
