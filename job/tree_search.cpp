#include "job/tree_search.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "model/build_extras.h"
#include "model/file_list.h"

namespace tilvane {

namespace {

namespace fs = std::filesystem;

// Adds the entries of `dir`, whose path relative to the top is `prefix`
// (empty or ending in "/"). False when `dir` cannot be searched.
bool walk(const fs::path& dir, const std::string& prefix, int depth,
          std::vector<FolderEntry>& entries, std::vector<std::string>* notEntered,
          std::vector<std::string>* entered) {
    std::error_code ec;
    fs::directory_iterator it(dir, ec);
    if (ec) return false;
    std::vector<fs::directory_entry> found;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) break;
        found.push_back(*it);
    }
    for (const fs::directory_entry& e : found) {
        const std::string name = prefix + e.path().filename().string();
        std::error_code kindError;
        const bool link = e.is_symlink(kindError);
        if (e.is_directory(kindError)) {
            const bool enter = !link && depth < kMaxFolderDepth;
            if (!enter || !walk(e.path(), name + "/", depth + 1, entries, notEntered, entered)) {
                if (notEntered) notEntered->push_back(name + "/");
            } else if (entered) {
                entered->push_back(name + "/");
            }
            continue;
        }
        FolderEntry entry;
        entry.name = name;
        if (e.is_regular_file(kindError)) {
            std::error_code sizeError;
            const std::uintmax_t size = e.file_size(sizeError);
            if (!sizeError) entry.size = size;
        }
        entries.push_back(std::move(entry));
    }
    return true;
}

}  // namespace

std::optional<std::vector<FolderEntry>> searchFolderTree(const std::string& folder,
                                                         std::vector<std::string>* notEntered,
                                                         std::vector<std::string>* entered) {
    std::vector<FolderEntry> entries;
    const fs::path top = folder.empty() ? fs::path(".") : fs::path(folder);
    if (!walk(top, "", 0, entries, notEntered, entered)) return std::nullopt;
    std::sort(entries.begin(), entries.end(), [](const FolderEntry& a, const FolderEntry& b) {
        return fileNameLess(a.name, b.name);
    });
    return entries;
}

bool inSubFolderOf(const std::string& file, const std::string& folder) {
    std::error_code ec;
    const fs::path top =
        fs::weakly_canonical(folder.empty() ? fs::path(".") : fs::path(folder), ec);
    if (ec) return false;
    const fs::path parent =
        fs::weakly_canonical(fs::absolute(fs::path(file), ec).parent_path(), ec);
    if (ec || parent == top) return false;
    const fs::path relative = parent.lexically_relative(top);
    return !relative.empty() && *relative.begin() != "..";
}

}  // namespace tilvane
