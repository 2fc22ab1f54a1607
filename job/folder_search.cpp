#include "job/folder_search.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "model/file_list.h"

namespace tilvane {

std::optional<std::vector<FolderEntry>> searchFolder(const std::string& folder) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::directory_iterator it(folder.empty() ? fs::path(".") : fs::path(folder), ec);
    if (ec) return std::nullopt;

    std::vector<FolderEntry> entries;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) break;
        FolderEntry entry;
        entry.name = it->path().filename().string();
        std::error_code kindError;
        entry.folder = it->is_directory(kindError);
        if (it->is_regular_file(kindError)) {
            std::error_code sizeError;
            const std::uintmax_t size = it->file_size(sizeError);
            if (!sizeError) entry.size = size;
        }
        entries.push_back(std::move(entry));
    }
    // An entry that vanished mid-search ends it; what was found still counts.
    std::sort(entries.begin(), entries.end(), [](const FolderEntry& a, const FolderEntry& b) {
        return fileNameLess(a.name, b.name);
    });
    return entries;
}

}  // namespace tilvane
