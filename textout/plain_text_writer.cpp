#include <cerrno>
#include <cinttypes>

#include "textout/entry_names.h"
#include "textout/source_rects.h"
#include "textout/text_document.h"
#include "textout/text_writers.h"

namespace tilvane {

namespace {

void appendHeader(std::string& out, const JobSettings& settings) {
    // The order asked for, even when the random order fell back to names.
    if (settings.sortOrder == 0) {
        out += "// Sorting order: Alphabetical\n\n";
    } else if (settings.sortOrder == 2) {
        appendFormat(out, "// Sorting order: Random (Random Seed = %u)\n\n",
                     static_cast<unsigned>(settings.randomSeed));
    } else {
        out += "// Sorting order: Image Size\n\n";
    }
}

void appendEntryLine(std::string& out, const JobSettings& settings, const SourceRectEntry& entry,
                     const NameAffixes& affixes) {
    const std::string leadIn = affixes.prefix + entry.name + " = \"";
    const char* postfix = affixes.postfix.c_str();
    switch (settings.textFormat) {
        case 0:
            appendFormat(out, "%s%d %d %" PRId64 " %" PRId64 "\"%s\n", leadIn.c_str(), entry.left,
                         entry.top, entry.width, entry.height, postfix);
            break;
        case 1:
            appendFormat(out, "%s%d, %d, %" PRId64 ", %" PRId64 "\"%s\n", leadIn.c_str(),
                         entry.left, entry.top, entry.width, entry.height, postfix);
            break;
        case 2:
            appendFormat(out, "%s%d %d %d %d\"%s\n", leadIn.c_str(), entry.left, entry.top,
                         entry.right, entry.bottom, postfix);
            break;
        case 3:
            appendFormat(out, "%s%d, %d, %d, %d\"%s\n", leadIn.c_str(), entry.left, entry.top,
                         entry.right, entry.bottom, postfix);
            break;
        case 4: {
            // The UV values stand between braces, as the style's label shows.
            const std::string braceLeadIn = affixes.prefix + entry.name + " = {";
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

bool writePlainTextRects(const JobSettings& settings, BuildRun& run, int* error) {
    if (!entriesAreComplete(run, EntryUse::rectsOnly) || !rectStyleIsWritable(settings)) {
        if (error) *error = EINVAL;
        return false;
    }
    OutputFile file(settings.outputTextFile);
    if (!file.open()) {
        if (error) *error = file.error();
        return false;
    }

    std::string document;
    appendHeader(document, settings);
    prepareEntryNames(run.placedNames, settings.changeCase);
    const NameAffixes affixes = prepareAffixes(settings.namePrefix, settings.namePostfix,
                                               settings.changeCase, AffixRule::asTyped);
    for (const SourceRectEntry& entry : sourceRectEntries(run)) {
        appendEntryLine(document, settings, entry, affixes);
    }
    return commitTextDocument(file, document, error);
}

}  // namespace tilvane
