// Truevision Targa: colour-mapped, true colour and grey, plain or run-length
// coded, any origin. Written as uncompressed 32 bits with 8 alpha bits.
#include <algorithm>
#include <cstring>
#include <vector>

#include "image/codecs/byte_reader.h"
#include "image/codecs/byte_writer.h"
#include "image/codecs/codecs.h"
#include "image/codecs/image_builder.h"

namespace tilvane::codecs {

namespace {

enum class Kind { kMapped, kTrueColour, kGrey };

struct TgaHeader {
    std::uint8_t idLength = 0;
    std::uint8_t mapType = 0;
    std::uint8_t imageType = 0;
    std::uint16_t mapFirst = 0;
    std::uint16_t mapLength = 0;
    std::uint8_t mapEntryBits = 0;
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::uint8_t pixelBits = 0;
    std::uint8_t descriptor = 0;

    Kind kind() const {
        switch (imageType & 7) {
            case 1:
                return Kind::kMapped;
            case 2:
                return Kind::kTrueColour;
            default:
                return Kind::kGrey;
        }
    }
    bool rle() const { return (imageType & 8) != 0; }
    bool topDown() const { return (descriptor & 0x20) != 0; }
    bool rightToLeft() const { return (descriptor & 0x10) != 0; }
};

bool supported(const TgaHeader& h) {
    const int base = h.imageType & ~8;
    if (h.imageType > 11 || base < 1 || base > 3 || h.mapType > 1) return false;
    switch (h.kind()) {
        case Kind::kMapped:
            return h.mapType == 1 && h.pixelBits == 8 &&
                   (h.mapEntryBits == 15 || h.mapEntryBits == 16 || h.mapEntryBits == 24 ||
                    h.mapEntryBits == 32);
        case Kind::kTrueColour:
            return h.pixelBits == 15 || h.pixelBits == 16 || h.pixelBits == 24 || h.pixelBits == 32;
        case Kind::kGrey:
            return h.pixelBits == 8;
    }
    return false;
}

// A colour of 15/16, 24 or 32 bits as blue, green, red, alpha.
PaletteEntry readColour(const std::uint8_t* p, int bits) {
    if (bits <= 16) {
        const unsigned w = p[0] | p[1] << 8;
        auto five = [](unsigned c) { return static_cast<std::uint8_t>((c & 31) * 255 / 31); };
        return {five(w), five(w >> 5), five(w >> 10), 255};
    }
    return {p[0], p[1], p[2], bits == 32 ? p[3] : std::uint8_t{255}};
}

// Unpacks the pixel stream into out (file order). Packets may run across
// rows, as common writers emit them; every packet is cut at the image's end.
bool decodeRle(ByteReader& in, std::size_t pixelBytes, std::vector<std::uint8_t>& out) {
    std::size_t filled = 0;
    while (filled < out.size()) {
        if (in.atEnd()) return false;
        const std::uint8_t header = in.u8();
        const std::size_t count = static_cast<std::size_t>(header & 0x7F) + 1;
        const std::size_t room = (out.size() - filled) / pixelBytes;
        const std::size_t n = std::min(count, room);
        if (header & 0x80) {
            const ByteSpan pixel = in.bytes(pixelBytes);
            if (!in.ok()) return false;
            for (std::size_t i = 0; i < n; ++i) {
                std::copy(pixel.begin(), pixel.end(),
                          out.begin() + static_cast<std::ptrdiff_t>(filled));
                filled += pixelBytes;
            }
        } else {
            const ByteSpan pixels = in.bytes(count * pixelBytes);
            if (!in.ok()) return false;
            std::copy_n(pixels.begin(), n * pixelBytes,
                        out.begin() + static_cast<std::ptrdiff_t>(filled));
            filled += n * pixelBytes;
        }
        if (room == 0) break;
    }
    return filled == out.size();
}

}  // namespace

ImagePtr readTga(ByteSpan data) {
    ByteReader in(data);
    TgaHeader h;
    h.idLength = in.u8();
    h.mapType = in.u8();
    h.imageType = in.u8();
    h.mapFirst = in.u16le();
    h.mapLength = in.u16le();
    h.mapEntryBits = in.u8();
    in.skip(4);  // origin on screen
    h.width = in.u16le();
    h.height = in.u16le();
    h.pixelBits = in.u8();
    h.descriptor = in.u8();
    if (!in.ok() || !supported(h) || h.width == 0 || h.height == 0) return nullptr;
    in.skip(h.idLength);

    // The colour map, present whenever the map type says so, even for images
    // that do not use it.
    std::vector<PaletteEntry> map;
    if (h.mapType == 1) {
        const std::size_t entryBytes = (h.mapEntryBits + 7u) / 8u;
        if (entryBytes < 2 || entryBytes > 4) return nullptr;
        const ByteSpan raw = in.bytes(entryBytes * h.mapLength);
        if (!in.ok()) return nullptr;
        map.reserve(h.mapLength);
        for (std::size_t i = 0; i < h.mapLength; ++i) {
            map.push_back(readColour(raw.data() + i * entryBytes, h.mapEntryBits));
        }
    }

    const std::size_t pixelBytes = (h.pixelBits + 7u) / 8u;
    // A mapped image whose map has alpha becomes 32 bits; the rest keep their depth.
    const bool mappedAlpha = h.kind() == Kind::kMapped && h.mapEntryBits == 32;
    const int depth = h.kind() == Kind::kTrueColour ? (h.pixelBits == 15 ? 16 : h.pixelBits)
                      : mappedAlpha                 ? 32
                                                    : 8;
    // A run packet of 1 + pixelBytes bytes gives at most 128 pixels.
    const std::size_t pixelCount = static_cast<std::size_t>(h.width * h.height);
    if (!mayHold(in.remaining(), pixelCount * pixelBytes,
                 h.rle() ? 128 * pixelBytes / (1 + pixelBytes) : 1)) {
        return nullptr;
    }
    ImagePtr image = newImage(h.width, h.height, depth, pixelBytes);
    if (!image) return nullptr;

    const std::size_t rowBytes = pixelBytes * static_cast<std::size_t>(h.width);
    std::vector<std::uint8_t> pixels(rowBytes * static_cast<std::size_t>(h.height), 0);
    if (h.rle()) {
        if (!decodeRle(in, pixelBytes, pixels)) return nullptr;
    } else {
        const ByteSpan raw = in.bytes(pixels.size());
        if (!in.ok()) return nullptr;
        std::copy(raw.begin(), raw.end(), pixels.begin());
    }

    if (h.kind() == Kind::kGrey) setGreyRamp(*image, 256);
    if (h.kind() == Kind::kMapped && !mappedAlpha) {
        // Indices outside the map read as the zero (black) entry.
        auto& table = image->colorTable();
        for (std::size_t i = 0; i < table.size(); ++i) {
            if (i >= h.mapFirst && i - h.mapFirst < map.size()) {
                table[i] = map[i - h.mapFirst];
                table[i].reserved = 0;
            }
        }
    }

    const auto w = static_cast<std::int32_t>(h.width);
    for (std::int32_t r = 0; r < image->height(); ++r) {
        const std::uint8_t* src = pixels.data() + rowBytes * static_cast<std::size_t>(r);
        std::uint8_t* out = image->row(h.topDown() ? r : image->height() - 1 - r);
        for (std::int32_t x = 0; x < w; ++x) {
            const std::int32_t dx = h.rightToLeft() ? w - 1 - x : x;
            const std::uint8_t* p = src + pixelBytes * static_cast<std::size_t>(x);
            if (mappedAlpha) {
                const std::size_t index = p[0];
                PaletteEntry c{};
                if (index >= h.mapFirst && index - h.mapFirst < map.size()) {
                    c = map[index - h.mapFirst];
                }
                putBgra(out, dx, c.red, c.green, c.blue, c.reserved);
            } else {
                // Same layout as the bitmap: 5-5-5 words, blue-green-red(-alpha) bytes.
                std::memcpy(out + pixelBytes * static_cast<std::size_t>(dx), p, pixelBytes);
            }
        }
    }
    return image;
}

bool writeTga(const PixelImage& image, std::FILE* out) {
    if (image.bitDepth() != 32 || image.width() <= 0 || image.height() <= 0 ||
        image.width() > 0xFFFF || image.height() > 0xFFFF) {
        return false;
    }
    ByteWriter w;
    w.u8(0);  // no image ID
    w.u8(0);  // no colour map
    w.u8(2);  // uncompressed true colour
    w.zeros(5);
    w.u16le(0);
    w.u16le(0);
    w.u16le(static_cast<std::uint32_t>(image.width()));
    w.u16le(static_cast<std::uint32_t>(image.height()));
    w.u8(32);
    // Eight alpha bits, origin bottom-left: our storage order, and the one
    // every reader handles (some ignore the origin bit altogether).
    w.u8(8);
    if (!w.flushTo(out)) return false;
    const std::size_t rowBytes = 4 * static_cast<std::size_t>(image.width());
    for (std::int32_t r = 0; r < image.height(); ++r) {
        const std::uint8_t* row = image.bits() + image.stride() * static_cast<std::size_t>(r);
        if (std::fwrite(row, 1, rowBytes, out) != rowBytes) return false;
    }
    // Version 2 footer without extension or developer areas.
    w.u32le(0);
    w.u32le(0);
    w.text("TRUEVISION-XFILE.");
    w.u8(0);
    return w.flushTo(out);
}

}  // namespace tilvane::codecs
