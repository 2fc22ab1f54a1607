#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <optional>
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

// Options record for WebP output: lossy at this quality (0 to 100), or
// lossless, every pixel kept, when none is given (and without the record).
struct WebpOptions {
    std::optional<std::int32_t> lossyQuality;
};

// No record, or a TIFF, JPEG, PNG or WebP record.
using SaveOptions = std::variant<std::monostate, TiffOptions, JpegOptions, PngOptions, WebpOptions>;

// Reads an image file, the format chosen by the extension (case ignored; the
// extensions are image/image_formats.h's). The
// image has the depth the file holds (1, 4, 8, 16, 24 or 32 bits). Null when the
// file is missing, unreadable, not a regular file, malformed, truncated, of an
// unsupported kind, or larger than the decoder limits allow. Never blocks on
// what stands at the path (see InputImageFile) and never throws.
ImagePtr CreateBitmapFromFile(const std::string& path);

// An image file opened for decoding, so that what is decoded is the file whose
// status was taken. Only a regular file is opened for reading: a FIFO, socket,
// device or folder at the path is refused without waiting for a writer or
// reading a byte (the path is looked at first so that a device is not even
// opened; the descriptor is checked again, as the path may change in between).
// The descriptor is not inherited by child processes and never becomes a
// controlling terminal.
class InputImageFile {
public:
    explicit InputImageFile(const std::string& path);
    ~InputImageFile();
    InputImageFile(const InputImageFile&) = delete;
    InputImageFile& operator=(const InputImageFile&) = delete;

    // A regular file is open.
    bool isOpen() const { return fd_ >= 0; }
    // Something other than a regular file stands at the path (or stood when
    // it was opened); false when nothing could be found or opened there.
    bool notRegular() const { return notRegular_; }
    // The status of the open file (fstat of the descriptor, taken before any
    // byte was read); null when not open.
    const struct stat* status() const { return isOpen() ? &status_ : nullptr; }
    // Whether the open file still has the size and the write and change times
    // of status(): false after a write since it was opened, or when not open.
    bool unchangedSinceOpened() const;
    // Reads the open file from its start and decodes it like CreateBitmapFromFile,
    // the format chosen by the path's extension; null as it would be.
    ImagePtr decode() const;

private:
    std::string path_;
    int fd_ = -1;
    bool notRegular_ = false;
    struct stat status_ {};
};

// Writes a 32-bit image, the format chosen by the extension, through an
// OutputFile (so a symlink is followed and a device written straight through).
// 0 when the file was written whole; any other value is a failure, and then the
// previous file at the path, if any, is untouched and nothing else is left
// behind. The value is the errno of the cause, which strerror describes: the
// system's (ENOSPC, EACCES, EISDIR...), or EINVAL for an image that is missing
// or not 32 bits deep, ENOTSUP for an extension no writer has, EFBIG for an
// image wider or taller than the format stores (image/image_formats.h; nothing
// is written), ENOMEM and EIO for an encoder that ran out of memory or failed
// without a system error.
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
