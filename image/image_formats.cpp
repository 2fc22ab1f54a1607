#include "image/image_formats.h"

namespace tilvane {

namespace {

// The writers' limits: JPEG's is libjpeg's JPEG_MAX_DIMENSION (a little under
// 2^16), TGA and SGI keep each side in 16 bits, BMP and PNG in 31 (a signed
// 32-bit field, and PNG's own rule), TIFF in 32, WebP in 14 (its header
// fields; libwebp's WEBP_MAX_DIMENSION).
constexpr std::int64_t kJpegMaxSide = 65500;
constexpr std::int64_t kSixteenBits = 0xFFFF;
constexpr std::int64_t kThirtyOneBits = 0x7FFFFFFF;
constexpr std::int64_t kThirtyTwoBits = 0xFFFFFFFF;
constexpr std::int64_t kWebpMaxSide = 16383;

constexpr ImageFormatInfo kFormats[] = {
    {".tif", ImageFormat::tiff, "TIFF", true, true, kThirtyTwoBits},
    {".tiff", ImageFormat::tiff, "TIFF", true, true, kThirtyTwoBits},
    {".png", ImageFormat::png, "PNG", true, true, kThirtyOneBits},
    {".jpg", ImageFormat::jpeg, "JPEG", true, true, kJpegMaxSide},
    {".jpeg", ImageFormat::jpeg, "JPEG", true, true, kJpegMaxSide},
    {".bmp", ImageFormat::bmp, "BMP", true, true, kThirtyOneBits},
    {".tga", ImageFormat::tga, "TGA", true, true, kSixteenBits},
    {".rgb", ImageFormat::sgi, "SGI", true, true, kSixteenBits},
    {".cel", ImageFormat::cel, "CEL", true, false, 0},
    {".gif", ImageFormat::gif, "GIF", true, false, 0},
    {".psd", ImageFormat::psd, "PSD", true, false, 0},
    {".iff", ImageFormat::iff, "IFF", true, false, 0},
    {".pcx", ImageFormat::pcx, "PCX", true, false, 0},
    {".webp", ImageFormat::webp, "WebP", true, true, kWebpMaxSide},
};

// The extension of the last path component, lower case; empty without a dot.
std::string lowerExtension(std::string_view path) {
    const std::size_t slash = path.find_last_of('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    std::string extension(dot == std::string_view::npos ? std::string_view() : name.substr(dot));
    for (char& c : extension) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return extension;
}

}  // namespace

std::span<const ImageFormatInfo> imageFormats() {
    return kFormats;
}

const ImageFormatInfo* imageFormatOf(std::string_view path) {
    const std::string extension = lowerExtension(path);
    for (const ImageFormatInfo& f : kFormats) {
        if (f.extension == extension) return &f;
    }
    return nullptr;
}

std::optional<std::string> formatSizeRefusal(const std::string& path, std::int64_t width,
                                             std::int64_t height) {
    const ImageFormatInfo* f = imageFormatOf(path);
    if (!f || !f->writable || (width <= f->maxSide && height <= f->maxSide)) return std::nullopt;
    return std::string(f->name) + " stores at most " + std::to_string(f->maxSide) +
           " pixels a side; the atlas would be " + std::to_string(width) + "x" +
           std::to_string(height);
}

}  // namespace tilvane
