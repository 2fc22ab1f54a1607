#include "image/codecs/scanline_deflate.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

namespace tilvane::codecs {

namespace {

constexpr std::size_t kWindow = 32768;
constexpr std::size_t kMaxMatch = 256;  // 258 rounded down to whole pixels
constexpr int kHashBits = 16;
// Symbols per Huffman block: large enough that the table header (about 80
// bytes) costs nothing, small enough that the tables follow the atlas from
// empty space to noisy sprites.
constexpr std::size_t kBlockSymbols = std::size_t{1} << 16;

constexpr int kLitLenCodes = 286;
constexpr int kDistCodes = 30;
constexpr int kCodeLengthCodes = 19;
constexpr int kEndOfBlock = 256;

constexpr std::array<std::uint16_t, 29> kLengthBase = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                                       15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                                       67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<std::uint8_t, 29> kLengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                       2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<std::uint16_t, 30> kDistBase = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<std::uint8_t, 30> kDistExtra = {0, 0, 0,  0,  1,  1,  2,  2,  3,  3,
                                                     4, 4, 5,  5,  6,  6,  7,  7,  8,  8,
                                                     9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr std::array<std::uint8_t, kCodeLengthCodes> kCodeLengthOrder = {
    16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// Code of every match length (3..258) and of every distance minus one: below
// 256 directly, above by its top bits (codes from 16 on span multiples of 128).
struct CodeTables {
    std::array<std::uint8_t, 259> lengthCode{};
    std::array<std::uint8_t, 512> distCode{};
    constexpr CodeTables() {
        for (int code = 0; code < 29; ++code) {
            const int end = code == 28 ? 259 : kLengthBase[code + 1];
            for (int len = kLengthBase[code]; len < end; ++len) {
                lengthCode[len] = static_cast<std::uint8_t>(code);
            }
        }
        lengthCode[258] = 28;
        for (int code = 0; code < kDistCodes; ++code) {
            const int first = kDistBase[code] - 1;
            const int count = 1 << kDistExtra[code];
            for (int d = first; d < first + count; ++d) {
                if (d < 256) {
                    distCode[d] = static_cast<std::uint8_t>(code);
                } else {
                    distCode[256 + (d >> 7)] = static_cast<std::uint8_t>(code);
                }
            }
        }
    }
};
constexpr CodeTables kCodes;

int distanceCode(std::uint32_t distance) {
    const std::uint32_t d = distance - 1;
    return d < 256 ? kCodes.distCode[d] : kCodes.distCode[256 + (d >> 7)];
}

// A literal (distance 0) or a match.
struct Symbol {
    std::uint16_t lengthOrLiteral;
    std::uint16_t distance;
};

// Bits in deflate's order (first bit in the lowest place) into a growing
// buffer; room is made per block, so a put never checks.
class BitSink {
public:
    explicit BitSink(std::vector<std::uint8_t>& out) : out_(out), pos_(out.size()) {}

    // Makes room for at least bytes more; false when memory runs out.
    bool reserve(std::size_t bytes) {
        if (out_.size() - pos_ >= bytes + 8) return true;
        try {
            out_.resize(pos_ + bytes + 8 + (pos_ + bytes) / 2);
        } catch (const std::bad_alloc&) {
            return false;
        }
        return true;
    }
    // count <= 32.
    void put(std::uint32_t bits, int count) {
        acc_ |= std::uint64_t{bits} << filled_;
        filled_ += count;
        if (filled_ >= 32) {
            const auto word = static_cast<std::uint32_t>(acc_);
            const std::uint8_t bytes[4] = {
                static_cast<std::uint8_t>(word), static_cast<std::uint8_t>(word >> 8),
                static_cast<std::uint8_t>(word >> 16), static_cast<std::uint8_t>(word >> 24)};
            std::memcpy(out_.data() + pos_, bytes, 4);
            pos_ += 4;
            acc_ >>= 32;
            filled_ -= 32;
        }
    }
    // Pads with zero bits to a byte boundary.
    void align() {
        while (filled_ > 0) {
            out_[pos_++] = static_cast<std::uint8_t>(acc_);
            acc_ >>= 8;
            filled_ = filled_ > 8 ? filled_ - 8 : 0;
        }
        acc_ = 0;
    }
    void byte(std::uint8_t b) { out_[pos_++] = b; }
    void finish() { out_.resize(pos_); }

private:
    std::vector<std::uint8_t>& out_;
    std::size_t pos_;
    std::uint64_t acc_ = 0;
    int filled_ = 0;
};

// Huffman code lengths of at most maxBits for the counts; unused symbols get
// 0. At least two symbols must be used, so the code is complete (decoders
// refuse an incomplete one).
void buildLengths(const std::uint32_t* counts, int n, int maxBits, std::uint8_t* lengths) {
    std::array<int, kLitLenCodes> order{};
    int used = 0;
    for (int s = 0; s < n; ++s) {
        lengths[s] = 0;
        if (counts[s] != 0) order[used++] = s;
    }
    std::stable_sort(order.begin(), order.begin() + used,
                     [&](int a, int b) { return counts[a] < counts[b]; });
    // Two queues: leaves in ascending count, and the joined nodes, which come
    // out ascending too; parent[] records the tree.
    std::array<std::uint64_t, 2 * kLitLenCodes> weight{};
    std::array<int, 2 * kLitLenCodes> parent{};
    for (int i = 0; i < used; ++i) weight[i] = counts[order[i]];
    int leaf = 0, node = used, next = used;
    auto take = [&]() {
        if (leaf < used && (node >= next || weight[leaf] <= weight[node])) return leaf++;
        return node++;
    };
    while (next < 2 * used - 1) {
        const int a = take();
        const int b = take();
        weight[next] = weight[a] + weight[b];
        parent[a] = parent[b] = next;
        ++next;
    }
    // Depths from the root (the last node) down.
    std::array<int, 2 * kLitLenCodes> depth{};
    std::array<int, 2 * kLitLenCodes> perLength{};
    const int root = next - 1;
    depth[root] = 0;
    int deepest = 0;
    for (int i = root - 1; i >= 0; --i) {
        depth[i] = depth[parent[i]] + 1;
        if (i < used) {
            ++perLength[depth[i]];
            deepest = std::max(deepest, depth[i]);
        }
    }
    // Too deep: move leaves up two by two, keeping the code complete (the
    // adjustment JPEG's Annex K uses for its 16-bit limit).
    for (int len = deepest; len > maxBits; --len) {
        while (perLength[len] > 0) {
            int j = len - 2;
            while (perLength[j] == 0) --j;
            perLength[len] -= 2;
            perLength[len - 1] += 1;
            perLength[j + 1] += 2;
            perLength[j] -= 1;
        }
    }
    // The most frequent symbols take the shortest lengths.
    int rank = used - 1;
    for (int len = 1; len <= maxBits; ++len) {
        for (int k = 0; k < perLength[len]; ++k) {
            lengths[order[rank--]] = static_cast<std::uint8_t>(len);
        }
    }
}

// Canonical codes for the lengths, bit-reversed for deflate's bit order.
void buildCodes(const std::uint8_t* lengths, int n, std::uint16_t* codes) {
    std::array<int, 16> perLength{};
    for (int s = 0; s < n; ++s) ++perLength[lengths[s]];
    perLength[0] = 0;
    std::array<int, 16> nextCode{};
    int code = 0;
    for (int len = 1; len < 16; ++len) {
        code = (code + perLength[len - 1]) << 1;
        nextCode[len] = code;
    }
    for (int s = 0; s < n; ++s) {
        const int len = lengths[s];
        if (len == 0) continue;
        int c = nextCode[len]++, reversed = 0;
        for (int i = 0; i < len; ++i) {
            reversed = reversed << 1 | (c & 1);
            c >>= 1;
        }
        codes[s] = static_cast<std::uint16_t>(reversed);
    }
}

// Makes sure a tree has two used symbols: a one-symbol code is incomplete.
void keepTwoUsed(std::uint32_t* counts, int n) {
    int used = 0;
    for (int s = 0; s < n && used < 2; ++s) used += counts[s] != 0;
    for (int s = 0; s < n && used < 2; ++s) {
        if (counts[s] == 0) {
            counts[s] = 1;
            ++used;
        }
    }
}

// How often each literal/length and distance code occurs in a block,
// counted as the symbols are made.
struct CodeCounts {
    std::array<std::uint32_t, kLitLenCodes> litLen{};
    std::array<std::uint32_t, kDistCodes> dist{};
};

// Writes one dynamic-Huffman block (never final) of the symbols, whose codes
// counts holds.
void writeBlock(BitSink& sink, std::span<const Symbol> symbols, CodeCounts counts) {
    auto& litCounts = counts.litLen;
    auto& distCounts = counts.dist;
    litCounts[kEndOfBlock] = 1;
    keepTwoUsed(litCounts.data(), kLitLenCodes);
    keepTwoUsed(distCounts.data(), kDistCodes);

    std::array<std::uint8_t, kLitLenCodes + kDistCodes> lengths{};
    std::uint8_t* litLengths = lengths.data();
    std::uint8_t* distLengths = lengths.data() + kLitLenCodes;
    buildLengths(litCounts.data(), kLitLenCodes, 15, litLengths);
    buildLengths(distCounts.data(), kDistCodes, 15, distLengths);
    int litUsed = kLitLenCodes, distUsed = kDistCodes;
    while (litUsed > 257 && litLengths[litUsed - 1] == 0) --litUsed;
    while (distUsed > 1 && distLengths[distUsed - 1] == 0) --distUsed;

    // The two length lists, back to back, run-length coded with 16 (repeat
    // the previous 3-6 times), 17 (3-10 zeros) and 18 (11-138 zeros).
    std::array<std::uint8_t, kLitLenCodes + kDistCodes> all{};
    std::copy_n(litLengths, litUsed, all.begin());
    std::copy_n(distLengths, distUsed, all.begin() + litUsed);
    const int total = litUsed + distUsed;
    struct Run {
        std::uint8_t code;
        std::uint8_t extra;
    };
    std::array<Run, kLitLenCodes + kDistCodes> runs{};
    int runCount = 0;
    std::array<std::uint32_t, kCodeLengthCodes> clCounts{};
    for (int i = 0; i < total;) {
        const std::uint8_t len = all[i];
        int same = 1;
        while (i + same < total && all[i + same] == len) ++same;
        if (len == 0 && same >= 11) {
            same = std::min(same, 138);
            runs[runCount++] = {18, static_cast<std::uint8_t>(same - 11)};
        } else if (len == 0 && same >= 3) {
            runs[runCount++] = {17, static_cast<std::uint8_t>(same - 3)};
        } else if (len != 0 && same >= 4) {
            runs[runCount++] = {len, 0};
            same = 1 + std::min(same - 1, 6);
            runs[runCount++] = {16, static_cast<std::uint8_t>(same - 4)};
        } else {
            same = 1;
            runs[runCount++] = {len, 0};
        }
        i += same;
    }
    for (int r = 0; r < runCount; ++r) ++clCounts[runs[r].code];
    keepTwoUsed(clCounts.data(), kCodeLengthCodes);
    std::array<std::uint8_t, kCodeLengthCodes> clLengths{};
    std::array<std::uint16_t, kCodeLengthCodes> clCodes{};
    buildLengths(clCounts.data(), kCodeLengthCodes, 7, clLengths.data());
    buildCodes(clLengths.data(), kCodeLengthCodes, clCodes.data());
    int clUsed = kCodeLengthCodes;
    while (clUsed > 4 && clLengths[kCodeLengthOrder[clUsed - 1]] == 0) --clUsed;

    sink.put(0b100, 3);  // not final, dynamic Huffman
    sink.put(static_cast<std::uint32_t>(litUsed - 257), 5);
    sink.put(static_cast<std::uint32_t>(distUsed - 1), 5);
    sink.put(static_cast<std::uint32_t>(clUsed - 4), 4);
    for (int i = 0; i < clUsed; ++i) sink.put(clLengths[kCodeLengthOrder[i]], 3);
    static constexpr std::array<int, 3> kRunExtraBits = {2, 3, 7};
    for (int r = 0; r < runCount; ++r) {
        const Run& run = runs[r];
        sink.put(clCodes[run.code], clLengths[run.code]);
        if (run.code >= 16) sink.put(run.extra, kRunExtraBits[run.code - 16]);
    }

    std::array<std::uint16_t, kLitLenCodes> litCodes{};
    std::array<std::uint16_t, kDistCodes> distCodes{};
    buildCodes(litLengths, kLitLenCodes, litCodes.data());
    buildCodes(distLengths, kDistCodes, distCodes.data());
    for (const Symbol& s : symbols) {
        if (s.distance == 0) {
            sink.put(litCodes[s.lengthOrLiteral], litLengths[s.lengthOrLiteral]);
            continue;
        }
        const int lc = kCodes.lengthCode[s.lengthOrLiteral];
        sink.put(litCodes[257 + lc], litLengths[257 + lc]);
        sink.put(static_cast<std::uint32_t>(s.lengthOrLiteral - kLengthBase[lc]), kLengthExtra[lc]);
        const int dc = distanceCode(s.distance);
        sink.put(distCodes[dc], distLengths[dc]);
        sink.put(static_cast<std::uint32_t>(s.distance - kDistBase[dc]), kDistExtra[dc]);
    }
    sink.put(litCodes[kEndOfBlock], litLengths[kEndOfBlock]);
}

std::uint32_t load32(const std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

std::uint32_t hashPixel(std::uint32_t v) {
    return (v * 0x9E3779B1u) >> (32 - kHashBits);
}

// Upper bound of one block's bytes: the header, and 48 bits for a symbol.
constexpr std::size_t kBlockBound = 1024 + kBlockSymbols * 6;

}  // namespace

bool deflateScanlines(std::span<const std::uint8_t> data, std::size_t historyBytes,
                      std::size_t rowBytes, bool last, std::vector<std::uint8_t>& out) {
    if (rowBytes < 5 || (rowBytes - 1) % 4 != 0 || data.size() % rowBytes != 0 ||
        historyBytes % rowBytes != 0 || historyBytes > data.size() ||
        data.size() > std::size_t{0x7FFFFFFF}) {
        return false;
    }
    std::vector<std::int32_t> head;
    std::vector<Symbol> symbols;
    try {
        head.assign(std::size_t{1} << kHashBits, -1);
        symbols.resize(kBlockSymbols);
    } catch (const std::bad_alloc&) {
        return false;
    }
    BitSink sink(out);
    const std::uint8_t* base = data.data();
    std::size_t count = 0;
    CodeCounts counts;
    // Makes room for `room` more symbols, writing the block when it is full.
    auto makeRoom = [&](std::size_t room) {
        if (count + room <= kBlockSymbols) return true;
        if (!sink.reserve(kBlockBound)) return false;
        writeBlock(sink, std::span<const Symbol>(symbols.data(), count), counts);
        count = 0;
        counts = CodeCounts{};
        return true;
    };
    auto literal = [&](std::uint8_t byte) {
        symbols[count++] = {byte, 0};
        ++counts.litLen[byte];
    };

    // Only the last window's worth of history can be reached.
    const std::size_t reach = std::min(historyBytes, kWindow + rowBytes);
    for (std::size_t row = historyBytes - reach / rowBytes * rowBytes; row < historyBytes;
         row += rowBytes) {
        for (std::size_t p = row + 1; p < row + rowBytes; p += 4) {
            head[hashPixel(load32(base + p))] = static_cast<std::int32_t>(p);
        }
    }
    for (std::size_t row = historyBytes; row < data.size(); row += rowBytes) {
        if (!makeRoom(1)) return false;
        literal(base[row]);
        const std::size_t end = row + rowBytes;
        std::size_t p = row + 1;
        while (p < end) {
            if (!makeRoom(4)) return false;  // a pixel: four literals at most
            const std::uint32_t v = load32(base + p);
            std::int32_t& slot = head[hashPixel(v)];
            const std::int32_t candidate = slot;
            slot = static_cast<std::int32_t>(p);
            if (candidate >= 0 && p - static_cast<std::size_t>(candidate) <= kWindow &&
                load32(base + candidate) == v) {
                const std::uint8_t* from = base + candidate;
                const std::size_t longest = std::min(kMaxMatch, end - p);
                std::size_t len = 4;
                while (len < longest && load32(from + len) == load32(base + p + len)) len += 4;
                const auto distance =
                    static_cast<std::uint32_t>(p - static_cast<std::size_t>(candidate));
                symbols[count++] = {static_cast<std::uint16_t>(len),
                                    static_cast<std::uint16_t>(distance)};
                ++counts.litLen[257 + kCodes.lengthCode[len]];
                ++counts.dist[distanceCode(distance)];
                p += len;
                // The match's last pixel goes in too, so a repeat right
                // after the match can start from it.
                head[hashPixel(load32(base + p - 4))] = static_cast<std::int32_t>(p - 4);
            } else {
                for (int i = 0; i < 4; ++i) literal(base[p + i]);
                p += 4;
            }
        }
    }
    if (count > 0) {
        if (!sink.reserve(kBlockBound)) return false;
        writeBlock(sink, std::span<const Symbol>(symbols.data(), count), counts);
    }
    if (!sink.reserve(16)) return false;
    if (last) {
        sink.put(0b011, 3);  // final, fixed Huffman: just its end-of-block code
        sink.put(0, 7);
        sink.align();
    } else {
        sink.put(0b000, 3);  // not final, stored, empty: a byte-aligned seam
        sink.align();
        for (const std::uint8_t b : {0x00, 0x00, 0xFF, 0xFF}) sink.byte(b);
    }
    sink.finish();
    return true;
}

}  // namespace tilvane::codecs
