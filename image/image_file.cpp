#include "image/image_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <new>
#include <vector>

#include "image/codecs/codecs.h"
#include "image/image_formats.h"
#include "image/output_file.h"

namespace tilvane {

namespace {

// Larger files are not read at all: no image within the decoder limits needs
// more than this much storage, compressed or not, plus its headers.
constexpr std::size_t kMaxFileBytes = (std::size_t{1} << 30) + (std::size_t{64} << 20);

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

bool readWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) return false;
    struct stat st {};
    if (::fstat(::fileno(file.get()), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0 ||
        static_cast<std::uint64_t>(st.st_size) > kMaxFileBytes) {
        return false;
    }
    try {
        bytes.resize(static_cast<std::size_t>(st.st_size));
    } catch (const std::bad_alloc&) {
        return false;
    }
    // The file may shrink while it is read; only the bytes that arrived count.
    const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), file.get());
    bytes.resize(got);
    return true;
}

using Reader = ImagePtr (*)(codecs::ByteSpan);

Reader readerFor(ImageFormat format) {
    switch (format) {
        case ImageFormat::tiff:
            return codecs::readTiff;
        case ImageFormat::png:
            return codecs::readPng;
        case ImageFormat::jpeg:
            return codecs::readJpeg;
        case ImageFormat::bmp:
            return codecs::readBmp;
        case ImageFormat::tga:
            return codecs::readTga;
        case ImageFormat::sgi:
            return codecs::readSgi;
        case ImageFormat::cel:
            return codecs::readCel;
        case ImageFormat::gif:
            return codecs::readGif;
        case ImageFormat::psd:
            return codecs::readPsd;
        case ImageFormat::iff:
            return codecs::readIff;
        case ImageFormat::pcx:
            return codecs::readPcx;
    }
    return nullptr;
}

bool encode(const PixelImage& image, ImageFormat format, const SaveOptions& options,
            std::FILE* out) {
    switch (format) {
        case ImageFormat::tiff: {
            const auto* tiff = std::get_if<TiffOptions>(&options);
            return codecs::writeTiff(image, out, tiff ? tiff->compression : 0);
        }
        case ImageFormat::jpeg: {
            const auto* jpeg = std::get_if<JpegOptions>(&options);
            return codecs::writeJpeg(image, out, jpeg ? jpeg->quality : 90);
        }
        case ImageFormat::png: {
            const auto* png = std::get_if<PngOptions>(&options);
            return codecs::writePng(image, out, png ? png->compression : PngCompression::standard);
        }
        case ImageFormat::bmp:
            return codecs::writeBmp(image, out);
        case ImageFormat::sgi:
            return codecs::writeSgi(image, out);
        case ImageFormat::tga:
            return codecs::writeTga(image, out);
        case ImageFormat::cel:
        case ImageFormat::gif:
        case ImageFormat::psd:
        case ImageFormat::iff:
        case ImageFormat::pcx:
            return false;
    }
    return false;
}

}  // namespace

ImagePtr CreateBitmapFromFile(const std::string& path) {
    const ImageFormatInfo* format = imageFormatOf(path);
    if (!format || !format->readable) return nullptr;
    const Reader reader = readerFor(format->format);
    if (!reader) return nullptr;
    std::vector<std::uint8_t> bytes;
    if (!readWholeFile(path, bytes)) return nullptr;
    try {
        return reader(codecs::ByteSpan(bytes.data(), bytes.size()));
    } catch (...) {
        // The readers do not throw by design; this keeps a slip from crossing
        // the library's interface.
        return nullptr;
    }
}

int SaveBitmapToFile(const PixelImage* image, const std::string& path, const SaveOptions& options) {
    if (!image || image->bitDepth() != 32) return EINVAL;
    const ImageFormatInfo* format = imageFormatOf(path);
    if (!format || !format->writable) return ENOTSUP;
    // Refused before the file is touched: the writer could not store the size.
    if (image->width() > format->maxSide || image->height() > format->maxSide) return EFBIG;
    OutputFile file(path);
    if (!file.open()) return file.error();
    bool ok = false;
    try {
        ok = encode(*image, format->format, options, file.stream());
    } catch (const std::bad_alloc&) {
        file.fail(ENOMEM);
    } catch (...) {
        ok = false;
    }
    // An encoder that failed without a failing write (a library error, or
    // memory it could not get) leaves no errno of its own.
    if (!ok) return file.error() != 0 ? file.error() : EIO;
    return file.commit() ? 0 : file.error();
}

}  // namespace tilvane
