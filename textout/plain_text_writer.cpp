#include <cinttypes>

#include "textout/entry_names.h"
#include "textout/source_rects.h"
#include "textout/text_document.h"
#include "textout/text_writers.h"

namespace tilvane {

namespace {

void appendHeader(std::string& out, const JobSettings& settings) {
    // The order asked for, even when the random order fell back to names.
    if (settings.sortOrder == kSortAlphabetical) {
        out += "// Sorting order: Alphabetical\n\n";
    } else if (settings.sortOrder == kSortRandom) {
        appendFormat(out, "// Sorting order: Random (Random Seed = %u)\n\n",
                     static_cast<unsigned>(settings.randomSeed));
    } else {
        out += "// Sorting order: Image Size\n\n";
    }
}

void appendEntryLine(std::string& out, const JobSettings& settings, const SourceRectEntry& entry,
                     const NameAffixes& affixes) {
    const std::string name = entryNameOf(entry.name, settings.changeCase);
    const std::string leadIn = affixes.prefix + name + " = \"";
    const char* postfix = affixes.postfix.c_str();
    switch (settings.textFormat) {
        case kRectPosition:
            appendFormat(out, "%s%d %d %" PRId64 " %" PRId64 "\"%s\n", leadIn.c_str(), entry.left,
                         entry.top, entry.width, entry.height, postfix);
            break;
        case kRectPositionComma:
            appendFormat(out, "%s%d, %d, %" PRId64 ", %" PRId64 "\"%s\n", leadIn.c_str(),
                         entry.left, entry.top, entry.width, entry.height, postfix);
            break;
        case kRectEdges:
            appendFormat(out, "%s%d %d %d %d\"%s\n", leadIn.c_str(), entry.left, entry.top,
                         entry.right, entry.bottom, postfix);
            break;
        case kRectEdgesComma:
            appendFormat(out, "%s%d, %d, %d, %d\"%s\n", leadIn.c_str(), entry.left, entry.top,
                         entry.right, entry.bottom, postfix);
            break;
        case kRectUv: {
            // The UV values stand between braces, as the style's label shows.
            const std::string braceLeadIn = affixes.prefix + name + " = {";
            const UvRect uv = uvRectOf(entry, settings.outputWidth, settings.outputHeight);
            appendFormat(out, "%s%.8f, %.8f, %.8f, %.8f}%s\n", braceLeadIn.c_str(), uv.u1, uv.v1,
                         uv.u2, uv.v2, postfix);
            break;
        }
        default:
            // A style that changed to an unknown value during the build: no line.
            break;
    }
}

}  // namespace

std::optional<std::string> formatPlainTextRects(const JobSettings& settings,
                                                std::span<const SourceRectEntry> entries) {
    if (!rectStyleIsWritable(settings)) return std::nullopt;
    std::string document;
    appendHeader(document, settings);
    const NameAffixes affixes = prepareAffixes(settings.namePrefix, settings.namePostfix,
                                               settings.changeCase, AffixRule::asTyped);
    for (const SourceRectEntry& entry : entries) {
        appendEntryLine(document, settings, entry, affixes);
    }
    return document;
}

}  // namespace tilvane
