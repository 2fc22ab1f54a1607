#include "image/output_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "image/folder_lock.h"
#include "image/image_file.h"
#include "image/output_set.h"
#include "tests/support/temp_dir.h"

namespace tilvane {
namespace {

using testing::readFile;
using testing::TempDir;
using testing::writeFile;
namespace fs = std::filesystem;
using Staging = OutputFile::Staging;

constexpr std::pair<Staging, const char*> kStagings[] = {{Staging::automatic, "automatic"},
                                                         {Staging::namedTemporary, "named"}};

// A folder's entries in one notation, to set a folder up and to describe it:
// "name=content" a file, "name -> target" a link, "name/" a folder, "name|" a
// FIFO, sorted and joined by ", ". A temporary file left behind shows up too.
std::string describe(const TempDir& dir) {
    std::vector<std::string> entries;
    for (const auto& e : fs::directory_iterator(dir.path())) {
        const std::string name = e.path().filename().string();
        const fs::file_status st = e.symlink_status();
        entries.push_back(fs::is_symlink(st) ? name + " -> " + fs::read_symlink(e.path()).string()
                          : fs::is_directory(st) ? name + "/"
                          : fs::is_fifo(st)      ? name + "|"
                                                 : name + "=" + readFile(e.path().string()));
    }
    std::sort(entries.begin(), entries.end());
    std::string text;
    for (const std::string& e : entries) text += (text.empty() ? "" : ", ") + e;
    return text;
}

// Creates the entries; files get mode 0604, which a replacement must keep.
void create(const TempDir& dir, const std::string& entries) {
    std::istringstream in(entries);
    for (std::string e; std::getline(in >> std::ws, e, ',');) {
        const std::size_t arrow = e.find(" -> "), equals = e.find('=');
        if (arrow != std::string::npos) {
            fs::create_symlink(e.substr(arrow + 4), dir.file(e.substr(0, arrow)));
        } else if (e.back() == '/') {
            fs::create_directory(dir.file(e));
        } else if (e.back() == '|') {
            ASSERT_EQ(::mkfifo(dir.file(e.substr(0, e.size() - 1)).c_str(), 0600), 0);
        } else {
            writeFile(dir.file(e.substr(0, equals)), e.substr(equals + 1));
            ::chmod(dir.file(e.substr(0, equals)).c_str(), 0604);
        }
    }
}

// A FIFO is written straight through, never replaced, and so is what a link
// to one points to (as /dev/stdout points to the process's output).
TEST(OutputFile, DestinationFollowsWhatStandsAtThePath) {
    const std::string longName = std::string(251, 'n') + ".png";
    struct Row {
        const char* name;
        std::string before;
        std::string target;
        int error;
        std::string after;
    };
    const std::vector<Row> rows = {
        {"missing file", "", "out.txt", 0, "out.txt=new"},
        {"regular file", "out.txt=old", "out.txt", 0, "out.txt=new"},
        {"255-byte name", "", longName, 0, longName + "=new"},
        {"link to a file", "real.txt=old, out.txt -> real.txt", "out.txt", 0,
         "out.txt -> real.txt, real.txt=new"},
        {"link to a link to nothing", "out.txt -> hop.txt, hop.txt -> made.txt", "out.txt", 0,
         "hop.txt -> made.txt, made.txt=new, out.txt -> hop.txt"},
        {"link into a missing folder", "out.txt -> gone/x.txt", "out.txt", ENOENT,
         "out.txt -> gone/x.txt"},
        {"folder", "out.txt/", "out.txt", EISDIR, "out.txt/"},
        // Root ignores permissions, so a write error comes from a file size limit.
        {"write error", "out.txt=old", "out.txt", EFBIG, "out.txt=old"},
        {"FIFO", "pipe|", "pipe", 0, "pipe|"},
        {"link to a FIFO", "pipe|, link -> pipe", "link", 0, "link -> pipe, pipe|"},
    };
    const mode_t umask = ::umask(0);
    ::umask(umask);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 2;
    auto* previousHandler = ::signal(SIGXFSZ, SIG_IGN);
    for (const Row& row : rows) {
        for (const auto& [staging, stagingName] : kStagings) {
            SCOPED_TRACE(row.name + (", " + std::string(stagingName)));
            TempDir dir;
            create(dir, row.before);
            const std::string target = dir.file(row.target);
            const bool existed = fs::exists(target);
            // The reader is there first, so opening the FIFO does not wait,
            // and the pipe holds the bytes, so neither does the write.
            const int reader =
                fs::is_fifo(target) ? ::open(target.c_str(), O_RDONLY | O_NONBLOCK) : -1;
            if (row.error == EFBIG) ::setrlimit(RLIMIT_FSIZE, &small);
            const int error = writeOutputFile(target, "new", 3, staging);
            ::setrlimit(RLIMIT_FSIZE, &saved);
            EXPECT_EQ(error, row.error);
            EXPECT_EQ(describe(dir), row.after);
            struct stat st {};
            if (reader >= 0) {
                char received[8] = {};
                EXPECT_EQ(::read(reader, received, sizeof received), 3);
                EXPECT_STREQ(received, "new");
                ::close(reader);
            } else if (row.error == 0 && ::stat(target.c_str(), &st) == 0) {
                EXPECT_EQ(st.st_mode & 07777, existed ? 0604u : 0666u & ~umask);
            } else if (row.error == EISDIR) {
                EXPECT_TRUE(fs::is_empty(target));
            }
        }
    }
    ::signal(SIGXFSZ, previousHandler);
}

// A character device is written to, never replaced: /dev/null itself only for
// an ordinary user, who could not replace it even if this went wrong; root
// gets a device of its own.
TEST(OutputFile, DevicesAreWrittenStraightThrough) {
    TempDir dir;
    std::string device = "/dev/null";
    if (::geteuid() == 0) {
        device = dir.file("null");
        if (::mknod(device.c_str(), S_IFCHR | 0666, ::makedev(1, 3)) != 0) {
            GTEST_SKIP() << "mknod: " << std::strerror(errno);
        }
    }
    const std::string payload(200000, 'p');
    EXPECT_EQ(writeOutputFile(device, payload.data(), payload.size()), 0);
    struct stat st {};
    ASSERT_EQ(::lstat(device.c_str(), &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    EXPECT_EQ(st.st_rdev, ::makedev(1, 3));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), ::geteuid() == 0 ? 1 : 0);
}

// An OutputFile dropped without commit() leaves the old file as it was.
TEST(OutputFile, AbandonedWriteKeepsTheOldFile) {
    for (const auto& [staging, stagingName] : kStagings) {
        SCOPED_TRACE(stagingName);
        TempDir dir;
        writeFile(dir.file("out"), "old");
        {
            OutputFile abandoned(dir.file("out"), staging);
            ASSERT_TRUE(abandoned.open());
            ASSERT_TRUE(abandoned.write(std::string(64 * 1024, 'b')));
        }
        EXPECT_EQ(describe(dir), "out=old");
    }
}

// A child opens the file and writes, says so through a pipe, and waits to be
// killed; the folder must then hold the old file alone, intact. SIGKILL
// cannot be handled, so only an unnamed temporary file survives it cleanly.
TEST(OutputFile, KilledWriterLeavesOnlyTheOldFile) {
    const std::pair<int, Staging> rows[] = {{SIGKILL, Staging::automatic},
                                            {SIGTERM, Staging::automatic},
                                            {SIGTERM, Staging::namedTemporary},
                                            {SIGINT, Staging::namedTemporary},
                                            {SIGHUP, Staging::namedTemporary}};
    for (const auto& [signal, staging] : rows) {
        SCOPED_TRACE(strsignal(signal) + (", staging " + std::to_string(int(staging))));
        TempDir dir;
        const int probe = ::open(dir.path().c_str(), O_TMPFILE | O_RDWR, 0600);
        if (probe < 0 && staging == Staging::automatic) {
            GTEST_SKIP() << "the temporary folder's file system has no O_TMPFILE";
        }
        ::close(probe);
        writeFile(dir.file("atlas.png"), "old");
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            OutputFile file(dir.file("atlas.png"), staging);
            const bool ok = file.open() && file.write(std::string(1 << 20, 'x')) &&
                            std::fflush(file.stream()) == 0;
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
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}),
                  staging == Staging::automatic ? 1 : 2);
        ::kill(child, signal);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        reaper.pid = 0;
        // Ended by the signal itself, as it would have been without cleanup.
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
        EXPECT_EQ(describe(dir), "atlas.png=old");
    }
}

