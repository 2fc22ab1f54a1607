#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "layout/footprint.h"
#include "model/sprite_values.h"

namespace tilvane {

// Which text file the completion writes.
enum class DataFormat {
    // The writer chosen by the text file's extension (plain text, JSON, XML, CSS).
    byExtension,
    // JSON object: "frames" keyed by name, and "meta" (Phaser, PixiJS).
    jsonHash,
    // The same with "frames" an array whose entries carry "filename".
    jsonArray,
    // libGDX's TextureAtlas text file.
    gdx,
    // Phaser 3's multi-atlas JSON: one file, a "textures" entry per page.
    phaserMulti,
    // Starling/Sparrow TextureAtlas XML (also Phaser's atlasXML).
    starling,
    // Cocos2d-x sprite sheet property list, format 3.
    cocos,
};

// One atlas of a run at a scale of its own: its outputs are named with
// `suffix` before the extension (atlas@2x.png, atlas@2x.json), none for an
// empty suffix.
struct ScaleVariant {
    std::string suffix;
    double scale = 1;

    friend bool operator==(const ScaleVariant&, const ScaleVariant&) = default;
};

// What a build may do beyond the dialog's settings. The defaults change
// nothing: every output is then the dialog's.
struct BuildExtras {
    DataFormat format = DataFormat::byExtension;
    // Walk sub-folders too; names become paths relative to the input folder.
    bool recursive = false;
    // Pixels by which each placed image's edges are repeated outward.
    std::uint32_t extrude = 0;
    // Place images with identical trimmed pixels once.
    bool alias = false;
    // Images whose names end in a number form animations (engine formats).
    bool animations = false;
    // The pivot of every image the sprite data gives none.
    std::optional<Pivot> pivot;
    // A JSON file of per-image pivots and nine-slice borders; none when empty.
    std::string spriteDataFile;
    // A .webp atlas lossy at this quality (0..100); lossless when none.
    std::optional<std::uint32_t> webpQuality;
    // The atlas's colours multiplied by their alpha (image/alpha_passes.h),
    // and the JSON's meta says so.
    bool premultiply = false;
    // Each sprite's transparent pixels take the colour of its nearest
    // non-transparent pixel before its edges are extruded (image/alpha_passes.h).
    bool bleed = false;
    // A layout file: read before planning, so that sprites whose footprint
    // did not change keep their places, and written with the outputs.
    std::string keepLayoutFile;
    // How images find their places: first-fit one after the other (the
    // dialog's), or the maximal rectangles packer over each page at once.
    Packer packer = Packer::firstFit;
    // The packer may place an image a quarter turn from upright (maxRects
    // only; the engine formats record it, the dialog's formats cannot).
    bool rotate = false;
    // Once the outputs are in place, read every written atlas back and check
    // each entry's pixels, and its extrusion ring, against its source.
    bool verify = false;
    // Every sprite resampled by this before it is trimmed and placed (1: as decoded).
    double scale = 1;
    // Atlases made from the one scan, each at its scale, in this order; none:
    // one atlas at `scale`, named as the settings say.
    std::vector<ScaleVariant> variants;

    // The atlases the run makes: the variants, or the one at `scale`.
    std::vector<ScaleVariant> atlasVariants() const {
        return variants.empty() ? std::vector<ScaleVariant>{{"", scale}} : variants;
    }
};

// A Make/Ninja dependency file written with a job's outputs: every output as
// a target, every file the job read as a prerequisite.
struct DependencyFile {
    // Where it goes; empty for none.
    std::string path;
    // Files the front end read for the job besides its images (a settings
    // file), prerequisites too.
    std::vector<std::string> alsoRead;
};

// Deepest folder level a recursive search enters (the input folder is 0).
inline constexpr int kMaxFolderDepth = 32;

// Two placed images that the text file names alike: the file names as listed
// and the name they share.
struct NameCollision {
    std::string first;
    std::string second;
    std::string name;
};

// What a build that keeps a layout did with the layout file.
struct KeptLayoutNotes {
    // Why the file could not be used (unreadable, malformed, a place no
    // placement could make); empty when it was used or there was none.
    std::string unusable;
    // Why the layout read was not kept and the atlas was packed afresh.
    std::string repacked;
    // The layout was kept: the sprites left in place and those placed into
    // free room.
    bool kept = false;
    std::size_t keptSprites = 0;
    std::size_t placedSprites = 0;
};

// What a build learns beyond the dialog's lists; emptied with the run.
struct BuildNotes {
    // Files left out for their extension, and folders not entered (a folder
    // without a recursive search, a symlinked folder, one past the depth
    // limit), as names relative to the input folder, in search order.
    std::vector<std::string> skipped;
    // Empty files with an image extension (never decoded), in search order.
    std::vector<std::string> emptyImages;
    // Sub-folders the tree search entered, relative to the input folder and
    // ending in "/", in search order.
    std::vector<std::string> searchedFolders;
    // One per later image that got an earlier image's name, in placement order.
    std::vector<NameCollision> collisions;
    // Names that are not valid UTF-8, as listed; each bad byte was written as U+FFFD.
    std::vector<std::string> notUtf8;
    // With --animations: an animation (name, its first frame's file) named
    // like an image that is no frame of it (second), extension aside.
    std::vector<NameCollision> animationClashes;
    // Keys of the sprite data that name no listed image, in the file's order.
    std::vector<std::string> unknownSpriteKeys;
    // With --alias: placed index by the hash of its trimmed pixels.
    std::unordered_multimap<std::uint64_t, std::size_t> pixelHashes;
    // Placed images that share an earlier image's rectangle.
    std::size_t aliased = 0;
    // The job sized its atlases and some page's images found no size of the
    // asked shape within the limits: that page has the largest size of the shape.
    bool fitFailed = false;
    // Files of an earlier run's higher-numbered pages of the same atlas: those
    // removed once this run's pages were in place, and those left, as
    // "path (why)", because they may not be that run's (a text file that does
    // not name its page's image, a file that is not a regular file).
    std::vector<std::string> stalePagesRemoved;
    std::vector<std::string> stalePagesLeft;
    KeptLayoutNotes keptLayout;
    // With verify: whether the written atlases were checked, and the first
    // entry whose pixels are not its source's ("NAME in ATLAS: ..."), empty
    // when every entry's are.
    bool verified = false;
    std::string verifyFailure;
};

}  // namespace tilvane
