// Amiga IFF ILBM: 1 to 8 bitplanes with a colour map (also extra half-brite
// and hold-and-modify), 24 and 32 planes of true colour, plain or ByteRun1,
// with a mask plane or a transparent colour giving alpha.
#include <algorithm>
#include <array>
#include <vector>

#include "image/codecs/byte_reader.h"
#include "image/codecs/codecs.h"
#include "image/codecs/image_builder.h"
#include "image/codecs/rle.h"

namespace tilvane::codecs {

namespace {

constexpr std::uint32_t chunkId(const char (&s)[5]) {
    return static_cast<std::uint32_t>(s[0]) << 24 | static_cast<std::uint32_t>(s[1]) << 16 |
           static_cast<std::uint32_t>(s[2]) << 8 | static_cast<std::uint32_t>(s[3]);
}

constexpr std::uint8_t kHasMask = 1;
constexpr std::uint8_t kHasTransparentColour = 2;
constexpr std::uint32_t kExtraHalfBrite = 0x80;
constexpr std::uint32_t kHoldAndModify = 0x800;

struct Bmhd {
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::size_t planes = 0;
    std::uint8_t masking = 0;
    std::uint8_t compression = 0;
    std::uint16_t transparent = 0;
};

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
};

}  // namespace

ImagePtr readIff(ByteSpan data) {
    ByteReader in(data);
    if (in.u32be() != chunkId("FORM")) return nullptr;
    const std::size_t formSize = in.u32be();
    if (in.u32be() != chunkId("ILBM") || !in.ok()) return nullptr;
    // A FORM that claims more than the file holds is read as far as it goes.
    const std::size_t end = std::min(data.size(), 8 + formSize);

    bool haveHeader = false;
    Bmhd bmhd;
    std::vector<Rgb> cmap;
    std::uint32_t viewModes = 0;
    ByteSpan body;
    while (in.position() + 8 <= end) {
        const std::uint32_t id = in.u32be();
        const std::size_t size = in.u32be();
        if (size > end - in.position()) return nullptr;
        ByteReader chunk(in.bytes(size));
        in.skip(
            std::min<std::size_t>(size % 2, in.remaining()));  // chunks are padded to even sizes
        if (id == chunkId("BMHD")) {
            bmhd.width = chunk.u16be();
            bmhd.height = chunk.u16be();
            chunk.skip(4);  // position
            bmhd.planes = chunk.u8();
            bmhd.masking = chunk.u8();
            bmhd.compression = chunk.u8();
            chunk.u8();
            bmhd.transparent = chunk.u16be();
            haveHeader = chunk.ok();
        } else if (id == chunkId("CMAP")) {
            for (std::size_t i = 0; i < 256 && chunk.remaining() >= 3; ++i) {
                Rgb c;
                c.r = chunk.u8();
                c.g = chunk.u8();
                c.b = chunk.u8();
                cmap.push_back(c);
            }
        } else if (id == chunkId("CAMG")) {
            viewModes = chunk.u32be();
        } else if (id == chunkId("BODY")) {
            body = chunk.rest();
            break;
        }
    }
    if (!haveHeader || body.empty() || bmhd.compression > 1) return nullptr;
    const std::size_t planes = bmhd.planes;
    const bool trueColour = planes == 24 || planes == 32;
    if (!trueColour && (planes < 1 || planes > 8)) return nullptr;
    const bool ham = !trueColour && (viewModes & kHoldAndModify) && (planes == 6 || planes == 8);
    const bool halfBrite = !trueColour && !ham && (viewModes & kExtraHalfBrite) && planes == 6;
    const bool mask = bmhd.masking == kHasMask;
    const bool keyed = bmhd.masking == kHasTransparentColour && !trueColour && !ham;
    const bool alpha = mask || keyed || planes == 32;
    const int depth = alpha ? 32 : (trueColour || ham) ? 24 : 8;

    const std::size_t stored = planes + (mask ? 1 : 0);
    const auto w = static_cast<std::size_t>(bmhd.width);
    const std::size_t planeBytes = (w + 15) / 16 * 2;
    if (bmhd.width > kMaxImageSide || bmhd.height > kMaxImageSide ||
        !mayHold(body.size(), planeBytes * stored * static_cast<std::size_t>(bmhd.height),
                 bmhd.compression == 1 ? 64 : 1)) {
        return nullptr;  // ByteRun1 gives at most 128 bytes for two
    }
    // One decoded row of every plane is all that is kept beside the image.
    ImagePtr image = newImage(bmhd.width, bmhd.height, depth);
    if (!image) return nullptr;
    std::vector<std::uint8_t> row(planeBytes * stored, 0);

    // The palette: up to 256 colours, half-bright copies, or a grey ramp when
    // the file has no map. Indices beyond it read as black.
    std::array<Rgb, 256> palette{};
    if (cmap.empty()) {
        const std::size_t levels = std::size_t{1} << std::min<std::size_t>(planes, 8);
        for (std::size_t i = 0; i < levels; ++i) {
            const auto v = static_cast<std::uint8_t>(levels > 1 ? i * 255 / (levels - 1) : 0);
            palette[i] = Rgb{v, v, v};
        }
    } else {
        std::copy(cmap.begin(), cmap.end(), palette.begin());
    }
    if (halfBrite) {
        for (std::size_t i = 0; i < 32; ++i) {
            palette[32 + i] = Rgb{static_cast<std::uint8_t>(palette[i].r / 2),
                                  static_cast<std::uint8_t>(palette[i].g / 2),
                                  static_cast<std::uint8_t>(palette[i].b / 2)};
        }
    }
    if (depth == 8) {
        auto& table = image->colorTable();
        for (std::size_t i = 0; i < 256; ++i) {
            table[i] = PaletteEntry{palette[i].b, palette[i].g, palette[i].r, 0};
        }
    }

    ByteReader source(body);
    auto bitOf = [&](std::size_t plane, std::size_t x) {
        return (row[plane * planeBytes + x / 8] >> (7 - x % 8)) & 1u;
    };
    for (std::int32_t y = 0; y < image->height(); ++y) {
        if (bmhd.compression == 1) {
            if (!unpackBits(source, row)) return nullptr;
        } else {
            const ByteSpan raw = source.bytes(row.size());
            if (!source.ok()) return nullptr;
            std::copy(raw.begin(), raw.end(), row.begin());
        }
        std::uint8_t* out = image->row(y);
        Rgb held = palette[0];  // hold-and-modify starts each row from colour 0
        for (std::size_t x = 0; x < w; ++x) {
            const auto xi = static_cast<std::int32_t>(x);
            std::uint32_t value = 0;
            for (std::size_t p = 0; p < planes; ++p) value |= bitOf(p, x) << p;
            const std::uint8_t a = mask ? (bitOf(planes, x) ? 255 : 0) : 255;
            Rgb c;
            if (trueColour) {
                c = Rgb{static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                        static_cast<std::uint8_t>(value >> 16)};
                const std::uint8_t planeAlpha =
                    planes == 32 ? static_cast<std::uint8_t>(value >> 24) : std::uint8_t{255};
                if (alpha) {
                    putBgra(out, xi, c.r, c.g, c.b, mask ? a : planeAlpha);
                } else {
                    putBgr(out, xi, c.r, c.g, c.b);
                }
                continue;
            }
            if (ham) {
                const std::size_t valueBits = planes - 2;
                const std::uint32_t control = value >> valueBits;
                const std::uint32_t v = value & ((1u << valueBits) - 1);
                // Widen the 4- or 6-bit value to 8 bits by repeating its top bits.
                const auto wide =
                    static_cast<std::uint8_t>(valueBits == 4 ? v * 17 : (v << 2 | v >> 4));
                switch (control) {
                    case 0:
                        held = palette[v];
                        break;
                    case 1:
                        held.b = wide;
                        break;
                    case 2:
                        held.r = wide;
                        break;
                    default:
                        held.g = wide;
                        break;
                }
                c = held;
            } else {
                c = palette[value];
            }
            if (depth == 8) {
                out[x] = static_cast<std::uint8_t>(value);
            } else if (depth == 24) {
                putBgr(out, xi, c.r, c.g, c.b);
            } else {
                const bool clear = keyed && value == bmhd.transparent;
                putBgra(out, xi, c.r, c.g, c.b, clear ? 0 : a);
            }
        }
    }
    return image;
}

}  // namespace tilvane::codecs
