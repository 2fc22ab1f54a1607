// tilvane-pack --watch --keep-layout as a separate process: every rebuild
// equals a fresh --keep-layout build of the same folder from the same previous
// layout, and a kept layout moves no sprite that did not change.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>
#include <tuple>

#include "tests/cli/cli_support.h"

extern char** environ;

namespace tilvane::testing {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using Clock = std::chrono::steady_clock;

// Long enough for a build on a machine busy with other builds; a working
// watch answers in well under a second.
constexpr auto kPatience = std::chrono::seconds(60);

// tilvane-pack running in the background, its standard error read line by line.
class Watcher {
public:
    explicit Watcher(const std::vector<std::string>& args) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        ::posix_spawn_file_actions_init(&actions);
        ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        ::posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        ::posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
        std::vector<char*> argv;
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        if (::posix_spawn(&pid_, TILVANE_PACK_PATH, &actions, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
        ::posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        err_ = fds[0];
    }
    ~Watcher() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (err_ >= 0) ::close(err_);
    }
    Watcher(const Watcher&) = delete;
    Watcher& operator=(const Watcher&) = delete;

    // The next line that starts with one of the prefixes (every line read on
    // the way is kept in `seen`); empty when none came in time.
    std::string waitFor(std::initializer_list<const char*> prefixes) {
        const auto deadline = Clock::now() + kPatience;
        for (;;) {
            for (std::size_t end; (end = pending_.find('\n')) != std::string::npos;) {
                const std::string line = pending_.substr(0, end);
                pending_.erase(0, end + 1);
                seen += line + "\n";
                for (const char* prefix : prefixes)
                    if (line.rfind(prefix, 0) == 0) return line;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            pollfd fd{err_, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&fd, 1, static_cast<int>(left.count())) <= 0) return "";
            char buffer[4096];
            const ssize_t n = ::read(err_, buffer, sizeof buffer);
            if (n <= 0) return "";
            pending_.append(buffer, static_cast<std::size_t>(n));
        }
    }

