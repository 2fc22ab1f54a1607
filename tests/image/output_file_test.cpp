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

// The texts sorted and joined by ", ".
std::string join(std::vector<std::string> texts) {
    std::sort(texts.begin(), texts.end());
    std::string text;
    for (const std::string& e : texts) text += (text.empty() ? "" : ", ") + e;
    return text;
}

// A folder's entries, nested ones too, in one notation, to set a folder up and
// to describe it: "name=content" a file (with its mode unless 0604), "name ->
// target" a link, "name/" a folder, "name|" a FIFO, "name%" a character
// device. A temporary file left behind shows up too.
std::string describe(const TempDir& dir) {
    std::vector<std::string> entries;
    for (const auto& e : fs::recursive_directory_iterator(dir.path())) {
        const std::string name = e.path().lexically_relative(dir.path()).string();
        const fs::file_status st = e.symlink_status();
        char mode[8] = "";
        if (st.permissions() != fs::perms(0604)) {
            std::snprintf(mode, sizeof mode, " %o", static_cast<unsigned>(st.permissions()));
        }
        entries.push_back(fs::is_symlink(st) ? name + " -> " + fs::read_symlink(e.path()).string()
                          : fs::is_directory(st) ? name + "/"
                          : fs::is_fifo(st)      ? name + "|"
                          : fs::is_character_file(st)
                              ? name + "%"
                              : name + "=" + readFile(e.path().string()) + mode);
    }
    return join(entries);
}

std::vector<std::string> split(const std::string& entries) {
    std::vector<std::string> parts;
    std::istringstream in(entries);
    for (std::string e; std::getline(in >> std::ws, e, ',');) parts.push_back(e);
    return parts;
}

// Creates the entries; files get mode 0604, which a replacement must keep, and
// a device is one like /dev/null.
void create(const TempDir& dir, const std::string& entries) {
    for (const std::string& e : split(entries)) {
        const std::size_t arrow = e.find(" -> "), equals = e.find('=');
        const std::string path = dir.file(e.substr(0, e.size() - 1));
        if (arrow != std::string::npos) {
            fs::create_symlink(e.substr(arrow + 4), dir.file(e.substr(0, arrow)));
        } else if (e.back() == '/') {
            fs::create_directory(path);
        } else if (e.back() == '|') {
            ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
        } else if (e.back() == '%') {
            ASSERT_EQ(::mknod(path.c_str(), S_IFCHR | 0666, ::makedev(1, 3)), 0);
        } else {
            writeFile(dir.file(e.substr(0, equals)), e.substr(equals + 1));
            ::chmod(dir.file(e.substr(0, equals)).c_str(), 0604);
        }
    }
}

// A forked child that runs body (which tells its state through the descriptor
// it is given, then ends or waits to be killed), and the state it told. A
// failed assertion must not leave the child waiting forever.
struct Child {
    pid_t pid = -1;
    char state = 0;
    template <typename Body>
    explicit Child(Body body) {
        int ready[2];
        if (::pipe(ready) != 0) return;
        if ((pid = ::fork()) == 0) {
            body(ready[1]);
            ::_exit(1);
        }
        ::close(ready[1]);
        if (pid > 0 && ::read(ready[0], &state, 1) != 1) state = 0;
        ::close(ready[0]);
    }
    ~Child() {
        if (pid > 0 && ::kill(pid, SIGKILL) == 0) ::waitpid(pid, nullptr, 0);
    }
    int wait() {
        int status = 0;
        if (::waitpid(pid, &status, 0) == pid) pid = -1;
        return status;
    }
};

