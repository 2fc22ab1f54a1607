#pragma once

#include <memory>
#include <optional>
#include <string>

#include "image/output_file.h"
#include "model/build_run.h"
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

// Writes the document into the opened file with the platform's text-mode line
// endings ("\n" stays "\n" on POSIX, becomes "\r\n" on Windows) and commits it.
// False on any write, flush or rename error; the target is then untouched and
// *error (when given) holds the file's errno.
bool commitTextDocument(OutputFile& file, const std::string& document, int* error);

// What the JSON, XML and CSS writers do before their document: build the
// indentation, refuse a run they cannot describe, open the file, and turn the
// names and affixes into identifiers. Empty when the writer must fail; nothing
// has been written and the names are untouched then, and *error (when given)
// holds the cause: the file's errno, or EINVAL for a run it cannot describe.
struct IdentifierDocument {
    std::unique_ptr<OutputFile> file;
    std::string indent;
    NameAffixes affixes;
};
std::optional<IdentifierDocument> beginIdentifierDocument(const JobSettings& settings,
                                                          BuildRun& run, EntryUse use,
                                                          bool needsRectStyle, int* error);

// A writer's printf formats for the three shapes of the rect styles, each
// taking the indentation twice and then four values: x, y (int32) and width,
// height (int64) for styles 0 and 1; left, top, right, bottom (int32) for 2
// and 3; u1, v1, u2, v2 (double) for 4. Golden files check them, since the
// compiler cannot check a format that is not a literal.
struct RectStyleFormats {
    const char* position;
    const char* edges;
    const char* uv;
};

// Appends the entry's rectangle in the settings' rect style, indented twice;
// nothing for a style outside 0 to 4 (one changed during the build).
void appendStyledRect(std::string& out, const JobSettings& settings, const char* indent,
                      const SourceRectEntry& entry, const RectStyleFormats& formats);

}  // namespace tilvane
