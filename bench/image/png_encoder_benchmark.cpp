// The PNG encoder against the libpng path it replaced, on a generated atlas
// of noisy sprites: each iteration times both on the same image back to back
// (wall clock, as the encoder uses every core), so both see the same machine
// load. Counters: megapixels per second and bytes per pixel of each, speedup
// = libpng time / encoder time, and the CPU seconds of each (all threads): on
// a shared machine the wall time of the encoder says little about an idle one.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>

#include "bench/image/noisy_atlas.h"
#include "image/codecs/codecs.h"
#include "image/codecs/png_settings.h"

namespace tilvane::bench {
namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

struct Encoded {
    double seconds = 0;
    double cpuSeconds = 0;
    long bytes = 0;  // 0 on failure
};

// One encode into a temporary file.
Encoded timeEncode(const std::function<bool(std::FILE*)>& encode) {
    std::unique_ptr<std::FILE, FileCloser> file(std::tmpfile());
    const std::clock_t cpuStart = std::clock();
    const auto start = std::chrono::steady_clock::now();
    const bool ok = file && encode(file.get());
    Encoded e;
    e.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    e.cpuSeconds = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    if (ok && std::fseek(file.get(), 0, SEEK_END) == 0) e.bytes = std::ftell(file.get());
    return e;
}

void BM_PngEncoderVsLibpng(benchmark::State& state, PngCompression compression) {
    const auto side = static_cast<std::int32_t>(state.range(0));
    const ImagePtr image = makeNoisyAtlas(side, side, 10);
    if (!image) {
        state.SkipWithError("no memory for the atlas");
        return;
    }
    double oldSeconds = 0, newSeconds = 0, oldCpu = 0, newCpu = 0;
    long oldBytes = 0, newBytes = 0;
    for (auto _ : state) {
        const Encoded before = timeEncode([&](std::FILE* out) {
            return codecs::writePngWith(*image, out, &codecs::kAtlasPngSettings);
        });
        const Encoded after =
            timeEncode([&](std::FILE* out) { return codecs::writePng(*image, out, compression); });
        if (before.bytes == 0 || after.bytes == 0) {
            state.SkipWithError("encode failed");
            return;
        }
        oldSeconds += before.seconds;
        newSeconds += after.seconds;
        oldCpu += before.cpuSeconds;
        newCpu += after.cpuSeconds;
        oldBytes = before.bytes;
        newBytes = after.bytes;
    }
    const double pixels = static_cast<double>(side) * side;
    const auto n = static_cast<double>(state.iterations());
    state.counters["libpng_Mpx/s"] = pixels * n / oldSeconds / 1e6;
    state.counters["new_Mpx/s"] = pixels * n / newSeconds / 1e6;
    state.counters["libpng_B/px"] = static_cast<double>(oldBytes) / pixels;
    state.counters["new_B/px"] = static_cast<double>(newBytes) / pixels;
    state.counters["new_s"] = newSeconds / n;
    state.counters["speedup"] = oldSeconds / newSeconds;
    state.counters["libpng_cpu_s"] = oldCpu / n;
    state.counters["new_cpu_s"] = newCpu / n;
}

BENCHMARK_CAPTURE(BM_PngEncoderVsLibpng, fast, PngCompression::fast)
    ->Arg(2048)
    ->Arg(6215)
    ->Iterations(2)
    ->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(BM_PngEncoderVsLibpng, default, PngCompression::standard)
    ->Arg(2048)
    ->Arg(6215)
    ->Iterations(2)
    ->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(BM_PngEncoderVsLibpng, small, PngCompression::small)
    ->Arg(2048)
    ->Arg(6215)
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

}  // namespace
}  // namespace tilvane::bench
