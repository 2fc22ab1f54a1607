#pragma once

#include <optional>
#include <span>
#include <string>

#include "model/job_settings.h"
#include "textout/source_rects.h"

namespace tilvane {

// Each writer returns the whole document of its format for the entries, in
// their order, with "\n" line breaks; it reads the settings and touches
// nothing else. The entries carry file names, which the writer turns into
// entry names (entryNameOf) without changing the entries. JSON and XML write
// each entry's drawOffset and originalSize, so their entries must come from
// sourceRectEntries with EntryUse::withFileValues.
//
// Empty optional when the writer refuses the settings: the UV rect style with
// an output width or height of 0 (plain text, JSON, XML), or, for JSON, XML and
// CSS, a tabSize above kMaxTabSize while convertTabs is set. A rect style
// outside the table (one changed during the build) writes no rectangles.
std::optional<std::string> formatPlainTextRects(const JobSettings& settings,
                                                std::span<const SourceRectEntry> entries);
std::optional<std::string> formatJsonRects(const JobSettings& settings,
                                           std::span<const SourceRectEntry> entries);
std::optional<std::string> formatXmlRects(const JobSettings& settings,
                                          std::span<const SourceRectEntry> entries);
std::optional<std::string> formatCssRects(const JobSettings& settings,
                                          std::span<const SourceRectEntry> entries);

}  // namespace tilvane
