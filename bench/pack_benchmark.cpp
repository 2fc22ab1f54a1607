// Packs generated folders of PNG sprites with tilvane-pack's own code path and
// reports where the time goes: scanning (preparation), placing, drawing
// (decoding and copying in the steps) and saving (atlas and text file); what
// --fit costs over a build at the size it finds; what --pages costs per page;
// and the JSON hash against the JSON array; and tilvane-pack against the floor
// probe (bench/floor_probe.h) on folders of noisy sprites.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "bench/floor_probe.h"
#include "bench/noisy_sprites.h"
#include "cli/pack_run.h"
#include "image/image_file.h"
#include "model/classic_random.h"

namespace tilvane {
namespace {

namespace fs = std::filesystem;

// A folder under the temporary folder, removed with its contents at exit.
class ScratchFolder {
public:
    ScratchFolder() {
        std::string pattern = (fs::temp_directory_path() / "tilvane-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data())) path_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code ec;
        if (!path_.empty()) fs::remove_all(path_, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

// count sprites of 8 to 128 pixels a side, each an opaque blob inside a
// transparent margin of up to a quarter of its side; the same every run.
const ScratchFolder* spriteFolder(int count) {
    static std::map<int, std::unique_ptr<ScratchFolder>> folders;
    auto& folder = folders[count];
    if (folder) return folder.get();
    folder = std::make_unique<ScratchFolder>();
    ClassicRandom random(static_cast<std::uint32_t>(count));
    auto between = [&](int lo, int hi) { return lo + random.next() % (hi - lo + 1); };
    for (int i = 0; i < count; ++i) {
        const int w = between(8, 128);
        const int h = between(8, 128);
        ImagePtr image = createPixelImage(w, h);
        if (!image) return nullptr;
        const int left = between(0, w / 4), right = w - 1 - between(0, w / 4);
        const int top = between(0, h / 4), bottom = h - 1 - between(0, h / 4);
        const auto r = static_cast<std::uint8_t>(between(0, 255));
        const auto g = static_cast<std::uint8_t>(between(0, 255));
        for (int y = top; y <= bottom; ++y) {
            for (int x = left; x <= right; ++x) {
                const auto shade = static_cast<std::uint8_t>((x * 255) / w);
                setPixel(*image, x, y, packPixel(r, g, shade, 255));
            }
        }
        const std::string name = "sprite_" + std::to_string(i) + ".png";
        if (SaveBitmapToFile(image.get(), (folder->path() / name).string()) != 0) return nullptr;
    }
    return folder.get();
}

void BM_Pack(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    const std::string side = std::to_string(state.range(1));
    const ScratchFolder* input = spriteFolder(count);
    if (!input) {
        state.SkipWithError("could not write the sprites");
        return;
    }
    ScratchFolder output;
    PackTimings sum;
    int status = 0;
    for (auto _ : state) {
        std::ostringstream out, err;
        PackConsole console{out, err, false, nullptr};
        PackTimings t;
        status = runPack({"--input", input->path().string() + "/", "--image",
                          (output.path() / "atlas.png").string(), "--text",
                          (output.path() / "atlas.txt").string(), "--width", side, "--height", side,
                          "--crop", "1", "--sort", "size", "--no-mask", "--quiet"},
                         console, &t);
        state.SetIterationTime(t.scanning + t.placing + t.drawing + t.saving);
        sum.scanning += t.scanning;
        sum.placing += t.placing;
        sum.drawing += t.drawing;
        sum.saving += t.saving;
        sum.occupancy += t.occupancy;
    }
    const double n = static_cast<double>(state.iterations());
    const double total = sum.scanning + sum.placing + sum.drawing + sum.saving;
    state.counters["scan_s"] = sum.scanning / n;
    state.counters["place_s"] = sum.placing / n;
    state.counters["draw_s"] = sum.drawing / n;
    state.counters["save_s"] = sum.saving / n;
    state.counters["place_pct"] = total > 0 ? 100.0 * sum.placing / total : 0;
    state.counters["occupancy"] = sum.occupancy / n;
    state.counters["exit"] = status;
}

BENCHMARK(BM_Pack)
    ->ArgNames({"sprites", "side"})
    ->Args({1000, 4096})
    ->Args({1000, 8192})
    ->Args({10000, 4096})
    ->Args({10000, 8192})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

// The seconds of one run of tilvane-pack, its exit status and standard error.
struct TimedPack {
    double seconds = 0;
    PackTimings timings;
    int status = 0;
    std::string err;
};

TimedPack timedPack(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    PackConsole console{out, err, false, nullptr};
    TimedPack result;
    result.status = runPack(args, console, &result.timings);
    const PackTimings& t = result.timings;
    result.seconds = t.scanning + t.sizing + t.placing + t.drawing + t.saving;
    result.err = err.str();
    return result;
}

// The atlas size a --fit run printed ("atlas size WxH"); 0 x 0 when it
// failed or printed none.
std::pair<int, int> fittedSize(const TimedPack& run) {
    int width = 0, height = 0;
    const std::size_t at = run.err.find("atlas size ");
    if (run.status != 0 || at == std::string::npos ||
        std::sscanf(run.err.c_str() + at, "atlas size %dx%d", &width, &height) != 2) {
        return {0, 0};
    }
    return {width, height};
}

// --fit against a build of the same folder at the size it found: the search
// must cost at most as much again as that build. Counters: both builds'
// seconds, their ratio, the search alone and the size found.
void BM_Fit(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    const std::string shape = state.range(1) == 0 ? "any" : "square";
    const ScratchFolder* input = spriteFolder(count);
    if (!input) {
        state.SkipWithError("could not write the sprites");
        return;
    }
    ScratchFolder output;
    const std::vector<std::string> common = {"--input",   input->path().string() + "/",
                                             "--image",   (output.path() / "atlas.png").string(),
                                             "--text",    (output.path() / "atlas.txt").string(),
                                             "--crop",    "1",
                                             "--sort",    "size",
                                             "--no-mask", "--quiet"};
    for (auto _ : state) {
        std::vector<std::string> args = common;
        args.insert(args.end(), {"--fit", shape});
        const TimedPack fit = timedPack(args);
        const auto [width, height] = fittedSize(fit);
        if (width == 0) {
            state.SkipWithError("the fit found no size");
            return;
        }
        args = common;
        args.insert(args.end(),
                    {"--width", std::to_string(width), "--height", std::to_string(height)});
        const TimedPack fixed = timedPack(args);
        state.SetIterationTime(fit.seconds);
        state.counters["fit_s"] = fit.seconds;
        state.counters["search_s"] = fit.timings.sizing;
        state.counters["fixed_s"] = fixed.seconds;
        state.counters["ratio"] = fit.seconds / fixed.seconds;
        state.counters["width"] = width;
        state.counters["height"] = height;
        state.counters["area"] = static_cast<double>(width) * height;
        state.counters["occupancy"] = fit.timings.occupancy;
    }
}

BENCHMARK(BM_Fit)
    ->ArgNames({"sprites", "square"})
    ->Args({1000, 0})
    ->Args({1000, 1})
    ->Args({10000, 0})
    ->Args({10000, 1})
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

// count sprites of 1 to maxSide pixels a side, most of them opaque, a few with
// a transparent column on the left; the same every run.
const ScratchFolder* tinySpriteFolder(int count, int maxSide) {
    static std::map<std::pair<int, int>, std::unique_ptr<ScratchFolder>> folders;
    auto& folder = folders[{count, maxSide}];
    if (folder) return folder.get();
    folder = std::make_unique<ScratchFolder>();
    ClassicRandom random(static_cast<std::uint32_t>(count + maxSide));
    auto between = [&](int lo, int hi) { return lo + random.next() % (hi - lo + 1); };
    for (int i = 0; i < count; ++i) {
        const int w = between(1, maxSide), h = between(1, maxSide);
        ImagePtr image = createPixelImage(w, h);
        if (!image) return nullptr;
        const int left = w > 1 && between(0, 7) == 0 ? 1 : 0;
        for (int y = 0; y < h; ++y) {
            for (int x = left; x < w; ++x) {
                setPixel(*image, x, y,
                         packPixel(static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i >> 8),
                                   static_cast<std::uint8_t>(x * 32 + y), 255));
            }
        }
        const std::string name = "tiny_" + std::to_string(i) + ".png";
        if (SaveBitmapToFile(image.get(), (folder->path() / name).string()) != 0) return nullptr;
    }
    return folder.get();
}

// Wall seconds of one run, with its phases.
TimedPack wallTimedPack(const std::vector<std::string>& args) {
    const auto start = std::chrono::steady_clock::now();
    TimedPack result = timedPack(args);
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return result;
}

// 3,000 one-pixel sprites, each its own 1 x 1 page (no border, no spacing):
// the cost of a page, beyond the one image it holds. Counters: the pages
// written, the seconds per page and the sizing (planning the pages) alone.
void BM_ManyPages(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    const ScratchFolder* input = tinySpriteFolder(count, 1);
    if (!input) {
        state.SkipWithError("could not write the sprites");
        return;
    }
    for (auto _ : state) {
        ScratchFolder output;
        const TimedPack run = wallTimedPack({"--input", input->path().string() + "/", "--image",
                                             (output.path() / "atlas.png").string(), "--text",
                                             (output.path() / "atlas.txt").string(), "--pages",
                                             "--width", "1", "--height", "1", "--border", "0",
                                             "--spacing", "0", "--no-mask", "--quiet"});
        int pages = 0;
        for (const auto& entry : fs::directory_iterator(output.path()))
            pages += entry.path().extension() == ".png" ? 1 : 0;
        state.SetIterationTime(run.seconds);
        state.counters["pages"] = pages;
        state.counters["ms_per_page"] = pages > 0 ? 1000.0 * run.seconds / pages : 0;
        state.counters["sizing_s"] = run.timings.sizing;
        state.counters["save_s"] = run.timings.saving;
        state.counters["exit"] = run.status;
    }
}

// One run: about 70 s on the code of this commit (24 ms a page, 43 s of it
// saving, 0.1 s sizing; half the wall time waits for the disk).
BENCHMARK(BM_ManyPages)
    ->ArgNames({"sprites"})
    ->Arg(3000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

// The same 100,000 small sprites written as a JSON hash and as a JSON array:
// both hold the same frames, so the hash should cost about what the array
// does. Counters: each run's seconds and its saving (text file and atlas)
// alone, and the ratios hash / array.
void BM_HashVersusArray(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    const ScratchFolder* input = tinySpriteFolder(count, 8);
    if (!input) {
        state.SkipWithError("could not write the sprites");
        return;
    }
    ScratchFolder output;
    auto args = [&](const char* format) {
        return std::vector<std::string>{"--input",   input->path().string() + "/",
                                        "--image",   (output.path() / "atlas.png").string(),
                                        "--text",    (output.path() / "atlas.json").string(),
                                        "--format",  format,
                                        "--width",   "4096",
                                        "--height",  "4096",
                                        "--crop",    "1",
                                        "--sort",    "name",
                                        "--no-mask", "--quiet"};
    };
    for (auto _ : state) {
        const TimedPack array = wallTimedPack(args("array"));
        const TimedPack hash = wallTimedPack(args("hash"));
        if (array.status != 0 || hash.status != 0) {
            state.SkipWithError("a build failed");
            return;
        }
        state.SetIterationTime(hash.seconds);
        state.counters["array_s"] = array.seconds;
        state.counters["hash_s"] = hash.seconds;
        state.counters["array_save_s"] = array.timings.saving;
        state.counters["hash_save_s"] = hash.timings.saving;
        state.counters["ratio"] = hash.seconds / array.seconds;
        state.counters["save_ratio"] = hash.timings.saving / array.timings.saving;
    }
}

// One run: on the code of this commit the hash takes 30 s and the array 7 s,
// saving 24 s against 0.6 s (37 times); writing the sprites takes longer.
BENCHMARK(BM_HashVersusArray)
    ->ArgNames({"sprites"})
    ->Arg(100000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

// The side writeNoisySprites answered for each folder written.
std::map<int, long>& noisySides() {
    static std::map<int, long> sides;
    return sides;
}

// count noisy sprites (bench/noisy_sprites.h), written once.
const ScratchFolder* noisyFolder(int count) {
    static std::map<int, std::unique_ptr<ScratchFolder>> folders;
    auto& folder = folders[count];
    if (!folder) {
        folder = std::make_unique<ScratchFolder>();
        const long side = bench::writeNoisySprites(count, folder->path().string() + "/", 1);
        if (side == 0) return nullptr;
        noisySides()[count] = side;
    }
    return folder.get();
}

long noisySide(int count) {
    return noisySides()[count];
}

// A run over the noisy sprites in input into output's atlas.png and its JSON
// hash: trim, spacing 1, no mask, quiet, then `extra`.
std::vector<std::string> noisyArgs(const ScratchFolder& input, const ScratchFolder& output,
                                   std::initializer_list<std::string> extra) {
    std::vector<std::string> args = {"--input",   input.path().string() + "/",
                                     "--image",   (output.path() / "atlas.png").string(),
                                     "--text",    (output.path() / "atlas.json").string(),
                                     "--crop",    "1",
                                     "--spacing", "1",
                                     "--format",  "hash",
                                     "--no-mask", "--quiet"};
    args.insert(args.end(), extra);
    return args;
}

// Where the JSON hash at path puts each frame, by name, in an atlas of its
// meta size.
bench::FloorLayout layoutOfHash(const fs::path& path) {
    bench::FloorLayout layout;
    std::ifstream in(path);
    const nlohmann::json doc = nlohmann::json::parse(in, nullptr, false);
    if (doc.is_discarded()) return layout;
    layout.width = doc["meta"]["size"]["w"].get<int>();
    layout.height = doc["meta"]["size"]["h"].get<int>();
    for (const auto& [name, frame] : doc["frames"].items())
        layout.at[name] = {frame["frame"]["x"].get<int>(), frame["frame"]["y"].get<int>()};
    return layout;
}

// tilvane-pack beside the floor probe, in one process, each run in turn on
// the same folder of noisy sprites (trim, spacing 1, by size, JSON hash,
// default PNG): --fit any; a build at the size it found; that build with
// --verify; and the probe packing the same sprites into the same places.
// Every time is the wall time of the whole run. Counters: each run's
// seconds, the ratios (fit and fixed over the probe, fit over fixed, verify
// over fixed), the search alone, the occupancy and the probe's own phases.
void BM_Floor(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    const ScratchFolder* input = noisyFolder(count);
    if (!input) {
        state.SkipWithError("could not write the sprites");
        return;
    }
    ScratchFolder output;
    const std::vector<std::string> common = noisyArgs(*input, output, {"--sort", "size"});
    for (auto _ : state) {
        std::vector<std::string> args = common;
        args.insert(args.end(), {"--fit", "any"});
        const TimedPack fit = wallTimedPack(args);
        const auto [width, height] = fittedSize(fit);
        if (width == 0) {
            state.SkipWithError("the fit found no size");
            return;
        }
        args = common;
        args.insert(args.end(),
                    {"--width", std::to_string(width), "--height", std::to_string(height)});
        const TimedPack fixed = wallTimedPack(args);
        const bench::FloorLayout layout = layoutOfHash(output.path() / "atlas.json");
        args.push_back("--verify");
        const TimedPack verified = wallTimedPack(args);
        const bench::FloorRun probe = bench::runFloorProbe(input->path().string(), layout,
                                                           (output.path() / "probe.png").string());
        if (fixed.status != 0 || verified.status != 0 || !probe.ok ||
            layout.at.size() != static_cast<std::size_t>(count)) {
            state.SkipWithError("a run failed");
            return;
        }
        const double pixels = static_cast<double>(width) * height;
        state.SetIterationTime(fit.seconds);
        state.counters["fit_s"] = fit.seconds;
        state.counters["fixed_s"] = fixed.seconds;
        state.counters["verify_s"] = verified.seconds;
        state.counters["probe_s"] = probe.seconds;
        state.counters["fit/probe"] = fit.seconds / probe.seconds;
        state.counters["fixed/probe"] = fixed.seconds / probe.seconds;
        state.counters["fit/fixed"] = fit.seconds / fixed.seconds;
        state.counters["verify/fixed"] = verified.seconds / fixed.seconds;
        state.counters["search_s"] = fit.timings.sizing;
        state.counters["occupancy"] = fit.timings.occupancy;
        state.counters["probe_decode_s"] = probe.decodeSeconds;
        state.counters["probe_encode_s"] = probe.encodeSeconds;
        state.counters["probe_B/px"] = static_cast<double>(probe.bytes) / pixels;
        state.counters["atlas_B/px"] =
            static_cast<double>(fs::file_size(output.path() / "atlas.png")) / pixels;
    }
}

BENCHMARK(BM_Floor)
    ->ArgNames({"sprites"})
    ->Arg(1000)
    ->Arg(10000)
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

// The atlas size a --fit run printed, as its area; 0 when it printed none.
double fittedArea(const TimedPack& run) {
    const auto [width, height] = fittedSize(run);
    return static_cast<double>(width) * height;
}

// --packer maxrects --rotate against first-fit on the same folder in the same
// iteration (trim, spacing 1, --fit any, the JSON hash, which can say that a
// frame is turned). Counters: both areas and their ratio, the footprints'
// area over first-fit's (no packer can go below it), each run's wall seconds,
// and the maxrects run's sizing alone (its search and layout). The bound is
// the footprints' area over first-fit's (within a tenth of a percent): no
// packer's ratio goes below it.
void BM_MaxRects(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    const ScratchFolder* input = noisyFolder(count);
    if (!input) {
        state.SkipWithError("could not write the sprites");
        return;
    }
    ScratchFolder output;
    const std::vector<std::string> common = noisyArgs(*input, output, {"--fit", "any"});
    for (auto _ : state) {
        const TimedPack firstFit = wallTimedPack(common);
        std::vector<std::string> args = common;
        args.insert(args.end(), {"--packer", "maxrects", "--rotate"});
        const TimedPack maxRects = wallTimedPack(args);
        const double ffArea = fittedArea(firstFit), mrArea = fittedArea(maxRects);
        if (ffArea == 0 || mrArea == 0) {
            state.SkipWithError("a build found no size");
            return;
        }
        state.SetIterationTime(maxRects.seconds);
        state.counters["ff_area"] = ffArea;
        state.counters["mr_area"] = mrArea;
        state.counters["ratio"] = mrArea / ffArea;
        // writeNoisySprites' side is that of the footprints' area times 1.12.
        const double side = static_cast<double>(noisySide(count));
        state.counters["bound"] = side * side / 1.12 / ffArea;
        state.counters["ff_s"] = firstFit.seconds;
        state.counters["mr_s"] = maxRects.seconds;
        state.counters["mr_sizing_s"] = maxRects.timings.sizing;
    }
}

// Medians of three. On the code of this commit (two cores shared with other
// work, so the seconds vary): see the README's "The maxrects packer".
BENCHMARK(BM_MaxRects)
    ->ArgNames({"sprites"})
    ->Arg(366)
    ->Arg(1000)
    ->Arg(10000)
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

}  // namespace
}  // namespace tilvane
