#include <libdeflate.h>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#include <png.h>
#include <zlib.h>

#include <atomic>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "image/codecs/codec_limits.h"
#include "image/codecs/codecs.h"
#include "image/codecs/png_encoder.h"
#include "image/codecs/png_settings.h"
#include "image/zeroed_buffer.h"

namespace tilvane::codecs {

namespace {

// Ancillary chunks (text, ICC profiles) beyond these are refused by libpng
// itself, so a file cannot make it allocate or loop without bound outside the
// image data.
constexpr png_alloc_size_t kMaxChunkBytes = png_alloc_size_t{8} << 20;
constexpr png_uint_32 kMaxCachedChunks = 1000;

struct MemorySource {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::size_t offset = 0;
};

void readFromMemory(png_structp png, png_bytep out, png_size_t length) {
    auto* source = static_cast<MemorySource*>(png_get_io_ptr(png));
    if (length > source->size - source->offset) png_error(png, "truncated");
    std::memcpy(out, source->data + source->offset, length);
    source->offset += length;
}

// libpng's messages are of no use to a caller that only learns "failed to
// load"; errors unwind to the setjmp of the running step.
void onError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}
void onWarning(png_structp, png_const_charp) {}

// Owns a read or write struct and its info struct.
class PngHandle {
public:
    explicit PngHandle(bool forWriting) : writing_(forWriting) {
        png_ = writing_
                   ? png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, onError, onWarning)
                   : png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, onError, onWarning);
        if (png_) info_ = png_create_info_struct(png_);
    }
    ~PngHandle() {
        if (!png_) return;
        if (writing_) {
            png_destroy_write_struct(&png_, info_ ? &info_ : nullptr);
        } else {
            png_destroy_read_struct(&png_, info_ ? &info_ : nullptr, nullptr);
        }
    }
    PngHandle(const PngHandle&) = delete;
    PngHandle& operator=(const PngHandle&) = delete;

    bool valid() const { return png_ && info_; }
    png_structp png() const { return png_; }
    png_infop info() const { return info_; }

private:
    bool writing_;
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
};

// What the header says, and the form the decoded rows take.
struct PngLayout {
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int colorType = 0;
    int bitDepth = 0;  // as stored
    int outDepth = 0;  // depth of the image we return: 1, 4, 8, 24 or 32
    int paletteSize = 0;
    png_color palette[256] = {};
    std::uint8_t alpha[256] = {};  // from tRNS; entries it does not list stay opaque
};

// Reads the header and sets up the transformations that turn every colour
// type into our depths. Nothing with a destructor lives in this frame.
bool readHeader(png_structp png, png_infop info, MemorySource* source, PngLayout* layout) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_read_fn(png, source, readFromMemory);
    png_set_user_limits(png, static_cast<png_uint_32>(kMaxImageSide),
                        static_cast<png_uint_32>(kMaxImageSide));
    png_set_chunk_malloc_max(png, kMaxChunkBytes);
    png_set_chunk_cache_max(png, kMaxCachedChunks);
    png_read_info(png, info);

    int interlace = 0;
    png_get_IHDR(png, info, &layout->width, &layout->height, &layout->bitDepth, &layout->colorType,
                 &interlace, nullptr, nullptr);
    const bool hasTrns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    const bool hasAlpha = (layout->colorType & PNG_COLOR_MASK_ALPHA) != 0 || hasTrns;

    if (layout->bitDepth == 16) png_set_scale_16(png);
    if (layout->colorType == PNG_COLOR_TYPE_PALETTE) {
        // Palette images are read as one index a byte and checked here, since
        // libpng expands an index beyond the palette without complaint.
        png_colorp entries = nullptr;
        int count = 0;
        if (!png_get_PLTE(png, info, &entries, &count) || count <= 0 || count > 256) {
            return false;
        }
        layout->paletteSize = count;
        for (int i = 0; i < count; ++i) layout->palette[i] = entries[i];
        std::memset(layout->alpha, 0xFF, sizeof layout->alpha);
        if (hasTrns) {
            png_bytep alpha = nullptr;
            int alphaCount = 0;
            if (png_get_tRNS(png, info, &alpha, &alphaCount, nullptr) && alpha) {
                for (int i = 0; i < alphaCount && i < 256; ++i) layout->alpha[i] = alpha[i];
            }
        }
        if (layout->bitDepth < 8) png_set_packing(png);
        // 1, 4 and 8 bits keep their depth; 2 bits have no bitmap depth.
        layout->outDepth = hasTrns ? 32 : layout->bitDepth == 2 ? 8 : layout->bitDepth;
    } else if (hasAlpha) {
        // grey, grey with tRNS, grey + alpha and RGB with tRNS all become 8-bit
        // RGBA, stored as our BGRA
        png_set_expand(png);
        png_set_gray_to_rgb(png);
        png_set_bgr(png);
        layout->outDepth = 32;
    } else if (layout->colorType == PNG_COLOR_TYPE_RGB) {
        png_set_bgr(png);
        layout->outDepth = 24;
    } else {  // grey
        if (layout->bitDepth == 2) png_set_expand_gray_1_2_4_to_8(png);
        layout->outDepth = layout->bitDepth == 2 || layout->bitDepth == 16 ? 8 : layout->bitDepth;
    }
    if (interlace != PNG_INTERLACE_NONE) png_set_interlace_handling(png);
    png_read_update_info(png, info);
    return true;
}

