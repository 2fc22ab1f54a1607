// SGI image files (.rgb): verbatim or run-length coded, 1 to 4 channels, 8 or
// 16 bits per channel. Written verbatim with 4 channels of 8 bits.
#include <algorithm>
#include <vector>

#include "image/codecs/byte_reader.h"
#include "image/codecs/byte_writer.h"
#include "image/codecs/codecs.h"
#include "image/codecs/image_builder.h"

namespace tilvane::codecs {

namespace {

constexpr std::uint16_t kMagic = 474;
constexpr std::size_t kHeaderSize = 512;

// Unpacks one run-length coded scanline of 8- or 16-bit units into out (one
// byte per pixel, the high byte of 16-bit values). Runs are cut at the row's
// end. False when the data ends before the row is complete.
bool decodeRow(ByteSpan line, int bytesPerUnit, std::span<std::uint8_t> out) {
    ByteReader in(line);
    std::size_t filled = 0;
    auto unit = [&]() {
        const std::uint8_t high = in.u8();
        if (bytesPerUnit == 2) in.u8();
        return high;
    };
    while (filled < out.size()) {
        // The count is the low byte of a 16-bit unit, or the whole 8-bit unit.
        if (bytesPerUnit == 2) in.u8();
        const std::uint8_t code = in.u8();
        if (!in.ok()) return false;
        const std::size_t count = code & 0x7F;
        if (count == 0) return false;  // end of row before the row was full
        const std::size_t n = std::min(count, out.size() - filled);
        if (code & 0x80) {
            for (std::size_t i = 0; i < count; ++i) {
                const std::uint8_t v = unit();
                if (i < n) out[filled + i] = v;
            }
        } else {
            const std::uint8_t v = unit();
            std::fill_n(out.begin() + static_cast<std::ptrdiff_t>(filled), n, v);
        }
        if (!in.ok()) return false;
        filled += n;
    }
    return true;
}

}  // namespace

ImagePtr readSgi(ByteSpan data) {
    ByteReader in(data);
    if (in.u16be() != kMagic) return nullptr;
    const std::uint8_t storage = in.u8();
    const int bytesPerUnit = in.u8();
    const std::uint16_t dimension = in.u16be();
    const std::int64_t width = in.u16be();
    std::int64_t height = in.u16be();
    std::size_t channels = in.u16be();
    in.skip(12 + 80);  // pixel range, dummy, name
    const std::uint32_t colourMap = in.u32be();
    if (!in.ok() || storage > 1 || (bytesPerUnit != 1 && bytesPerUnit != 2) || dimension < 1 ||
        dimension > 3 || colourMap != 0) {
        return nullptr;
    }
    if (dimension == 1) height = 1;
    if (dimension < 3) channels = 1;
    if (channels == 0) return nullptr;
    // Channels past the fourth are not colour; they are ignored.
    const std::size_t used = std::min<std::size_t>(channels, 4);
    const int depth = used == 1 ? 8 : used == 3 ? 24 : 32;

    // Verbatim data must all be there; a run-length code of two bytes gives at
    // most 127 values.
    const std::size_t values = static_cast<std::size_t>(width * height) * used;
    if (width > kMaxImageSide || height > kMaxImageSide ||
        !mayHold(data.size(), values * static_cast<std::size_t>(bytesPerUnit),
                 storage == 0 ? 1 : 127)) {
        return nullptr;
    }
    // One plane of bytes per channel used sits beside the image while decoding.
    ImagePtr image = newImage(width, height, depth, used);
    if (!image) return nullptr;
    const auto w = static_cast<std::size_t>(width);
    const auto h = static_cast<std::size_t>(height);
    std::vector<std::uint8_t> planes(w * h * used, 0);

    if (storage == 0) {
        const std::size_t lineBytes = w * static_cast<std::size_t>(bytesPerUnit);
        for (std::size_t c = 0; c < used; ++c) {
            for (std::size_t y = 0; y < h; ++y) {
                ByteReader line(data);
                if (!line.seek(kHeaderSize + (c * h + y) * lineBytes)) return nullptr;
                const ByteSpan src = line.bytes(lineBytes);
                if (!line.ok()) return nullptr;
                std::uint8_t* out = planes.data() + (c * h + y) * w;
                for (std::size_t x = 0; x < w; ++x) out[x] = src[x * bytesPerUnit];
            }
        }
    } else {
        // Offset and length tables: one entry per scanline of every channel
        // in the file, checked against the file before use.
        const std::size_t lines = h * channels;
        ByteReader table(data, kHeaderSize);
        const ByteSpan starts = table.bytes(4 * lines);
        const ByteSpan lengths = table.bytes(4 * lines);
        if (!table.ok()) return nullptr;
        auto be32 = [](ByteSpan s, std::size_t i) {
            return static_cast<std::size_t>(s[4 * i]) << 24 | std::size_t{s[4 * i + 1]} << 16 |
                   std::size_t{s[4 * i + 2]} << 8 | std::size_t{s[4 * i + 3]};
        };
        for (std::size_t c = 0; c < used; ++c) {
            for (std::size_t y = 0; y < h; ++y) {
                const std::size_t i = c * h + y;
                const std::size_t start = be32(starts, i);
                const std::size_t length = be32(lengths, i);
                if (start > data.size() || length > data.size() - start) return nullptr;
                std::span<std::uint8_t> out(planes.data() + i * w, w);
                if (!decodeRow(data.subspan(start, length), bytesPerUnit, out)) return nullptr;
            }
        }
    }

    if (depth == 8) setGreyRamp(*image, 256);
    auto plane = [&](std::size_t c, std::size_t y) { return planes.data() + (c * h + y) * w; };
    for (std::size_t y = 0; y < h; ++y) {
        // Scanline 0 is the bottom, as in our storage.
        std::uint8_t* out = image->bits() + image->stride() * y;
        for (std::size_t x = 0; x < w; ++x) {
            const auto xi = static_cast<std::int32_t>(x);
            switch (used) {
                case 1:
                    out[x] = plane(0, y)[x];
                    break;
                case 2: {
                    const std::uint8_t g = plane(0, y)[x];
                    putBgra(out, xi, g, g, g, plane(1, y)[x]);
                    break;
                }
                case 3:
                    putBgr(out, xi, plane(0, y)[x], plane(1, y)[x], plane(2, y)[x]);
                    break;
                default:
                    putBgra(out, xi, plane(0, y)[x], plane(1, y)[x], plane(2, y)[x],
                            plane(3, y)[x]);
            }
        }
    }
    return image;
}

bool writeSgi(const PixelImage& image, std::FILE* out) {
    if (image.bitDepth() != 32 || image.width() <= 0 || image.height() <= 0 ||
        image.width() > 0xFFFF || image.height() > 0xFFFF) {
        return false;
    }
    ByteWriter w;
    w.u16be(kMagic);
    w.u8(0);  // verbatim
    w.u8(1);  // one byte per channel
    w.u16be(3);
    w.u16be(static_cast<std::uint32_t>(image.width()));
    w.u16be(static_cast<std::uint32_t>(image.height()));
    w.u16be(4);
    w.u32be(0);
    w.u32be(255);
    w.zeros(4 + 80);
    w.u32be(0);  // normal colour map
    w.zeros(kHeaderSize - w.bytes().size());
    if (!w.flushTo(out)) return false;

    // Planar: every scanline of red, then of green, blue and alpha, bottom-up.
    constexpr int kByteOfChannel[4] = {2, 1, 0, 3};  // our blue, green, red, alpha order
    const auto width = static_cast<std::size_t>(image.width());
    for (int c = 0; c < 4; ++c) {
        for (std::int32_t y = 0; y < image.height(); ++y) {
            const std::uint8_t* row = image.bits() + image.stride() * static_cast<std::size_t>(y);
            for (std::size_t x = 0; x < width; ++x) w.u8(row[4 * x + kByteOfChannel[c]]);
            if (!w.flushTo(out)) return false;
        }
    }
    return true;
}

}  // namespace tilvane::codecs
