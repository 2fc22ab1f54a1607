#pragma once

#include <cstddef>
#include <cstdint>

namespace tilvane {

// Owned, zero-filled bytes for pixel storage and whole files. Large buffers
// are mapped straight from the kernel, already zero: no pass writes zeros
// over a 100 MB atlas before it is drawn (or over a file before it is read),
// and each page is touched first by the code that fills it. A moved-from or
// default buffer is empty (data() null, size() 0).
class ZeroedBuffer {
public:
    ZeroedBuffer() = default;
    // bytes zero bytes; throws std::bad_alloc when they cannot be had.
    explicit ZeroedBuffer(std::size_t bytes);
    ~ZeroedBuffer();
    ZeroedBuffer(ZeroedBuffer&& other) noexcept;
    ZeroedBuffer& operator=(ZeroedBuffer&& other) noexcept;
    ZeroedBuffer(const ZeroedBuffer&) = delete;
    ZeroedBuffer& operator=(const ZeroedBuffer&) = delete;

    std::uint8_t* data() { return data_; }
    const std::uint8_t* data() const { return data_; }
    std::size_t size() const { return size_; }
    // Keeps only the first `bytes` (at most size()); the storage stays.
    void shrink(std::size_t bytes);

private:
    void release() noexcept;

    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t mapped_ = 0;  // bytes mapped from the kernel; 0: from the heap
};

}  // namespace tilvane