bool readRows(png_structp png, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_image(png, rows);
    png_read_end(png, nullptr);
    return true;
}

// Turns checked indices into the image: packed again at 1, 4 or 8 bits with
// the palette as colour table, or expanded to BGRA when tRNS gives alpha.
void placeIndices(const std::vector<std::uint8_t>& indices, const PngLayout& layout,
                  PixelImage& image) {
    const std::size_t width = layout.width;
    for (png_uint_32 y = 0; y < layout.height; ++y) {
        const std::uint8_t* in = indices.data() + width * y;
        std::uint8_t* out = image.row(static_cast<std::int32_t>(y));
        for (std::size_t x = 0; x < width; ++x) {
            const std::uint8_t index = in[x];
            switch (layout.outDepth) {
                case 32: {
                    const png_color& c = layout.palette[index];
                    out[4 * x] = c.blue;
                    out[4 * x + 1] = c.green;
                    out[4 * x + 2] = c.red;
                    out[4 * x + 3] = layout.alpha[index];
                    break;
                }
                case 8:
                    out[x] = index;
                    break;
                case 4:
                    out[x / 2] |= static_cast<std::uint8_t>(index << (x % 2 ? 0 : 4));
                    break;
                case 1:
                    out[x / 8] |= static_cast<std::uint8_t>(index << (7 - x % 8));
                    break;
            }
        }
    }
    if (layout.outDepth <= 8) {
        auto& table = image.colorTable();
        for (int i = 0; i < layout.paletteSize && i < static_cast<int>(table.size()); ++i) {
            const png_color& c = layout.palette[i];
            table[i] = PaletteEntry{c.blue, c.green, c.red, 0};
        }
    }
}

void fillGreyRamp(PixelImage& image, int storedDepth) {
    auto& table = image.colorTable();
    const int levels = 1 << storedDepth;
    for (int i = 0; i < levels && i < static_cast<int>(table.size()); ++i) {
        const auto v = static_cast<std::uint8_t>(i * 255 / (levels - 1));
        table[i] = PaletteEntry{v, v, v, 0};
    }
}

// ---- 8-bit RGBA in one call ----------------------------------------------
//
// The form every atlas (and most sprites) take: 8-bit RGBA, not interlaced,
// no chunks but IHDR, IDAT and IEND. Such a file is inflated in one call
// with libdeflate, several times faster than libpng's row by row, and
// unfiltered here. Anything else, or anything this path finds wrong (a bad
// CRC, a stream that is not exactly the rows, an unknown filter), goes to
// libpng, whose answer then stands: the two agree on every file this path
// accepts.

std::uint32_t bigEndian32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

