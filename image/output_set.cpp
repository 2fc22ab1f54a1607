#include "image/output_set.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <set>
#include <utility>

namespace tilvane {

namespace {

// Up to this many regular files a set syncs each; beyond, each file system once.
constexpr std::size_t kFilesSyncedOneByOne = 16;

// The folder part of a path, with its separator; empty for a bare name.
std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

OutputFile& OutputSet::stage(const std::string& path, OutputFile::Staging staging) {
    // The file staged before is complete: its stream can go.
    if (files_.size() > firstPending_) files_.back()->park();
    files_.push_back(std::make_unique<OutputFile>(path, staging));
    OutputFile& file = *files_.back();
    file.spoolDevice_ = true;
    // A failure stays in the file's error() for commitAll() to report.
    file.open();
    return file;
}

bool OutputSet::commitAll() {
    failures_.clear();
    const std::size_t first = firstPending_;
    firstPending_ = files_.size();
    // (index, cause), sorted into staging order at the end.
    std::vector<std::pair<std::size_t, int>> failed;
    const auto report = [&] {
        std::sort(failed.begin(), failed.end());
        for (const auto& [index, error] : failed) {
            failures_.push_back({files_[index]->targetPath(), error != 0 ? error : EIO});
        }
        // Whatever is still staged goes, and its old file stays.
        for (std::size_t i = first; i < files_.size(); ++i) files_[i]->discard();
        return false;
    };

    // Past a few files, one sync of each file system costs less than a sync
    // of each file (a run of many pages writes thousands).
    std::size_t regular = 0;
    for (std::size_t i = first; i < files_.size(); ++i) {
        if (!files_[i]->finalPath_.empty()) ++regular;
    }
    const bool syncEach = regular <= kFilesSyncedOneByOne;
    std::map<dev_t, std::size_t> fileSystems;
    for (std::size_t i = first; i < files_.size(); ++i) {
        OutputFile& file = *files_[i];
        if (file.error() != 0 || !file.finish(syncEach)) {
            failed.emplace_back(i, file.error());
            continue;
        }
        struct stat st {};
        if (!syncEach && !file.finalPath_.empty() && ::fstat(file.fd_, &st) == 0) {
            fileSystems.emplace(st.st_dev, i);
        }
    }
    for (const auto& [device, i] : fileSystems) {
        if (failed.empty() && ::syncfs(files_[i]->fd_) != 0) failed.emplace_back(i, errno);
    }
    if (!failed.empty()) return report();

    for (std::size_t i = first; i < files_.size(); ++i) {
        OutputFile& file = *files_[i];
        if (file.spooled_ && !file.placeSpool()) {
            failed.emplace_back(i, file.error());
            return report();
        }
    }

    std::vector<std::size_t> placed;
    for (std::size_t i = first; i < files_.size(); ++i) {
        OutputFile& file = *files_[i];
        if (file.finalPath_.empty()) continue;
        if (file.placeRevocably()) {
            placed.push_back(i);
            continue;
        }
        failed.emplace_back(i, file.error());
        // Undone last first, so that each file is back before anything after it
        // is touched.
        for (auto it = placed.rbegin(); it != placed.rend(); ++it) {
            const int cause = files_[*it]->undoPlacement();
            if (cause != 0) failed.emplace_back(*it, cause);
        }
        return report();
    }
    // Each folder is synced once, however many files it took.
    std::set<std::string> folders;
    for (const std::size_t i : placed) {
        files_[i]->settle(false);
        folders.insert(folderOf(files_[i]->finalPath_));
    }
    for (const std::string& folder : folders) {
        const int dirFd =
            ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dirFd >= 0) {
            ::fsync(dirFd);
            ::close(dirFd);
        }
    }
    return true;
}

std::vector<std::string> OutputSet::paths() const {
    std::vector<std::string> paths;
    paths.reserve(files_.size());
    for (const auto& file : files_) paths.push_back(file->targetPath());
    return paths;
}

}  // namespace tilvane
