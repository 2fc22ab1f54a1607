// Autodesk Animator cels (and the pictures of the same form): a 32-byte header,
// a 256-colour palette of 6-bit values, then uncompressed 8-bit pixels, top row
// first. KiSS cels share the extension but not the form; they are refused (see
// readCel's note below).
#include <algorithm>

#include "image/codecs/byte_reader.h"
#include "image/codecs/codecs.h"
#include "image/codecs/image_builder.h"

namespace tilvane::codecs {

namespace {

constexpr std::uint16_t kMagic = 0x9119;
constexpr std::size_t kHeaderSize = 32;
constexpr std::size_t kPaletteSize = 768;

// 6-bit DAC levels to 8 bits; anything larger is out of range and saturates.
std::uint8_t widen(std::uint8_t v) {
    return static_cast<std::uint8_t>(std::min(v, std::uint8_t{63}) * 255 / 63);
}

}  // namespace

// KiSS cels ("KiSS" magic) keep their colours in a separate palette file that a
// single-file read cannot reach, so their indexed forms would load with wrong
// colours; they fail to load rather than load wrongly.
ImagePtr readCel(ByteSpan data) {
    ByteReader in(data);
    if (in.u16le() != kMagic) return nullptr;
    const std::int64_t width = in.u16le();
    const std::int64_t height = in.u16le();
    in.skip(4);  // position on screen
    const std::uint8_t depth = in.u8();
    const std::uint8_t compression = in.u8();
    in.u32le();  // size of the pixels, often wrong; the dimensions decide
    if (!in.ok() || depth != 8 || compression != 0) return nullptr;
    in.seek(kHeaderSize);
    const ByteSpan palette = in.bytes(kPaletteSize);
    const auto w = static_cast<std::size_t>(width);
    const ByteSpan pixels = in.bytes(w * static_cast<std::size_t>(height));
    if (!in.ok()) return nullptr;
    ImagePtr image = newImage(width, height, 8);
    if (!image) return nullptr;

    auto& table = image->colorTable();
    for (std::size_t i = 0; i < 256; ++i) {
        table[i] = PaletteEntry{widen(palette[3 * i + 2]), widen(palette[3 * i + 1]),
                                widen(palette[3 * i]), 0};
    }
    for (std::int32_t y = 0; y < image->height(); ++y) {
        std::copy_n(pixels.data() + w * static_cast<std::size_t>(y), w, image->row(y));
    }
    return image;
}

}  // namespace tilvane::codecs
