// Placement of whole sprite sequences, as a build places them: footprints of
// 8 to 64 pixels (or 8 to 128 for the pack-like cases) plus a spacing of 1,
// largest trimmed area first.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "layout/placement.h"
#include "layout/size_search.h"
#include "model/classic_random.h"

namespace tilvane {
namespace {

struct Sprite {
    std::int32_t fw;
    std::int32_t fh;
};

std::vector<Sprite> makeSprites(std::size_t count, std::uint32_t largest = 64) {
    std::mt19937 rng(4242u);
    std::vector<Sprite> sizes(count);
    const std::uint32_t choices = largest - 8 + 1;
    for (Sprite& s : sizes) {
        s.fw = 8 + static_cast<std::int32_t>(rng() % choices);
        s.fh = 8 + static_cast<std::int32_t>(rng() % choices);
    }
    // The build's size order: larger trimmed area first, equal areas stay in order.
    std::stable_sort(sizes.begin(), sizes.end(), [](const Sprite& a, const Sprite& b) {
        return std::int64_t{a.fw} * a.fh > std::int64_t{b.fw} * b.fh;
    });
    for (Sprite& s : sizes) {
        s.fw += 1;  // spacing
        s.fh += 1;
    }
    return sizes;
}

struct Outcome {
    std::vector<Rect> rects;  // placed ones, in order
    std::size_t failed = 0;
};

Outcome placeAllProduction(const Size& atlas, const std::vector<Sprite>& sprites) {
    Outcome out;
    OccupancyIndex index;
    for (const Sprite& s : sprites) {
        Rect r;
        if (findPlacement(atlas.width, atlas.height, s.fw, s.fh, index, {}, &r)) {
            out.rects.push_back(r);
            index.add(r);
        } else {
            ++out.failed;
        }
    }
    return out;
}

Outcome placeAllReference(const Size& atlas, const std::vector<Sprite>& sprites) {
    Outcome out;
    for (const Sprite& s : sprites) {
        Rect r;
        if (findPlacementReference(atlas.width, atlas.height, s.fw, s.fh, out.rects, {}, &r)) {
            out.rects.push_back(r);
        } else {
            ++out.failed;
        }
    }
    return out;
}

// The reference, timed; the production placement runs on the same sequence
// outside the timing, and the counters give its speed-up in this very run and
// whether both placed every sprite alike.
void BM_PlacementReference(benchmark::State& state) {
    const auto count = static_cast<std::size_t>(state.range(0));
    const auto side = static_cast<std::int32_t>(state.range(1));
    const std::vector<Sprite> sprites = makeSprites(count);
    const Size atlas{side, side};
    double referenceSeconds = 0, productionSeconds = 0;
    bool identical = true;
    std::size_t placed = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        const Outcome ref = placeAllReference(atlas, sprites);
        const auto t1 = std::chrono::steady_clock::now();
        state.PauseTiming();
        const auto t2 = std::chrono::steady_clock::now();
        const Outcome prod = placeAllProduction(atlas, sprites);
        const auto t3 = std::chrono::steady_clock::now();
        referenceSeconds += std::chrono::duration<double>(t1 - t0).count();
        productionSeconds += std::chrono::duration<double>(t3 - t2).count();
        identical = identical && ref.rects == prod.rects && ref.failed == prod.failed;
        placed = ref.rects.size();
        state.ResumeTiming();
    }
    state.counters["placed"] = static_cast<double>(placed);
    state.counters["identical"] = identical ? 1 : 0;
    state.counters["production_ms"] = 1000 * productionSeconds / state.iterations();
    state.counters["speedup"] = referenceSeconds / productionSeconds;
}

void runProduction(benchmark::State& state, const std::vector<Sprite>& sprites) {
    const Size atlas{static_cast<std::int32_t>(state.range(1)),
                     static_cast<std::int32_t>(state.range(1))};
    std::size_t placed = 0;
    for (auto _ : state) {
        const Outcome out = placeAllProduction(atlas, sprites);
        placed = out.rects.size();
        benchmark::DoNotOptimize(placed);
    }
    state.counters["placed"] = static_cast<double>(placed);
}

void BM_PlacementProduction(benchmark::State& state) {
    runProduction(state, makeSprites(static_cast<std::size_t>(state.range(0))));
}

// As a real pack of trimmed sprites of 8 to 128 pixels places them.
void BM_PlacementProductionPack(benchmark::State& state) {
    runProduction(state, makeSprites(static_cast<std::size_t>(state.range(0)), 128));
}

// The trimmed sizes of bench/noisy_sprites.h's folder of `count` sprites, in
// the order --sort size places them (larger area first, equal areas by name).
std::vector<Size> noisySizes(long count) {
    ClassicRandom random(static_cast<std::uint32_t>(count));
    const auto between = [&](int lo, int hi) { return lo + random.next() % (hi - lo + 1); };
    std::vector<std::pair<std::string, Size>> named;
    for (long i = 0; i < count; ++i) {
        const int w = between(8, 128);
        const int h = between(8, 128);
        const int left = between(0, w / 4), right = w - 1 - between(0, w / 4);
        const int top = between(0, h / 4), bottom = h - 1 - between(0, h / 4);
        for (int k = 0; k < 3; ++k) between(0, 255);
        // One draw of noise per opaque pixel.
        for (long p = 0; p < std::int64_t{right - left + 1} * (bottom - top + 1); ++p)
            random.next();
        named.emplace_back("sprite_" + std::to_string(i) + ".png",
                           Size{right - left + 1, bottom - top + 1});
    }
    std::sort(named.begin(), named.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    std::stable_sort(named.begin(), named.end(), [](const auto& a, const auto& b) {
        return std::int64_t{a.second.width} * a.second.height >
               std::int64_t{b.second.width} * b.second.height;
    });
    std::vector<Size> sizes;
    for (const auto& [name, size] : named) sizes.push_back(size);
    return sizes;
}

// The size search of --fit any on the noisy sprites (spacing 1, at most 8192
// a side, the budget a build gives it) on one thread, and the build's own
// placement at the size it finds: the search's cost in placements.
void BM_FitSearch(benchmark::State& state) {
    const std::vector<Size> sizes = noisySizes(state.range(0));
    const LayoutRules rules{1, 0, {}};
    const FitLimits limits;
    const int threads = static_cast<int>(state.range(1));
    std::optional<AtlasSize> found;
    for (auto _ : state) {
        found = findAtlasSize(sizes, rules, limits, budgetFor(sizes.size(), threads));
        benchmark::DoNotOptimize(found);
    }
    if (!found) {
        state.SkipWithError("no size found");
        return;
    }
    const auto t0 = std::chrono::steady_clock::now();
    const bool all = placesAll(sizes, rules, found->width, found->height);
    const double once =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    state.counters["width"] = found->width;
    state.counters["height"] = found->height;
    state.counters["placesAll"] = all ? 1 : 0;
    state.counters["build_place_ms"] = 1000 * once;
}

BENCHMARK(BM_FitSearch)
    ->ArgNames({"sprites", "threads"})
    ->Args({1000, 1})
    ->Args({10000, 1})
    ->Args({10000, 2})
    ->Unit(benchmark::kMillisecond);

// 500 sprites only: the scan's time grows with the atlas area times the
// sprites placed, and 2,000 took over eight minutes (speed-up 11,000).
BENCHMARK(BM_PlacementReference)->Args({500, 2048})->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlacementProduction)
    ->Args({500, 2048})
    ->Args({2000, 2048})
    ->Args({10000, 4096})
    ->Args({50000, 8192})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlacementProductionPack)
    ->Args({10000, 4096})
    ->Args({10000, 8192})
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tilvane
