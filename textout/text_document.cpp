#include "textout/text_document.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>

namespace tilvane {

void appendFormat(std::string& out, const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::va_list measureArgs;
    va_copy(measureArgs, args);
    const int length = std::vsnprintf(nullptr, 0, format, measureArgs);
    va_end(measureArgs);
    if (length > 0) {
        const std::size_t start = out.size();
        // vsnprintf writes a terminator; room for it is made, then cut again.
        out.resize(start + static_cast<std::size_t>(length) + 1);
        std::vsnprintf(out.data() + start, static_cast<std::size_t>(length) + 1, format, args);
        out.resize(start + static_cast<std::size_t>(length));
    }
    va_end(args);
}

bool commitTextDocument(OutputFile& file, const std::string& document, int* error) {
#ifdef _WIN32
    std::string text;
    text.reserve(document.size() + document.size() / 16);
    for (const char c : document) {
        if (c == '\n') text.push_back('\r');
        text.push_back(c);
    }
#else
    const std::string& text = document;
#endif
    if (file.write(text) && file.commit()) return true;
    if (error) *error = file.error();
    return false;
}

std::optional<IdentifierDocument> beginIdentifierDocument(const JobSettings& settings,
                                                          BuildRun& run, EntryUse use,
                                                          bool needsRectStyle, int* error) {
    std::optional<std::string> indent = indentUnit(settings.convertTabs, settings.tabSize);
    if (!indent || !entriesAreComplete(run, use) ||
        (needsRectStyle && !rectStyleIsWritable(settings))) {
        if (error) *error = EINVAL;
        return std::nullopt;
    }
    auto file = std::make_unique<OutputFile>(settings.outputTextFile);
    if (!file->open()) {
        if (error) *error = file->error();
        return std::nullopt;
    }
    prepareEntryNames(run.placedNames, settings.changeCase);
    NameAffixes affixes = prepareAffixes(settings.namePrefix, settings.namePostfix,
                                         settings.changeCase, AffixRule::identifier);
    return IdentifierDocument{std::move(file), std::move(*indent), std::move(affixes)};
}

void appendStyledRect(std::string& out, const JobSettings& settings, const char* indent,
                      const SourceRectEntry& entry, const RectStyleFormats& formats) {
    const char* i = indent;
    switch (settings.textFormat) {
        case 0:
        case 1:
            appendFormat(out, formats.position, i, i, entry.left, entry.top, entry.width,
                         entry.height);
            break;
        case 2:
        case 3:
            appendFormat(out, formats.edges, i, i, entry.left, entry.top, entry.right,
                         entry.bottom);
            break;
        case 4: {
            const UvRect uv = uvRectOf(entry, settings.outputWidth, settings.outputHeight);
            appendFormat(out, formats.uv, i, i, uv.u1, uv.v1, uv.u2, uv.v2);
            break;
        }
        default:
            break;
    }
}

}  // namespace tilvane
