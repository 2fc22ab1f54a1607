#pragma once

#include <string>

#include "image/output_file.h"

namespace tilvane {

// Appends the printf-formatted text to out; a format the C library refuses
// appends nothing.
void appendFormat(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Writes the document into the opened file with the platform's text-mode line
// endings ("\n" stays "\n" on POSIX, becomes "\r\n" on Windows) and commits it.
// False on any write, flush or rename error; the target is then untouched.
bool commitTextDocument(OutputFile& file, const std::string& document);

}  // namespace tilvane
