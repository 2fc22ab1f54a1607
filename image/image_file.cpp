#include "image/image_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <new>
#include <vector>

#include "image/codecs/codecs.h"
#include "image/image_formats.h"
#include "image/output_file.h"
#include "image/zeroed_buffer.h"

namespace tilvane {

namespace {

// Larger files are not read at all: no image within the decoder limits needs
// more than this much storage, compressed or not, plus its headers.
constexpr std::size_t kMaxFileBytes = (std::size_t{1} << 30) + (std::size_t{64} << 20);

// The open file's bytes from its start, up to the size it had when opened.
bool readWholeFile(int fd, const struct stat& status, ZeroedBuffer& bytes) {
    if (status.st_size < 0 || static_cast<std::uint64_t>(status.st_size) > kMaxFileBytes) {
        return false;
    }
    try {
        bytes = ZeroedBuffer(static_cast<std::size_t>(status.st_size));
    } catch (const std::bad_alloc&) {
        return false;
    }
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n =
            ::pread(fd, bytes.data() + got, bytes.size() - got, static_cast<off_t>(got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        // The file may shrink while it is read; only the bytes that arrived count.
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    bytes.shrink(got);
    return true;
}

bool sameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
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
        case ImageFormat::webp:
            return codecs::readWebp;
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
        case ImageFormat::webp: {
            const auto* webp = std::get_if<WebpOptions>(&options);
            return codecs::writeWebp(image, out, webp ? webp->lossyQuality : std::nullopt);
        }
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
    // A file no reader takes is not even opened.
    const ImageFormatInfo* format = imageFormatOf(path);
    if (!format || !format->readable || !readerFor(format->format)) return nullptr;
    return InputImageFile(path).decode();
}

InputImageFile::InputImageFile(const std::string& path) : path_(path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return;
    // Opening a device may act on it (a tape rewinds when closed), so a path
    // that names anything but a regular file is not opened at all.
    if (!S_ISREG(st.st_mode)) {
        notRegular_ = true;
        return;
    }
    // Without O_NONBLOCK, opening a FIFO put there since waits for a writer.
    int fd = -1;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        // A socket put there since cannot be opened at all.
        notRegular_ = ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode);
        return;
    }
    struct stat opened {};
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
        notRegular_ = opened.st_mode != 0 && !S_ISREG(opened.st_mode);
        ::close(fd);
        return;
    }
    status_ = opened;
    // Reading a regular file never waits for a writer; the flag was for open().
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    fd_ = fd;
}

InputImageFile::~InputImageFile() {
    if (fd_ >= 0) ::close(fd_);
}

bool InputImageFile::unchangedSinceOpened() const {
    struct stat now {};
    return isOpen() && ::fstat(fd_, &now) == 0 && now.st_size == status_.st_size &&
           sameTime(now.st_mtim, status_.st_mtim) && sameTime(now.st_ctim, status_.st_ctim);
}

ImagePtr InputImageFile::decode() const {
    const ImageFormatInfo* format = imageFormatOf(path_);
    const Reader reader = format && format->readable ? readerFor(format->format) : nullptr;
    if (!reader || !isOpen()) return nullptr;
    ZeroedBuffer bytes;
    if (!readWholeFile(fd_, status_, bytes)) return nullptr;
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
    const int cause = writeBitmapTo(file, image, options);
    if (cause != 0) return cause;
    return file.commit() ? 0 : file.error();
}

int writeBitmapTo(OutputFile& file, const PixelImage* image, const SaveOptions& options) {
    const auto failWith = [&file](int cause) {
        file.fail(cause);
        return file.error();
    };
    if (file.error() != 0) return file.error();
    if (!image || image->bitDepth() != 32) return failWith(EINVAL);
    const ImageFormatInfo* format = imageFormatOf(file.targetPath());
    if (!format || !format->writable) return failWith(ENOTSUP);
    // Refused before a byte is written: the writer could not store the size.
    if (image->width() > format->maxSide || image->height() > format->maxSide) {
        return failWith(EFBIG);
    }
    if (!file.stream()) return failWith(EBADF);
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
    if (!ok) return failWith(EIO);
    return 0;
}

}  // namespace tilvane