    // Stops it with SIGTERM; its exit status, or -1 when it did not end in time.
    int stop() {
        ::kill(pid_, SIGTERM);
        // Its standard error ends as it does.
        waitFor({"\x01"});
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        int status = 0;
        pid_t ended = 0;
        while ((ended = ::waitpid(pid_, &status, WNOHANG)) == 0 && Clock::now() < deadline)
            ::poll(nullptr, 0, 10);
        if (ended != pid_) return -1;
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string seen;

private:
    pid_t pid_ = -1;
    int err_ = -1;
    std::string pending_;
};

// Each frame's place by name, from a JSON hash.
std::map<std::string, std::pair<int, int>> placesIn(const std::string& jsonText) {
    std::map<std::string, std::pair<int, int>> places;
    const Json doc = Json::parse(jsonText, nullptr, false);
    if (!doc.is_object() || !doc.contains("frames")) return places;
    for (const auto& [name, frame] : doc["frames"].items())
        places[name] = {frame["frame"]["x"].get<int>(), frame["frame"]["y"].get<int>()};
    return places;
}

// The artist's session: each step changes the input folder while the watch
// runs, the rebuild line says what changed, and the outputs equal a fresh
// --keep-layout build of the folder from the layout before the step. Steps
// that promise it move no image that did not change. The text file and the
// layout file lie in the input folder, so that a watch woken by its own
// outputs would rebuild in a loop and put another line where the next step's
// belongs.
TEST(PackWatch, EveryRebuildEqualsAFreshKeepLayoutBuild) {
    TempDir input, output, fresh;
    const auto sprite = [&](const std::string& name, int w, int h, int border = 1) {
        writeSprite(input.file(name), w, h, border);
    };
    for (const auto& [name, w, h] :
         {std::tuple{"a.png", 14, 12}, {"b.png", 12, 10}, {"c.png", 9, 16}, {"d.png", 8, 8}})
        sprite(name, w, h);
    // Split at spaces: the temporary folders have none.
    const auto args = [](const fs::path& in, const fs::path& out, const std::string& layout,
                         const char* more = "") {
        std::istringstream line("--input " + in.string() + "/ --image " +
                                (out / "atlas.png").string() + " --text " +
                                (in / "atlas.json").string() +
                                " --format hash --width 64 --height 64 --sort name --crop 0 "
                                "--no-mask --keep-layout " +
                                layout + " " + more);
        std::vector<std::string> words = {TILVANE_PACK_PATH};
        for (std::string word; line >> word;) words.push_back(word);
        return words;
    };
    Watcher watch(args(input.path(), output.path(), input.file("L.json"), "--watch"));
    ASSERT_NE(watch.waitFor({"tilvane-pack: watching"}), "") << watch.seen;

    struct Step {
        const char* name;
        std::function<void()> change;
        std::string line;  // how the rebuild line starts and ends, between '|'
        bool movesNone;    // no image moves but `grown`
        const char* note = "";
        const char* grown = "";
    };
    const std::vector<Step> steps = {
        {"adding one to an atlas with free room moves none", [&] { sprite("e.png", 10, 10); },
         "rebuilt in|: 1 added (e.png)", true},
        {"changing one's pixels (same size) moves none", [&] { sprite("b.png", 12, 10, 3); },
         "rebuilt in|: 1 changed (b.png)", true},
        {"removing one moves none", [&] { fs::remove(input.file("a.png")); },
         "rebuilt in|: 1 removed (a.png)", true},
        {"a grown one moves, no other does", [&] { sprite("c.png", 20, 16); },
         "rebuilt in|: 1 changed (c.png)", true, "", "c.png"},
        {"one that does not fit beside the others: repacked", [&] { sprite("f.png", 44, 44); },
         "rebuilt in|: 1 added (f.png)", false, "so the whole atlas is repacked"},
        {"no image left: the build fails, the outputs stay",
         [&] {
             for (const char* name : {"b.png", "c.png", "d.png", "e.png", "f.png"})
                 fs::remove(input.file(name));
         },
         "rebuild failed in|: 5 removed (b.png, c.png, d.png, ...)", false},
        {"one back", [&] { sprite("a.png", 14, 12); }, "rebuilt in|: 1 added (a.png)", false},
    };
    std::string before = readFile(input.file("atlas.json"));
    std::string image = readFile(output.file("atlas.png"));
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        const std::string previousLayout = readFile(input.file("L.json"));
        const std::size_t seenBefore = watch.seen.size();
        step.change();
        const std::string line = watch.waitFor({"tilvane-pack: rebuil"});
        const std::string starts = step.line.substr(0, step.line.find('|'));
        const std::string ends = step.line.substr(starts.size() + 1);
        ASSERT_EQ(line.rfind("tilvane-pack: " + starts, 0), 0u) << watch.seen;
        EXPECT_EQ(line.substr(line.size() - std::min(line.size(), ends.size())), ends);
        EXPECT_NE(watch.seen.find(step.note, seenBefore), std::string::npos) << watch.seen;
        const std::string after = readFile(input.file("atlas.json"));
        if (starts == "rebuild failed in") {
            EXPECT_EQ(after, before);
            EXPECT_EQ(readFile(output.file("atlas.png")), image);
            EXPECT_EQ(readFile(input.file("L.json")), previousLayout);
            continue;
        }

        // The same folder, built afresh from the same previous layout.
        TempDir copy;
        fs::remove(copy.path());
        fs::copy(input.path(), copy.path());
        fs::remove(copy.file("atlas.json"));
        writeFile(copy.file("L.json"), previousLayout);
        const PackResult again = run(args(copy.path(), fresh.path(), copy.file("L.json")));
        ASSERT_LE(again.status, 1) << again.err;
        EXPECT_EQ(readFile(fresh.file("atlas.png")), readFile(output.file("atlas.png")));
        EXPECT_EQ(readFile(copy.file("L.json")), readFile(input.file("L.json")));
        EXPECT_EQ(placesIn(readFile(copy.file("atlas.json"))), placesIn(after));

        const auto was = placesIn(before);
        for (const auto& [name, place] : placesIn(after))
            EXPECT_TRUE(!step.movesNone || !was.count(name) || name == step.grown ||
                        place == was.at(name))
                << name << " moved";
        before = after;
        image = readFile(output.file("atlas.png"));
    }
    EXPECT_EQ(watch.stop(), 0) << watch.seen;
}

}  // namespace
}  // namespace tilvane::testing
