#include <cinttypes>

#include "model/path_helpers.h"
#include "textout/entry_names.h"
#include "textout/source_rects.h"
#include "textout/text_document.h"
#include "textout/text_writers.h"

namespace tilvane {

namespace {

// The url is written inside single quotes. A quote, a backslash or a control
// character in the prefix or the image's file name would end the string or the
// line and break the rule, so those alone are escaped; any other text is kept.
std::string quotedUrlText(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\'' || c == '\\') {
            result.push_back('\\');
            result.push_back(c);
        } else if (byte < 0x20 || byte == 0x7F) {
            // A hex escape ends with one blank, which the reader consumes.
            appendFormat(result, "\\%x ", static_cast<unsigned>(byte));
        } else {
            result.push_back(c);
        }
    }
    return result;
}

}  // namespace

std::optional<std::string> formatCssRects(const JobSettings& settings,
                                          std::span<const SourceRectEntry> entries) {
    const std::optional<IdentifierStyle> style = identifierStyleOf(settings, false);
    if (!style) return std::nullopt;
    const char* i = style->indent.c_str();
    const std::string url =
        quotedUrlText(settings.cssUrlPrefix) + quotedUrlText(fileNameOf(settings.outputImageFile));

    std::string document;
    for (std::size_t q = 0; q < entries.size(); ++q) {
        const SourceRectEntry& entry = entries[q];
        const std::string className = style->idOf(entry.name);
        if (q != 0) document += "\n";
        appendFormat(document, ".%s {\n", className.c_str());
        // Negated in 64 bits: the lowest 32-bit left has no 32-bit negation.
        appendFormat(document, "%sbackground: url('%s') no-repeat %" PRId64 "px %" PRId64 "px;\n",
                     i, url.c_str(), -std::int64_t{entry.left}, -std::int64_t{entry.top});
        appendFormat(document, "%swidth: %" PRId64 "px;\n", i, entry.width);
        appendFormat(document, "%sheight: %" PRId64 "px;\n", i, entry.height);
        document += q + 1 == entries.size() ? "}" : "}\n";
    }
    return document;
}

}  // namespace tilvane
