// Writes the sprite folders the end-to-end comparison packs: COUNT PNG sprites
// of 8 to 128 pixels a side, each a noisy opaque block inside transparent
// margins of up to a quarter of its side, the same every run. Prints the side
// of a square atlas that holds them with the given spacing (their footprints'
// area plus a packing allowance), so one size serves every build compared.
//
//   noisy_sprites COUNT FOLDER [SPACING]
#include "bench/noisy_sprites.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: noisy_sprites COUNT FOLDER [SPACING]\n");
        return 2;
    }
    const long count = std::strtol(argv[1], nullptr, 10);
    const long spacing = argc > 3 ? std::strtol(argv[3], nullptr, 10) : 1;
    if (count <= 0 || spacing < 0) return 2;
    const long side = tilvane::bench::writeNoisySprites(count, std::string(argv[2]) + "/", spacing);
    if (side == 0) {
        std::fprintf(stderr, "noisy_sprites: cannot write the sprites into %s\n", argv[2]);
        return 1;
    }
    std::printf("%ld\n", side);
    return 0;
}
