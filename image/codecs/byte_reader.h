#pragma once

#include <cstddef>
#include <cstdint>

#include "image/codecs/codecs.h"

namespace tilvane::codecs {

// A cursor over a file held in memory. Every read is bounds-checked: reading
// past the end yields zeros and makes ok() false for good, so a header can be
// parsed field by field and checked once at the end.
class ByteReader {
public:
    explicit ByteReader(ByteSpan data, std::size_t position = 0) : data_(data) { seek(position); }

    bool ok() const { return ok_; }
    std::size_t size() const { return data_.size(); }
    std::size_t position() const { return position_; }
    std::size_t remaining() const { return data_.size() - position_; }
    bool atEnd() const { return position_ >= data_.size(); }

    // Moves to an absolute offset; an offset beyond the end fails the reader.
    bool seek(std::size_t position) {
        if (position > data_.size()) return fail();
        position_ = position;
        return ok_;
    }
    bool skip(std::size_t count) {
        if (count > remaining()) return fail();
        position_ += count;
        return ok_;
    }

    // The next count bytes (empty and failed when fewer are left).
    ByteSpan bytes(std::size_t count) {
        if (count > remaining()) {
            fail();
            return {};
        }
        const ByteSpan out = data_.subspan(position_, count);
        position_ += count;
        return out;
    }
    // Everything from the cursor to the end.
    ByteSpan rest() const { return data_.subspan(position_); }

    std::uint8_t u8() {
        if (position_ >= data_.size()) {
            fail();
            return 0;
        }
        return data_[position_++];
    }
    std::uint16_t u16le() {
        const std::uint16_t lo = u8();
        return static_cast<std::uint16_t>(lo | u8() << 8);
    }
    std::uint16_t u16be() {
        const std::uint16_t hi = u8();
        return static_cast<std::uint16_t>(hi << 8 | u8());
    }
    std::uint32_t u32le() {
        const std::uint32_t lo = u16le();
        return lo | static_cast<std::uint32_t>(u16le()) << 16;
    }
    std::uint32_t u32be() {
        const std::uint32_t hi = u16be();
        return hi << 16 | u16be();
    }
    std::int32_t i32le() { return static_cast<std::int32_t>(u32le()); }

private:
    bool fail() {
        ok_ = false;
        position_ = data_.size();
        return false;
    }

    ByteSpan data_;
    std::size_t position_ = 0;
    bool ok_ = true;
};

}  // namespace tilvane::codecs
