// Writes the sprite folders the end-to-end comparison packs: COUNT PNG sprites
// of 8 to 128 pixels a side, each a noisy opaque block inside transparent
// margins of up to a quarter of its side, the same every run. Prints the side
// of a square atlas that holds them with the given spacing (their footprints'
// area plus a packing allowance), so one size serves every build compared.
//
//   noisy_sprites COUNT FOLDER [SPACING]
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "image/image_file.h"
#include "model/classic_random.h"

namespace {

std::uint8_t clampByte(int v) {
    return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

}  // namespace

int main(int argc, char** argv) {
    using namespace tilvane;
    if (argc < 3) {
        std::fprintf(stderr, "usage: noisy_sprites COUNT FOLDER [SPACING]\n");
        return 2;
    }
    const long count = std::strtol(argv[1], nullptr, 10);
    const std::string folder = std::string(argv[2]) + "/";
    const long spacing = argc > 3 ? std::strtol(argv[3], nullptr, 10) : 1;
    if (count <= 0 || spacing < 0) return 2;

    ClassicRandom random(static_cast<std::uint32_t>(count));
    const auto between = [&](int lo, int hi) { return lo + random.next() % (hi - lo + 1); };
    double footprints = 0;
    for (long i = 0; i < count; ++i) {
        const int w = between(8, 128);
        const int h = between(8, 128);
        ImagePtr image = createPixelImage(w, h);
        if (!image) return 1;
        const int left = between(0, w / 4), right = w - 1 - between(0, w / 4);
        const int top = between(0, h / 4), bottom = h - 1 - between(0, h / 4);
        const int r = between(0, 255), g = between(0, 255), b = between(0, 255);
        for (int y = top; y <= bottom; ++y) {
            for (int x = left; x <= right; ++x) {
                // A gradient under noise, as drawn and shaded art compresses.
                const int shade = (x + y) * 64 / (w + h) + between(-24, 24);
                setPixel(*image, x, y,
                         packPixel(clampByte(r + shade), clampByte(g + shade / 2),
                                   clampByte(b - shade), 255));
            }
        }
        footprints += static_cast<double>(right - left + 1 + spacing) *
                      static_cast<double>(bottom - top + 1 + spacing);
        const std::string path = folder + "sprite_" + std::to_string(i) + ".png";
        if (SaveBitmapToFile(image.get(), path) != 0) {
            std::fprintf(stderr, "noisy_sprites: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    std::printf("%ld\n", static_cast<long>(std::ceil(std::sqrt(footprints * 1.12))));
    return 0;
}
