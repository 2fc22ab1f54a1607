// Windows and OS/2 bitmaps: 1, 4, 8, 16, 24 and 32 bits, RLE4 and RLE8, bit
// fields, either row order. Written as 32 bits with an alpha mask.
#include <algorithm>
#include <bit>
#include <cstring>

#include "image/codecs/byte_reader.h"
#include "image/codecs/byte_writer.h"
#include "image/codecs/codecs.h"
#include "image/codecs/image_builder.h"

namespace tilvane::codecs {

namespace {

constexpr std::uint32_t kRgb = 0;
constexpr std::uint32_t kRle8 = 1;
constexpr std::uint32_t kRle4 = 2;
constexpr std::uint32_t kBitFields = 3;
constexpr std::uint32_t kAlphaBitFields = 6;

constexpr std::uint32_t kCoreHeaderSize = 12;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint32_t kOs2V2HeaderSize = 64;
constexpr std::uint32_t kV4HeaderSize = 108;

struct BmpHeader {
    std::uint32_t pixelOffset = 0;
    std::uint32_t headerSize = 0;
    std::int64_t width = 0;
    std::int64_t height = 0;  // positive; topDown tells the row order
    bool topDown = false;
    int bitCount = 0;
    std::uint32_t compression = kRgb;
    std::uint32_t colorsUsed = 0;
    std::uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha
    std::size_t paletteOffset = 0;
    std::size_t paletteEntrySize = 4;
};

bool parseHeader(ByteReader& in, BmpHeader& h) {
    if (in.u8() != 'B' || in.u8() != 'M') return false;
    in.skip(8);  // file size and reserved words, which writers often get wrong
    h.pixelOffset = in.u32le();
    h.headerSize = in.u32le();
    if (!in.ok()) return false;
    if (h.headerSize == kCoreHeaderSize) {
        h.width = in.u16le();
        h.height = in.u16le();
        in.u16le();  // planes
        h.bitCount = in.u16le();
        h.paletteEntrySize = 3;
    } else if (h.headerSize >= kInfoHeaderSize && h.headerSize <= 4096) {
        h.width = in.i32le();
        const std::int32_t height = in.i32le();
        in.u16le();  // planes
        h.bitCount = in.u16le();
        h.compression = in.u32le();
        in.skip(12);  // image size and resolution
        h.colorsUsed = in.u32le();
        in.u32le();  // colours important
        h.topDown = height < 0;
        h.height = height < 0 ? -static_cast<std::int64_t>(height) : height;
        if (h.headerSize > kInfoHeaderSize) {
            // Version 2 and later headers carry the masks inside the header.
            const std::size_t count =
                std::min<std::size_t>(4, (h.headerSize - kInfoHeaderSize) / 4);
            for (std::size_t i = 0; i < count; ++i) h.masks[i] = in.u32le();
            // The OS/2 2.x header is 64 bytes and means Huffman coding by 3.
            if (h.headerSize == kOs2V2HeaderSize && h.compression != kRgb &&
                h.compression != kRle8 && h.compression != kRle4) {
                return false;
            }
        } else if (h.compression == kBitFields || h.compression == kAlphaBitFields) {
            // A plain info header is followed by three (or four) masks.
            const std::size_t count = h.compression == kAlphaBitFields ? 4 : 3;
            for (std::size_t i = 0; i < count; ++i) h.masks[i] = in.u32le();
            h.paletteOffset = 14 + kInfoHeaderSize + 4 * count;
        }
    } else {
        return false;
    }
    if (h.paletteOffset == 0) h.paletteOffset = 14 + static_cast<std::size_t>(h.headerSize);
    return in.ok() && h.width > 0 && h.height > 0;
}

bool validCombination(const BmpHeader& h) {
    switch (h.compression) {
        case kRgb:
            return h.bitCount == 1 || h.bitCount == 4 || h.bitCount == 8 || h.bitCount == 16 ||
                   h.bitCount == 24 || h.bitCount == 32;
        case kRle8:
            return h.bitCount == 8 && !h.topDown;
        case kRle4:
            return h.bitCount == 4 && !h.topDown;
        case kBitFields:
        case kAlphaBitFields:
            return h.bitCount == 16 || h.bitCount == 32;
        default:
            return false;
    }
}

// Copies the file's colour table; entries the file does not hold stay black, so
// an index beyond the palette reads as the zero entry.
void readPalette(ByteSpan data, const BmpHeader& h, PixelImage& image) {
    auto& table = image.colorTable();
    std::size_t count = h.colorsUsed != 0 ? h.colorsUsed : table.size();
    count = std::min(count, table.size());
    ByteReader in(data, std::min<std::size_t>(h.paletteOffset, data.size()));
    for (std::size_t i = 0; i < count && in.remaining() >= h.paletteEntrySize; ++i) {
        PaletteEntry& e = table[i];
        e.blue = in.u8();
        e.green = in.u8();
        e.red = in.u8();
        if (h.paletteEntrySize == 4) in.u8();  // reserved; never alpha
        e.reserved = 0;
    }
}

// One channel of a bit-field pixel, scaled to 8 bits.
struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    int bits = 0;