struct LibdeflateDecompressorFree {
    void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

// Undoes the Paeth filter on one row of 4-byte pixels, in place: the
// channels of a pixel are independent, so they are worked on side by side.
void unpaeth(std::uint8_t* cur, const std::uint8_t* up, std::size_t bytes) {
#ifdef __SSE2__
    const __m128i zero = _mm_setzero_si128();
    __m128i a = zero, c = zero;
    const auto load = [&zero](const std::uint8_t* p) {
        std::int32_t v;
        std::memcpy(&v, p, 4);
        return _mm_unpacklo_epi8(_mm_cvtsi32_si128(v), zero);
    };
    const auto absolute = [&zero](__m128i v) { return _mm_max_epi16(v, _mm_sub_epi16(zero, v)); };
    for (std::size_t i = 0; i < bytes; i += 4) {
        const __m128i b = load(up + i);
        const __m128i x = load(cur + i);
        const __m128i bc = _mm_sub_epi16(b, c), ac = _mm_sub_epi16(a, c);
        const __m128i pa = absolute(bc), pb = absolute(ac), pc = absolute(_mm_add_epi16(bc, ac));
        // a where pa <= pb and pa <= pc; else b where pb <= pc; else c.
        const __m128i notA = _mm_or_si128(_mm_cmpgt_epi16(pa, pb), _mm_cmpgt_epi16(pa, pc));
        const __m128i notB = _mm_cmpgt_epi16(pb, pc);
        const __m128i bOrC = _mm_or_si128(_mm_andnot_si128(notB, b), _mm_and_si128(notB, c));
        const __m128i p = _mm_or_si128(_mm_andnot_si128(notA, a), _mm_and_si128(notA, bOrC));
        a = _mm_and_si128(_mm_add_epi16(x, p), _mm_set1_epi16(0xFF));
        c = b;
        const std::int32_t out = _mm_cvtsi128_si32(_mm_packus_epi16(a, a));
        std::memcpy(cur + i, &out, 4);
    }
#else
    for (std::size_t i = 0; i < bytes; ++i) {
        const int a = i >= 4 ? cur[i - 4] : 0, b = up[i], c = i >= 4 ? up[i - 4] : 0;
        const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
        cur[i] = static_cast<std::uint8_t>(cur[i] + (pa <= pb && pa <= pc ? a : pb <= pc ? b : c));
    }
#endif
}

// Undoes one row's filter in place (the row above is already unfiltered);
// false for an unknown filter.
bool unfilterRow(std::uint8_t filter, std::uint8_t* cur, const std::uint8_t* up,
                 std::size_t bytes) {
    switch (filter) {
        case 0:
            return true;
        case 1:
            for (std::size_t i = 4; i < bytes; ++i)
                cur[i] = static_cast<std::uint8_t>(cur[i] + cur[i - 4]);
            return true;
        case 2:
            for (std::size_t i = 0; i < bytes; ++i)
                cur[i] = static_cast<std::uint8_t>(cur[i] + up[i]);
            return true;
        case 3:
            for (std::size_t i = 0; i < 4; ++i)
                cur[i] = static_cast<std::uint8_t>(cur[i] + (up[i] >> 1));
            for (std::size_t i = 4; i < bytes; ++i)
                cur[i] = static_cast<std::uint8_t>(cur[i] + ((cur[i - 4] + up[i]) >> 1));
            return true;
        case 4:
            unpaeth(cur, up, bytes);
            return true;
        default:
            return false;
    }
}

// RGBA as stored in the file, BGRA as stored in the image.
void copySwapped(const std::uint8_t* in, std::size_t bytes, std::uint8_t* out) {
    for (std::size_t i = 0; i < bytes; i += 4) {
        std::uint32_t v;
        std::memcpy(&v, in + i, 4);
        v = (v & 0xFF00FF00u) | (v >> 16 & 0xFFu) | (v & 0xFFu) << 16;
        std::memcpy(out + i, &v, 4);
    }
}

// Rows of the raw stream, each a filter byte and then `bytes` of the row,
// unfiltered in place (the row above is already) and copied into the image.
// Each row needs the one above, so unfiltering is one chain; for a large
// image a second thread copies the finished rows into the image behind it
// (and takes the page faults of the image's fresh storage).
bool unfilterRows(std::uint8_t* raw, std::size_t bytes, std::uint32_t height, PixelImage& image) {
    constexpr std::uint32_t kRowsPerStep = 32;
    constexpr std::size_t kCopyBehindFrom = std::size_t{4} << 20;
    const auto rowAt = [&](std::uint32_t y) { return raw + std::size_t{y} * (bytes + 1); };
    // Rows 0 .. done - 1 are unfiltered; kFailed when a row could not be.
    const std::uint32_t kFailed = height + 1;
    std::atomic<std::uint32_t> done{0};
    const auto copyRows = [&](std::uint32_t from, std::uint32_t to) {
        for (std::uint32_t y = from; y < to; ++y) {
            copySwapped(rowAt(y) + 1, bytes, image.row(static_cast<std::int32_t>(y)));
        }
    };
    // The row above the first is all zeros. Nothing below may throw once the
    // copier waits.
    const std::vector<std::uint8_t> zeros(bytes, 0);
    std::jthread copier;
    if (std::size_t{height} * bytes >= kCopyBehindFrom && std::thread::hardware_concurrency() > 1) {
        try {
            copier = std::jthread([&] {
                std::uint32_t copied = 0;
                while (copied < height) {
                    done.wait(copied);
                    const std::uint32_t ready = done.load();
                    if (ready == kFailed) return;
                    copyRows(copied, ready);
                    copied = ready;
                }
            });
        } catch (const std::system_error&) {
            // No thread: the rows are copied here as they are unfiltered.
        }
    }
    const std::uint8_t* up = zeros.data();
    for (std::uint32_t y = 0; y < height; ++y) {
        std::uint8_t* row = rowAt(y);
        if (!unfilterRow(row[0], row + 1, up, bytes)) {
            // A new count wakes the copier, which then stops.
            done.store(kFailed);
            done.notify_one();
            return false;
        }
        up = row + 1;
        if (!copier.joinable()) {
            copyRows(y, y + 1);
        } else if ((y + 1) % kRowsPerStep == 0 || y + 1 == height) {
            done.store(y + 1);
            done.notify_one();
        }
    }
    return true;
}

// The image when the file is one this path takes and decodes cleanly; else
// null, and libpng decides.
ImagePtr readRgbaWhole(ByteSpan data) {
    // Beyond this the raw rows would cost too much memory beside the image.
    constexpr std::size_t kMaxRawBytes = std::size_t{512} << 20;
    std::size_t at = 8;
    std::uint32_t width = 0, height = 0;
    ZeroedBuffer stream;
    std::vector<std::pair<std::size_t, std::size_t>> idat;  // offset, length
    bool ended = false;
    for (bool first = true; !ended; first = false) {
        if (data.size() - at < 12) return nullptr;
        const std::uint32_t length = bigEndian32(data.data() + at);
        const std::uint8_t* type = data.data() + at + 4;
        if (length > data.size() - at - 12) return nullptr;
        const std::uint8_t* body = type + 4;
        if (libdeflate_crc32(0, type, std::size_t{length} + 4) != bigEndian32(body + length)) {
            return nullptr;
        }
        if (first != (std::memcmp(type, "IHDR", 4) == 0)) return nullptr;
        if (first) {
            // 8 bits, RGBA, deflate, adaptive filters, no interlace.
            if (length != 13 || body[8] != 8 || body[9] != 6 || body[10] != 0 || body[11] != 0 ||
                body[12] != 0) {
                return nullptr;
            }
            width = bigEndian32(body);
            height = bigEndian32(body + 4);
            if (!imageSizeAllowed(width, height, 4)) return nullptr;
        } else if (std::memcmp(type, "IDAT", 4) == 0) {
            idat.emplace_back(at + 8, length);
        } else if (std::memcmp(type, "IEND", 4) == 0) {
            ended = true;
        } else {
            return nullptr;
        }
        at += std::size_t{length} + 12;
    }
    const std::size_t rowBytes = 4 * std::size_t{width};
    const std::size_t rawBytes = (rowBytes + 1) * height;
    if (idat.empty() || rawBytes > kMaxRawBytes) return nullptr;
    const std::uint8_t* compressed = data.data() + idat.front().first;
    std::size_t compressedBytes = idat.front().second;
    if (idat.size() > 1) {
        std::size_t total = 0;
        for (const auto& chunk : idat) total += chunk.second;
        stream = ZeroedBuffer(total);
        std::size_t filled = 0;
        for (const auto& [offset, length] : idat) {
            std::memcpy(stream.data() + filled, data.data() + offset, length);
            filled += length;
        }
        compressed = stream.data();
        compressedBytes = total;
    }
    std::unique_ptr<libdeflate_decompressor, LibdeflateDecompressorFree> inflater(
        libdeflate_alloc_decompressor());
    if (!inflater) return nullptr;
    // Zero-filled by the kernel: written once, by the inflater.
    ZeroedBuffer raw(rawBytes);
    std::size_t used = 0;
    if (libdeflate_zlib_decompress_ex(inflater.get(), compressed, compressedBytes, raw.data(),
                                      rawBytes, &used, nullptr) != LIBDEFLATE_SUCCESS ||
        used != compressedBytes) {
        return nullptr;
    }
    ImagePtr image =
        PixelImage::create(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height), 32);
    if (!image || !unfilterRows(raw.data(), rowBytes, height, *image)) return nullptr;
    return image;
}

}  // namespace