// Each row's outputs ("name=bytes", in order) are staged in an OutputSet and
// their bytes written ("!" has the image writer refuse a null image, as a
// failed encoder would; "name/" makes a folder once all are written, so its
// placement fails), then committed together: every old file is replaced or
// none is, and each failure is named. The same set dropped uncommitted changes
// nothing. A FIFO "pipe" has a reader, which must get
// nothing before commitAll(). New files are made under umask 022.
TEST(OutputSet, EveryOutputReplacesItsOldFileOrNoneDoes) {
    const std::string l = std::string(251, 'n') + ".png", t = std::string(250, 'n') + ".json";
    struct Row {
        const char* name;
        std::string before, outputs, failures;
        std::string after = {};  // empty: as before
        std::string piped = {};  // what the FIFO's reader gets
    };
    const std::vector<Row> rows = {
        {"all written", "a=old, b=old", "a=A, b=B, c=C", "", "a=A, b=B, c=C 644"},
        {"255-byte names", l + "=old", l + "=I, " + t + "=T", "", t + "=T 644, " + l + "=I"},
        {"links followed, to a file and to a link to nothing",
         "real=old, link -> real, out -> hop, hop -> made", "link=L, out=O", "",
         "hop -> made, link -> real, made=O 644, out -> hop, real=L"},
        {"link into a missing folder", "out -> gone/x", "out=O", "out ENOENT"},
        {"folder", "d/", "d=D", "d EISDIR"},
        // Root ignores permissions, so a write error comes from a file size
        // limit: 2 bytes.
        {"write error", "a=old", "a=new", "a EFBIG"},
        {"every failure in order", "a=old, d/", "d=D, a=A, gone/x=X, b=!",
         "d EISDIR, gone/x ENOENT, b EINVAL"},
        // a and the link's file are swapped back and the new n removed; c was
        // never touched.
        {"placement fails", "a=old, c=old, real=old, link -> real",
         "a=A, link=L, n=N, b=B, c=C, b/", "b EISDIR", "a=old, b/, c=old, link -> real, real=old"},
        {"FIFO through a link, fed at commit", "a=old, pipe|, link -> pipe", "link=P, a=A", "",
         "a=A, link -> pipe, pipe|", "P"},
        {"FIFO unfed when a file fails", "a=old, d/, pipe|", "pipe=P, a=A, d=D", "d EISDIR"},
        // A device before the one that refused already has its bytes.
        {"device refuses after a FIFO", "a=old, full -> /dev/full, pipe|", "a=A, pipe=P, full=F",
         "full ENOSPC", "", "P"},
        // A device of the test's own, which only root may make (and root could
        // replace /dev/null itself should this go wrong); skipped for others.
        {"device written to, never replaced", "a=old, null%", "null=N, a=A", "", "a=A, null%"},
    };
    const mode_t umask = ::umask(022);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 2;
    auto* previousHandler = ::signal(SIGXFSZ, SIG_IGN);
    enum class Way { committed, dropped };
    for (const Row& row : rows) {
        if (row.before.find('%') != std::string::npos && ::geteuid() != 0) continue;
        for (const auto& [staging, stagingName] : kStagings) {
            for (const Way way : {Way::committed, Way::dropped}) {
                SCOPED_TRACE(row.name + (", " + std::string(stagingName)) +
                             (way == Way::dropped ? ", dropped" : ""));
                TempDir dir;
                create(dir, row.before);
                const std::string start = describe(dir), pipe = dir.file("pipe");
                const int reader =
                    fs::is_fifo(pipe) ? ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK) : -1;
                if (row.failures.find("EFBIG") != std::string::npos)
                    ::setrlimit(RLIMIT_FSIZE, &small);
                std::string failures;
                const auto failed = [&failures](const std::string& name, int error) {
                    failures +=
                        (failures.empty() ? "" : ", ") + name + " " + strerrorname_np(error);
                };
                {
                    OutputSet set;
                    for (const std::string& o : split(row.outputs)) {
                        const std::size_t equals = o.find('=');
                        const std::string name = o.substr(0, equals), bytes = o.substr(equals + 1);
                        if (o.back() == '/') {
                            if (way == Way::committed) fs::create_directory(dir.file(name));
                        } else if (bytes == "!") {
                            OutputFile& file = set.stage(dir.file(name), staging);
                            EXPECT_EQ(writeBitmapTo(file, nullptr), EINVAL);
                        } else {
                            // Flushed, so that bytes written straight through
                            // would reach the FIFO before commitAll().
                            OutputFile& file = set.stage(dir.file(name), staging);
                            file.write(bytes);
                            std::fflush(file.stream());
                        }
                    }
                    char early[8];
                    if (reader >= 0) {
                        EXPECT_LE(::read(reader, early, sizeof early), 0);
                    }
                    if (way == Way::committed) {
                        EXPECT_EQ(set.commitAll(), row.failures.empty());
                        for (const OutputSet::Failure& f : set.failures()) {
                            failed(f.path.substr(dir.folder().size()), f.error);
                        }
                    }
                }
                ::setrlimit(RLIMIT_FSIZE, &saved);
                const bool dropped = way == Way::dropped;
                EXPECT_EQ(failures, dropped ? "" : row.failures);
                EXPECT_EQ(describe(dir), dropped || row.after.empty() ? start : row.after);
                if (reader >= 0) {
                    char received[8] = {};
                    const ssize_t n = ::read(reader, received, sizeof received);
                    EXPECT_EQ(std::string(received, n > 0 ? std::size_t(n) : 0),
                              dropped ? "" : row.piped);
                    ::close(reader);
                }
            }
        }
    }
    ::signal(SIGXFSZ, previousHandler);
    ::umask(umask);
}

