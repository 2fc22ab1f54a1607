#include <cinttypes>

#include "textout/entry_names.h"
#include "textout/source_rects.h"
#include "textout/text_document.h"
#include "textout/text_writers.h"

namespace tilvane {

namespace {

// The sourceRect element in each rect style.
constexpr RectStyleFormats kSourceRect{
    "%s%s<sourceRect x = \"%d\" y = \"%d\" width = \"%" PRId64 "\" height = \"%" PRId64
    "\"></sourceRect>\n",
    "%s%s<sourceRect left = \"%d\" top = \"%d\" right = \"%d\" "
    "bottom = \"%d\"></sourceRect>\n",
    "%s%s<sourceRect u1 = \"%.8f\" v1 = \"%.8f\" u2 = \"%.8f\" "
    "v2 = \"%.8f\"></sourceRect>\n",
};

}  // namespace

std::optional<std::string> formatXmlRects(const JobSettings& settings,
                                          std::span<const SourceRectEntry> entries) {
    const std::optional<IdentifierStyle> style = identifierStyleOf(settings, true);
    if (!style) return std::nullopt;
    const char* i = style->indent.c_str();

    // Ids hold letters, digits and "_" only, so the file is ASCII and needs no
    // escaping whatever the declared encoding.
    std::string document = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<root>\n";
    for (const SourceRectEntry& entry : entries) {
        const std::string id = style->idOf(entry.name);
        appendFormat(document, "%s<image id = \"%s\">\n", i, id.c_str());
        appendStyledRect(document, settings, i, entry, kSourceRect);
        appendFormat(document, "%s%s<drawOffset x = \"%d\" y = \"%d\"></drawOffset>\n", i, i,
                     entry.drawOffset.x, entry.drawOffset.y);
        appendFormat(document,
                     "%s%s<size width = \"%" PRId64 "\" height = \"%" PRId64 "\"></size>\n", i, i,
                     entry.width, entry.height);
        appendFormat(document, "%s%s<originalSize width = \"%d\" height = \"%d\"></originalSize>\n",
                     i, i, entry.originalSize.width, entry.originalSize.height);
        appendFormat(document, "%s</image>\n", i);
    }
    document += "</root>";
    return document;
}

}  // namespace tilvane
