#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace tilvane {

// The file of page pageNumber of a paged build: path with "-<pageNumber>"
// before the extension of its file name ("out/atlas.png", 1 gives
// "out/atlas-1.png"; "out/atlas", 2 gives "out/atlas-2"). Pages count from 1,
// a single page too, so a page's name never depends on how many there are.
std::string pageFilePath(const std::string& path, std::size_t pageNumber);

// A file that removeStaleSiblingPages left although it looks like a stale page.
struct LeftPageFile {
    enum class Why {
        // The page's text file is missing, or does not name the page's image
        // (error holds the errno when it could not be read).
        textDoesNotNameImage,
        // One of the page's files is not a regular file (a symbolic link, a
        // folder, a device...), so the page is not touched.
        notRegularFile,
        // Removing it failed with error; or it is the text file, kept with
        // that error because its image or mask could not be removed.
        removeFailed,
    };
    std::string path;
    Why why = Why::textDoesNotNameImage;
    int error = 0;
};

struct StalePageCleanup {
    std::vector<std::string> removed;
    std::vector<LeftPageFile> left;
};

// After a run put pages 1 to pageCount of the atlas at imagePath (its text
// file at textPath, both as given to pageFilePath) in place, removes the pages
// an earlier run with more pages left behind, which would otherwise pass for
// part of this one.
// Page k is pageFilePath(imagePath, k), its mask maskPathFor of that, and its
// text file pageFilePath(textPath, k). The walk looks at k = pageCount + 1,
// pageCount + 2, ... and stops at the first k whose image and text file are
// both absent (a mask alone does not count), so it never goes past a gap, or
// either cannot be looked at (lstat fails otherwise than ENOENT or ENOTDIR).
// A page's files are removed only when:
//  - every one of them that exists is a regular file (checked with lstat: a
//    symbolic link is never removed nor read through, nor is a folder or a
//    device); and
//  - its text file exists and names the page's image: it contains the image's
//    file name, byte for byte, with no letter, digit, '.', '-', '_' or
//    non-ASCII byte right before or after it, as the engine formats
//    ("meta.image" of the JSON hash and array, the libGDX atlas's first line)
//    and the CSS name it (quoted, after a '/', on a line of its own). The
//    classic JSON, XML and plain-text files do not name their image, so their
//    pages are kept, as are those of a text that names it escaped.
// Otherwise the page's existing files are all left. The image and mask go
// before the text file, so that a page cut short can still be recognised by
// the next run. Reads and removes only those files; never throws.
StalePageCleanup removeStaleSiblingPages(const std::string& imagePath, const std::string& textPath,
                                         std::size_t pageCount);

}  // namespace tilvane
