// Decode and encode throughput of the library codecs on a generated sprite
// sheet, and the PNG settings of our atlases against libpng's defaults.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "bench/sprite_sheet.h"
#include "image/codecs/codecs.h"
#include "image/codecs/png_settings.h"

namespace tilvane::bench {
namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// The stream's length; libtiff leaves the position at its header.
long streamLength(std::FILE* file) {
    return std::fseek(file, 0, SEEK_END) == 0 ? std::ftell(file) : -1;
}

enum class Format { Png, Tiff, TiffDeflate, Jpeg };

bool encode(Format format, const PixelImage& image, std::FILE* out) {
    switch (format) {
        case Format::Png:
            return codecs::writePng(image, out);
        case Format::Tiff:
            return codecs::writeTiff(image, out, 0);
        case Format::TiffDeflate:
            return codecs::writeTiff(image, out, 13);
        case Format::Jpeg:
            return codecs::writeJpeg(image, out, 90);
    }
    return false;
}

ImagePtr decode(Format format, codecs::ByteSpan bytes) {
    switch (format) {
        case Format::Png:
            return codecs::readPng(bytes);
        case Format::Tiff:
        case Format::TiffDeflate:
            return codecs::readTiff(bytes);
        case Format::Jpeg:
            return codecs::readJpeg(bytes);
    }
    return nullptr;
}

// The encoded file as bytes, through a temporary stream as the library writes.
std::vector<std::uint8_t> encodeToBytes(Format format, const PixelImage& image) {
    FilePtr file(std::tmpfile());
    if (!file || !encode(format, image, file.get())) return {};
    const long length = streamLength(file.get());
    if (length <= 0) return {};
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(length));
    std::rewind(file.get());
    if (std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) return {};
    return bytes;
}

// Per second of this process's CPU time: the machine is shared.
void setThroughput(benchmark::State& state, const PixelImage& image) {
    const double pixels = static_cast<double>(image.width()) * image.height();
    state.counters["Mpixel/s"] = benchmark::Counter(
        pixels / 1e6 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_Encode(benchmark::State& state, Format format) {
    const auto side = static_cast<std::int32_t>(state.range(0));
    ImagePtr image = makeSpriteSheet(side, side);
    std::size_t size = 0;
    for (auto _ : state) {
        FilePtr file(std::tmpfile());
        if (!file || !encode(format, *image, file.get())) {
            state.SkipWithError("encode failed");
            return;
        }
        size = static_cast<std::size_t>(streamLength(file.get()));
    }
    setThroughput(state, *image);
    state.counters["bytes"] = static_cast<double>(size);
}

void BM_Decode(benchmark::State& state, Format format) {
    const auto side = static_cast<std::int32_t>(state.range(0));
    ImagePtr image = makeSpriteSheet(side, side);
    const std::vector<std::uint8_t> bytes = encodeToBytes(format, *image);
    for (auto _ : state) {
        ImagePtr decoded = decode(format, codecs::ByteSpan(bytes.data(), bytes.size()));
        if (!decoded) {
            state.SkipWithError("decode failed");
            return;
        }
        benchmark::DoNotOptimize(decoded->bits());
    }
    setThroughput(state, *image);
}

BENCHMARK_CAPTURE(BM_Encode, png, Format::Png)->Arg(512)->Arg(1024)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Encode, tiff_none, Format::Tiff)->Arg(1024)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Encode, tiff_deflate, Format::TiffDeflate)
    ->Arg(1024)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Encode, jpeg, Format::Jpeg)->Arg(1024)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Decode, png, Format::Png)->Arg(512)->Arg(1024)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Decode, tiff_none, Format::Tiff)->Arg(1024)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Decode, tiff_deflate, Format::TiffDeflate)
    ->Arg(1024)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Decode, jpeg, Format::Jpeg)->Arg(1024)->Unit(benchmark::kMillisecond);

// A 4096 x 4096 atlas as PNG, our settings and libpng's defaults timed in
// turn within each iteration, so both see the same machine load. speedup is
// default time / our time; size_ratio is our size / default size.
void BM_PngAtlas4096(benchmark::State& state) {
    ImagePtr image = makeSpriteSheet(4096, 4096);
    double oursSeconds = 0, defaultSeconds = 0;
    long oursBytes = 0, defaultBytes = 0;
    for (auto _ : state) {
        for (const bool ours : {true, false}) {
            FilePtr file(std::tmpfile());
            const auto start = std::chrono::steady_clock::now();
            const bool ok =
                file && codecs::writePngWith(*image, file.get(),
                                             ours ? &codecs::kAtlasPngSettings : nullptr);
            const double seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            if (!ok) {
                state.SkipWithError("encode failed");
                return;
            }
            (ours ? oursSeconds : defaultSeconds) += seconds;
            (ours ? oursBytes : defaultBytes) = streamLength(file.get());
        }
    }
    const auto n = static_cast<double>(state.iterations());
    state.counters["ours_s"] = oursSeconds / n;
    state.counters["libpng_default_s"] = defaultSeconds / n;
    state.counters["speedup"] = defaultSeconds / oursSeconds;
    state.counters["ours_bytes"] = static_cast<double>(oursBytes);
    state.counters["libpng_default_bytes"] = static_cast<double>(defaultBytes);
    state.counters["size_ratio"] =
        static_cast<double>(oursBytes) / static_cast<double>(defaultBytes);
}
BENCHMARK(BM_PngAtlas4096)->Iterations(3)->Unit(benchmark::kSecond);

}  // namespace
}  // namespace tilvane::bench
