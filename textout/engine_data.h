#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

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

// The documents, "\n" line breaks, for entries made with
// EntryUse::withFileValues. Each frame holds the rectangle in the atlas
// ("frame"), whether it was trimmed, where the kept pixels lie in the source
// image ("spriteSourceSize") and the source's size ("sourceSize"), and
// "rotated": a turned frame keeps the image's upright width and height, its
// block in the atlas being frame.h x frame.w, the image turned clockwise. In the hash a key met
// twice keeps its first frame (the build warns of the collision); the array keeps every entry, in
// placement order.
std::string formatJsonHash(const AtlasMeta& meta, std::span<const SourceRectEntry> entries);
std::string formatJsonArray(const AtlasMeta& meta, std::span<const SourceRectEntry> entries);

// One page: the image name, its size, format RGBA8888, filter Nearest and no
// repeat, then one region per entry in the layout every libGDX version reads
// (rotate, xy, size, orig, offset, index); a turned region says rotate: true
// with its upright size, its block the image turned counter-clockwise. The offset counts the
// trimmed pixels from the left and from the bottom, as libGDX's y axis points up; index is -1
// (names are kept whole, never split into a sequence number).
std::string formatGdxAtlas(const AtlasMeta& meta, std::span<const SourceRectEntry> entries);

}  // namespace tilvane
