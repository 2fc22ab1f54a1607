#include "image/output_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>

#include "tests/support/temp_dir.h"

namespace tilvane {
namespace {

using testing::readFile;
using testing::TempDir;
using testing::writeFile;
namespace fs = std::filesystem;
using Staging = OutputFile::Staging;

constexpr Staging kStagings[] = {Staging::automatic, Staging::namedTemporary};

const char* stagingName(Staging s) {
    return s == Staging::automatic ? "automatic" : "named temporary";
}

// Every entry of the folder: "name=content" for a file, "name -> target" for a
// link, "name/" for a folder, "name|" for a FIFO; a temporary file left
// behind shows up too.
std::vector<std::string> describe(const TempDir& dir) {
    std::vector<std::string> entries;
    for (const auto& e : fs::directory_iterator(dir.path())) {
        const std::string name = e.path().filename().string();
        const fs::file_status st = e.symlink_status();
        if (fs::is_symlink(st)) {
            entries.push_back(name + " -> " + fs::read_symlink(e.path()).string());
        } else if (fs::is_directory(st)) {
            entries.push_back(name + "/");
        } else if (fs::is_fifo(st)) {
            entries.push_back(name + "|");
        } else {
            entries.push_back(name + "=" + readFile(e.path().string()));
        }
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

bool supportsUnnamedFiles(const TempDir& dir) {
    const int fd = ::open(dir.path().c_str(), O_TMPFILE | O_RDWR, 0600);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

TEST(OutputFile, DestinationFollowsWhatStandsAtThePath) {
    const std::string longName = std::string(251, 'n') + ".png";
    struct Row {
        const char* name;
        std::function<void(const TempDir&)> setup;
        std::string target;
        int error;
        std::vector<std::string> after;
    };
    const std::vector<Row> rows = {
        {"missing file", [](const TempDir&) {}, "out.txt", 0, {"out.txt=new"}},
        {"regular file",
         [](const TempDir& d) { writeFile(d.file("out.txt"), "old"); },
         "out.txt",
         0,
         {"out.txt=new"}},
        {"255-byte name", [](const TempDir&) {}, longName, 0, {longName + "=new"}},
        {"link to a file",
         [](const TempDir& d) {
             writeFile(d.file("real.txt"), "old");
             fs::create_symlink("real.txt", d.file("out.txt"));
         },
         "out.txt",
         0,
         {"out.txt -> real.txt", "real.txt=new"}},
        {"link to a link to nothing",
         [](const TempDir& d) {
             fs::create_symlink("hop.txt", d.file("out.txt"));
             fs::create_symlink("made.txt", d.file("hop.txt"));
         },
         "out.txt",
         0,
         {"hop.txt -> made.txt", "made.txt=new", "out.txt -> hop.txt"}},
        {"link into a missing folder",
         [](const TempDir& d) { fs::create_symlink("gone/x.txt", d.file("out.txt")); },
         "out.txt",
         ENOENT,
         {"out.txt -> gone/x.txt"}},
        {"folder",
         [](const TempDir& d) { fs::create_directory(d.file("out.txt")); },
         "out.txt",
         EISDIR,
         {"out.txt/"}},
    };
    for (const Row& row : rows) {
        for (const Staging staging : kStagings) {
            SCOPED_TRACE(std::string(row.name) + ", " + stagingName(staging));
            TempDir dir;
            row.setup(dir);
            EXPECT_EQ(writeOutputFile(dir.file(row.target), "new", 3, staging), row.error);
            EXPECT_EQ(describe(dir), row.after);
            if (row.error == EISDIR) {
                EXPECT_TRUE(fs::is_empty(dir.file(row.target)));
            }
        }
    }
}

TEST(OutputFile, ReplacementKeepsTheModeAndANewFileFollowsTheUmask) {
    for (const Staging staging : kStagings) {
        SCOPED_TRACE(stagingName(staging));
        TempDir dir;
        writeFile(dir.file("kept"), "old");
        ::chmod(dir.file("kept").c_str(), 0604);
        ASSERT_EQ(writeOutputFile(dir.file("kept"), "new", 3, staging), 0);
        ASSERT_EQ(writeOutputFile(dir.file("fresh"), "new", 3, staging), 0);
        struct stat kept {};
        struct stat fresh {};
        ASSERT_EQ(::stat(dir.file("kept").c_str(), &kept), 0);
        ASSERT_EQ(::stat(dir.file("fresh").c_str(), &fresh), 0);
        const mode_t mask = ::umask(0);
        ::umask(mask);
        EXPECT_EQ(kept.st_mode & 07777, 0604u);
        EXPECT_EQ(fresh.st_mode & 07777, 0666u & ~mask);
    }
}

// A FIFO and a character device are written to, never replaced; so is what a
// link to them points to (as /dev/stdout points to the process's output).
TEST(OutputFile, DevicesAndFifosAreWrittenStraightThrough) {
    const std::string payload(200000, 'p');
    for (const bool viaLink : {false, true}) {
        SCOPED_TRACE(viaLink ? "through a link" : "named directly");
        TempDir dir;
        ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0600), 0);
        if (viaLink) fs::create_symlink("pipe", dir.file("link"));
        // The reader is there first and the pipe holds the whole payload, so
        // the write neither waits nor, were the FIFO replaced, hangs the test.
        const int reader = ::open(dir.file("pipe").c_str(), O_RDONLY | O_NONBLOCK);
        ASSERT_GE(reader, 0);
        ASSERT_GE(::fcntl(reader, F_SETPIPE_SZ, 1 << 20), static_cast<int>(payload.size()));
        EXPECT_EQ(
            writeOutputFile(dir.file(viaLink ? "link" : "pipe"), payload.data(), payload.size()),
            0);
        std::string received(payload.size() + 1, '\0');
        const ssize_t got = ::read(reader, received.data(), received.size());
        ::close(reader);
        received.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        EXPECT_EQ(received, payload);
        const std::vector<std::string> expected =
            viaLink ? std::vector<std::string>{"link -> pipe", "pipe|"}
                    : std::vector<std::string>{"pipe|"};
        EXPECT_EQ(describe(dir), expected);
    }

    // A device: /dev/null itself only for an ordinary user, who could not
    // replace it even if this went wrong; root gets a device of its own.
    TempDir dir;
    std::string device = "/dev/null";
    if (::geteuid() == 0) {
        device = dir.file("null");
        if (::mknod(device.c_str(), S_IFCHR | 0666, ::makedev(1, 3)) != 0) {
            GTEST_SKIP() << "mknod: " << std::strerror(errno);
        }
    }
    EXPECT_EQ(writeOutputFile(device, payload.data(), payload.size()), 0);
    struct stat st {};
    ASSERT_EQ(::lstat(device.c_str(), &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    EXPECT_EQ(st.st_rdev, ::makedev(1, 3));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), ::geteuid() == 0 ? 1 : 0);
}

// Root ignores permissions, so a write error comes from a file size limit.
TEST(OutputFile, FailedOrAbandonedWriteKeepsTheOldFile) {
    const std::string big(64 * 1024, 'b');
    for (const Staging staging : kStagings) {
        SCOPED_TRACE(stagingName(staging));
        TempDir dir;
        writeFile(dir.file("out"), "old");
        {
            OutputFile abandoned(dir.file("out"), staging);
            ASSERT_TRUE(abandoned.open());
            ASSERT_TRUE(abandoned.write(big));
        }
        EXPECT_EQ(describe(dir), std::vector<std::string>{"out=old"});

        rlimit saved{};
        ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
        auto* previousHandler = ::signal(SIGXFSZ, SIG_IGN);
        rlimit small = saved;
        small.rlim_cur = 4096;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
        const int error = writeOutputFile(dir.file("out"), big.data(), big.size(), staging);
        ::setrlimit(RLIMIT_FSIZE, &saved);
        ::signal(SIGXFSZ, previousHandler);
        EXPECT_EQ(error, EFBIG);
        EXPECT_EQ(describe(dir), std::vector<std::string>{"out=old"});
    }
}

// A child opens the file and writes, says so through a pipe, and waits to be
// killed; the folder must then hold the old file alone, intact. SIGKILL
// cannot be handled, so only an unnamed temporary file survives it cleanly.
TEST(OutputFile, KilledWriterLeavesOnlyTheOldFile) {
    struct Row {
        int signal;
        Staging staging;
    };
    const Row rows[] = {{SIGKILL, Staging::automatic},
                        {SIGTERM, Staging::automatic},
                        {SIGTERM, Staging::namedTemporary},
                        {SIGINT, Staging::namedTemporary},
                        {SIGHUP, Staging::namedTemporary}};
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(strsignal(row.signal)) + ", " + stagingName(row.staging));
        TempDir dir;
        if (row.staging == Staging::automatic && !supportsUnnamedFiles(dir)) {
            GTEST_SKIP() << "the temporary folder's file system has no O_TMPFILE";
        }
        writeFile(dir.file("atlas.png"), "old");
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(ready[0]);
            OutputFile file(dir.file("atlas.png"), row.staging);
            const std::string data(1 << 20, 'x');
            const bool ok = file.open() && file.write(data) && std::fflush(file.stream()) == 0;
            [[maybe_unused]] const auto n = ::write(ready[1], ok ? "r" : "f", 1);
            for (;;) ::pause();
        }
        ::close(ready[1]);
        // A failed assertion must not leave the child waiting forever.
        struct Reaper {
            pid_t pid;
            ~Reaper() {
                if (pid > 0 && ::kill(pid, SIGKILL) == 0) ::waitpid(pid, nullptr, 0);
            }
        } reaper{child};
        char state = 0;
        ASSERT_EQ(::read(ready[0], &state, 1), 1);
        ::close(ready[0]);
        EXPECT_EQ(state, 'r');
        // The named temporary file is there until the signal.
        const auto entriesBefore = std::distance(fs::directory_iterator(dir.path()), {});
        EXPECT_EQ(entriesBefore, row.staging == Staging::automatic ? 1 : 2);
        ::kill(child, row.signal);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        reaper.pid = 0;
        // Ended by the signal itself, as it would have been without cleanup.
        EXPECT_TRUE(WIFSIGNALED(status));
        EXPECT_EQ(WTERMSIG(status), row.signal);
        EXPECT_EQ(describe(dir), std::vector<std::string>{"atlas.png=old"});
    }
}

}  // namespace
}  // namespace tilvane