    explicit Channel(std::uint32_t m) : mask(m) {
        if (m == 0) return;
        shift = std::countr_zero(m);
        bits = std::bit_width(m >> shift);
    }
    std::uint8_t scale(std::uint32_t pixel, std::uint8_t absent) const {
        if (bits == 0) return absent;
        const std::uint32_t v = (pixel & mask) >> shift;
        if (bits >= 8) return static_cast<std::uint8_t>(v >> (bits - 8));
        return static_cast<std::uint8_t>(v * 255 / ((std::uint32_t{1} << bits) - 1));
    }
};

// Decodes RLE8 or RLE4 straight into the image: the stream runs bottom-up like
// our storage. Runs and absolute blocks are cut at the row's end; pixels the
// stream skips keep index 0. False when the stream ends without its
// end-of-bitmap mark.
bool decodeRle(ByteReader& in, bool four, PixelImage& image) {
    const std::int64_t width = image.width();
    const std::int64_t height = image.height();
    std::int64_t x = 0, y = 0;
    auto put = [&](std::uint8_t index) {
        if (x < width && y < height) {
            std::uint8_t* row = image.bits() + image.stride() * static_cast<std::size_t>(y);
            if (four) {
                putIndex4(row, static_cast<std::int32_t>(x), index);
            } else {
                putIndex8(row, static_cast<std::int32_t>(x), index);
            }
        }
        ++x;
    };
    while (in.remaining() >= 2) {
        const std::uint8_t count = in.u8();
        const std::uint8_t value = in.u8();
        if (count > 0) {
            const std::int64_t n =
                std::min<std::int64_t>(count, std::max<std::int64_t>(width - x, 0));
            for (std::int64_t i = 0; i < n; ++i) {
                put(four ? static_cast<std::uint8_t>(i % 2 == 0 ? value >> 4 : value & 0x0F)
                         : value);
            }
            continue;
        }
        switch (value) {
            case 0:  // end of line
                x = 0;
                ++y;
                break;
            case 1:
                return true;  // end of bitmap
            case 2: {         // delta
                if (in.remaining() < 2) return false;
                x += in.u8();
                y += in.u8();
                break;
            }
            default: {  // absolute block, padded to a 16-bit boundary
                const std::size_t n = value;
                const std::size_t bytes = four ? (n + 1) / 2 : n;
                const ByteSpan block = in.bytes(bytes);
                if (!in.ok()) return false;
                for (std::size_t i = 0; i < n && x < width; ++i) {
                    const std::uint8_t b = block[four ? i / 2 : i];
                    put(four ? static_cast<std::uint8_t>(i % 2 == 0 ? b >> 4 : b & 0x0F) : b);
                }
                if (bytes % 2 == 1) in.skip(std::min<std::size_t>(1, in.remaining()));
                break;
            }
        }
        if (y > height) return true;  // deltas past the top end the picture
    }
    return false;
}

ImagePtr readRle(ByteSpan data, const BmpHeader& h) {
    ImagePtr image = newImage(h.width, h.height, h.bitCount);
    if (!image) return nullptr;
    readPalette(data, h, *image);
    ByteReader in(data);
    if (!in.seek(h.pixelOffset) || !decodeRle(in, h.compression == kRle4, *image)) {
        return nullptr;
    }
    return image;
}

ImagePtr readBitFields(ByteSpan data, const BmpHeader& h, std::size_t sourceStride) {
    const Channel red(h.masks[0]), green(h.masks[1]), blue(h.masks[2]), alpha(h.masks[3]);
    const bool hasAlpha = alpha.bits != 0;
    ImagePtr image = newImage(h.width, h.height, hasAlpha ? 32 : 24);
    if (!image) return nullptr;
    const std::size_t bytesPerPixel = static_cast<std::size_t>(h.bitCount / 8);
    const auto w = static_cast<std::int32_t>(h.width);
    for (std::int32_t r = 0; r < image->height(); ++r) {
        const std::uint8_t* src = data.data() + h.pixelOffset + sourceStride * r;
        std::uint8_t* out = image->row(h.topDown ? r : image->height() - 1 - r);
        for (std::int32_t x = 0; x < w; ++x) {
            const std::uint8_t* p = src + bytesPerPixel * static_cast<std::size_t>(x);
            std::uint32_t v = p[0] | static_cast<std::uint32_t>(p[1]) << 8;
            if (bytesPerPixel == 4) {
                v |= static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3])
                                                                  << 24;
            }
            if (hasAlpha) {
                putBgra(out, x, red.scale(v, 0), green.scale(v, 0), blue.scale(v, 0),
                        alpha.scale(v, 255));
            } else {
                putBgr(out, x, red.scale(v, 0), green.scale(v, 0), blue.scale(v, 0));
            }
        }
    }
    return image;
}

