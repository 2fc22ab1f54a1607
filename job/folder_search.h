#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tilvane {

// One entry of a folder as the build sees it.
struct FolderEntry {
    std::string name;
    // Bytes of a regular file (symbolic links followed); 0 for anything else,
    // so folders, devices and pipes are skipped like empty files.
    std::uintmax_t size = 0;
    // A folder (or a symbolic link to one): noted, never loaded.
    bool folder = false;
};

// The folder's entries sorted by name without regard to ASCII case, byte order
// breaking ties, so that every platform lists a folder in one order. Empty
// when the folder cannot be searched; an empty folder gives an empty list.
std::optional<std::vector<FolderEntry>> searchFolder(const std::string& folder);

}  // namespace tilvane
