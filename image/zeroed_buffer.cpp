#include "image/zeroed_buffer.h"

#include <sys/mman.h>

#include <cstdlib>
#include <new>
#include <utility>

namespace tilvane {

namespace {

// Below this the heap is as fast; a mapping of its own costs system calls.
// Under AddressSanitizer everything comes from the heap, whose bounds it
// checks (a mapping has none but the page's).
#if defined(__SANITIZE_ADDRESS__)
constexpr std::size_t kMappedFrom = static_cast<std::size_t>(-1);
#else
constexpr std::size_t kMappedFrom = std::size_t{8} << 20;
#endif

}  // namespace

ZeroedBuffer::ZeroedBuffer(std::size_t bytes) {
    if (bytes == 0) return;
    if (bytes >= kMappedFrom) {
        // No huge-page advice: where the kernel compacts memory on demand it
        // made the first large image of a run up to twice as slow.
        void* p =
            ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) throw std::bad_alloc();
        data_ = static_cast<std::uint8_t*>(p);
        mapped_ = bytes;
    } else {
        data_ = static_cast<std::uint8_t*>(std::calloc(bytes, 1));
        if (!data_) throw std::bad_alloc();
    }
    size_ = bytes;
}

ZeroedBuffer::~ZeroedBuffer() {
    release();
}

ZeroedBuffer::ZeroedBuffer(ZeroedBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      mapped_(std::exchange(other.mapped_, 0)) {}

ZeroedBuffer& ZeroedBuffer::operator=(ZeroedBuffer&& other) noexcept {
    if (this != &other) {
        release();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        mapped_ = std::exchange(other.mapped_, 0);
    }
    return *this;
}

void ZeroedBuffer::shrink(std::size_t bytes) {
    if (bytes < size_) size_ = bytes;
}

void ZeroedBuffer::release() noexcept {
    if (mapped_ != 0) {
        ::munmap(data_, mapped_);
    } else {
        std::free(data_);
    }
    data_ = nullptr;
    size_ = 0;
    mapped_ = 0;
}

}  // namespace tilvane
