#include "model/path_helpers.h"

#include <sys/stat.h>
#include <unistd.h>

namespace tilvane {

namespace {

std::size_t fileNameStart(std::string_view path) {
    for (std::size_t i = path.size(); i > 0; --i) {
        if (isPathSeparator(path[i - 1])) return i;
    }
#ifdef _WIN32
    // A drive letter is not part of the file name.
    if (path.size() >= 2 && path[1] == ':') return 2;
#endif
    return 0;
}

}  // namespace

std::string ensureTrailingSlash(std::string_view text) {
    std::string result(text);
    if (result.empty() || (result.back() != '\\' && result.back() != '/')) {
        result.push_back(kPathSeparator);
    }
    return result;
}

std::string folderOfPath(std::string_view path) {
    return std::string(path.substr(0, fileNameStart(path)));
}

std::string fileNameOf(std::string_view path) {
    return std::string(path.substr(fileNameStart(path)));
}

PathParts splitPath(std::string_view path) {
    const std::size_t start = fileNameStart(path);
    const std::string_view name = path.substr(start);
    const std::size_t dot = name.rfind('.');
    PathParts parts;
    parts.folder = std::string(path.substr(0, start));
    if (dot == std::string_view::npos) {
        parts.baseName = std::string(name);
    } else {
        parts.baseName = std::string(name.substr(0, dot));
        parts.extension = std::string(name.substr(dot));
    }
    return parts;
}

bool folderExists(std::string_view folder) {
    if (folder.empty()) return false;
    // Entering the folder is what the check means; access(X_OK) on a directory
    // answers the same without touching the process's current directory.
    const std::string path(folder);
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

bool fileExists(std::string_view path) {
    if (path.empty()) return false;
    struct stat st {};
    return ::lstat(std::string(path).c_str(), &st) == 0;
}

int typeIndexOfPath(std::string_view path, ChoiceTable table, int fallback) {
    if (path.empty()) return -1;
    const std::string_view name = path.substr(fileNameStart(path));
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) return fallback;
    const std::string extension = toLowerAscii(name.substr(dot));
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (table[i] == extension) return static_cast<int>(i);
    }
    return fallback;
}

std::string trimWhiteSpace(std::string_view text) {
    constexpr std::string_view kBlanks = " \t\r\n\v\f";
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    const std::size_t last = text.find_last_not_of(kBlanks);
    return std::string(text.substr(first, last - first + 1));
}

char toLowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
char toUpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string toLowerAscii(std::string_view text) {
    std::string result(text);
    for (char& c : result) c = toLowerAscii(c);
    return result;
}

std::string toUpperAscii(std::string_view text) {
    std::string result(text);
    for (char& c : result) c = toUpperAscii(c);
    return result;
}

int compareNoCase(std::string_view a, std::string_view b) {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        const auto ca = static_cast<unsigned char>(toLowerAscii(a[i]));
        const auto cb = static_cast<unsigned char>(toLowerAscii(b[i]));
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

}  // namespace tilvane
