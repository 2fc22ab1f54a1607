#pragma once

#include <string>

#include "image/output_file.h"

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
// False on any write, flush or rename error; the target is then untouched.
bool commitTextDocument(OutputFile& file, const std::string& document);

}  // namespace tilvane