// ---- OutputSet and FolderLock

using Failures = std::vector<std::pair<std::string, int>>;

// Each row stages its outputs in order and writes their bytes ("!" has the
// image writer refuse a null image, as a failed encoder would), then commits.
// A FIFO "pipe" has a reader, which must get nothing before commitAll().
TEST(OutputSet, EveryOutputReplacesItsOldFileOrNoneDoes) {
    const std::string longName = std::string(251, 'n') + ".png";
    const std::string longText = std::string(250, 'n') + ".json";
    struct Row {
        const char* name;
        std::string before;
        std::vector<std::pair<std::string, std::string>> outputs;
        Failures failures;
        std::string after;
        // What the FIFO's reader gets.
        std::string piped = {};
        // Made a folder once every output is written: its placement fails.
        std::string folderAfterWrite = {};
        // Files may grow to 2 bytes only.
        bool sizeLimit = false;
    };
    const std::vector<Row> rows = {
        {"all written", "a=old, b=old", {{"a", "A"}, {"b", "B"}, {"c", "C"}}, {}, "a=A, b=B, c=C"},
        {"255-byte names",
         longName + "=old",
         {{longName, "I"}, {longText, "T"}},
         {},
         longText + "=T, " + longName + "=I"},
        {"an output is a folder",
         "a=old, d/",
         {{"a", "A"}, {"d", "D"}},
         {{"d", EISDIR}},
         "a=old, d/"},
        {"every failure in order",
         "a=old, d/",
         {{"d", "D"}, {"a", "A"}, {"gone/x", "X"}, {"b", "!"}},
         {{"d", EISDIR}, {"gone/x", ENOENT}, {"b", EINVAL}},
         "a=old, d/"},
        {"write error",
         "a=old, b=old",
         {{"a", "A"}, {"b", "BBB"}},
         {{"b", EFBIG}},
         "a=old, b=old",
         "",
         "",
         true},
        // a is swapped back and the new n removed; c was never touched.
        {"placement fails",
         "a=old, c=old",
         {{"a", "A"}, {"n", "N"}, {"b", "B"}, {"c", "C"}},
         {{"b", EISDIR}},
         "a=old, b/, c=old",
         "",
         "b"},
        {"link followed", "real=old, link -> real", {{"link", "L"}}, {}, "link -> real, real=L"},
        {"link kept with the rest",
         "real=old, link -> real, d/",
         {{"link", "L"}, {"d", "D"}},
         {{"d", EISDIR}},
         "d/, link -> real, real=old"},
        {"FIFO fed at commit", "a=old, pipe|", {{"pipe", "P"}, {"a", "A"}}, {}, "a=A, pipe|", "P"},
        {"FIFO unfed when a file fails",
         "a=old, d/, pipe|",
         {{"pipe", "P"}, {"a", "A"}, {"d", "D"}},
         {{"d", EISDIR}},
         "a=old, d/, pipe|"},
        {"device refuses",
         "a=old, full -> /dev/full",
         {{"a", "A"}, {"full", "F"}},
         {{"full", ENOSPC}},
         "a=old, full -> /dev/full"},
        // A device before the one that refused already has its bytes.
        {"device refuses after a FIFO",
         "a=old, full -> /dev/full, pipe|",
         {{"a", "A"}, {"pipe", "P"}, {"full", "F"}},
         {{"full", ENOSPC}},
         "a=old, full -> /dev/full, pipe|",
         "P"},
    };
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 2;
    auto* previousHandler = ::signal(SIGXFSZ, SIG_IGN);
    for (const Row& row : rows) {
        for (const auto& [staging, stagingName] : kStagings) {
            SCOPED_TRACE(row.name + (", " + std::string(stagingName)));
            TempDir dir;
            create(dir, row.before);
            const std::string pipe = dir.file("pipe");
            const int reader = fs::is_fifo(pipe) ? ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK) : -1;
            if (row.sizeLimit) ::setrlimit(RLIMIT_FSIZE, &small);
            Failures failures;
            bool committed = false;
            {
                OutputSet set;
                for (const auto& [name, bytes] : row.outputs) {
                    OutputFile& file = set.stage(dir.file(name), staging);
                    if (bytes == "!") {
                        EXPECT_EQ(writeBitmapTo(file, nullptr), EINVAL);
                    } else {
                        // Flushed, so that bytes written straight through
                        // would reach the FIFO before commitAll().
                        file.write(bytes);
                        std::fflush(file.stream());
                    }
                }
                if (!row.folderAfterWrite.empty()) {
                    fs::create_directory(dir.file(row.folderAfterWrite));
                }
                char early[8];
                if (reader >= 0) {
                    EXPECT_LE(::read(reader, early, sizeof early), 0);
                }
                committed = set.commitAll();
                for (const OutputSet::Failure& f : set.failures()) {
                    failures.emplace_back(f.path.substr(dir.folder().size()), f.error);
                }
            }
            ::setrlimit(RLIMIT_FSIZE, &saved);
            EXPECT_EQ(committed, row.failures.empty());
            EXPECT_EQ(failures, row.failures);
            EXPECT_EQ(describe(dir), row.after);
            if (reader >= 0) {
                char received[8] = {};
                const ssize_t n = ::read(reader, received, sizeof received);
                EXPECT_EQ(std::string(received, n > 0 ? std::size_t(n) : 0), row.piped);
                ::close(reader);
            }
        }
    }
    ::signal(SIGXFSZ, previousHandler);
}

