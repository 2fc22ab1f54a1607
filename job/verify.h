#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "image/alpha_passes.h"
#include "model/build_run.h"

namespace tilvane {

// Reads each page's written atlas back from its file and checks every entry
// the page lists (its text file's entries): the atlas pixels of its rectangle
// equal the pixels of its source rectangle (as the pixel passes leave them,
// when the job asked for any: such a source is always decoded again), and each pixel of its
// extrusion ring (`extrude` pixels wide, clipped to the atlas) equals the nearest pixel of the
// rectangle. A source is compared by the digest the scan took of it when there is one, else by
// decoding inputFolder + name again; only an entry whose digest differs is decoded again, to find
// its first differing pixel. Entries are checked on every core; the answer does not depend on it.
// Empty when every entry holds; else the first failure in page and entry
// order, in words that name the entry and the first differing pixel
// ("hero.png in atlas.png: pixel (3, 4) of its source, at (103, 204) in the
// atlas, is #ff0000ff where the source has #00ff00ff"), or the atlas that
// cannot be read back. Pixels are written #RRGGBBAA. Never throws.
std::optional<std::string> verifyWrittenPages(const std::string& inputFolder, std::uint32_t extrude,
                                              std::span<const BuildRun::DrawnPage> pages,
                                              PixelPasses passes = {});

}  // namespace tilvane
