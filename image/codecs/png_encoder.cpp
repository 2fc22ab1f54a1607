#include "image/codecs/png_encoder.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "image/codecs/scanline_deflate.h"

namespace tilvane::codecs {

namespace {

enum Filter : unsigned { kNone, kSub, kUp, kAverage, kPaeth, kFilterCount };

struct Plan {
    unsigned filters;       // bit f set: filter f may be chosen
    std::size_t pixelStep;  // the filter guess counts every pixelStep-th pixel
    int libdeflateLevel;    // 0: our own deflate
    std::size_t bandBytes;  // filtered bytes per band, about
};

constexpr unsigned kAllFilters = (1u << kFilterCount) - 1;
// Sub and Up are the cheapest filters that still take out most of what
// neighbouring pixels share.
constexpr unsigned kFastFilters = 1u << kSub | 1u << kUp;
// Average seldom wins a row of an atlas under the entropy guess and costs a
// fifth more to weigh.
constexpr unsigned kStandardFilters = kAllFilters & ~(1u << kAverage);

Plan planFor(PngCompression compression) {
    switch (compression) {
        case PngCompression::fast:
            return {kFastFilters, 1, 0, std::size_t{1} << 20};
        case PngCompression::small:
            // Level 11 files are as small as 12's on atlases, in two thirds of
            // the time.
            return {kAllFilters, 1, 11, std::size_t{4} << 20};
        case PngCompression::standard:
            break;
    }
    return {kStandardFilters, 4, 0, std::size_t{1} << 20};
}

std::uint8_t paeth(int a, int b, int c) {
    const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
    return static_cast<std::uint8_t>(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

// Filter f of the row cur (above it prev, zeros for the first row), n bytes.
void applyFilter(unsigned f, const std::uint8_t* cur, const std::uint8_t* prev, std::size_t n,
                 std::uint8_t* out) {
    switch (f) {
        case kNone:
            std::memcpy(out, cur, n);
            break;
        case kSub:
            for (std::size_t i = 0; i < 4; ++i) out[i] = cur[i];
            for (std::size_t i = 4; i < n; ++i)
                out[i] = static_cast<std::uint8_t>(cur[i] - cur[i - 4]);
            break;
        case kUp:
            for (std::size_t i = 0; i < n; ++i)
                out[i] = static_cast<std::uint8_t>(cur[i] - prev[i]);
            break;
        case kAverage:
            for (std::size_t i = 0; i < 4; ++i)
                out[i] = static_cast<std::uint8_t>(cur[i] - prev[i] / 2);
            for (std::size_t i = 4; i < n; ++i) {
                out[i] = static_cast<std::uint8_t>(cur[i] - (cur[i - 4] + prev[i]) / 2);
            }
            break;
        default:
            for (std::size_t i = 0; i < 4; ++i)
                out[i] = static_cast<std::uint8_t>(cur[i] - prev[i]);
            for (std::size_t i = 4; i < n; ++i) {
                out[i] =
                    static_cast<std::uint8_t>(cur[i] - paeth(cur[i - 4], prev[i], prev[i - 4]));
            }
            break;
    }
}

// The usual quick guess at how well a filtered row compresses, for Sub and
// Up: the sum of its bytes read as signed distances from zero. One pass over
// the row, in slices short enough for 32-bit sums, which vectorise.
std::array<std::uint64_t, kFilterCount> subUpCosts(const std::uint8_t* cur,
                                                   const std::uint8_t* prev, std::size_t n) {
    auto size = [](int residual) {
        const int v = static_cast<std::int8_t>(static_cast<std::uint8_t>(residual));
        return static_cast<std::uint32_t>(v < 0 ? -v : v);
    };
    std::array<std::uint64_t, kFilterCount> sums{};
    for (std::size_t i = 0; i < 4; ++i) {
        sums[kSub] += size(cur[i]);
        sums[kUp] += size(cur[i] - prev[i]);
    }
    for (std::size_t start = 4; start < n; start += std::size_t{1} << 20) {
        const std::size_t stop = std::min(n, start + (std::size_t{1} << 20));
        std::uint32_t sub = 0, up = 0;
        for (std::size_t i = start; i < stop; ++i) {
            sub += size(cur[i] - cur[i - 4]);
            up += size(cur[i] - prev[i]);
        }
        sums[kSub] += sub;
        sums[kUp] += up;
    }
    return sums;
}

// A closer guess, worth its cost when more filters compete: the bits an
// order-0 entropy coder would spend on the row's bytes under each filter, the
// sum over byte values of count * log2(total / count). Unlike the sum of
// distances it sees that a row of a few repeated values codes small. Counting
// every fourth pixel only (standard) costs a few tenths of a percent of size
// for a quarter of the time.
class EntropyEstimate {
public:
    std::array<double, kFilterCount> bits(unsigned filters, std::size_t pixelStep,
                                          const std::uint8_t* cur, const std::uint8_t* prev,
                                          std::size_t n) {
        for (auto& table : counts_) table.fill(0);
        auto count = [this, filters](int x, int a, int b, int c) {
            if (filters >> kNone & 1u) ++counts_[kNone][static_cast<std::uint8_t>(x)];
            if (filters >> kSub & 1u) ++counts_[kSub][static_cast<std::uint8_t>(x - a)];
            if (filters >> kUp & 1u) ++counts_[kUp][static_cast<std::uint8_t>(x - b)];
            if (filters >> kAverage & 1u) {
                ++counts_[kAverage][static_cast<std::uint8_t>(x - (a + b) / 2)];
            }
            if (filters >> kPaeth & 1u) {
                ++counts_[kPaeth][static_cast<std::uint8_t>(x - paeth(a, b, c))];
            }
        };
        std::size_t total = 4;
        for (std::size_t i = 0; i < 4; ++i) count(cur[i], 0, prev[i], 0);
        for (std::size_t pixel = 4 * pixelStep; pixel < n; pixel += 4 * pixelStep) {
            for (std::size_t i = pixel; i < pixel + 4; ++i) {
                count(cur[i], cur[i - 4], prev[i], prev[i - 4]);
            }
            total += 4;
        }
        std::array<double, kFilterCount> result{};
        for (unsigned f = 0; f < kFilterCount; ++f) {
            if (!(filters >> f & 1u)) continue;
            double sum = 0;
            for (const std::uint32_t k : counts_[f]) sum += k * logOf(k);
            result[f] = static_cast<double>(total) * logOf(total) - sum;
        }
        return result;
    }

private:
    // log2(k), from a table for the small counts that dominate.
    double logOf(std::size_t k) {
        if (k >= logs_.size()) return std::log2(static_cast<double>(k));
        return logs_[k];
    }

    // Bytes of each value under each filter; a row holds fewer than 2^31.
    std::array<std::array<std::uint32_t, 256>, kFilterCount> counts_{};
    std::array<double, 4096> logs_ = [] {
        std::array<double, 4096> table{};
        for (std::size_t k = 1; k < table.size(); ++k) table[k] = std::log2(static_cast<double>(k));
        return table;
    }();
};

// Turns the image's rows into PNG scanlines: RGBA bytes behind a filter type,
// the filter picked per row among the plan's by the lowest cost.
class RowFilter {
public:
    RowFilter(const PixelImage& image, unsigned filters, std::size_t pixelStep)
        : image_(image), filters_(filters), pixelStep_(pixelStep) {}

    bool prepare() {
        const std::size_t n = rowPixelBytes();
        try {
            above_.assign(n, 0);
            current_.assign(n, 0);
        } catch (const std::bad_alloc&) {
            return false;
        }
        return true;
    }

    std::size_t rowPixelBytes() const { return static_cast<std::size_t>(image_.width()) * 4; }

    // Rows [first, last) into out, 1 + rowPixelBytes() bytes each.
    void filterRows(std::int32_t first, std::int32_t last, std::uint8_t* out) {
        const std::size_t n = rowPixelBytes();
        if (first == 0) {
            std::fill(above_.begin(), above_.end(), std::uint8_t{0});
        } else {
            toRgba(image_.row(first - 1), above_.data());
        }
        for (std::int32_t y = first; y < last; ++y, out += n + 1) {
            toRgba(image_.row(y), current_.data());
            filterRow(out);
            above_.swap(current_);
        }
    }

private:
    void toRgba(const std::uint8_t* bgra, std::uint8_t* rgba) const {
        const std::size_t pixels = static_cast<std::size_t>(image_.width());
        for (std::size_t i = 0; i < pixels; ++i) {
            std::uint32_t v;
            std::memcpy(&v, bgra + 4 * i, 4);
            v = (v & 0xFF00FF00u) | (v >> 16 & 0xFFu) | (v & 0xFFu) << 16;
            std::memcpy(rgba + 4 * i, &v, 4);
        }
    }

    void filterRow(std::uint8_t* out) {
        const std::size_t n = rowPixelBytes();
        unsigned best = std::countr_zero(filters_);
        auto pickLowest = [&](const auto& costs) {
            for (unsigned f = best + 1; f < kFilterCount; ++f) {
                if ((filters_ >> f & 1u) && costs[f] < costs[best]) best = f;
            }
        };
        if (filters_ == kFastFilters) {
            pickLowest(subUpCosts(current_.data(), above_.data(), n));
        } else if (filters_ != 1u << best) {
            pickLowest(entropy_.bits(filters_, pixelStep_, current_.data(), above_.data(), n));
        }
        out[0] = static_cast<std::uint8_t>(best);
        applyFilter(best, current_.data(), above_.data(), n, out + 1);
    }

    const PixelImage& image_;
    unsigned filters_;
    std::size_t pixelStep_;
    std::vector<std::uint8_t> above_, current_;
    EntropyEstimate entropy_;
};

struct LibdeflateFree {
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};

// libdeflate ends every stream with a final block. Finds that block by
// decoding the stream with zlib (which reports where each block starts),
// marks it not final and adds an empty stored block, so the stream stops on a
// byte boundary and the next band's follows it. The decoding is also a check
// of what libdeflate wrote.
bool reopenFinalBlock(std::vector<std::uint8_t>& stream) {
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) return false;
    struct End {
        z_stream* z;
        ~End() { inflateEnd(z); }
    } end{&z};
    std::array<std::uint8_t, 1 << 16> window;
    z.next_in = stream.data();
    z.avail_in = static_cast<uInt>(stream.size());
    // zlib stops after each block; 64 says the block just ended was the final
    // one (the end it then reports is exact; at the stream's end it is not).
    std::size_t blockStart = 0, endBit = 0;
    for (;;) {
        z.next_out = window.data();
        z.avail_out = static_cast<uInt>(window.size());
        const int result = inflate(&z, Z_BLOCK);
        if (result == Z_STREAM_END) break;
        if (result != Z_OK) return false;
        const std::size_t usedBits = (stream.size() - z.avail_in) * 8 - (z.data_type & 7);
        if ((z.data_type & 128) && (z.data_type & 64)) {
            endBit = usedBits;
        } else if (z.data_type & 128) {
            blockStart = usedBits;
        }
    }
    if (endBit <= blockStart) return false;
    stream[blockStart / 8] &= static_cast<std::uint8_t>(~(1u << (blockStart % 8)));
    // Three zero bits (not final, stored) at endBit, zero padding, then the
    // empty block's lengths.
    try {
        stream.resize((endBit + 3 + 7) / 8, 0);
        stream[endBit / 8] &= static_cast<std::uint8_t>((1u << (endBit % 8)) - 1);
        for (std::size_t i = endBit / 8 + 1; i < stream.size(); ++i) stream[i] = 0;
        stream.insert(stream.end(), {0x00, 0x00, 0xFF, 0xFF});
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

// One band's share of the stream.
struct BandOutput {
    std::vector<std::uint8_t> bytes;
    uLong adler = 1;
    std::size_t rawBytes = 0;
    bool ok = false;
    bool ready = false;
};

// What a thread needs to compress bands: its own scratch and compressor.
class BandCompressor {
public:
    BandCompressor(const PixelImage& image, const Plan& plan, std::int32_t rowsPerBand,
                   std::int32_t historyRows)
        : image_(image),
          plan_(plan),
          filter_(image, plan.filters, plan.pixelStep),
          rowsPerBand_(rowsPerBand),
          historyRows_(historyRows) {}

    BandOutput compress(std::size_t band) {
        BandOutput result;
        try {
            result.ok = run(band, result);
        } catch (const std::bad_alloc&) {
            result.ok = false;
        }
        return result;
    }

private:
    bool run(std::size_t band, BandOutput& result) {
        if (!ready_) {
            if (!filter_.prepare()) return false;
            if (plan_.libdeflateLevel > 0) {
                compressor_.reset(libdeflate_alloc_compressor(plan_.libdeflateLevel));
                if (!compressor_) return false;
            }
            ready_ = true;
        }
        const std::int32_t first = static_cast<std::int32_t>(band) * rowsPerBand_;
        const std::int32_t last = std::min(image_.height(), first + rowsPerBand_);
        const bool lastBand = last == image_.height();
        const std::int32_t history = plan_.libdeflateLevel > 0 ? 0 : std::min(first, historyRows_);
        const std::size_t rowBytes = filter_.rowPixelBytes() + 1;
        const std::size_t historyBytes = static_cast<std::size_t>(history) * rowBytes;
        result.rawBytes = static_cast<std::size_t>(last - first) * rowBytes;
        scanlines_.resize(historyBytes + result.rawBytes);
        filter_.filterRows(first - history, last, scanlines_.data());
        const std::uint8_t* own = scanlines_.data() + historyBytes;
        result.adler = adler32_z(1, own, result.rawBytes);
        if (plan_.libdeflateLevel == 0) {
            return deflateScanlines(scanlines_, historyBytes, rowBytes, lastBand, result.bytes);
        }
        result.bytes.resize(libdeflate_deflate_compress_bound(compressor_.get(), result.rawBytes));
        const std::size_t size = libdeflate_deflate_compress(
            compressor_.get(), own, result.rawBytes, result.bytes.data(), result.bytes.size());
        if (size == 0) return false;
        result.bytes.resize(size);
        return lastBand || reopenFinalBlock(result.bytes);
    }

    const PixelImage& image_;
    Plan plan_;
    RowFilter filter_;
    std::int32_t rowsPerBand_;
    std::int32_t historyRows_;
    bool ready_ = false;
    std::vector<std::uint8_t> scanlines_;
    std::unique_ptr<libdeflate_compressor, LibdeflateFree> compressor_;
};

void putU32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 24);
    p[1] = static_cast<std::uint8_t>(v >> 16);
    p[2] = static_cast<std::uint8_t>(v >> 8);
    p[3] = static_cast<std::uint8_t>(v);
}

// Writes a chunk whose data is the pieces one after another.
bool writeChunk(const PngByteSink& sink, const char* type,
                std::initializer_list<std::span<const std::uint8_t>> pieces) {
    std::size_t length = 0;
    for (const auto& piece : pieces) length += piece.size();
    if (length > 0x7FFFFFFF) return false;
    std::array<std::uint8_t, 8> head{};
    putU32(head.data(), static_cast<std::uint32_t>(length));
    std::memcpy(head.data() + 4, type, 4);
    uLong crc = crc32_z(0, head.data() + 4, 4);
    if (!sink(head)) return false;
    for (const auto& piece : pieces) {
        if (piece.empty()) continue;
        crc = crc32_z(crc, piece.data(), piece.size());
        if (!sink(piece)) return false;
    }
    std::array<std::uint8_t, 4> tail{};
    putU32(tail.data(), static_cast<std::uint32_t>(crc));
    return sink(tail);
}

// Puts the bands' outputs into IDAT chunks in order, the zlib header before
// the first and the combined Adler-32 after the last.
class StreamWriter {
public:
    StreamWriter(const PngByteSink& sink, std::size_t bandCount)
        : sink_(sink), bandCount_(bandCount) {}

    bool add(const BandOutput& band) {
        static constexpr std::array<std::uint8_t, 2> kZlibHeader = {0x78, 0x01};
        adler_ = index_ == 0
                     ? band.adler
                     : adler32_combine(adler_, band.adler, static_cast<z_off_t>(band.rawBytes));
        std::array<std::uint8_t, 4> trailer{};
        putU32(trailer.data(), static_cast<std::uint32_t>(adler_));
        const bool first = index_ == 0, last = ++index_ == bandCount_;
        return writeChunk(
            sink_, "IDAT",
            {first ? std::span<const std::uint8_t>(kZlibHeader) : std::span<const std::uint8_t>(),
             band.bytes,
             last ? std::span<const std::uint8_t>(trailer) : std::span<const std::uint8_t>()});
    }

private:
    const PngByteSink& sink_;
    std::size_t bandCount_;
    std::size_t index_ = 0;
    uLong adler_ = 1;
};

struct BandLayout {
    std::int32_t rowsPerBand;
    std::int32_t historyRows;
    std::size_t bandCount;
};

// Compresses the bands on worker threads, each at most a few bands ahead of
// the one being written (so only those are held), and hands them to the
// writer in order. False on the first band that fails or write refused.
bool compressInParallel(const PixelImage& image, const Plan& plan, const BandLayout& layout,
                        unsigned threads, StreamWriter& writer) {
    std::vector<BandOutput> outputs;
    try {
        outputs.resize(layout.bandCount);
    } catch (const std::bad_alloc&) {
        return false;
    }
    std::mutex mutex;
    std::condition_variable changed;
    std::size_t nextBand = 0, writtenBands = 0;
    bool stop = false;
    const std::size_t ahead = 2 * static_cast<std::size_t>(threads);
    auto work = [&] {
        BandCompressor compressor(image, plan, layout.rowsPerBand, layout.historyRows);
        for (;;) {
            std::size_t band = 0;
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] {
                    return stop || nextBand >= layout.bandCount || nextBand < writtenBands + ahead;
                });
                if (stop || nextBand >= layout.bandCount) return;
                band = nextBand++;
            }
            BandOutput output = compressor.compress(band);
            {
                std::lock_guard lock(mutex);
                outputs[band] = std::move(output);
                outputs[band].ready = true;
            }
            changed.notify_all();
        }
    };
    // Declared after everything the workers use, so they are joined first;
    // the guard (destroyed before them) releases any that wait.
    std::vector<std::jthread> workers;
    struct Release {
        std::mutex& mutex;
        std::condition_variable& changed;
        bool& stop;
        ~Release() {
            {
                std::lock_guard lock(mutex);
                stop = true;
            }
            changed.notify_all();
        }
    } release{mutex, changed, stop};
    try {
        workers.reserve(threads);
        for (unsigned i = 0; i < threads; ++i) workers.emplace_back(work);
    } catch (const std::exception&) {
        if (workers.empty()) return false;
    }
    for (std::size_t band = 0; band < layout.bandCount; ++band) {
        BandOutput output;
        {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return outputs[band].ready; });
            output = std::move(outputs[band]);
        }
        if (!output.ok || !writer.add(output)) return false;
        {
            std::lock_guard lock(mutex);
            ++writtenBands;
        }
        changed.notify_all();
    }
    return true;
}

}  // namespace

