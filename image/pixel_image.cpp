#include "image/pixel_image.h"

#include <new>

namespace tilvane {

namespace {

bool isSupportedDepth(int bitDepth) {
    switch (bitDepth) {
        case 1:
        case 4:
        case 8:
        case 16:
        case 24:
        case 32:
            return true;
        default:
            return false;
    }
}

bool inside(const PixelImage& image, std::int32_t x, std::int32_t y) {
    return x >= 0 && y >= 0 && x < image.width() && y < image.height() && image.bitDepth() == 32 &&
           image.byteSize() != 0;
}

}  // namespace

std::size_t PixelImage::strideFor(std::int32_t width, int bitDepth) {
    if (width <= 0 || !isSupportedDepth(bitDepth)) return 0;
    // 64-bit arithmetic cannot overflow for a 31-bit width times 32 bits.
    const std::uint64_t bitsPerRow = static_cast<std::uint64_t>(width) * bitDepth;
    return static_cast<std::size_t>((bitsPerRow + 31) / 32 * 4);
}

std::unique_ptr<PixelImage> PixelImage::create(std::int32_t width, std::int32_t height,
                                               int bitDepth) {
    if (width <= 0 || height <= 0 || !isSupportedDepth(bitDepth)) return nullptr;
    const std::size_t stride = strideFor(width, bitDepth);
    if (stride == 0 || stride > kMaxImageBytes / static_cast<std::size_t>(height)) return nullptr;
    const std::size_t bytes = stride * static_cast<std::size_t>(height);

    std::unique_ptr<PixelImage> image;
    try {
        image = std::make_unique<PixelImage>(Key{});
        image->bits_ = ZeroedBuffer(bytes);
        if (bitDepth <= 8) image->colorTable_.assign(std::size_t{1} << bitDepth, PaletteEntry{});
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    image->width_ = width;
    image->height_ = height;
    image->bitDepth_ = bitDepth;
    image->stride_ = stride;
    return image;
}

ImagePtr createPixelImage(std::int32_t width, std::int32_t height) {
    return PixelImage::create(width, height, 32);
}

std::int32_t imageWidth(const PixelImage* image) {
    return image ? image->width() : 0;
}
std::int32_t imageHeight(const PixelImage* image) {
    return image ? image->height() : 0;
}
int imageBitDepth(const PixelImage* image) {
    return image ? image->bitDepth() : 0;
}

PixelValue getPixel(const PixelImage& image, std::int32_t x, std::int32_t y) {
    if (!inside(image, x, y)) return 0;
    const std::uint8_t* p = image.row(y) + 4 * static_cast<std::size_t>(x);
    return packPixel(p[2], p[1], p[0], p[3]);
}

void setPixel(PixelImage& image, std::int32_t x, std::int32_t y, PixelValue value) {
    if (!inside(image, x, y)) return;
    std::uint8_t* p = image.row(y) + 4 * static_cast<std::size_t>(x);
    p[0] = static_cast<std::uint8_t>(value >> 16);
    p[1] = static_cast<std::uint8_t>(value >> 8);
    p[2] = static_cast<std::uint8_t>(value);
    p[3] = static_cast<std::uint8_t>(value >> 24);
}

ImagePtr convertTo32Bit(const PixelImage& source) {
    const int depth = source.bitDepth();
    if (depth == 32 || source.width() <= 0 || source.height() <= 0 || source.byteSize() == 0) {
        return nullptr;
    }
    if (depth != 1 && depth != 4 && depth != 8 && depth != 16 && depth != 24) return nullptr;
    ImagePtr result = createPixelImage(source.width(), source.height());
    if (!result) return nullptr;

    const auto& table = source.colorTable();
    const std::int32_t width = source.width();
    // Rows go in storage order so the picture keeps its orientation; every row
    // starts at its padded stride, which is where the byte walk lands.
    for (std::int32_t storageRow = 0; storageRow < source.height(); ++storageRow) {
        const std::uint8_t* src = source.bits() + source.stride() * storageRow;
        std::uint8_t* dst = result->bits() + result->stride() * storageRow;
        for (std::int32_t x = 0; x < width; ++x, dst += 4) {
            std::uint8_t blue = 0, green = 0, red = 0;
            // A table shorter than the depth allows (only a caller can shrink
            // it) gives black for the missing entries instead of a stray read.
            auto fromTable = [&](unsigned index) {
                if (index >= table.size()) return;
                const PaletteEntry& e = table[index];
                blue = e.blue;
                green = e.green;
                red = e.red;
            };
            switch (depth) {
                case 24:
                    blue = src[3 * std::size_t(x)];
                    green = src[3 * std::size_t(x) + 1];
                    red = src[3 * std::size_t(x) + 2];
                    break;
                case 16: {
                    const unsigned w = src[2 * std::size_t(x)] | src[2 * std::size_t(x) + 1] << 8;
                    blue = static_cast<std::uint8_t>((w & 31) * 255 / 31);
                    green = static_cast<std::uint8_t>(((w >> 5) & 31) * 255 / 31);
                    red = static_cast<std::uint8_t>(((w >> 10) & 31) * 255 / 31);
                    break;
                }
                case 8:
                    fromTable(src[x]);
                    break;
                case 4: {
                    const std::uint8_t byte = src[x / 2];
                    fromTable(x % 2 == 0 ? byte >> 4 : byte & 0x0F);
                    break;
                }
                case 1:
                    fromTable((src[x / 8] >> (7 - x % 8)) & 1);
                    break;
            }
            dst[0] = blue;
            dst[1] = green;
            dst[2] = red;
            dst[3] = 255;
        }
    }
    return result;
}

bool ensure32Bit(ImagePtr& slot) {
    if (!slot) return false;
    if (slot->bitDepth() >= 32) return true;
    ImagePtr converted = convertTo32Bit(*slot);
    if (!converted) return false;
    slot = std::move(converted);
    return true;
}

}  // namespace tilvane
