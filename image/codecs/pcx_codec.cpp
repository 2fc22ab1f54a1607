// ZSoft PCX: 1-bit mono, 16 colours (packed or four planes, header palette),
// 256 colours (palette after the pixels) and 24-bit three-plane colour.
#include <algorithm>
#include <vector>

#include "image/codecs/byte_reader.h"
#include "image/codecs/codecs.h"
#include "image/codecs/image_builder.h"

namespace tilvane::codecs {

namespace {

constexpr std::size_t kHeaderSize = 128;
constexpr std::size_t kTrailingPalette = 769;  // marker 0x0C and 256 entries

// Unpacks the run-length coded scanlines into out. A run is cut at the end of
// the image; writers disagree on whether runs may cross scanlines, and
// decoding the stream as one lets both kinds of file load. False when the data
// ends first.
bool decodeRle(ByteReader& in, std::vector<std::uint8_t>& out) {
    std::size_t filled = 0;
    while (filled < out.size()) {
        if (in.atEnd()) return false;
        std::uint8_t value = in.u8();
        std::size_t count = 1;
        if ((value & 0xC0) == 0xC0) {
            count = value & 0x3F;
            if (in.atEnd()) return false;
            value = in.u8();
        }
        const std::size_t n = std::min(count, out.size() - filled);
        std::fill_n(out.begin() + static_cast<std::ptrdiff_t>(filled), n, value);
        filled += n;
    }
    return true;
}

}  // namespace

ImagePtr readPcx(ByteSpan data) {
    ByteReader in(data);
    const std::uint8_t maker = in.u8();
    in.u8();  // version
    const std::uint8_t encoding = in.u8();
    const int bits = in.u8();
    const std::int64_t xMin = in.u16le(), yMin = in.u16le();
    const std::int64_t xMax = in.u16le(), yMax = in.u16le();
    in.skip(4);  // resolution
    const ByteSpan headerPalette = in.bytes(48);
    in.u8();  // reserved
    const std::size_t planes = in.u8();
    const std::size_t bytesPerLine = in.u16le();
    if (!in.ok() || maker != 0x0A || encoding > 1 || xMax < xMin || yMax < yMin) return nullptr;
    const std::int64_t width = xMax - xMin + 1;
    const std::int64_t height = yMax - yMin + 1;

    int depth = 0;
    if (bits == 1 && planes == 1) {
        depth = 1;
    } else if ((bits == 1 && planes >= 2 && planes <= 4) || (bits == 4 && planes == 1)) {
        depth = 4;
    } else if (bits == 8 && planes == 1) {
        depth = 8;
    } else if (bits == 8 && (planes == 3 || planes == 4)) {
        depth = planes == 3 ? 24 : 32;
    } else {
        return nullptr;
    }
    if (bytesPerLine == 0 || bytesPerLine * 8 < static_cast<std::size_t>(width) * bits) {
        return nullptr;
    }
    const std::size_t lineBytes = bytesPerLine * planes;
    // The decoded scanlines sit beside the image; count them per pixel.
    const std::size_t extra =
        (lineBytes + static_cast<std::size_t>(width) - 1) / static_cast<std::size_t>(width);
    if (width > kMaxImageSide || height > kMaxImageSide ||
        !mayHold(data.size() - std::min(data.size(), kHeaderSize),
                 lineBytes * static_cast<std::size_t>(height), encoding == 1 ? 63 : 1)) {
        return nullptr;  // a run of two bytes gives at most 63
    }
    ImagePtr image = newImage(width, height, depth, extra);
    if (!image) return nullptr;

    std::vector<std::uint8_t> lines(lineBytes * static_cast<std::size_t>(height), 0);
    if (!in.seek(kHeaderSize)) return nullptr;
    if (encoding == 1) {
        if (!decodeRle(in, lines)) return nullptr;
    } else {
        const ByteSpan raw = in.bytes(lines.size());
        if (!in.ok()) return nullptr;
        std::copy(raw.begin(), raw.end(), lines.begin());
    }

    auto& table = image->colorTable();
    if (depth == 1) {
        table[1] = PaletteEntry{255, 255, 255, 0};
    } else if (depth == 4) {
        for (std::size_t i = 0; i < 16; ++i) {
            table[i] = PaletteEntry{headerPalette[3 * i + 2], headerPalette[3 * i + 1],
                                    headerPalette[3 * i], 0};
        }
    } else if (depth == 8) {
        const std::size_t start =
            data.size() >= kTrailingPalette ? data.size() - kTrailingPalette : 0;
        if (data.size() >= kHeaderSize + kTrailingPalette && data[start] == 0x0C) {
            for (std::size_t i = 0; i < 256; ++i) {
                const std::uint8_t* p = data.data() + start + 1 + 3 * i;
                table[i] = PaletteEntry{p[2], p[1], p[0], 0};
            }
        } else {
            setGreyRamp(*image, 256);  // files without the palette are grey
        }
    }

    const auto w = static_cast<std::int32_t>(width);
    for (std::int32_t y = 0; y < image->height(); ++y) {
        const std::uint8_t* line = lines.data() + lineBytes * static_cast<std::size_t>(y);
        std::uint8_t* out = image->row(y);
        if (depth == 1 || (depth == 4 && bits == 4) || depth == 8) {
            std::copy_n(line, std::min(bytesPerLine, image->stride()), out);
            continue;
        }
        for (std::int32_t x = 0; x < w; ++x) {
            if (depth == 4) {
                std::uint8_t index = 0;
                for (std::size_t p = 0; p < planes; ++p) {
                    const std::uint8_t byte =
                        line[p * bytesPerLine + static_cast<std::size_t>(x) / 8];
                    if (byte & (0x80 >> (x % 8))) index |= static_cast<std::uint8_t>(1u << p);
                }
                putIndex4(out, x, index);
            } else {
                const std::uint8_t r = line[x], g = line[bytesPerLine + x],
                                   b = line[2 * bytesPerLine + x];
                if (depth == 24) {
                    putBgr(out, x, r, g, b);
                } else {
                    putBgra(out, x, r, g, b, line[3 * bytesPerLine + x]);
                }
            }
        }
    }
    return image;
}

}  // namespace tilvane::codecs
