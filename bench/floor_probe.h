#pragma once

// The floor a packer of a folder of PNG sprites can reach on this machine:
// list the folder, decode each sprite with libpng's simplified reader and
// trim it (every core), copy the trimmed pixels into an atlas where a given
// layout puts them, and write the atlas as a PNG with a fast banded encoder
// (Up-filtered rows, bands compressed by libdeflate at level 1 on every core,
// spliced into one stream). Nothing is checked, ordered or written safely:
// what is left is the work no packer of these files can avoid. It shares no
// code with tilvane-pack's pipeline beyond the layout it is handed.
#include <libdeflate.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace tilvane::bench {

// Where each sprite's trimmed pixels go: its top-left corner in the atlas,
// by file name; sprites not named are left out.
struct FloorLayout {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::map<std::string, std::pair<std::int32_t, std::int32_t>> at;
};

struct FloorRun {
    bool ok = false;
    double seconds = 0;
    double decodeSeconds = 0;  // listing, decoding and trimming
    double copySeconds = 0;
    double encodeSeconds = 0;  // filtering, compressing and writing
    std::size_t bytes = 0;
};

namespace floor_detail {

using Clock = std::chrono::steady_clock;

inline double since(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

// Runs work(i) for i in [0, n) on every core.
inline void onEveryCore(std::size_t n, const std::function<void(std::size_t)>& work) {
    std::atomic<std::size_t> next{0};
    const auto loop = [&] {
        for (std::size_t i = next++; i < n; i = next++) work(i);
    };
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    std::vector<std::jthread> threads;
    for (unsigned t = 1; t < cores; ++t) threads.emplace_back(loop);
    loop();
}

struct Sprite {
    std::string name;
    std::int32_t width = 0, height = 0;  // trimmed
    std::vector<std::uint32_t> pixels;   // RGBA, trimmed
};

// Decodes and trims one file (alpha above 0); empty pixels on failure.
inline Sprite decodeAndTrim(const std::filesystem::path& path) {
    Sprite sprite;
    sprite.name = path.filename().string();
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return sprite;
    image.format = PNG_FORMAT_RGBA;
    std::vector<std::uint32_t> all(static_cast<std::size_t>(image.width) * image.height);
    if (!png_image_finish_read(&image, nullptr, all.data(), 0, nullptr)) return sprite;
    const auto w = static_cast<std::int32_t>(image.width),
               h = static_cast<std::int32_t>(image.height);
    std::int32_t left = w, right = -1, top = h, bottom = -1;
    for (std::int32_t y = 0; y < h; ++y) {
        const std::uint32_t* row = all.data() + static_cast<std::size_t>(y) * w;
        for (std::int32_t x = 0; x < w; ++x) {
            if (row[x] >> 24) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    if (right < 0) return sprite;
    sprite.width = right - left + 1;
    sprite.height = bottom - top + 1;
    sprite.pixels.resize(static_cast<std::size_t>(sprite.width) * sprite.height);
    for (std::int32_t y = 0; y < sprite.height; ++y) {
        std::memcpy(sprite.pixels.data() + static_cast<std::size_t>(y) * sprite.width,
                    all.data() + static_cast<std::size_t>(top + y) * w + left,
                    4 * static_cast<std::size_t>(sprite.width));
    }
    return sprite;
}

// Clears the final bit of a raw deflate stream's last block and closes the
// stream with an empty stored block, so that the next band's stream can
// follow it. The last block is found by inflating the stream (zlib stops at
// each block's end).
inline bool reopen(std::vector<std::uint8_t>& stream) {
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) return false;
    std::array<std::uint8_t, 1 << 16> scratch;
    z.next_in = stream.data();
    z.avail_in = static_cast<uInt>(stream.size());
    std::size_t lastStart = 0, endBit = 0;
    int result = Z_OK;
    for (;;) {
        z.next_out = scratch.data();
        z.avail_out = static_cast<uInt>(scratch.size());
        result = inflate(&z, Z_BLOCK);
        if (result != Z_OK) break;
        const std::size_t bit = (stream.size() - z.avail_in) * 8 - (z.data_type & 7);
        if ((z.data_type & 128) && (z.data_type & 64))
            endBit = bit;
        else if (z.data_type & 128)
            lastStart = bit;
    }
    inflateEnd(&z);
    if (result != Z_STREAM_END || endBit <= lastStart) return false;
    stream[lastStart / 8] &= static_cast<std::uint8_t>(~(1u << (lastStart % 8)));
    stream.resize((endBit + 3 + 7) / 8, 0);
    stream[endBit / 8] &= static_cast<std::uint8_t>((1u << (endBit % 8)) - 1);
    for (std::size_t i = endBit / 8 + 1; i < stream.size(); ++i) stream[i] = 0;
    stream.insert(stream.end(), {0x00, 0x00, 0xFF, 0xFF});
    return true;
}

inline void putU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<std::uint8_t>(v >> s));
}

inline void chunk(std::FILE* f, const char* type, const std::uint8_t* data, std::size_t n) {
    std::vector<std::uint8_t> head;
    putU32(head, static_cast<std::uint32_t>(n));
    head.insert(head.end(), type, type + 4);
    std::uint32_t crc = libdeflate_crc32(0, type, 4);
    crc = libdeflate_crc32(crc, data, n);
    std::fwrite(head.data(), 1, head.size(), f);
    std::fwrite(data, 1, n, f);
    std::vector<std::uint8_t> tail;
    putU32(tail, crc);
    std::fwrite(tail.data(), 1, 4, f);
}

// Up-filtered rows of the RGBA atlas in bands of about 2 MiB, each band
// compressed at level 1 on its own core and spliced; written as one IDAT per band.
inline std::size_t encode(const std::vector<std::uint32_t>& atlas, std::int32_t w, std::int32_t h,
                          const std::string& path) {
    const std::size_t rowBytes = 4 * static_cast<std::size_t>(w);
    const auto rowsPerBand =
        static_cast<std::int32_t>(std::max<std::size_t>(1, (std::size_t{2} << 20) / rowBytes));
    const std::size_t bands = (static_cast<std::size_t>(h) + rowsPerBand - 1) / rowsPerBand;
    std::vector<std::vector<std::uint8_t>> out(bands);
    std::vector<std::uint32_t> adlers(bands);
    std::vector<std::size_t> raws(bands);
    std::atomic<bool> ok{true};
    onEveryCore(bands, [&](std::size_t b) {
        const std::int32_t y0 = static_cast<std::int32_t>(b) * rowsPerBand;
        const std::int32_t y1 = std::min(h, y0 + rowsPerBand);
        std::vector<std::uint8_t> raw((rowBytes + 1) * static_cast<std::size_t>(y1 - y0));
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(atlas.data());
        for (std::int32_t y = y0; y < y1; ++y) {
            std::uint8_t* row = raw.data() + (rowBytes + 1) * static_cast<std::size_t>(y - y0);
            const std::uint8_t* cur = bytes + rowBytes * static_cast<std::size_t>(y);
            row[0] = 2;
            if (y == 0) {
                std::memcpy(row + 1, cur, rowBytes);
            } else {
                const std::uint8_t* up = cur - rowBytes;
                for (std::size_t i = 0; i < rowBytes; ++i)
                    row[1 + i] = static_cast<std::uint8_t>(cur[i] - up[i]);
            }
        }
        libdeflate_compressor* c = libdeflate_alloc_compressor(1);
        out[b].resize(libdeflate_deflate_compress_bound(c, raw.size()));
        out[b].resize(
            libdeflate_deflate_compress(c, raw.data(), raw.size(), out[b].data(), out[b].size()));
        libdeflate_free_compressor(c);
        adlers[b] = libdeflate_adler32(1, raw.data(), raw.size());
        raws[b] = raw.size();
        if (out[b].empty() || (b + 1 < bands && !reopen(out[b]))) ok = false;
    });
    if (!ok) return 0;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "wb"), std::fclose);
    if (!f) return 0;
    static const std::uint8_t signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::fwrite(signature, 1, 8, f.get());
    std::vector<std::uint8_t> header;
    putU32(header, static_cast<std::uint32_t>(w));
    putU32(header, static_cast<std::uint32_t>(h));
    header.insert(header.end(), {8, 6, 0, 0, 0});
    chunk(f.get(), "IHDR", header.data(), header.size());
    uLong adler = adlers[0];
    for (std::size_t b = 1; b < bands; ++b)
        adler = adler32_combine(adler, adlers[b], static_cast<z_off_t>(raws[b]));
    std::size_t total = 0;
    for (std::size_t b = 0; b < bands; ++b) {
        std::vector<std::uint8_t> data;
        if (b == 0) data = {0x78, 0x01};
        data.insert(data.end(), out[b].begin(), out[b].end());
        if (b + 1 == bands) putU32(data, static_cast<std::uint32_t>(adler));
        chunk(f.get(), "IDAT", data.data(), data.size());
        total += data.size();
    }
    chunk(f.get(), "IEND", nullptr, 0);
    return std::fflush(f.get()) == 0 ? total : 0;
}

}  // namespace floor_detail