bool encodePng(const PixelImage& image, PngCompression compression, const PngByteSink& sink,
               unsigned threads) {
    if (image.bitDepth() != 32 || image.width() <= 0 || image.height() <= 0) return false;
    const Plan plan = planFor(compression);
    const std::size_t rowBytes = static_cast<std::size_t>(image.width()) * 4 + 1;
    const auto height = static_cast<std::size_t>(image.height());
    BandLayout layout{};
    layout.rowsPerBand =
        static_cast<std::int32_t>(std::clamp<std::size_t>(plan.bandBytes / rowBytes, 1, height));
    // The rows before a band that our deflate may reach back into; none when
    // they would make a band's buffer too large to index.
    layout.historyRows = static_cast<std::int32_t>((32768 + rowBytes - 1) / rowBytes);
    if ((static_cast<std::size_t>(layout.historyRows) +
         static_cast<std::size_t>(layout.rowsPerBand)) *
            rowBytes >
        std::size_t{0x7FFFFFFF}) {
        layout.historyRows = 0;
    }
    const auto rowsPerBand = static_cast<std::size_t>(layout.rowsPerBand);
    layout.bandCount = (height + rowsPerBand - 1) / rowsPerBand;

    std::array<std::uint8_t, 13> header{};
    putU32(header.data(), static_cast<std::uint32_t>(image.width()));
    putU32(header.data() + 4, static_cast<std::uint32_t>(image.height()));
    header[8] = 8;  // bits per channel
    header[9] = 6;  // RGBA
    static constexpr std::array<std::uint8_t, 8> kSignature = {0x89, 'P',  'N',  'G',
                                                               '\r', '\n', 0x1A, '\n'};
    if (!sink(kSignature) || !writeChunk(sink, "IHDR", {header})) return false;

    // Each thread holds a band and its output, and may run two bands ahead of
    // the writer: past eight threads the memory grows faster than the speed.
    if (threads == 0) threads = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
    threads = static_cast<unsigned>(std::min<std::size_t>(threads, layout.bandCount));
    StreamWriter writer(sink, layout.bandCount);
    if (threads > 1) {
        if (!compressInParallel(image, plan, layout, threads, writer)) return false;
    } else {
        BandCompressor compressor(image, plan, layout.rowsPerBand, layout.historyRows);
        for (std::size_t band = 0; band < layout.bandCount; ++band) {
            const BandOutput output = compressor.compress(band);
            if (!output.ok || !writer.add(output)) return false;
        }
    }
    return writeChunk(sink, "IEND", {});
}

}  // namespace tilvane::codecs
