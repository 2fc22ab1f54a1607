#include "image/output_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

namespace tilvane {

namespace {

// ---- names that a terminating signal removes
//
// A named temporary file must not outlive a process that SIGINT, SIGTERM or
// SIGHUP ends. The handler may only do async-signal-safe work, so the names
// live in fixed storage, each slot claimed and released with lock-free atomics
// and never changed while the handler could read it.

// An OutputSet holds a name for each file of a run between its placement and
// the end of the commit (the old file, kept for undoing), so there is room
// for many pages' outputs.
constexpr std::size_t kPendingSlots = 256;
constexpr std::size_t kPendingPathBytes = 4096;

enum SlotState : int { kSlotFree, kSlotFilling, kSlotArmed, kSlotRemoving };

struct PendingName {
    std::atomic<int> state{kSlotFree};
    char path[kPendingPathBytes];
};
static_assert(std::atomic<int>::is_always_lock_free);

std::array<PendingName, kPendingSlots> gPendingNames;

extern "C" void removePendingNamesAndDie(int signal) {
    for (PendingName& slot : gPendingNames) {
        int armed = kSlotArmed;
        if (slot.state.compare_exchange_strong(armed, kSlotRemoving)) ::unlink(slot.path);
    }
    // The signal is blocked while this runs: raised again with its default
    // action, it ends the process as it would have without us.
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    sigemptyset(&byDefault.sa_mask);
    ::sigaction(signal, &byDefault, nullptr);
    ::raise(signal);
}

void installCleanupHandlers() {
    static std::once_flag once;
    std::call_once(once, [] {
        constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
        struct sigaction ours {};
        ours.sa_handler = removePendingNamesAndDie;
        sigemptyset(&ours.sa_mask);
        for (const int s : kSignals) sigaddset(&ours.sa_mask, s);
        for (const int s : kSignals) {
            struct sigaction current {};
            // A program that handles or ignores the signal itself keeps its
            // choice: a handler that does not end the process must not find
            // its files gone.
            if (::sigaction(s, nullptr, &current) == 0 && !(current.sa_flags & SA_SIGINFO) &&
                current.sa_handler == SIG_DFL) {
                ::sigaction(s, &ours, nullptr);
            }
        }
    });
}

// Claims a slot for the name; -1 when none is free or the name does not fit,
// and the name then goes unprotected.
int holdPendingName(const std::string& path) {
    if (path.size() >= kPendingPathBytes) return -1;
    installCleanupHandlers();
    for (std::size_t i = 0; i < gPendingNames.size(); ++i) {
        PendingName& slot = gPendingNames[i];
        int free = kSlotFree;
        if (!slot.state.compare_exchange_strong(free, kSlotFilling)) continue;
        std::memcpy(slot.path, path.c_str(), path.size() + 1);
        slot.state.store(kSlotArmed, std::memory_order_release);
        return static_cast<int>(i);
    }
    return -1;
}

void releasePendingName(int index) {
    if (index < 0) return;
    int armed = kSlotArmed;
    // When the exchange fails, the handler is removing the name and the
    // process is about to end; the slot is not reused.
    gPendingNames[static_cast<std::size_t>(index)].state.compare_exchange_strong(armed, kSlotFree);
}

// ---- paths

std::string folderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// A short hidden name in the folder: a target's name may already use the
// whole 255 bytes a name can have, so the temporary name never contains it.
std::string temporaryNameIn(const std::string& folder) {
    static std::atomic<std::uint64_t> counter{0};
    const auto clock =
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    // splitmix64 over the process, the time and a counter: unique within the
    // process, and unlikely to meet another process's name.
    std::uint64_t x = (static_cast<std::uint64_t>(::getpid()) << 40) ^ clock ^
                      (counter.fetch_add(1) * 0x9E3779B97F4A7C15u);
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9u;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBu;
    x ^= x >> 31;
    std::string name = folder + ".tilvane-";
    for (int i = 0; i < 10; ++i, x /= 36) name += "0123456789abcdefghijklmnopqrstuvwxyz"[x % 36];
    return name;
}

// Where the last link of a chain that ends in nothing points: the file is
// created there. Empty, with errno set, when the chain loops.
std::string endOfDanglingLinks(std::string path) {
    for (int hop = 0; hop < 40; ++hop) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        std::string link(kPendingPathBytes, '\0');
        const ssize_t n = ::readlink(path.c_str(), link.data(), link.size());
        if (n < 0) return path;
        link.resize(static_cast<std::size_t>(n));
        path = !link.empty() && link[0] == '/' ? link : folderOf(path) + link;
    }
    errno = ELOOP;
    return {};
}

struct FreeDeleter {
    void operator()(char* p) const { std::free(p); }
};

constexpr int kMaxNameAttempts = 100;

}  // namespace

