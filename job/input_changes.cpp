#include "job/input_changes.h"

#include "job/file_scan.h"
#include "job/folder_search.h"
#include "job/tree_search.h"
#include "model/job_settings.h"

namespace tilvane {

InputSnapshot snapshotInputs(const std::string& folder, bool recursive) {
    std::vector<std::string> notEntered;
    const std::optional<std::vector<FolderEntry>> entries =
        recursive ? searchFolderTree(folder, &notEntered) : searchFolder(folder);
    InputSnapshot snapshot;
    if (!entries) return snapshot;
    for (const FolderEntry& entry : *entries) {
        if (entry.folder || !mayBeInput(entry.name)) continue;
        // A file gone since the search has no stamp: it is not there.
        if (const std::optional<FileStamp> stamp = stampOf(folder + entry.name)) {
            snapshot.emplace(entry.name, *stamp);
        }
    }
    return snapshot;
}

InputChanges compareSnapshots(const InputSnapshot& before, const InputSnapshot& after) {
    InputChanges changes;
    auto was = before.begin();
    auto is = after.begin();
    while (was != before.end() || is != after.end()) {
        if (is == after.end() || (was != before.end() && was->first < is->first)) {
            changes.removed.push_back((was++)->first);
        } else if (was == before.end() || is->first < was->first) {
            changes.added.push_back((is++)->first);
        } else {
            if (!(was->second == is->second)) changes.changed.push_back(is->first);
            ++was;
            ++is;
        }
    }
    return changes;
}

std::string describeChanges(const InputChanges& changes, std::size_t names) {
    std::string text;
    const auto kind = [&](const std::vector<std::string>& list, const char* what) {
        if (list.empty()) return;
        if (!text.empty()) text += ", ";
        text += std::to_string(list.size()) + " " + what + " (";
        for (std::size_t i = 0; i < list.size() && i < names; ++i) {
            text += (i == 0 ? "" : ", ") + list[i];
        }
        text += list.size() > names ? ", ...)" : ")";
    };
    kind(changes.added, "added");
    kind(changes.changed, "changed");
    kind(changes.removed, "removed");
    return text;
}

bool mayBeInput(std::string_view name) {
    return isSupportedInputFile(name);
}

}  // namespace tilvane
