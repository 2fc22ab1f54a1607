#include "image/resample.h"

#include <pixman.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace tilvane {

namespace {

struct PixmanImageRelease {
    void operator()(pixman_image_t* image) const { pixman_image_unref(image); }
};
using PixmanImage = std::unique_ptr<pixman_image_t, PixmanImageRelease>;

// Subpixel phases of the filter, as a power of two: 16 positions per pixel.
constexpr int kSubsampleBits = 4;

std::uint32_t premultiplied(std::uint32_t colour, std::uint32_t alpha) {
    return (colour * alpha + 127) / 255;
}

// The straight colour of a premultiplied channel; a filter's overshoot above
// the alpha is taken as full colour.
std::uint8_t unpremultiplied(std::uint32_t channel, std::uint32_t alpha) {
    channel = std::min(channel, alpha);
    return static_cast<std::uint8_t>((channel * 255 + alpha / 2) / alpha);
}

ImagePtr exactCopy(const PixelImage& source) {
    ImagePtr copy = createPixelImage(source.width(), source.height());
    if (copy) std::memcpy(copy->bits(), source.bits(), copy->byteSize());
    return copy;
}

}  // namespace

Size scaledSize(Size size, double scale) {
    const auto side = [scale](std::int32_t length) {
        const double scaled = std::floor(length * scale + 0.5);
        if (!(scaled >= 1)) return std::int32_t{1};
        return scaled > 0x7FFFFFFF ? std::int32_t{0x7FFFFFFF} : static_cast<std::int32_t>(scaled);
    };
    return {side(size.width), side(size.height)};
}

ImagePtr scaledImage(const PixelImage& source, double scale) {
    if (!(scale > 0) || scale > kMaxScale) return nullptr;
    ImagePtr converted;
    const PixelImage* from = &source;
    if (source.bitDepth() != 32) {
        converted = convertTo32Bit(source);
        if (!converted) return nullptr;
        from = converted.get();
    }
    if (scale == 1) return converted ? std::move(converted) : exactCopy(source);

    const std::int32_t w = from->width();
    const std::int32_t h = from->height();
    const Size to = scaledSize({w, h}, scale);
    if (w > kMaxResampledSide || h > kMaxResampledSide || to.width > kMaxResampledSide ||
        to.height > kMaxResampledSide) {
        return nullptr;
    }
    ImagePtr result = createPixelImage(to.width, to.height);
    if (!result) return nullptr;
    std::vector<std::uint32_t> in;
    std::vector<std::uint32_t> out;
    try {
        in.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
        out.resize(static_cast<std::size_t>(to.width) * static_cast<std::size_t>(to.height));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    // pixman's a8r8g8b8 is premultiplied, one 32-bit word a pixel, rows top down.
    for (std::int32_t y = 0; y < h; ++y) {
        const std::uint8_t* row = from->row(y);
        std::uint32_t* word = in.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(w);
        for (std::int32_t x = 0; x < w; ++x, row += 4) {
            const std::uint32_t a = row[3];
            word[x] = a << 24 | premultiplied(row[2], a) << 16 | premultiplied(row[1], a) << 8 |
                      premultiplied(row[0], a);
        }
    }

    const PixmanImage input(pixman_image_create_bits(PIXMAN_a8r8g8b8, w, h, in.data(), 4 * w));
    const PixmanImage output(
        pixman_image_create_bits(PIXMAN_a8r8g8b8, to.width, to.height, out.data(), 4 * to.width));
    if (!input || !output) return nullptr;
    // Source pixels per output pixel along each axis: the picture maps edge to edge.
    const double stepX = static_cast<double>(w) / to.width;
    const double stepY = static_cast<double>(h) / to.height;
    pixman_f_transform scaling;
    pixman_f_transform_init_scale(&scaling, stepX, stepY);
    pixman_transform transform;
    if (!pixman_transform_from_pixman_f_transform(&transform, &scaling) ||
        !pixman_image_set_transform(input.get(), &transform)) {
        return nullptr;
    }
    int count = 0;
    pixman_fixed_t* params = pixman_filter_create_separable_convolution(
        &count, pixman_double_to_fixed(stepX), pixman_double_to_fixed(stepY), PIXMAN_KERNEL_CUBIC,
        PIXMAN_KERNEL_CUBIC, PIXMAN_KERNEL_BOX, PIXMAN_KERNEL_BOX, kSubsampleBits, kSubsampleBits);
    if (!params) return nullptr;
    const bool filtered =
        pixman_image_set_filter(input.get(), PIXMAN_FILTER_SEPARABLE_CONVOLUTION, params, count);
    std::free(params);
    if (!filtered) return nullptr;
    pixman_image_set_repeat(input.get(), PIXMAN_REPEAT_PAD);
    pixman_image_composite32(PIXMAN_OP_SRC, input.get(), nullptr, output.get(), 0, 0, 0, 0, 0, 0,
                             to.width, to.height);

    for (std::int32_t y = 0; y < to.height; ++y) {
        std::uint8_t* row = result->row(y);
        const std::uint32_t* word =
            out.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(to.width);
        for (std::int32_t x = 0; x < to.width; ++x, row += 4) {
            const std::uint32_t p = word[x];
            const std::uint32_t a = p >> 24;
            if (a == 0) continue;  // transparent black, as created
            row[0] = unpremultiplied(p & 0xFF, a);
            row[1] = unpremultiplied(p >> 8 & 0xFF, a);
            row[2] = unpremultiplied(p >> 16 & 0xFF, a);
            row[3] = static_cast<std::uint8_t>(a);
        }
    }
    return result;
}

}  // namespace tilvane
