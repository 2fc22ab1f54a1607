#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "model/choice_tables.h"

namespace tilvane {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
constexpr bool isPathSeparator(char c) {
    return c == '\\' || c == '/';
}
#else
inline constexpr char kPathSeparator = '/';
// On POSIX a backslash is an ordinary file-name character.
constexpr bool isPathSeparator(char c) {
    return c == '/';
}
#endif

// The most bytes of a path the dialog keeps from a file or folder chooser; a
// longer choice is cut to this length.
inline constexpr std::size_t kPathLimit = 259;

// Appends the platform separator unless the text already ends in "\" or "/";
// an empty text becomes the separator alone.
std::string ensureTrailingSlash(std::string_view text);

// Everything before the file name, separator kept ("/a/b.png" gives "/a/");
// empty for a bare file name.
std::string folderOfPath(std::string_view path);

// The file name with its extension, without any folder; empty when the path
// ends in a separator.
std::string fileNameOf(std::string_view path);

// Splits a path into folder (with its separator), base name and extension (from
// the name's last dot, dot included).
struct PathParts {
    std::string folder;
    std::string baseName;
    std::string extension;
};
PathParts splitPath(std::string_view path);

// Whether the folder can be entered (made the current directory). False for an
// empty text. Never changes the process's current directory and never creates
// anything.
bool folderExists(std::string_view folder);

// Whether the path names an existing entry of any kind.
bool fileExists(std::string_view path);

// -1 for an empty path; otherwise the position of the file name's lower-cased
// extension in the table, or fallback when it is not there.
int typeIndexOfPath(std::string_view path, ChoiceTable table, int fallback);

// Removes leading and trailing white space (blank, tab, CR, LF, VT, FF).
std::string trimWhiteSpace(std::string_view text);

// ASCII-only case folding; bytes >= 0x80 stay as they are.
char toLowerAscii(char c);
char toUpperAscii(char c);
std::string toLowerAscii(std::string_view text);
std::string toUpperAscii(std::string_view text);
// Compares without regard to ASCII case: <0, 0 or >0.
int compareNoCase(std::string_view a, std::string_view b);

}  // namespace tilvane
