#include "textout/text_document.h"

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

std::string IdentifierStyle::idOf(std::string_view fileName) const {
    return affixes.prefix + entryNameOf(fileName, changeCase) + affixes.postfix;
}

std::optional<IdentifierStyle> identifierStyleOf(const JobSettings& settings, bool needsRectStyle) {
    std::optional<std::string> indent = indentUnit(settings.convertTabs, settings.tabSize);
    if (!indent || (needsRectStyle && !rectStyleIsWritable(settings))) return std::nullopt;
    NameAffixes affixes = prepareAffixes(settings.namePrefix, settings.namePostfix,
                                         settings.changeCase, AffixRule::identifier);
    return IdentifierStyle{std::move(*indent), std::move(affixes), settings.changeCase};
}

void appendStyledRect(std::string& out, const JobSettings& settings, const char* indent,
                      const SourceRectEntry& entry, const RectStyleFormats& formats) {
    const char* i = indent;
    switch (settings.textFormat) {
        case kRectPosition:
        case kRectPositionComma:
            appendFormat(out, formats.position, i, i, entry.left, entry.top, entry.width,
                         entry.height);
            break;
        case kRectEdges:
        case kRectEdgesComma:
            appendFormat(out, formats.edges, i, i, entry.left, entry.top, entry.right,
                         entry.bottom);
            break;
        case kRectUv: {
            const UvRect uv = uvRectOf(entry, settings.outputWidth, settings.outputHeight);
            appendFormat(out, formats.uv, i, i, uv.u1, uv.v1, uv.u2, uv.v2);
            break;
        }
        default:
            break;
    }
}

}  // namespace tilvane
