#include <cinttypes>

#include "textout/entry_names.h"
#include "textout/source_rects.h"
#include "textout/text_document.h"
#include "textout/text_writers.h"

namespace tilvane {

namespace {

void appendSourceRect(std::string& out, const JobSettings& settings, const char* i,
                      const SourceRectEntry& entry) {
    switch (settings.textFormat) {
        case 0:
        case 1:
            appendFormat(out,
                         "%s%s\"sourceRect\": {\"x\": %d, \"y\": %d, \"width\": %" PRId64
                         ", \"height\": %" PRId64 "},\n",
                         i, i, entry.left, entry.top, entry.width, entry.height);
            break;
        case 2:
        case 3:
            appendFormat(out,
                         "%s%s\"sourceRect\": {\"left\": %d, \"top\": %d, \"right\": %d, "
                         "\"bottom\": %d},\n",
                         i, i, entry.left, entry.top, entry.right, entry.bottom);
            break;
        case 4: {
            const UvRect uv = uvRectOf(entry, settings.outputWidth, settings.outputHeight);
            appendFormat(out,
                         "%s%s\"sourceRect\": {\"u1\": %.8f, \"v1\": %.8f, \"u2\": %.8f, "
                         "\"v2\": %.8f},\n",
                         i, i, uv.u1, uv.v1, uv.u2, uv.v2);
            break;
        }
        default:
            // A style that changed to an unknown value during the build: no member.
            break;
    }
}

}  // namespace

bool writeJsonRects(const JobSettings& settings, BuildRun& run) {
    std::optional<IdentifierDocument> prepared =
        beginIdentifierDocument(settings, run, EntryUse::withFileValues, true);
    if (!prepared) return false;
    const NameAffixes& affixes = prepared->affixes;
    const char* i = prepared->indent.c_str();
    const std::vector<SourceRectEntry> entries = sourceRectEntries(run);

    // Ids hold letters, digits and "_" only, so nothing needs escaping.
    std::string document = "[\n";
    for (std::size_t q = 0; q < entries.size(); ++q) {
        const SourceRectEntry& entry = entries[q];
        const std::string id = affixes.prefix + entry.name + affixes.postfix;
        appendFormat(document, "%s{\n", i);
        appendFormat(document, "%s%s\"id\": \"%s\",\n", i, i, id.c_str());
        appendSourceRect(document, settings, i, entry);
        appendFormat(document, "%s%s\"drawOffset\": {\"x\": %d, \"y\": %d},\n", i, i,
                     entry.drawOffset.x, entry.drawOffset.y);
        appendFormat(document, "%s%s\"size\": {\"width\": %" PRId64 ", \"height\": %" PRId64 "},\n",
                     i, i, entry.width, entry.height);
        appendFormat(document, "%s%s\"originalSize\": {\"width\": %d, \"height\": %d}\n", i, i,
                     entry.originalSize.width, entry.originalSize.height);
        appendFormat(document, q + 1 == entries.size() ? "%s}\n" : "%s},\n", i);
    }
    document += "]";
    return commitTextDocument(*prepared->file, document);
}

}  // namespace tilvane
