#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tilvane {

// The image file formats the codecs read or write, one codec each.
enum class ImageFormat { tiff, png, jpeg, bmp, tga, sgi, cel, gif, psd, iff, pcx, webp };

// One extension and what the codecs do with it. This is the one place that
// says which extension picks which codec and how large an image its writer
// stores; the dialog's ordered lists (model/choice_tables.h) are a choice
// among these.
struct ImageFormatInfo {
    // Lower case, with its dot: ".tif".
    std::string_view extension;
    ImageFormat format;
    // How messages name the format: "JPEG".
    std::string_view name;
    bool readable = false;
    bool writable = false;
    // The largest width, and height, the writer stores (its header fields or
    // its library's limit); 0 when the format is not written.
    std::int64_t maxSide = 0;
};

// Every known extension, each once.
std::span<const ImageFormatInfo> imageFormats();

// The entry for the extension of the path's last component (from its last
// dot, ASCII case ignored); null when the codecs know none.
const ImageFormatInfo* imageFormatOf(std::string_view path);

// Why an atlas of width x height cannot be written to path in the format its
// extension picks: "JPEG stores at most 65500 pixels a side; the atlas would be
// 65536x512". Empty when it can, and when no writer has the extension (that
// refusal is the build's, in its own words).
std::optional<std::string> formatSizeRefusal(const std::string& path, std::int64_t width,
                                             std::int64_t height);

}  // namespace tilvane
