#include <cinttypes>

#include "textout/entry_names.h"
#include "textout/source_rects.h"
#include "textout/text_document.h"
#include "textout/text_writers.h"

namespace tilvane {

namespace {

// The sourceRect member in each rect style.
constexpr RectStyleFormats kSourceRect{
    "%s%s\"sourceRect\": {\"x\": %d, \"y\": %d, \"width\": %" PRId64 ", \"height\": %" PRId64
    "},\n",
    "%s%s\"sourceRect\": {\"left\": %d, \"top\": %d, \"right\": %d, "
    "\"bottom\": %d},\n",
    "%s%s\"sourceRect\": {\"u1\": %.8f, \"v1\": %.8f, \"u2\": %.8f, "
    "\"v2\": %.8f},\n",
};

}  // namespace

std::optional<std::string> formatJsonRects(const JobSettings& settings,
                                           std::span<const SourceRectEntry> entries) {
    const std::optional<IdentifierStyle> style = identifierStyleOf(settings, true);
    if (!style) return std::nullopt;
    const char* i = style->indent.c_str();

    // Ids hold letters, digits and "_" only, so nothing needs escaping.
    std::string document = "[\n";
    for (std::size_t q = 0; q < entries.size(); ++q) {
        const SourceRectEntry& entry = entries[q];
        const std::string id = style->idOf(entry.name);
        appendFormat(document, "%s{\n", i);
        appendFormat(document, "%s%s\"id\": \"%s\",\n", i, i, id.c_str());
        appendStyledRect(document, settings, i, entry, kSourceRect);
        appendFormat(document, "%s%s\"drawOffset\": {\"x\": %d, \"y\": %d},\n", i, i,
                     entry.drawOffset.x, entry.drawOffset.y);
        appendFormat(document, "%s%s\"size\": {\"width\": %" PRId64 ", \"height\": %" PRId64 "},\n",
                     i, i, entry.width, entry.height);
        appendFormat(document, "%s%s\"originalSize\": {\"width\": %d, \"height\": %d}\n", i, i,
                     entry.originalSize.width, entry.originalSize.height);
        appendFormat(document, q + 1 == entries.size() ? "%s}\n" : "%s},\n", i);
    }
    document += "]";
    return document;
}

}  // namespace tilvane
