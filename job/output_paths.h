#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// The one-page check the job made before findOutputSetConflict replaced it;
// kept as the reference the tests hold the set check to for a single page
// (the job itself no longer calls it). Checks that a build writes only what it
// was asked to. The outputs are the
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

// What an output of a run is, as its messages name it.
enum class OutputRole { image, mask, text, settings, depfile, layout };

struct PlannedOutput {
    OutputRole role = OutputRole::image;
    // The page it belongs to, 0 for the first (named "page 1"); not used for
    // the settings file.
    std::size_t page = 0;
    // As the write will be given it; the messages name it so. Empty: no output.
    std::string path;
    // For a plan of several jobs' outputs, the job it belongs to ("atlas ui"),
    // which the messages name after the output; empty otherwise.
    std::string owner;
};

// Every file a run will write, and what its search will read.
struct OutputSetPlan {
    // As the settings hold it; the messages name input images after it.
    std::string inputFolder;
    // Whether the tree search (searchFolderTree) reads the sub-folders too.
    bool recursive = false;
    // In the order the run writes them, which is the order of the checks.
    std::vector<PlannedOutput> outputs;
    // The job whose input folder it is, when the outputs have owners.
    std::string owner;
};

// The plan of a run of one atlas at the settings' paths (pageCount 0), or of
// pageCount pages numbered from 1: page p's image (pageFilePath(outputImageFile
// trimmed, p + 1)), its mask (maskPathFor of that, when createMask is set), its
// text file (pageFilePath(outputTextFile, p + 1)), page by page, with the settings file (when not
// empty) right after the first page's outputs, so that a one-page plan holds what
// findOutputConflict checks, in its order, then the depfile and the layout file (when not empty).
// An empty image or text path gives no output on any page. With oneTextFile
// (phaser-multi) the text file is not numbered: one for every page, planned
// with the first.
OutputSetPlan planOutputSet(const JobSettings& settings, std::size_t pageCount, bool recursive,
                            std::string_view settingsFile = {}, std::string_view depfile = {},
                            std::string_view layoutFile = {}, bool oneTextFile = false);

// Checks, before anything is written, that every output of a run may be
// written. Each output, in the plan's order, is refused when:
// - its path is PATH_MAX bytes or longer ("is a path longer than 4095
//   bytes."), or its file name (the last part of the path as given) longer
//   than NAME_MAX ("has a file name longer than 255 bytes.");
// - it is an existing folder (not checked for the settings file, whose save
//   reports it);
// - it is an image output whose folder is the input folder: kImageInInputFolder;
// - it is a file the search will read: a file with a supported input
//   extension, existing or not, in the input folder or, when recursive, in a
//   sub-folder the tree search enters (as it does: links to folders not
//   followed, kMaxFolderDepth levels); an existing file that is one of those
//   under another name (same device and inode: a hard link, a symbolic link
//   either way); or the file a dangling symbolic link among those would reach;
// - it is the same file as an output before it (same device and inode when
//   both exist, else the same resolved path), but for a character device or
//   FIFO, which replaces nothing.
// Paths are resolved as findOutputConflict resolves them. Answers the message
// of the first refusal or nothing. The message starts "The <output>\n<path>\n"
// and, for "must not be an image of the Input Folder\n<input>" and "must not
// be the same file as the <output>\n<path>", names the other file too; an
// <output> is "Output Image File", "mask image", "Output Text File",
// "settings file", "depfile" or "layout file", followed by " of page N" when the plan has outputs
// of more than one page. So a one-page plan without recursion refuses with findOutputConflict's
// messages, and where it would, but for the added refusals of a name too long and of a dangling
// link's target. Lists the input folder (the tree when recursive) once and resolves each output
// once: linear in the number of outputs and inputs. Writes nothing and never throws. With owners
// (several jobs' outputs against one job's inputs) each output is named "<output> of <owner>", the
// input folder "Input Folder of <owner>", and an image in it is refused as "must not be in the
// Input Folder of <owner>\n<input>" in place of kImageInInputFolder.
std::optional<std::string> findOutputSetConflict(const OutputSetPlan& plan);

}  // namespace tilvane
