#include "textout/source_rects.h"

#include <cstddef>

namespace tilvane {

namespace {

bool fileIndexIsKnown(const BuildRun& run, std::int32_t fileIndex) {
    if (fileIndex < 0) return false;
    const auto index = static_cast<std::size_t>(fileIndex);
    return index < run.trimOffsets.size() && index < run.originalSizes.size();
}

bool entriesAreComplete(const BuildRun& run, EntryUse use) {
    const std::size_t count = run.placedRects.size();
    if (run.placedNames.size() != count) return false;
    if (use == EntryUse::rectsOnly) return true;
    if (run.placedFileIndices.size() != count) return false;
    for (const std::int32_t fileIndex : run.placedFileIndices) {
        if (!fileIndexIsKnown(run, fileIndex)) return false;
    }
    return true;
}

}  // namespace

std::optional<std::vector<SourceRectEntry>> sourceRectEntries(const BuildRun& run, EntryUse use) {
    if (!entriesAreComplete(run, use)) return std::nullopt;
    std::vector<SourceRectEntry> entries;
    entries.reserve(run.placedRects.size());
    for (std::size_t q = 0; q < run.placedRects.size(); ++q) {
        const Rect& rect = run.placedRects[q];
        SourceRectEntry entry;
        entry.name = run.placedNames[q];
        entry.left = rect.left;
        entry.top = rect.top;
        entry.right = rect.right;
        entry.bottom = rect.bottom;
        entry.width = std::int64_t{rect.right} - rect.left + 1;
        entry.height = std::int64_t{rect.bottom} - rect.top + 1;
        entry.rotated = q < run.placedTurns.size() && run.placedTurns[q] != 0;
        if (use == EntryUse::withFileValues) {
            const auto fileIndex = static_cast<std::size_t>(run.placedFileIndices[q]);
            entry.drawOffset = run.trimOffsets[fileIndex];
            entry.originalSize = run.originalSizes[fileIndex];
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

UvRect uvRectOf(const SourceRectEntry& entry, std::uint32_t outputWidth,
                std::uint32_t outputHeight) {
    const double width = outputWidth;
    const double height = outputHeight;
    return UvRect{entry.left / width, entry.top / height, entry.right / width,
                  entry.bottom / height};
}

bool rectStyleIsWritable(const JobSettings& settings) {
    return settings.textFormat != kRectUv ||
           (settings.outputWidth != 0 && settings.outputHeight != 0);
}

std::optional<std::string> indentUnit(std::int32_t convertTabs, std::uint32_t tabSize) {
    if (convertTabs == 0) return std::string("\t");
    if (tabSize > kMaxTabSize) return std::nullopt;
    return std::string(tabSize, ' ');
}

}  // namespace tilvane
