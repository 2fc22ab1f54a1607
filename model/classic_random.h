#pragma once

#include <cstdint>

namespace tilvane {

// The classic C runtime's generator, fixed here so that one seed gives one
// order on every platform: state = state * 214013 + 2531011 (mod 2^32),
// value = (state >> 16) & 0x7FFF, seeded with the seed itself.
class ClassicRandom {
public:
    static constexpr int kMax = 0x7FFF;

    explicit ClassicRandom(std::uint32_t seed) : state_(seed) {}

    // The next value, 0 to 32767.
    int next() {
        state_ = state_ * 214013u + 2531011u;
        return static_cast<int>((state_ >> 16) & 0x7FFF);
    }

private:
    std::uint32_t state_;
};

}  // namespace tilvane
