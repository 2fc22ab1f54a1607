#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "model/build_run.h"

namespace tilvane {

// The input images of a folder (or tree) as a watch compares them between
// builds: each name as the build lists it, with the stamp of the file.
using InputSnapshot = std::map<std::string, FileStamp>;

// The files the search of the folder (searchFolder, or searchFolderTree when
// recursive) finds that a build would try to read: a supported input
// extension. Outputs and temporary files never have one there (the output
// checks refuse an output a search would read), so they never count. Empty
// when the folder cannot be searched.
InputSnapshot snapshotInputs(const std::string& folder, bool recursive);

// What changed from one snapshot to the next, each list in name order: a name
// only after, a name in both with another stamp, a name only before.
struct InputChanges {
    std::vector<std::string> added;
    std::vector<std::string> changed;
    std::vector<std::string> removed;
    bool none() const { return added.empty() && changed.empty() && removed.empty(); }
};
InputChanges compareSnapshots(const InputSnapshot& before, const InputSnapshot& after);

// The changes in words, the empty kinds left out: "1 added (d.png), 2 changed
// (a.png, b.png)"; at most `names` names a kind, then "...".
std::string describeChanges(const InputChanges& changes, std::size_t names = 3);

// Whether a watch event about `name` (a file name or relative path) may
// change the inputs: it has a supported input extension.
bool mayBeInput(std::string_view name);

}  // namespace tilvane
