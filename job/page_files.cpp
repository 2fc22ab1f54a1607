#include "job/page_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include "image/mask.h"
#include "model/path_helpers.h"

namespace tilvane {

namespace {

// A byte that could continue a file name: a match next to one is part of a
// longer name ("xatlas-2.png", "atlas-2.png.bak").
bool continuesName(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-' || c == '_' || c >= 0x80;
}

// Whether the open file contains name standing alone; 0, or the errno of a
// failed read. Reads in pieces, so a file of any size costs a fixed amount.
int containsName(int fd, const std::string& name, bool* found) {
    *found = false;
    if (name.empty()) return 0;
    std::string window;
    std::string chunk(std::size_t{1} << 16, '\0');
    bool atFileStart = true;
    for (;;) {
        const ssize_t got = ::read(fd, chunk.data(), chunk.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return errno;
        const bool end = got == 0;
        window.append(chunk.data(), static_cast<std::size_t>(got));
        for (std::size_t at = window.find(name); at != std::string::npos;
             at = window.find(name, at + 1)) {
            const std::size_t after = at + name.size();
            // The byte after it decides; it comes with the next piece.
            if (after == window.size() && !end) break;
            const bool freeBefore =
                at == 0 ? atFileStart : !continuesName(static_cast<unsigned char>(window[at - 1]));
            const bool freeAfter =
                after == window.size() || !continuesName(static_cast<unsigned char>(window[after]));
            if (freeBefore && freeAfter) {
                *found = true;
                return 0;
            }
        }
        if (end) return 0;
        // Kept: room for a match not yet decided and the byte before it.
        const std::size_t keep = name.size() + 1;
        if (window.size() > keep) {
            window.erase(0, window.size() - keep);
            atFileStart = false;
        }
    }
}

// lstat's answer for path: nothing when it is absent.
std::optional<struct stat> entryAt(const std::string& path, int* error) {
    struct stat st {};
    *error = 0;
    if (::lstat(path.c_str(), &st) == 0) return st;
    if (errno != ENOENT && errno != ENOTDIR) *error = errno;
    return std::nullopt;
}

}  // namespace

std::string pageFilePath(const std::string& path, std::size_t pageNumber) {
    const PathParts parts = splitPath(path);
    return parts.folder + parts.baseName + "-" + std::to_string(pageNumber) + parts.extension;
}

StalePageCleanup removeStaleSiblingPages(const std::string& imagePath, const std::string& textPath,
                                         std::size_t pageCount) {
    StalePageCleanup cleanup;
    for (std::size_t k = pageCount + 1;; ++k) {
        const std::string image = pageFilePath(imagePath, k);
        const std::string text = pageFilePath(textPath, k);
        const std::string mask = maskPathFor(image);
        int imageError = 0, textError = 0, maskError = 0;
        const std::optional<struct stat> imageEntry = entryAt(image, &imageError);
        const std::optional<struct stat> textEntry = entryAt(text, &textError);
        const std::optional<struct stat> maskEntry = entryAt(mask, &maskError);
        // A page that cannot be looked at (a name too long, a folder that
        // cannot be searched) ends the walk as a gap does: nothing after it is
        // known to belong to the earlier run.
        if (imageError != 0 || textError != 0 || (!imageEntry && !textEntry)) break;

        // The page's files that exist, the text file last, each once (an
        // image path that is also a text path counts once).
        std::vector<std::string> files;
        bool allRegular = maskError == 0;
        const auto add = [&](const std::string& path, const std::optional<struct stat>& entry) {
            if (!entry) return;
            for (const std::string& f : files) {
                if (f == path) return;
            }
            files.push_back(path);
            if (!S_ISREG(entry->st_mode)) allRegular = false;
        };
        add(image, imageEntry);
        add(mask, maskEntry);
        add(text, textEntry);
        const auto leaveAll = [&](LeftPageFile::Why why, int error) {
            for (const std::string& f : files) cleanup.left.push_back({f, why, error});
        };
        if (!allRegular) {
            leaveAll(LeftPageFile::Why::notRegularFile, 0);
            continue;
        }

        bool named = false;
        int readError = 0;
        if (textEntry) {
            // Opened without following a link, and checked to be the file
            // lstat saw, so nothing else is read in its place.
            const int fd = ::open(text.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
            struct stat opened {};
            if (fd < 0) {
                readError = errno;
            } else if (::fstat(fd, &opened) != 0 || opened.st_dev != textEntry->st_dev ||
                       opened.st_ino != textEntry->st_ino || !S_ISREG(opened.st_mode)) {
                readError = ESTALE;
            } else {
                readError = containsName(fd, fileNameOf(image), &named);
            }
            if (fd >= 0) ::close(fd);
        }
        if (!named) {
            leaveAll(LeftPageFile::Why::textDoesNotNameImage, readError);
            continue;
        }
        // The text file goes last, and stays when an image or mask stays, so
        // that what remains can still be recognised.
        int removeError = 0;
        for (const std::string& f : files) {
            if (f == text && removeError != 0) {
                cleanup.left.push_back({f, LeftPageFile::Why::removeFailed, removeError});
            } else if (::unlink(f.c_str()) == 0) {
                cleanup.removed.push_back(f);
            } else {
                removeError = errno;
                cleanup.left.push_back({f, LeftPageFile::Why::removeFailed, removeError});
            }
        }
    }
    return cleanup;
}

}  // namespace tilvane