bool isRgb555(const BmpHeader& h) {
    return h.masks[0] == 0x7C00 && h.masks[1] == 0x03E0 && h.masks[2] == 0x001F && h.masks[3] == 0;
}

}  // namespace

ImagePtr readBmp(ByteSpan data) {
    ByteReader in(data);
    BmpHeader h;
    if (!parseHeader(in, h) || !validCombination(h)) return nullptr;
    if (h.width > kMaxImageSide || h.height > kMaxImageSide) return nullptr;
    if (h.compression == kRle8 || h.compression == kRle4) return readRle(data, h);

    // 64-bit arithmetic cannot overflow for sides within the limits.
    const std::size_t stride = static_cast<std::size_t>((h.width * h.bitCount + 31) / 32 * 4);
    const std::size_t lastRow = static_cast<std::size_t>((h.width * h.bitCount + 7) / 8);
    const std::size_t needed = stride * static_cast<std::size_t>(h.height - 1) + lastRow;
    if (h.pixelOffset > data.size() || data.size() - h.pixelOffset < needed) return nullptr;

    const bool fields = h.compression == kBitFields || h.compression == kAlphaBitFields;
    if (fields && !(h.bitCount == 16 && isRgb555(h))) return readBitFields(data, h, stride);

    ImagePtr image = newImage(h.width, h.height, h.bitCount);
    if (!image) return nullptr;
    if (h.bitCount <= 8) readPalette(data, h, *image);
    // Same depth, same padding: rows copy across unchanged.
    const std::size_t copy = std::min(lastRow, image->stride());
    for (std::int32_t r = 0; r < image->height(); ++r) {
        const std::uint8_t* src = data.data() + h.pixelOffset + stride * r;
        std::uint8_t* out = image->row(h.topDown ? r : image->height() - 1 - r);
        std::memcpy(out, src, copy);
    }
    return image;
}

bool writeBmp(const PixelImage& image, std::FILE* out) {
    if (image.bitDepth() != 32 || image.width() <= 0 || image.height() <= 0) return false;
    const std::size_t rowBytes = 4 * static_cast<std::size_t>(image.width());
    std::size_t pixelBytes = 0;
    constexpr std::size_t kHeaders = 14 + kV4HeaderSize;
    if (!checkedMultiply(rowBytes, static_cast<std::size_t>(image.height()), &pixelBytes) ||
        pixelBytes > 0xFFFFFFFFu - kHeaders) {
        return false;
    }
    ByteWriter w;
    w.text("BM");
    w.u32le(static_cast<std::uint32_t>(kHeaders + pixelBytes));
    w.u32le(0);
    w.u32le(kHeaders);
    // A version 4 header with bit fields names the alpha byte explicitly, which
    // is what makes common readers keep the alpha of a 32-bit bitmap.
    w.u32le(kV4HeaderSize);
    w.u32le(static_cast<std::uint32_t>(image.width()));
    w.u32le(static_cast<std::uint32_t>(image.height()));  // bottom-up, like our storage
    w.u16le(1);
    w.u16le(32);
    w.u32le(kBitFields);
    w.u32le(static_cast<std::uint32_t>(pixelBytes));
    w.u32le(2835);  // 72 dpi
    w.u32le(2835);
    w.u32le(0);
    w.u32le(0);
    w.u32le(0x00FF0000);
    w.u32le(0x0000FF00);
    w.u32le(0x000000FF);
    w.u32le(0xFF000000);
    w.u32le(0x73524742);  // 'sRGB'
    w.zeros(36 + 12);     // end points and gamma, unused with sRGB
    if (!w.flushTo(out)) return false;
    for (std::int32_t r = 0; r < image.height(); ++r) {
        const std::uint8_t* row = image.bits() + image.stride() * static_cast<std::size_t>(r);
        if (std::fwrite(row, 1, rowBytes, out) != rowBytes) return false;
    }
    return true;
}

}  // namespace tilvane::codecs