// The folders each row's outputs lock, named from the temporary folder after
// resolving links; every one must be held (a second descriptor cannot take
// it) until the lock goes.
TEST(FolderLock, LocksEveryOutputFolderOnceInInodeOrder) {
    struct Row {
        const char* name;
        std::string before;
        std::vector<std::string> outputs;
        std::vector<std::string> locked;
        std::vector<std::string> skipped = {};
    };
    const std::vector<Row> rows = {
        {"one folder per output folder",
         "a/, b/",
         {"a/x.png", "b/x.json", "a/x_mask.png"},
         {"a", "b"}},
        {"a link's folder and its target's", "a/, b/, a/l -> ../b/real", {"a/l"}, {"a", "b"}},
        {"a bare name's folder", "", {"x.png"}, {"."}},
        {"devices, FIFOs and folders need none", "p|, d/", {"/dev/null", "p", "d"}, {}},
        {"a missing folder is skipped", "a/", {"gone/x.png", "a/x.png"}, {"a"}, {"gone"}},
    };
    const fs::path before = fs::current_path();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        create(dir, row.before);
        // Bare names are in the current folder.
        fs::current_path(dir.path());
        std::vector<std::string> paths;
        for (const std::string& o : row.outputs) paths.push_back(o[0] == '/' ? o : dir.file(o));
        std::vector<int> held;
        {
            FolderLock lock(paths);
            std::vector<std::string> locked, skipped;
            std::pair<dev_t, ino_t> last{0, 0};
            for (const std::string& folder : lock.lockedFolders()) {
                locked.push_back(fs::canonical(folder).lexically_relative(dir.path()).string());
                const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
                struct stat st {};
                ASSERT_EQ(::fstat(fd, &st), 0);
                EXPECT_LT(last, std::make_pair(st.st_dev, st.st_ino));
                last = {st.st_dev, st.st_ino};
                EXPECT_NE(::flock(fd, LOCK_EX | LOCK_NB), 0);
                EXPECT_EQ(errno, EWOULDBLOCK);
                held.push_back(fd);
            }
            for (const FolderLock::Skipped& s : lock.skipped()) {
                skipped.push_back(fs::path(s.folder).lexically_relative(dir.path()).string());
                EXPECT_EQ(s.error, ENOENT);
            }
            std::sort(locked.begin(), locked.end());
            EXPECT_EQ(locked, row.locked);
            EXPECT_EQ(skipped, row.skipped);
        }
        for (const int fd : held) {
            EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
            ::close(fd);
        }
        fs::current_path(before);
    }
}

