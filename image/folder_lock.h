#pragma once

#include <string>
#include <vector>

namespace tilvane {

// Keeps two runs that write to the same folders from committing at once, so
// that each run's outputs are seen together (and a run's clean-up of an
// earlier run's pages does not meet another run's new ones). Holds an
// advisory exclusive flock() on each folder itself, opened read-only: no lock
// file is ever made or left, and the lock goes with the process however it
// ends. Only programs that take the same lock are kept out.
//
// The folders locked are, for each output path: the folder the path names
// (the current folder for a bare name), and when the path is a symbolic link,
// the folder of the file it leads to (replacedFilePath), where the rename
// happens. A path that is a device, FIFO or folder needs no lock. Every
// distinct folder (by device and inode) is locked once, in order of device
// then inode, so two runs never wait for each other in a circle. The
// constructor waits as long as another holder keeps a folder locked.
//
// A folder that cannot be opened (missing: the output will fail anyway; no
// permission) or locked (a file system without flock, such as some network
// ones) is skipped, and the run goes on without that lock; skipped() lists
// them. Take one FolderLock for all of a run's outputs: a second one taken
// while the first is held may wait for a run that waits for this one, and
// one taken in the same process on a folder already held waits forever.
class FolderLock {
public:
    struct Skipped {
        std::string folder;
        int error = 0;
    };

    explicit FolderLock(const std::vector<std::string>& outputPaths);
    // Releases every lock.
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    // The folders held, in locking order, as first named.
    const std::vector<std::string>& lockedFolders() const { return locked_; }
    const std::vector<Skipped>& skipped() const { return skipped_; }

private:
    std::vector<int> fds_;
    std::vector<std::string> locked_;
    std::vector<Skipped> skipped_;
};

}  // namespace tilvane
