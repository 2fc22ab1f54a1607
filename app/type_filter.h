#pragma once

#include <string>
#include <vector>

#include "model/choice_tables.h"
#include "model/window_services.h"

namespace tilvane {

// A Browse dialog's filters for WindowServices::chooseFile, with the extension
// each type filter stands for.
struct TypeFilter {
    std::vector<FileFilter> filters;
    // The extension of each type filter, in the filters' order ("All Files",
    // always last, is not among them).
    std::vector<std::string> extensions;
};

// The n types of the table starting with `first` and wrapping around, then
// "All Files". A `first` outside the table counts as 0. Each type's pattern is
// "*<ext>".
TypeFilter buildTypeFilter(ChoiceTable extensions, ChoiceTable descriptions, int first);

// The Save/Load Settings filters: "Settings Files" (*.cfg) then "All Files".
std::vector<FileFilter> settingsFileFilter();

}  // namespace tilvane
