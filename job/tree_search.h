#pragma once

#include <optional>
#include <string>
#include <vector>

#include "job/folder_search.h"

namespace tilvane {

// The files of the folder and of its sub-folders down to kMaxFolderDepth
// levels, named by their paths relative to the folder with "/" separators and
// sorted as searchFolder sorts names, on the whole path (so a folder's files
// stay together and the order is the file list's). Symbolic links to folders
// are not followed, which also keeps a link loop from being walked; such
// links, folders past the depth limit and sub-folders that cannot be read are
// appended to *notEntered (a relative path ending in "/"), and the sub-folders
// it did enter to *entered, when given, alike. Empty when the folder itself
// cannot be searched.
std::optional<std::vector<FolderEntry>> searchFolderTree(
    const std::string& folder, std::vector<std::string>* notEntered,
    std::vector<std::string>* entered = nullptr);

// Whether the file lies in a sub-folder (at any depth) of the folder, both
// resolved (symbolic links, ".", ".."), so that a recursive search of the
// folder would read it. False for a file directly in the folder, and when
// either cannot be resolved.
bool inSubFolderOf(const std::string& file, const std::string& folder);

}  // namespace tilvane
