// Placement of whole sprite sequences, as a build places them: footprints of
// 8 to 64 pixels (or 8 to 128 for the pack-like cases) plus a spacing of 1,
// largest trimmed area first.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <random>
#include <vector>

#include "layout/placement.h"

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

BENCHMARK(BM_PlacementReference)
    ->Args({500, 2048})
    ->Args({2000, 2048})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
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