// The probe over the PNG files of folder, into a PNG at outPath.
inline FloorRun runFloorProbe(const std::string& folder, const FloorLayout& layout,
                              const std::string& outPath) {
    using namespace floor_detail;
    FloorRun run;
    const auto start = Clock::now();
    std::vector<std::filesystem::path> paths;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().extension() == ".png") paths.push_back(entry.path());
    std::vector<Sprite> sprites(paths.size());
    onEveryCore(paths.size(), [&](std::size_t i) { sprites[i] = decodeAndTrim(paths[i]); });
    run.decodeSeconds = since(start);

    const auto copying = Clock::now();
    std::vector<std::uint32_t> atlas(static_cast<std::size_t>(layout.width) * layout.height);
    for (const Sprite& s : sprites) {
        const auto at = layout.at.find(s.name);
        if (at == layout.at.end() || s.pixels.empty()) continue;
        const auto [x, y] = at->second;
        if (x < 0 || y < 0 || x + s.width > layout.width || y + s.height > layout.height) continue;
        for (std::int32_t row = 0; row < s.height; ++row) {
            std::memcpy(atlas.data() + static_cast<std::size_t>(y + row) * layout.width + x,
                        s.pixels.data() + static_cast<std::size_t>(row) * s.width,
                        4 * static_cast<std::size_t>(s.width));
        }
    }
    run.copySeconds = since(copying);

    const auto encoding = Clock::now();
    run.bytes = encode(atlas, layout.width, layout.height, outPath);
    run.encodeSeconds = since(encoding);
    run.seconds = since(start);
    run.ok = run.bytes > 0;
    return run;
}

}  // namespace tilvane::bench