// ---- the stream: stdio over our descriptor, so that the cause of every
// write, read or seek error is kept, whoever writes through the stream.

struct OutputStreamCallbacks {
    static ssize_t read(void* cookie, char* buffer, std::size_t size) {
        auto* file = static_cast<OutputFile*>(cookie);
        for (;;) {
            const ssize_t n = ::read(file->fd_, buffer, size);
            if (n >= 0) return n;
            if (errno == EINTR) continue;
            file->fail(errno);
            return -1;
        }
    }

    static ssize_t write(void* cookie, const char* buffer, std::size_t size) {
        auto* file = static_cast<OutputFile*>(cookie);
        std::size_t done = 0;
        while (done < size) {
            const ssize_t n = ::write(file->fd_, buffer + done, size - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else {
                file->fail(n < 0 ? errno : EIO);
                break;
            }
        }
        // Fewer bytes than asked marks the stream as failed.
        return static_cast<ssize_t>(done);
    }

    static int seek(void* cookie, off64_t* offset, int whence) {
        auto* file = static_cast<OutputFile*>(cookie);
        const off64_t at = ::lseek64(file->fd_, *offset, whence);
        if (at < 0) {
            file->fail(errno);
            return -1;
        }
        *offset = at;
        return 0;
    }

    static int close(void* cookie) {
        auto* file = static_cast<OutputFile*>(cookie);
        // A parked file lets its stream go and keeps writing through fd_.
        if (file->parking_) return 0;
        const int fd = file->fd_;
        file->fd_ = -1;
        // After close the descriptor is gone even when it reports an error,
        // which (NFS, a full disk) may be the first sign of lost data.
        if (::close(fd) != 0 && errno != EINTR) {
            file->fail(errno);
            return -1;
        }
        return 0;
    }
};

OutputFile::OutputFile(std::string targetPath, Staging staging)
    : target_(std::move(targetPath)), staging_(staging) {}

OutputFile::~OutputFile() {
    discard();
}

void OutputFile::fail(int error) {
    if (error_ == 0) error_ = error != 0 ? error : EIO;
}

bool OutputFile::failWith(int error) {
    fail(error);
    discard();
    return false;
}

bool OutputFile::open() {
    if (stream_ || fd_ >= 0) return false;
    error_ = 0;
    finalPath_.clear();
    if (target_.empty()) return failWith(ENOENT);

    struct stat st {};
    if (::stat(target_.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return failWith(EISDIR);
        if (!S_ISREG(st.st_mode)) {
            // A device or a FIFO is not replaced but written to, as a shell's
            // redirection would.
            if (spoolDevice_) {
                // Opened only at commit (a FIFO waits for its reader then); a
                // device that can never be written fails now, before the work.
                if (::access(target_.c_str(), W_OK) != 0) return failWith(errno);
                fd_ = ::memfd_create("tilvane-output", MFD_CLOEXEC);
                if (fd_ < 0) return failWith(errno);
                spooled_ = true;
                return openStream("w+b");
            }
            fd_ = ::open(target_.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
            if (fd_ < 0) return failWith(errno);
            return openStream("wb");
        }
        struct stat link {};
        if (::lstat(target_.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
            // The file the link points to is replaced; the link stays.
            const std::unique_ptr<char, FreeDeleter> real(::realpath(target_.c_str(), nullptr));
            if (!real) return failWith(errno);
            return openReplacement(real.get(), &st);
        }
        return openReplacement(target_, &st);
    }
    if (errno != ENOENT) return failWith(errno);
    const std::string created = endOfDanglingLinks(target_);
    if (created.empty()) return failWith(errno);
    return openReplacement(created, nullptr);
}

bool OutputFile::openReplacement(const std::string& path, const struct stat* existing) {
    finalPath_ = path;
    const std::string folder = folderOf(path);
    // A new file gets the usual mode (the umask applies); a replacement gets
    // the old file's below, and is private until then.
    const unsigned mode = existing ? 0600 : 0666;
#ifdef O_TMPFILE
    if (staging_ == Staging::automatic) {
        fd_ = ::open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
        if (fd_ >= 0) {
            // The file is named through /proc at commit(); without /proc it
            // could never be named, so the named fallback is used from the start.
            struct stat proc {};
            if (::lstat(("/proc/self/fd/" + std::to_string(fd_)).c_str(), &proc) == 0) {
                unnamed_ = true;
            } else {
                ::close(fd_);
                fd_ = -1;
            }
        } else if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
            // EOPNOTSUPP: the file system has no O_TMPFILE; EISDIR and EINVAL:
            // the kernel has none. Anything else is a real failure.
            return failWith(errno);
        }
    }
#endif
    if (fd_ < 0 && !openNamedTemporary(folder, mode)) return false;
    if (existing) {
        // Root replacing someone else's file gives it back to its owner; the
        // mode follows, since a change of owner clears the set-id bits.
        if (existing->st_uid != ::geteuid() || existing->st_gid != ::getegid()) {
            [[maybe_unused]] const int ignored = ::fchown(fd_, existing->st_uid, existing->st_gid);
        }
        ::fchmod(fd_, existing->st_mode & 07777);
    }
    return openStream("w+b");
}

bool OutputFile::openNamedTemporary(const std::string& folder, unsigned mode) {
    for (int attempt = 0; attempt < kMaxNameAttempts; ++attempt) {
        const std::string name = temporaryNameIn(folder);
        // Held before it exists, so that no moment leaves a file unprotected.
        const int slot = holdPendingName(name);
        fd_ = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd_ >= 0) {
            temp_ = name;
            tempSlot_ = slot;
            return true;
        }
        const int cause = errno;
        releasePendingName(slot);
        if (cause != EEXIST) return failWith(cause);
    }
    return failWith(EEXIST);
}

bool OutputFile::openStream(const char* mode) {
    const cookie_io_functions_t io = {OutputStreamCallbacks::read, OutputStreamCallbacks::write,
                                      OutputStreamCallbacks::seek, OutputStreamCallbacks::close};
    stream_ = ::fopencookie(this, mode, io);
    if (!stream_) return failWith(errno);
    // Encoders write many small pieces; fewer, larger writes are faster.
    std::setvbuf(stream_, nullptr, _IOFBF, std::size_t{1} << 16);
    return true;
}

bool OutputFile::write(const void* data, std::size_t size) {
    if (!stream_) return false;
    if (error_ == 0 && size != 0 && std::fwrite(data, 1, size, stream_) != size) fail(EIO);
    return error_ == 0;
}

bool OutputFile::nameUnnamedTemporary() {
    const std::string folder = folderOf(finalPath_);
    const std::string self = "/proc/self/fd/" + std::to_string(fd_);
    for (int attempt = 0; attempt < kMaxNameAttempts; ++attempt) {
        const std::string name = temporaryNameIn(folder);
        // Named, the file could outlive a signal until the rename: it is held
        // from the start, as a named temporary file is.
        const int slot = holdPendingName(name);
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            temp_ = name;
            tempSlot_ = slot;
            return true;
        }
        const int cause = errno;
        releasePendingName(slot);
        if (cause != EEXIST) {
            fail(cause);
            return false;
        }
    }
    fail(EEXIST);
    return false;
}

bool OutputFile::commit() {
    return finish() && place();
}

bool OutputFile::park() {
    if (!stream_) return error_ == 0;
    if (std::fflush(stream_) != 0 || std::ferror(stream_)) fail(EIO);
    parking_ = true;
    std::fclose(stream_);
    parking_ = false;
    stream_ = nullptr;
    parked_ = true;
    return error_ == 0;
}

bool OutputFile::finish(bool sync) {
    if (!stream_ && !parked_) {
        fail(EBADF);
        return false;
    }
    if (stream_ && (std::fflush(stream_) != 0 || std::ferror(stream_))) fail(EIO);
    // Devices and pipes have nothing to sync (and refuse fsync).
    if (error_ == 0 && sync && !finalPath_.empty() && ::fsync(fd_) != 0) fail(errno);
    if (error_ != 0) {
        discard();
        return false;
    }
    return true;
}

bool OutputFile::place() {
    if (!stream_ && !parked_) return failWith(EBADF);
    const bool replacing = !finalPath_.empty();
    if (error_ == 0 && spooled_) sendSpool();
    if (error_ == 0 && unnamed_) nameUnnamedTemporary();
    closeStream();
    if (error_ == 0 && replacing && ::rename(temp_.c_str(), finalPath_.c_str()) != 0) {
        fail(errno);
    }
    if (error_ != 0) {
        discard();
        return false;
    }
    releasePendingName(tempSlot_);
    tempSlot_ = -1;
    temp_.clear();
    if (replacing) syncFolder();
    return true;
}

bool OutputFile::placeSpool() {
    if ((!stream_ && !parked_) || !spooled_) return failWith(EBADF);
    if (error_ == 0) sendSpool();
    closeStream();
    if (error_ != 0) {
        discard();
        return false;
    }
    return true;
}

bool OutputFile::placeRevocably() {
    if ((!stream_ && !parked_) || finalPath_.empty()) return failWith(EBADF);
    if (error_ == 0 && unnamed_) nameUnnamedTemporary();
    closeStream();
    const char* temp = temp_.c_str();
    const char* target = finalPath_.c_str();
    struct stat st {};
    if (error_ != 0) {
        // Nothing moved.
    } else if (::lstat(target, &st) != 0) {
        if (errno != ENOENT) {
            fail(errno);
        } else if (::renameat2(AT_FDCWD, temp, AT_FDCWD, target, RENAME_NOREPLACE) == 0 ||
                   ((errno == EINVAL || errno == ENOSYS) && ::rename(temp, target) == 0)) {
            placement_ = Placement::created;
        } else {
            fail(errno);
        }
    } else if (S_ISDIR(st.st_mode)) {
        // What rename would answer; swapping would put the folder aside.
        fail(EISDIR);
    } else if (::renameat2(AT_FDCWD, temp, AT_FDCWD, target, RENAME_EXCHANGE) == 0) {
        // The old file now has the temporary name, and stays there until
        // settle() (or a terminating signal) removes it.
        placement_ = Placement::exchanged;
        struct stat old {};
        if (::lstat(temp, &old) == 0 && S_ISDIR(old.st_mode)) {
            // A folder came in since the check: it goes back.
            fail(EISDIR);
            if (undoPlacement() != 0) return false;
        }
    } else if ((errno == EINVAL || errno == ENOSYS) && ::rename(temp, target) == 0) {
        // The file system cannot swap: the old file is gone for good.
        placement_ = Placement::replaced;
    } else {
        fail(errno);
    }
    if (error_ != 0) {
        discard();
        return false;
    }
    if (placement_ != Placement::exchanged) {
        // The temporary name no longer exists and is not ours to remove.
        releasePendingName(tempSlot_);
        tempSlot_ = -1;
        temp_.clear();
    }
    return true;
}

int OutputFile::undoPlacement() {
    int cause = 0;
    switch (placement_) {
        case Placement::exchanged:
            // Swapped back, the new file has the temporary name, which
            // discard() removes.
            if (::renameat2(AT_FDCWD, temp_.c_str(), AT_FDCWD, finalPath_.c_str(),
                            RENAME_EXCHANGE) != 0) {
                cause = errno;
                // The new file stays; what the temporary name holds is the old.
                releasePendingName(tempSlot_);
                tempSlot_ = -1;
                ::unlink(temp_.c_str());
                temp_.clear();
            }
            break;
        case Placement::created:
            if (::unlink(finalPath_.c_str()) != 0) cause = errno;
            break;
        case Placement::replaced:
            cause = ENOTSUP;
            break;
        case Placement::none:
            break;
    }
    placement_ = Placement::none;
    discard();
    return cause;
}

void OutputFile::settle(bool sync) {
    if (placement_ == Placement::exchanged && !temp_.empty()) ::unlink(temp_.c_str());
    releasePendingName(tempSlot_);
    tempSlot_ = -1;
    temp_.clear();
    if (sync && placement_ != Placement::none) syncFolder();
    placement_ = Placement::none;
}

bool OutputFile::sendSpool() {
    const int out = ::open(target_.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (out < 0) {
        fail(errno);
        return false;
    }
    // A reader that went away fails this output (EPIPE) instead of ending the
    // process, whose staged files must still be dropped: SIGPIPE is held back
    // while the bytes go, and one that our write raised is taken back.
    sigset_t pipeSignal, previous, pending;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    ::pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
    const bool pendingBefore = ::sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE);
    std::vector<char> buffer(std::size_t{1} << 16);
    off_t at = 0;
    while (error_ == 0) {
        const ssize_t got = ::pread(fd_, buffer.data(), buffer.size(), at);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            if (got < 0) fail(errno);
            break;
        }
        at += got;
        for (ssize_t done = 0; done < got && error_ == 0;) {
            const ssize_t n =
                ::write(out, buffer.data() + done, static_cast<std::size_t>(got - done));
            if (n > 0) {
                done += n;
            } else if (n < 0 && errno != EINTR) {
                fail(errno);
            } else if (n == 0) {
                fail(EIO);
            }
        }
    }
    if (::close(out) != 0 && errno != EINTR) fail(errno);
    if (error_ == EPIPE && !pendingBefore) {
        const timespec now{};
        ::sigtimedwait(&pipeSignal, nullptr, &now);
    }
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return error_ == 0;
}

