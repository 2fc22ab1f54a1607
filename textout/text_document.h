#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "model/job_settings.h"
#include "textout/entry_names.h"
#include "textout/source_rects.h"

namespace tilvane {

#if defined(__GNUC__)
#define TILVANE_PRINTF_FORMAT(formatIndex, firstArg) \
    __attribute__((format(printf, formatIndex, firstArg)))
#else
#define TILVANE_PRINTF_FORMAT(formatIndex, firstArg)
#endif

// Appends the printf-formatted text to out; a format the C library refuses
// appends nothing. The compiler checks the arguments against the format.
void appendFormat(std::string& out, const char* format, ...) TILVANE_PRINTF_FORMAT(2, 3);

// What the JSON, XML and CSS writers share before their document: one level of
// indentation and the prefix and postfix reduced to identifier characters.
// Empty when the writer must refuse (see formatJsonRects); needsRectStyle says
// whether the writer writes the rect style.
struct IdentifierStyle {
    std::string indent;
    NameAffixes affixes;
    std::int32_t changeCase = kCaseUnchanged;

    // prefix + the entry name of fileName + postfix.
    std::string idOf(std::string_view fileName) const;
};
std::optional<IdentifierStyle> identifierStyleOf(const JobSettings& settings, bool needsRectStyle);

// A writer's printf formats for the three shapes of the rect styles, each
// taking the indentation twice and then four values: x, y (int32) and width,
// height (int64) for the position styles; left, top, right, bottom (int32) for
// the edge styles; u1, v1, u2, v2 (double) for kRectUv. Golden files check
// them, since the compiler cannot check a format that is not a literal.
struct RectStyleFormats {
    const char* position;
    const char* edges;
    const char* uv;
};

// Appends the entry's rectangle in the settings' rect style, indented twice;
// nothing for a style outside the table (one changed during the build).
void appendStyledRect(std::string& out, const JobSettings& settings, const char* indent,
                      const SourceRectEntry& entry, const RectStyleFormats& formats);

}  // namespace tilvane