// A child opens the file and writes, says so through a pipe, and waits to be
// killed; the folder must then hold the old file alone, intact. SIGKILL
// cannot be handled, so only an unnamed temporary file survives it cleanly.
TEST(OutputFile, KilledWriterLeavesOnlyTheOldFile) {
    const std::pair<int, Staging> rows[] = {{SIGKILL, Staging::automatic},
                                            {SIGTERM, Staging::automatic},
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
        create(dir, "atlas.png=old");
        Child child([&, staging = staging](int ready) {
            OutputFile file(dir.file("atlas.png"), staging);
            const bool ok = file.open() && file.write(std::string(1 << 20, 'x')) &&
                            std::fflush(file.stream()) == 0;
            [[maybe_unused]] const auto n = ::write(ready, ok ? "r" : "f", 1);
            for (;;) ::pause();
        });
        ASSERT_EQ(child.state, 'r');
        // The named temporary file is there until the signal.
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}),
                  staging == Staging::automatic ? 1 : 2);
        ::kill(child.pid, signal);
        // Ended by the signal itself, as it would have been without cleanup.
        const int status = child.wait();
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
        EXPECT_EQ(describe(dir), "atlas.png=old");
    }
}

// The folders each row's outputs lock, named from the temporary folder after
// resolving links; every one must be held (a second descriptor cannot take
// it) until the lock goes.
TEST(FolderLock, LocksEveryOutputFolderOnceInInodeOrder) {
    struct Row {
        const char* name;
        std::string before, outputs, locked, skipped = {};
    };
    const std::vector<Row> rows = {
        {"each folder once, a missing one skipped; none for a device, FIFO or folder",
         "a/, b/, p|, d/", "a/x.png, b/x.json, gone/x.png, a/x_mask.png, /dev/null, p, d", "a, b",
         "gone"},
        {"a link's folder and its target's", "a/, b/, a/l -> ../b/real", "a/l", "a, b"},
        {"a bare name's folder", "", "x.png", "."},
    };
    const fs::path before = fs::current_path();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        create(dir, row.before);
        // Bare names are in the current folder.
        fs::current_path(dir.path());
        std::vector<std::string> paths;
        for (const std::string& o : split(row.outputs))
            paths.push_back(o[0] == '/' ? o : dir.file(o));
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
            EXPECT_EQ(join(locked), row.locked);
            EXPECT_EQ(join(skipped), row.skipped);
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
    Child child([&](int ready) {
        const FolderLock lock(outputs);
        [[maybe_unused]] const auto n = ::write(ready, "l", 1);
        for (int polls = 0; polls < 20000; ++polls) {
            std::ifstream locks("/proc/locks");
            for (std::string line; std::getline(locks, line);) {
                if (line.find("->") != std::string::npos && line.find(inode) != std::string::npos) {
                    writeFile(dir.file("mark"), "child done");
                    ::_exit(0);
                }
            }
            ::usleep(1000);
        }
    });
    ASSERT_EQ(child.state, 'l');
    {
        const FolderLock lock(outputs);
        EXPECT_EQ(lock.lockedFolders().size(), 1u);
        ASSERT_EQ(readFile(dir.file("mark")), "child done");
    }
    const int status = child.wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
}  // namespace tilvane
