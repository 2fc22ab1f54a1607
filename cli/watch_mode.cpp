#include "cli/watch_mode.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <iomanip>

#include "cli/pack_run.h"
#include "cli/terminal_events.h"
#include "job/input_changes.h"
#include "model/build_extras.h"

namespace tilvane {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The quiet that ends a burst of changes: an editor's save, a copy of many files.
constexpr int kQuietMilliseconds = 200;

constexpr std::uint32_t kWatchMask = IN_CLOSE_WRITE | IN_MODIFY | IN_ATTRIB | IN_CREATE |
                                     IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF |
                                     IN_MOVE_SELF | IN_ONLYDIR;

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// SIGINT and SIGTERM wait in a descriptor while the watch runs, so that a
// build is never cut short and the loop ends between builds.
class BlockedStops {
public:
    BlockedStops() {
        ::sigemptyset(&stops_);
        ::sigaddset(&stops_, SIGINT);
        ::sigaddset(&stops_, SIGTERM);
        ::pthread_sigmask(SIG_BLOCK, &stops_, &previous_);
    }
    ~BlockedStops() { ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
    BlockedStops(const BlockedStops&) = delete;
    BlockedStops& operator=(const BlockedStops&) = delete;
    const sigset_t& set() const { return stops_; }

private:
    sigset_t stops_{};
    sigset_t previous_{};
};

// Watches the folder and, when recursive, every sub-folder below it that is
// not a symbolic link, to the depth the tree search enters (those already
// watched keep their watch). Answers the errno of the folder's own watch.
int watchFolders(int inotify, const std::string& folder, bool recursive) {
    if (::inotify_add_watch(inotify, folder.c_str(), kWatchMask) < 0) return errno;
    if (!recursive) return 0;
    std::error_code ec;
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
    for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        std::error_code typeError;
        if (!it->is_directory(typeError) || it->is_symlink(typeError)) continue;
        if (it.depth() + 1 >= kMaxFolderDepth) it.disable_recursion_pending();
        // Best effort: a folder gone meanwhile, or the user's watch limit.
        ::inotify_add_watch(inotify, it->path().c_str(), kWatchMask);
    }
    return 0;
}

// Reads every queued event; true when one may change the inputs.
bool drainEvents(int inotify, bool recursive) {
    alignas(inotify_event) char buffer[16384];
    bool relevant = false;
    for (;;) {
        const ssize_t n = ::read(inotify, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return relevant;
        for (std::size_t at = 0; at + sizeof(inotify_event) <= static_cast<std::size_t>(n);) {
            inotify_event event{};
            std::memcpy(&event, buffer + at, sizeof event);
            const char* name = buffer + at + sizeof event;
            at += sizeof event + event.len;
            if ((event.mask & (IN_Q_OVERFLOW | IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) != 0) {
                relevant = true;
            } else if ((event.mask & IN_ISDIR) != 0) {
                relevant = relevant || recursive;
            } else if (event.len > 0 && at <= static_cast<std::size_t>(n)) {
                relevant =
                    relevant || mayBeInput(std::string_view(name, ::strnlen(name, event.len)));
            }
        }
    }
}

enum class Wake { stop, event, quiet };

// Waits up to `milliseconds` (forever when negative) for a stop or an event.
Wake waitFor(int inotify, int stops, int milliseconds) {
    pollfd fds[2] = {{stops, POLLIN, 0}, {inotify, POLLIN, 0}};
    for (;;) {
        const int ready = ::poll(fds, 2, milliseconds);
        if (ready < 0 && errno == EINTR) continue;
        if ((fds[0].revents & POLLIN) != 0) {
            // Taken, so that it is not delivered once the signals are unblocked.
            signalfd_siginfo info{};
            while (::read(stops, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
            }
            return Wake::stop;
        }
        if (ready < 0) return Wake::stop;
        if ((fds[1].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) return Wake::stop;
        return ready == 0 ? Wake::quiet : Wake::event;
    }
}

}  // namespace

int watchAndRebuild(const JobSpec& jobSpec, std::ostream& err, const std::function<int()>& build) {
    const std::string& folder = jobSpec.settings.inputFolder;
    const bool recursive = jobSpec.extras.recursive;
    const BlockedStops blocked;
    const Descriptor stops(::signalfd(-1, &blocked.set(), SFD_CLOEXEC | SFD_NONBLOCK));
    const int stopsError = stops.get() < 0 ? errno : 0;
    const Descriptor inotify(::inotify_init1(IN_CLOEXEC | IN_NONBLOCK));
    int watchError = inotify.get() < 0 ? errno : watchFolders(inotify.get(), folder, recursive);
    if (watchError == 0) watchError = stopsError;

    // Taken before the build, so that a change during it counts after it.
    InputSnapshot inputs = snapshotInputs(folder, recursive);
    int status = build();
    if (watchError != 0) {
        err << "tilvane-pack: cannot watch " << escapeControls(folder) << ": "
            << std::strerror(watchError) << '\n'
            << std::flush;
        return kPackUsageOrRefused;
    }
    err << "tilvane-pack: watching " << escapeControls(folder) << " for changes (Ctrl-C to stop)\n"
        << std::flush;

    for (;;) {
        Wake wake = waitFor(inotify.get(), stops.get(), -1);
        if (wake == Wake::stop) break;
        if (!drainEvents(inotify.get(), recursive)) continue;
        while (wake == Wake::event) {
            wake = waitFor(inotify.get(), stops.get(), kQuietMilliseconds);
            if (wake == Wake::event) drainEvents(inotify.get(), recursive);
        }
        if (wake == Wake::stop) break;
        // Folders made since are watched from now on.
        if (recursive) watchFolders(inotify.get(), folder, recursive);
        InputSnapshot now = snapshotInputs(folder, recursive);
        const InputChanges changes = compareSnapshots(inputs, now);
        if (changes.none()) continue;
        inputs = std::move(now);

        const auto start = Clock::now();
        status = build();
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        const std::string what = escapeControls(describeChanges(changes));
        err << std::fixed << std::setprecision(2);
        if (status == kPackDone || status == kPackDoneWithFailures) {
            err << "tilvane-pack: rebuilt in " << seconds << " s"
                << (status == kPackDone ? "" : " with failed files") << ": " << what << '\n';
        } else {
            err << "tilvane-pack: rebuild failed in " << seconds << " s (exit status " << status
                << "), the last good outputs are kept: " << what << '\n';
        }
        err << std::defaultfloat << std::flush;
    }
    return status;
}

}  // namespace tilvane