ImagePtr readPng(ByteSpan data) {
    if (data.size() < 8 || png_sig_cmp(data.data(), 0, 8) != 0) return nullptr;
    try {
        if (ImagePtr image = readRgbaWhole(data)) return image;
    } catch (const std::bad_alloc&) {
        // libpng decides, with its smaller buffers.
    }
    PngHandle handle(false);
    if (!handle.valid()) return nullptr;
    MemorySource source{data.data(), data.size(), 0};
    PngLayout layout;
    if (!readHeader(handle.png(), handle.info(), &source, &layout)) return nullptr;
    // Our storage takes at most 4 bytes a pixel, plus one for palette indices
    // read before they are checked; libpng's own buffers are a row or two.
    const bool palette = layout.colorType == PNG_COLOR_TYPE_PALETTE;
    if (!imageSizeAllowed(layout.width, layout.height, palette ? 5 : 4)) return nullptr;

    ImagePtr image = PixelImage::create(static_cast<std::int32_t>(layout.width),
                                        static_cast<std::int32_t>(layout.height), layout.outDepth);
    if (!image) return nullptr;
    const png_size_t rowBytes = png_get_rowbytes(handle.png(), handle.info());
    if (palette ? rowBytes != layout.width : rowBytes > image->stride()) return nullptr;

    std::vector<std::uint8_t> indices;
    std::vector<png_bytep> rows;
    try {
        if (palette) indices.resize(std::size_t{layout.width} * layout.height);
        rows.resize(layout.height);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    for (png_uint_32 y = 0; y < layout.height; ++y) {
        rows[y] = palette ? indices.data() + std::size_t{layout.width} * y
                          : image->row(static_cast<std::int32_t>(y));
    }
    if (!readRows(handle.png(), rows.data())) return nullptr;

    if (palette) {
        // An index beyond the palette has no colour: the file is broken.
        for (const std::uint8_t index : indices) {
            if (index >= layout.paletteSize) return nullptr;
        }
        placeIndices(indices, layout, *image);
    } else if (layout.outDepth <= 8) {
        fillGreyRamp(*image, layout.outDepth);
    }
    return image;
}

namespace {

bool writeRows(png_structp png, png_infop info, std::FILE* out, const PngEncodeSettings* settings,
               png_bytepp rows, png_uint_32 width, png_uint_32 height) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_init_io(png, out);
    if (settings) {
        png_set_compression_level(png, settings->level);
        png_set_compression_strategy(png, settings->strategy);
        png_set_filter(png, PNG_FILTER_TYPE_BASE, settings->filters);
    }
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    png_write_info(png, info);
    png_set_bgr(png);
    png_write_image(png, rows);
    png_write_end(png, info);
    // libpng writes through stdio; a write error shows only in the stream state.
    return std::fflush(out) == 0 && !std::ferror(out);
}

}  // namespace

bool writePngWith(const PixelImage& image, std::FILE* out, const PngEncodeSettings* settings) {
    if (!out || image.bitDepth() != 32 || image.width() <= 0 || image.height() <= 0) return false;
    PngHandle handle(true);
    if (!handle.valid()) return false;
    std::vector<png_bytep> rows;
    try {
        rows.resize(static_cast<std::size_t>(image.height()));
    } catch (const std::bad_alloc&) {
        return false;
    }
    // libpng does not write into the rows it is given; the const goes only
    // because its interface predates const.
    for (std::int32_t y = 0; y < image.height(); ++y) {
        rows[static_cast<std::size_t>(y)] = const_cast<png_bytep>(image.row(y));
    }
    return writeRows(handle.png(), handle.info(), out, settings, rows.data(),
                     static_cast<png_uint_32>(image.width()),
                     static_cast<png_uint_32>(image.height()));
}

bool writePng(const PixelImage& image, std::FILE* out, PngCompression compression) {
    if (!out) return false;
    const bool encoded = encodePng(image, compression, [out](std::span<const std::uint8_t> bytes) {
        return std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    });
    return encoded && std::fflush(out) == 0 && !std::ferror(out);
}

}  // namespace tilvane::codecs
