// tilvane-pack --jobs with 20 atlases against the same 20 atlases packed by 20
// runs of tilvane-pack one after the other, each as a process of its own (the
// way a build tool without --jobs runs them). Reports each one's wall time
// and, for --jobs, its share of the separate runs' summed time (ratio; the
// aim is 0.7 or less on two cores). The in-process runs with 1, 2, 3 and 4
// workers show which concurrency gives the best total.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cli/pack_jobs.h"
#include "image/image_file.h"
#include "model/classic_random.h"

extern char** environ;

namespace tilvane {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kAtlases = 20;
constexpr int kSpritesPerAtlas = 60;

// The folders of the atlases, their outputs and the jobs file, made once and
// removed at exit.
struct Scene {
    fs::path top;
    std::vector<std::vector<std::string>> runs;  // each atlas's arguments
    std::string jobsFile;

    Scene() {
        std::string pattern = (fs::temp_directory_path() / "tilvane-jobs-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) return;
        top = pattern;
        ClassicRandom random(7);
        const auto between = [&](int lo, int hi) { return lo + random.next() % (hi - lo + 1); };
        std::ostringstream jobs;
        jobs << "{\"defaults\": {\"fit\": \"any\", \"crop\": 1, \"format\": \"hash\", "
                "\"no-mask\": true, \"sort\": \"size\"}, \"atlases\": [";
        fs::create_directories(top / "out");
        for (int a = 0; a < kAtlases; ++a) {
            const fs::path in = top / ("atlas" + std::to_string(a));
            fs::create_directories(in);
            for (int i = 0; i < kSpritesPerAtlas; ++i) {
                const int w = between(12, 96), h = between(12, 96);
                ImagePtr image = createPixelImage(w, h);
                if (!image) return;
                for (int y = h / 8; y < h - h / 8; ++y)
                    for (int x = w / 8; x < w - w / 8; ++x)
                        setPixel(*image, x, y,
                                 packPixel(static_cast<std::uint8_t>(x * 9 + a),
                                           static_cast<std::uint8_t>(y * 5 + i),
                                           static_cast<std::uint8_t>(between(0, 255)), 255));
                if (SaveBitmapToFile(image.get(),
                                     (in / ("s" + std::to_string(i) + ".png")).string()) != 0)
                    return;
            }
            const std::string out = (top / "out" / ("a" + std::to_string(a))).string();
            runs.push_back({"--input", in.string() + "/", "--image", out + ".png", "--text",
                            out + ".json", "--fit", "any", "--crop", "1", "--format", "hash",
                            "--no-mask", "--sort", "size", "--quiet"});
            jobs << (a ? ", " : "") << "{\"input\": \"" << in.string() << "/\", \"image\": \""
                 << out << ".png\", \"text\": \"" << out << ".json\"}";
        }
        jobs << "]}";
        jobsFile = (top / "jobs.json").string();
        std::ofstream(jobsFile) << jobs.str();
    }
    ~Scene() {
        std::error_code ec;
        if (!top.empty()) fs::remove_all(top, ec);
    }
    bool ready() const { return runs.size() == kAtlases; }
};

Scene& scene() {
    static Scene made;
    return made;
}

// Runs the built tilvane-pack with args, as a process; its exit status.
int spawnPack(const std::vector<std::string>& args) {
    std::vector<std::string> all = {TILVANE_PACK_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : all) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int error = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) return -1;
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

double secondsOf(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The 20 separate runs' summed wall time, measured once (the best of three).
double separateSeconds() {
    static double best = 0;
    if (best > 0) return best;
    for (int round = 0; round < 3; ++round) {
        const auto start = Clock::now();
        for (const auto& args : scene().runs) spawnPack(args);
        const double seconds = secondsOf(start);
        best = best == 0 ? seconds : std::min(best, seconds);
    }
    return best;
}

void BM_SeparateRuns(benchmark::State& state) {
    if (!scene().ready()) return state.SkipWithError("could not write the sprites");
    int worst = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        for (const auto& args : scene().runs) worst = std::max(worst, spawnPack(args));
        state.SetIterationTime(secondsOf(start));
    }
    state.counters["exit"] = worst;
}
BENCHMARK(BM_SeparateRuns)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_JobsProcess(benchmark::State& state) {
    if (!scene().ready()) return state.SkipWithError("could not write the sprites");
    const double separate = separateSeconds();
    int status = 0;
    double total = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        status = spawnPack({"--jobs", scene().jobsFile, "--quiet"});
        const double seconds = secondsOf(start);
        state.SetIterationTime(seconds);
        total += seconds;
    }
    state.counters["ratio"] = total / static_cast<double>(state.iterations()) / separate;
    state.counters["exit"] = status;
}
BENCHMARK(BM_JobsProcess)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

// The same atlases in this process with a chosen number of workers.
void BM_JobsWorkers(benchmark::State& state) {
    if (!scene().ready()) return state.SkipWithError("could not write the sprites");
    std::vector<PackAtlas> atlases;
    if (readPackJobs(scene().jobsFile, atlases)) return state.SkipWithError("jobs file refused");
    const double separate = separateSeconds();
    int status = 0;
    double total = 0;
    for (auto _ : state) {
        std::ostringstream out, err;
        PackConsole console{out, err, false, nullptr};
        const auto start = Clock::now();
        status = runPackJobs(atlases, {static_cast<unsigned>(state.range(0)), 512}, console);
        const double seconds = secondsOf(start);
        state.SetIterationTime(seconds);
        total += seconds;
    }
    state.counters["ratio"] = total / static_cast<double>(state.iterations()) / separate;
    state.counters["exit"] = status;
}
BENCHMARK(BM_JobsWorkers)
    ->ArgName("workers")
    ->DenseRange(1, 4)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tilvane
