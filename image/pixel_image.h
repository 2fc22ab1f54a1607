#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "image/zeroed_buffer.h"

namespace tilvane {

// One entry of a colour table, in the byte order the bitmap format stores it.
struct PaletteEntry {
    std::uint8_t blue = 0;
    std::uint8_t green = 0;
    std::uint8_t red = 0;
    std::uint8_t reserved = 0;
};

// An owned device-independent bitmap: rows stored bottom-up (storage row 0 is the
// picture's bottom row), each row padded to a multiple of 4 bytes. Depths 1, 4, 8,
// 16, 24 and 32; depths up to 8 carry a colour table of 2^depth entries.
// 32-bit pixels are stored as blue, green, red, alpha.
class PixelImage {
public:
    // Creates a zero-filled image. Null when a side is not positive, the depth is
    // not one of the six, or the storage would exceed 2^31 - 1 bytes or cannot be
    // allocated. Never throws.
    static std::unique_ptr<PixelImage> create(std::int32_t width, std::int32_t height,
                                              int bitDepth);

    std::int32_t width() const { return width_; }
    std::int32_t height() const { return height_; }
    int bitDepth() const { return bitDepth_; }
    // Bytes per stored row, a multiple of 4.
    std::size_t stride() const { return stride_; }

    std::uint8_t* bits() { return bits_.data(); }
    const std::uint8_t* bits() const { return bits_.data(); }
    std::size_t byteSize() const { return bits_.size(); }

    // Start of picture row y (0 = top), which lives in storage row height - 1 - y.
    // y must be in [0, height).
    std::uint8_t* row(std::int32_t y) { return bits_.data() + rowOffset(y); }
    const std::uint8_t* row(std::int32_t y) const { return bits_.data() + rowOffset(y); }

    // 2, 16 or 256 entries for depths 1, 4 and 8; empty for deeper images.
    std::vector<PaletteEntry>& colorTable() { return colorTable_; }
    const std::vector<PaletteEntry>& colorTable() const { return colorTable_; }

    // Bytes per row for a width and depth, or 0 when it would overflow.
    static std::size_t strideFor(std::int32_t width, int bitDepth);

    // Only create() makes images; the key keeps the constructor out of reach.
    class Key {
        friend class PixelImage;
        Key() = default;
    };
    explicit PixelImage(Key) {}

private:
    std::size_t rowOffset(std::int32_t y) const {
        return stride_ * static_cast<std::size_t>(height_ - 1 - y);
    }

    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    int bitDepth_ = 0;
    std::size_t stride_ = 0;
    ZeroedBuffer bits_;
    std::vector<PaletteEntry> colorTable_;
};

using ImagePtr = std::unique_ptr<PixelImage>;

// The largest storage the platform hands out for one bitmap.
inline constexpr std::size_t kMaxImageBytes = 0x7FFFFFFF;

// A packed pixel: red in bits 0-7, green 8-15, blue 16-23, alpha 24-31.
using PixelValue = std::uint32_t;

constexpr PixelValue packPixel(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                               std::uint8_t alpha) {
    return static_cast<PixelValue>(red) | static_cast<PixelValue>(green) << 8 |
           static_cast<PixelValue>(blue) << 16 | static_cast<PixelValue>(alpha) << 24;
}

// A zero-filled (transparent black) 32-bit image; null when width <= 0,
// height <= 0, or the storage cannot be had.
ImagePtr createPixelImage(std::int32_t width, std::int32_t height);

// Size and depth of an image; 0 for no image.
std::int32_t imageWidth(const PixelImage* image);
std::int32_t imageHeight(const PixelImage* image);
int imageBitDepth(const PixelImage* image);

// The packed value of pixel (x, y), top-down coordinates. 0 outside the image or
// when the image is not 32 bits deep.
PixelValue getPixel(const PixelImage& image, std::int32_t x, std::int32_t y);
// Stores a packed value; does nothing where getPixel would answer 0.
void setPixel(PixelImage& image, std::int32_t x, std::int32_t y, PixelValue value);

// A new opaque 32-bit copy of a 1, 4, 8, 16 (5-5-5) or 24-bit image; the source is
// untouched. Null for a 32-bit source, any other depth, or no memory.
ImagePtr convertTo32Bit(const PixelImage& source);

// Makes the slot hold a 32-bit image, converting (and replacing) a shallower one.
// False when the slot is empty or the conversion fails; the slot then keeps what
// it held.
bool ensure32Bit(ImagePtr& slot);

}  // namespace tilvane
