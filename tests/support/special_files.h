#pragma once

// Entries that are not regular files, for tests of code that must neither
// read them nor wait on them.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

namespace tilvane::testing {

// A FIFO made at `path`. Should anything still wait in open() for a writer
// once `patience` has passed, the guard opens the write end and closes it,
// which ends the wait (reads then see the end of the file): a regression fails
// the test through release() rather than hanging it. Code that is right never
// opens the FIFO for long enough to be seen.
class FifoGuard {
public:
    explicit FifoGuard(std::string path, std::chrono::seconds patience = std::chrono::seconds(10))
        : path_(std::move(path)),
          made_(::mkfifo(path_.c_str(), 0600) == 0),
          watcher_([this, until = std::chrono::steady_clock::now() + patience] {
              while (!released_) {
                  std::this_thread::sleep_for(std::chrono::milliseconds(20));
                  if (std::chrono::steady_clock::now() < until) continue;
                  // A writer that does not wait opens only while a reader is there.
                  const int fd = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                  if (fd >= 0) ::close(fd);
                  letOut_ = letOut_ || fd >= 0;
              }
          }) {}
    ~FifoGuard() { release(); }
    FifoGuard(const FifoGuard&) = delete;
    FifoGuard& operator=(const FifoGuard&) = delete;

    bool made() const { return made_; }

    // Stops watching; true when something had to be let out of open().
    bool release() {
        released_ = true;
        if (watcher_.joinable()) watcher_.join();
        return letOut_;
    }

private:
    std::string path_;
    bool made_;
    std::atomic<bool> released_ = false, letOut_ = false;
    std::thread watcher_;  // last: it starts once the rest is set
};

// A Unix socket bound at `path` (left there once closed); false when the path
// is too long for one or the bind fails.
inline bool makeSocketFile(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const bool bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return bound;
}

}  // namespace tilvane::testing
