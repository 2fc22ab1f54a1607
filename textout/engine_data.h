#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/sprite_values.h"
#include "textout/source_rects.h"

namespace tilvane {

// What the engine formats say about the atlas as a whole.
struct AtlasMeta {
    // The atlas image as the text file refers to it (relative to the text file).
    std::string image;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    // The packer's version, written as meta.version.
    std::string version;
    // The text files of the other pages of a multi-page atlas, named relative
    // to this page's text file (atlas-1.json for atlas-1.png, as TexturePacker
    // names them), written as meta.related_multi_packs in the JSON hash and
    // array. Written only when not empty, so a single atlas's text is as before.
    std::vector<std::string> relatedPages;
    // The factor the sprites were scaled by, written as meta.scale (PixiJS
    // divides the frames by it, so they keep the size of the source art).
    double scale = 1;
    // The atlas's colours are multiplied by their alpha: written as
    // meta.premultipliedAlpha true in the JSON hash and array (the name
    // TexturePacker's readers look for; PixiJS and Phaser read no such member,
    // their textures are told in code), only when set. The libGDX page has no
    // such line that every reader of the format takes, so it writes none.
    bool premultipliedAlpha = false;
};

// The text as valid UTF-8: every byte that does not belong to a well-formed
// sequence (overlong forms, surrogates and code points above U+10FFFF
// included) becomes U+FFFD. *valid, when given, says whether nothing changed.
std::string validUtf8(std::string_view text, bool* valid = nullptr);

// The key of an image in the JSON hash and array: its file name (a path
// relative to the input folder with "/" separators, extension kept) as valid
// UTF-8. Distinct files collide only when their names differ in invalid bytes.
std::string jsonFrameKey(std::string_view fileName);

// The region name of an image in a libGDX atlas: the file name without its
// extension, as valid UTF-8, with control characters and ":" (which the
// line-based format cannot carry in a name) replaced by "_".
std::string gdxRegionName(std::string_view fileName);

// An image name that ends in a number: the file name without its extension
// ends in a separator ('_', '-' or ' ') and 1 to 9 decimal digits, with
// something before the separator. base is the file name before the separator
// (folders included), number the digits' value: "enemies/walk_01.png" gives
// "enemies/walk" and 1.
struct NumberedName {
    std::string base;
    std::uint32_t number = 0;
};
std::optional<NumberedName> numberedName(std::string_view fileName);

// Entries that share a numbered name's base, two or more of them: the
// animation's name is the base, its frames are indices into the entries in
// numeric order (file name order among equal numbers). Animations are in the
// order of their names. A numbered name met once is no animation.
struct Animation {
    std::string name;
    std::vector<std::size_t> frames;
};
std::vector<Animation> findAnimations(std::span<const SourceRectEntry> entries);

// What an engine format writes of one entry beyond its rectangle.
struct FrameExtras {
    std::optional<Pivot> pivot;
    std::optional<Borders> borders;
};

// The values the writers add when asked: frames is empty or holds one per
// entry; animations index the entries. Empty, every document is as before.
struct EngineExtras {
    std::vector<FrameExtras> frames;
    std::vector<Animation> animations;
    // The scale the sources were resampled by (--scale, --variant): borders
    // are given in source pixels, PixiJS reads them so (in points), the
    // formats that count within the frame in atlas pixels.
    double scale = 1;