void OutputFile::closeStream() {
    if (parked_) {
        parked_ = false;
        if (::close(fd_) != 0 && errno != EINTR) fail(errno);
        fd_ = -1;
        return;
    }
    if (!stream_) return;
    std::FILE* stream = stream_;
    stream_ = nullptr;
    if (std::fclose(stream) != 0) fail(EIO);
    fd_ = -1;
}

void OutputFile::syncFolder() {
    // Makes the rename itself durable; a failure here leaves a complete file.
    const std::string folder = folderOf(finalPath_);
    const int dirFd =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
}

void OutputFile::discard() {
    if (stream_) {
        std::fclose(stream_);
        stream_ = nullptr;
    } else if (fd_ >= 0) {
        ::close(fd_);
    }
    fd_ = -1;
    parked_ = false;
    if (!temp_.empty()) {
        ::unlink(temp_.c_str());
        temp_.clear();
    }
    releasePendingName(tempSlot_);
    tempSlot_ = -1;
    unnamed_ = false;
    spooled_ = false;
}

std::string replacedFilePath(const std::string& path) {
    if (path.empty()) return {};
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) return {};
        struct stat link {};
        if (::lstat(path.c_str(), &link) == 0 && !S_ISLNK(link.st_mode)) return path;
        const std::unique_ptr<char, FreeDeleter> real(::realpath(path.c_str(), nullptr));
        return real ? std::string(real.get()) : std::string();
    }
    return errno == ENOENT ? endOfDanglingLinks(path) : std::string();
}

int writeOutputFile(const std::string& path, const void* data, std::size_t size,
                    OutputFile::Staging staging) {
    OutputFile file(path, staging);
    if (file.open() && file.write(data, size) && file.commit()) return 0;
    return file.error() != 0 ? file.error() : EIO;
}

}  // namespace tilvane
