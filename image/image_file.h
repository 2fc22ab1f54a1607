#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "image/pixel_image.h"
#include "image/png_compression.h"

namespace tilvane {

// Options record for TIFF output: the compression code (0 none, 9 PackBits,
// 13 Deflate). The writer reads nothing else, so the record holds nothing else.
struct TiffOptions {
    std::int32_t compression = 0;
};

// Options record for JPEG output: quality 0 to 100.
struct JpegOptions {
    std::int32_t quality = 100;
};

// Options record for PNG output: how hard to compress (the pixels are the same
// whatever the choice). Without it PNG is written as standard.
struct PngOptions {
    PngCompression compression = PngCompression::standard;
};

// No record, a TIFF record, a JPEG record or a PNG record.
using SaveOptions = std::variant<std::monostate, TiffOptions, JpegOptions, PngOptions>;

// Reads an image file, the format chosen by the extension (case ignored). The
// image has the depth the file holds (1, 4, 8, 16, 24 or 32 bits). Null when the
// file is missing, unreadable, malformed, truncated, of an unsupported kind, or
// larger than the decoder limits allow. Never throws.
ImagePtr CreateBitmapFromFile(const std::string& path);

// Writes a 32-bit image, the format chosen by the extension, through an
// OutputFile (so a symlink is followed and a device written straight through).
// 0 when the file was written whole; any other value is a failure, and then the
// previous file at the path, if any, is untouched and nothing else is left
// behind. The value is the errno of the cause, which strerror describes: the
// system's (ENOSPC, EACCES, EISDIR...), or EINVAL for an image that is missing
// or not 32 bits deep, ENOTSUP for an extension no writer has, ENOMEM and EIO
// for an encoder that ran out of memory or failed without a system error.
int SaveBitmapToFile(const PixelImage* image, const std::string& path,
                     const SaveOptions& options = {});

class OutputFile;

// Encodes the image as SaveBitmapToFile does, the format chosen by the
// extension of the file's target path, into an open OutputFile, and leaves it
// uncommitted (for an OutputSet). 0 when every byte went in; else the cause as
// SaveBitmapToFile gives it, and the file is failed with it, so that it is
// never put in place.
int writeBitmapTo(OutputFile& file, const PixelImage* image, const SaveOptions& options = {});

}  // namespace tilvane