    const FrameExtras* frameAt(std::size_t index) const {
        return index < frames.size() ? &frames[index] : nullptr;
    }
};

// The borders, given in source pixels, as counted from the edges of the
// entry's kept pixels (its frame, upright, in atlas pixels), which Phaser's
// scale9Borders and libGDX's split use: each border times the scale the
// sources were resampled by (rounded down, so borders that fit the source fit
// its resampled size), less the transparent margin trimmed on its side, at
// least 0.
Borders bordersInFrame(const SourceRectEntry& entry, const Borders& borders, double scale = 1);

// The borders times the scale, each rounded down.
Borders scaledBorders(const Borders& borders, double scale);

// The name of an image in the XML formats (Starling, Cocos): the file name as
// valid UTF-8 with every character XML 1.0 cannot carry (control characters
// other than tab, line feed and carriage return; U+FFFE and U+FFFF) as U+FFFD.
std::string xmlFrameName(std::string_view fileName);

// Text made safe for an XML attribute value or element content: '&', '<',
// '>', '"' and '\'' as entities, tab, line feed and carriage return as
// character references (so no parser folds them), after xmlFrameName.
std::string xmlEscaped(std::string_view text);

// The documents, "\n" line breaks, for entries made with
// EntryUse::withFileValues. Each frame holds the rectangle in the atlas
// ("frame"), whether it was trimmed, where the kept pixels lie in the source
// image ("spriteSourceSize") and the source's size ("sourceSize"), and
// "rotated": a turned frame keeps the image's upright width and height, its
// block in the atlas being frame.h x frame.w, the image turned clockwise. In
// the hash a key met twice keeps its first frame (the build warns of the
// collision); the array keeps every entry, in placement order.
//
// With extras, a frame with a pivot gets "pivot" (Phaser) and "anchor"
// (PixiJS), both {x, y}; one with borders gets "borders" {left, top, right,
// bottom} in source pixels (PixiJS) and "scale9Borders" {x, y, w, h}, the
// middle rectangle within the frame (Phaser); animations are written as
// "animations", each name with its frames' keys.
std::string formatJsonHash(const AtlasMeta& meta, std::span<const SourceRectEntry> entries,
                           const EngineExtras& extras = {});
std::string formatJsonArray(const AtlasMeta& meta, std::span<const SourceRectEntry> entries,
                            const EngineExtras& extras = {});

// One page of Phaser 3's multi-atlas file: the JSON object of its "textures"
// entry (image, format, size, scale as a number, premultipliedAlpha when
// true, and the frames as in the JSON array).
std::string phaserTextureEntry(const AtlasMeta& meta, std::span<const SourceRectEntry> entries,
                               const EngineExtras& extras = {});
// The multi-atlas document of the pages' entries, in page order, with "meta"
// (app, version).
std::string formatPhaserMulti(const AtlasMeta& meta, std::span<const std::string> textures);

// Starling's TextureAtlas XML: a SubTexture per entry with name, x, y, width,
// height (its block in the atlas) and, for a trimmed entry, frameX, frameY
// (the kept pixels' offset, negated), frameWidth and frameHeight (the source
// size); a turned entry, its block the image turned clockwise, says
// rotated="true"; pivotX and pivotY in source pixels when a pivot is given.
std::string formatStarlingXml(const AtlasMeta& meta, std::span<const SourceRectEntry> entries,
                              const EngineExtras& extras = {});

// Cocos2d-x's property list, format 3: per entry aliases (none), spriteOffset
// (the kept pixels' centre less the source's, y up), spriteSize,
// spriteSourceSize, textureRect (its place, with the upright size),
// textureRotated (a turned entry's block is the image turned clockwise) and,
// with a pivot,
// anchor (y up, as Cocos counts it); metadata with the atlas's name and size.
std::string formatCocosPlist(const AtlasMeta& meta, std::span<const SourceRectEntry> entries,
                             const EngineExtras& extras = {});

// One page: the image name, its size, format RGBA8888, filter Nearest and no
// repeat, then one region per entry in the layout every libGDX version reads
// (rotate, xy, size, orig, offset, index); a turned region says rotate: true
// with its upright size, its block the image turned counter-clockwise. The
// offset counts the trimmed pixels from the left and from the bottom, as
// libGDX's y axis points up; index is -1 (names are kept whole, never split
// into a sequence number).
// With extras, a frame of an animation is named by the animation (region
// name rules) with index its number, and a frame with borders gets split
// (left, right, top, bottom, within its frame) and pad of the same values.
std::string formatGdxAtlas(const AtlasMeta& meta, std::span<const SourceRectEntry> entries,
                           const EngineExtras& extras = {});

// The region name rules of gdxRegionName for a name that has no extension.
std::string gdxName(std::string_view name);

}  // namespace tilvane
