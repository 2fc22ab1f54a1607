#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

namespace tilvane::codecs {

// Collects bytes for one fwrite, so that every write of an encoder is a
// whole block whose result is checked.
class ByteWriter {
public:
    void u8(std::uint8_t v) { bytes_.push_back(v); }
    void u16le(std::uint32_t v) {
        u8(static_cast<std::uint8_t>(v));
        u8(static_cast<std::uint8_t>(v >> 8));
    }
    void u16be(std::uint32_t v) {
        u8(static_cast<std::uint8_t>(v >> 8));
        u8(static_cast<std::uint8_t>(v));
    }
    void u32le(std::uint32_t v) {
        u16le(v & 0xFFFF);
        u16le(v >> 16);
    }
    void u32be(std::uint32_t v) {
        u16be(v >> 16);
        u16be(v & 0xFFFF);
    }
    void zeros(std::size_t count) { bytes_.insert(bytes_.end(), count, 0); }
    void text(const char* s) {
        while (*s) u8(static_cast<std::uint8_t>(*s++));
    }

    std::vector<std::uint8_t>& bytes() { return bytes_; }
    void clear() { bytes_.clear(); }

    // Writes everything collected and clears it; false on a short write.
    bool flushTo(std::FILE* out) {
        const bool ok =
            bytes_.empty() || std::fwrite(bytes_.data(), 1, bytes_.size(), out) == bytes_.size();
        bytes_.clear();
        return ok;
    }

private:
    std::vector<std::uint8_t> bytes_;
};

}  // namespace tilvane::codecs
