#include "image/folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <tuple>
#include <unordered_set>

#include "image/output_file.h"

namespace tilvane {

namespace {

std::string folderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

struct OpenFolder {
    std::string name;
    int fd;
    dev_t device;
    ino_t inode;
};

}  // namespace

FolderLock::FolderLock(const std::vector<std::string>& outputPaths) {
    // Each folder name once, in the order first reached: a run of many pages
    // names one folder thousands of times, and each needs a descriptor.
    std::vector<std::string> folders;
    std::unordered_set<std::string> named;
    for (const std::string& path : outputPaths) {
        const std::string replaced = replacedFilePath(path);
        if (replaced.empty()) continue;
        for (std::string folder : {folderOf(path), folderOf(replaced)}) {
            if (named.insert(folder).second) folders.push_back(std::move(folder));
        }
    }

    std::vector<OpenFolder> open;
    for (const std::string& folder : folders) {
        const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        struct stat st {};
        if (fd < 0 || ::fstat(fd, &st) != 0) {
            const int cause = errno;
            if (fd >= 0) ::close(fd);
            const bool known = std::any_of(skipped_.begin(), skipped_.end(),
                                           [&](const Skipped& s) { return s.folder == folder; });
            if (!known) skipped_.push_back({folder, cause});
            continue;
        }
        open.push_back({folder, fd, st.st_dev, st.st_ino});
    }
    // Stable, so a folder is named as the first path that reached it names it.
    std::stable_sort(open.begin(), open.end(), [](const OpenFolder& a, const OpenFolder& b) {
        return std::tie(a.device, a.inode) < std::tie(b.device, b.inode);
    });

    for (std::size_t i = 0; i < open.size(); ++i) {
        const OpenFolder& folder = open[i];
        if (i > 0 && open[i - 1].device == folder.device && open[i - 1].inode == folder.inode) {
            // Locked through its first descriptor; a second would wait for it.
            ::close(folder.fd);
            continue;
        }
        int locked;
        while ((locked = ::flock(folder.fd, LOCK_EX)) != 0 && errno == EINTR) {
        }
        if (locked != 0) {
            skipped_.push_back({folder.name, errno});
            ::close(folder.fd);
            continue;
        }
        fds_.push_back(folder.fd);
        locked_.push_back(folder.name);
    }
}

FolderLock::~FolderLock() {
    // Closing the only descriptor of each open folder releases its lock.
    for (const int fd : fds_) ::close(fd);
}

}  // namespace tilvane
