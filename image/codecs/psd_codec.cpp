// Photoshop documents: the merged image only (layers are not composed again),
// raw or PackBits, bitmap, grey, indexed and RGB modes, 8 or 16 bits, with the
// first channel beyond the colour channels taken as alpha.
#include <algorithm>
#include <vector>

#include "image/codecs/byte_reader.h"
#include "image/codecs/codecs.h"
#include "image/codecs/image_builder.h"
#include "image/codecs/rle.h"

namespace tilvane::codecs {

namespace {

enum Mode : std::uint16_t { kBitmap = 0, kGrey = 1, kIndexed = 2, kRgb = 3, kDuotone = 8 };

constexpr std::size_t kMaxChannels = 56;

int colourChannels(std::uint16_t mode) {
    return mode == kRgb ? 3 : 1;
}

}  // namespace

ImagePtr readPsd(ByteSpan data) {
    ByteReader in(data);
    if (in.u32be() != 0x38425053 || in.u16be() != 1) return nullptr;  // "8BPS", not the large form
    in.skip(6);
    const std::size_t channels = in.u16be();
    const std::int64_t height = in.u32be();
    const std::int64_t width = in.u32be();
    const int depth = in.u16be();
    const std::uint16_t mode = in.u16be();
    if (!in.ok() || channels == 0 || channels > kMaxChannels) return nullptr;
    const bool modeOk =
        (mode == kBitmap && depth == 1) ||
        ((mode == kGrey || mode == kDuotone || mode == kRgb) && (depth == 8 || depth == 16)) ||
        (mode == kIndexed && depth == 8);
    if (!modeOk) return nullptr;
    const std::size_t colour = static_cast<std::size_t>(colourChannels(mode));
    if (channels < colour) return nullptr;
    const bool alpha = mode != kBitmap && channels > colour;
    const std::size_t used = colour + (alpha ? 1 : 0);

    // Colour mode data: the palette of an indexed image, planar red, green, blue.
    const std::uint32_t modeDataLength = in.u32be();
    const ByteSpan modeData = in.bytes(modeDataLength);
    if (mode == kIndexed && modeData.size() < 768) return nullptr;
    in.skip(in.u32be());  // image resources
    in.skip(in.u32be());  // layers and masks
    const std::uint16_t compression = in.u16be();
    if (!in.ok() || compression > 1) return nullptr;

    if (width > kMaxImageSide || height > kMaxImageSide) return nullptr;
    const std::size_t codedBytes =
        (static_cast<std::size_t>(width) * static_cast<std::size_t>(depth) + 7) / 8 *
        static_cast<std::size_t>(height) * used;
    // PackBits gives at most 128 bytes for two.
    if (!mayHold(in.remaining(), codedBytes, compression == 0 ? 1 : 64)) return nullptr;
    const int outDepth = alpha ? 32 : mode == kBitmap ? 1 : mode == kRgb ? 24 : 8;
    ImagePtr image =
        newImage(width, height, outDepth, used * static_cast<std::size_t>(depth / 8 + 1));
    if (!image) return nullptr;
    const auto w = static_cast<std::size_t>(width);
    const auto h = static_cast<std::size_t>(height);
    const std::size_t rowBytes = (w * static_cast<std::size_t>(depth) + 7) / 8;

    // Rows of the channels we use, as stored (16-bit values still two bytes).
    std::vector<std::uint8_t> planes(rowBytes * h * used, 0);
    if (compression == 0) {
        const ByteSpan raw = in.bytes(planes.size());
        if (!in.ok()) return nullptr;
        std::copy(raw.begin(), raw.end(), planes.begin());
    } else {
        // A 16-bit byte count per row of every channel in the file, then the rows.
        const ByteSpan counts = in.bytes(2 * h * channels);
        if (!in.ok()) return nullptr;
        std::size_t offset = in.position();
        for (std::size_t i = 0; i < h * used; ++i) {
            const std::size_t length = std::size_t{counts[2 * i]} << 8 | counts[2 * i + 1];
            if (offset > data.size() || length > data.size() - offset) return nullptr;
            ByteReader row(data.subspan(offset, length));
            if (!unpackBits(row, std::span(planes.data() + i * rowBytes, rowBytes))) return nullptr;
            offset += length;
        }
    }

    const std::size_t bytesPerSample = depth == 16 ? 2 : 1;
    // The high byte of a 16-bit big-endian sample comes first.
    auto sample = [&](std::size_t c, std::size_t y, std::size_t x) {
        return planes[(c * h + y) * rowBytes + x * bytesPerSample];
    };
    auto& table = image->colorTable();
    if (mode == kBitmap) {
        // Set bits are black ink on white paper.
        table[0] = PaletteEntry{255, 255, 255, 0};
        table[1] = PaletteEntry{0, 0, 0, 0};
    } else if (mode == kIndexed && !alpha) {
        for (std::size_t i = 0; i < 256; ++i) {
            table[i] = PaletteEntry{modeData[512 + i], modeData[256 + i], modeData[i], 0};
        }
    } else if (outDepth == 8) {
        setGreyRamp(*image, 256);
    }

    for (std::size_t y = 0; y < h; ++y) {
        std::uint8_t* out = image->row(static_cast<std::int32_t>(y));
        if (mode == kBitmap) {
            std::copy_n(planes.data() + y * rowBytes, rowBytes, out);
            continue;
        }
        for (std::size_t x = 0; x < w; ++x) {
            const auto xi = static_cast<std::int32_t>(x);
            std::uint8_t r = sample(0, y, x), g = r, b = r;
            if (mode == kRgb) {
                g = sample(1, y, x);
                b = sample(2, y, x);
            } else if (mode == kIndexed && alpha) {
                const std::size_t index = r;
                r = modeData[index];
                g = modeData[256 + index];
                b = modeData[512 + index];
            }
            if (alpha) {
                putBgra(out, xi, r, g, b, sample(colour, y, x));
            } else if (outDepth == 24) {
                putBgr(out, xi, r, g, b);
            } else {
                out[x] = r;  // grey level or palette index
            }
        }
    }
    return image;
}

}  // namespace tilvane::codecs
