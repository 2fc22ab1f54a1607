#include "image/output_set.h"

#include <algorithm>
#include <cerrno>
#include <utility>

namespace tilvane {

OutputFile& OutputSet::stage(const std::string& path, OutputFile::Staging staging) {
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

    for (std::size_t i = first; i < files_.size(); ++i) {
        OutputFile& file = *files_[i];
        if (file.error() != 0 || !file.finish()) failed.emplace_back(i, file.error());
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
    for (const std::size_t i : placed) files_[i]->settle();
    return true;
}

std::vector<std::string> OutputSet::paths() const {
    std::vector<std::string> paths;
    paths.reserve(files_.size());
    for (const auto& file : files_) paths.push_back(file->targetPath());
    return paths;
}

}  // namespace tilvane
