#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "model/job_settings.h"

namespace tilvane {

// The refusal of an atlas written into the input folder, word for word.
inline constexpr std::string_view kImageInInputFolder =
    "The Output Image File must not be in the Input Folder.";

// Whether the atlas (outputImageFile, white space trimmed) would land in the
// input folder. Both folders are resolved as a write would reach them: the
// current folder for a bare name, symbolic links (a dangling one at the end
// too), ".", ".." and repeated separators; they are then the same folder when
// device and inode agree, or, where either is missing, when the resolved texts
// do. So letter case counts exactly as the file system counts it. False for an
// empty image path.
bool imageInInputFolder(const JobSettings& settings);

// Checks that a build writes only what it was asked to. The outputs are the
// image (outputImageFile, trimmed), its mask (maskPathFor, only when createMask
// is set), the text file and extraOutput (tilvane-pack's settings file); an
// empty path is no output. Each, in that order, is refused when:
// - it is an existing folder (image, mask and text file);
// - it is an image the build reads: a file with a supported input extension
//   in the input folder, existing or not (the next run would read it), or an
//   existing file that is one of those under another name (a hard link, a
//   symbolic link either way); for the image, kImageInInputFolder;
// - it is the same file as an output before it: the same device and inode
//   when both exist, else the same resolved path. A character device or FIFO
//   replaces nothing, so outputs may share one.
// Answers the message for the first refusal, naming the paths involved as the
// settings spell them, or nothing when every output may be written. Reads the
// file system (and the input folder's entries when an output exists); writes
// nothing and never throws.
std::optional<std::string> findOutputConflict(const JobSettings& settings,
                                              std::string_view extraOutput = {});

}  // namespace tilvane