// A child takes the lock and keeps it until the kernel shows this process
// waiting for it (/proc/locks lists waiters with "->"); only then does it
// leave a mark and end. The parent's lock must come after the mark: had it
// not waited, the child would still be watching, with no mark made.
TEST(FolderLock, SecondRunWaitsForTheFirst) {
    if (!fs::exists("/proc/locks")) GTEST_SKIP() << "no /proc/locks to see the wait";
    TempDir dir;
    fs::create_directory(dir.file("out"));
    const std::vector<std::string> outputs = {dir.file("out/atlas.png"),
                                              dir.file("out/atlas.json")};
    struct stat folder {};
    ASSERT_EQ(::stat(dir.file("out").c_str(), &folder), 0);
    const std::string inode = ":" + std::to_string(folder.st_ino) + " ";
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const FolderLock lock(outputs);
        [[maybe_unused]] const auto n = ::write(ready[1], "l", 1);
        for (int polls = 0; polls < 20000; ++polls) {
            std::ifstream locks("/proc/locks");
            for (std::string line; std::getline(locks, line);) {
                if (line.find("->") == std::string::npos || line.find(inode) == std::string::npos) {
                    continue;
                }
                writeFile(dir.file("mark"), "child done");
                ::_exit(0);
            }
            ::usleep(1000);
        }
        ::_exit(1);
    }
    ::close(ready[1]);
    struct Reaper {
        pid_t pid;
        ~Reaper() {
            if (pid > 0 && ::kill(pid, SIGKILL) == 0) ::waitpid(pid, nullptr, 0);
        }
    } reaper{child};
    char state = 0;
    ASSERT_EQ(::read(ready[0], &state, 1), 1);
    ::close(ready[0]);
    {
        const FolderLock lock(outputs);
        EXPECT_EQ(lock.lockedFolders().size(), 1u);
        ASSERT_EQ(readFile(dir.file("mark")), "child done");
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    reaper.pid = 0;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
}  // namespace tilvane
