#include "image/image_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <new>
#include <string_view>
#include <vector>

#include "image/codecs/codecs.h"
#include "image/output_file.h"

namespace tilvane {

namespace {

// Larger files are not read at all: no image within the decoder limits needs
// more than this much storage, compressed or not, plus its headers.
constexpr std::size_t kMaxFileBytes = (std::size_t{1} << 30) + (std::size_t{64} << 20);

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

Reader readerFor(const std::string& extension) {
    struct Entry {
        std::string_view extension;
        Reader reader;
    };
    static constexpr Entry kReaders[] = {
        {".tif", codecs::readTiff},
        {".png", codecs::readPng},
        {".jpg", codecs::readJpeg},
        {".bmp", codecs::readBmp},
        {".tga", codecs::readTga},
        {".cel", codecs::readCel},
        {".rgb", codecs::readSgi},
        {".gif", codecs::readGif},
        {".psd", codecs::readPsd},
        {".iff", codecs::readIff},
        {".pcx", codecs::readPcx},
        // Spellings the input table does not list, accepted when asked for directly.
        {".tiff", codecs::readTiff},
        {".jpeg", codecs::readJpeg},
    };
    for (const Entry& e : kReaders) {
        if (e.extension == extension) return e.reader;
    }
    return nullptr;
}

bool encode(const PixelImage& image, const std::string& extension, const SaveOptions& options,
            std::FILE* out) {
    if (extension == ".tif" || extension == ".tiff") {
        const auto* tiff = std::get_if<TiffOptions>(&options);
        return codecs::writeTiff(image, out, tiff ? tiff->compression : 0);
    }
    if (extension == ".jpg" || extension == ".jpeg") {
        const auto* jpeg = std::get_if<JpegOptions>(&options);
        return codecs::writeJpeg(image, out, jpeg ? jpeg->quality : 90);
    }
    if (extension == ".png") {
        const auto* png = std::get_if<PngOptions>(&options);
        return codecs::writePng(image, out, png ? png->compression : PngCompression::standard);
    }
    if (extension == ".bmp") return codecs::writeBmp(image, out);
    if (extension == ".rgb") return codecs::writeSgi(image, out);
    if (extension == ".tga") return codecs::writeTga(image, out);
    return false;
}

bool isOutputExtension(const std::string& e) {
    return e == ".tif" || e == ".tiff" || e == ".jpg" || e == ".jpeg" || e == ".png" ||
           e == ".bmp" || e == ".rgb" || e == ".tga";
}

}  // namespace

ImagePtr CreateBitmapFromFile(const std::string& path) {
    const Reader reader = readerFor(lowerExtension(path));
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
    if (!isOutputExtension(lowerExtension(path))) return ENOTSUP;
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
    const std::string extension = lowerExtension(file.targetPath());
    if (!isOutputExtension(extension)) return failWith(ENOTSUP);
    if (!file.stream()) return failWith(EBADF);
    bool ok = false;
    try {
        ok = encode(*image, extension, options, file.stream());
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
