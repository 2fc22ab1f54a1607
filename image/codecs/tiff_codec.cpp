#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_map>
#include <vector>

#include "image/codecs/codec_limits.h"
#include "image/codecs/codecs.h"

namespace tilvane::codecs {

namespace {

// libtiff reports through handlers; ours only remember that an error happened,
// so nothing reaches stderr and a caller learns it from the result.
struct ErrorFlag {
    bool raised = false;
};

int onError(TIFF*, void* user, const char*, const char*, va_list) {
    static_cast<ErrorFlag*>(user)->raised = true;
    return 1;
}
int onWarning(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

// Some messages of libtiff still go to its process-wide handlers.
void silenceGlobalHandlers() {
    static std::once_flag once;
    std::call_once(once, [] {
        TIFFSetErrorHandler(nullptr);
        TIFFSetWarningHandler(nullptr);
    });
}

class OpenOptions {
public:
    explicit OpenOptions(ErrorFlag* flag) : options_(TIFFOpenOptionsAlloc()) {
        if (!options_) return;
        // No single allocation of libtiff's (strip buffers, tag arrays) may
        // exceed what a whole decoded image may take.
        TIFFOpenOptionsSetMaxSingleMemAlloc(options_, static_cast<tmsize_t>(kMaxDecodedBytes));
        TIFFOpenOptionsSetErrorHandlerExtR(options_, onError, flag);
        TIFFOpenOptionsSetWarningHandlerExtR(options_, onWarning, nullptr);
    }
    ~OpenOptions() {
        if (options_) TIFFOpenOptionsFree(options_);
    }
    OpenOptions(const OpenOptions&) = delete;
    OpenOptions& operator=(const OpenOptions&) = delete;
    TIFFOpenOptions* get() const { return options_; }

private:
    TIFFOpenOptions* options_;
};

struct TiffCloser {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using TiffPtr = std::unique_ptr<TIFF, TiffCloser>;

// ---- reading from memory

struct MemoryFile {
    const std::uint8_t* data;
    std::uint64_t size;
    std::uint64_t offset;
};

tmsize_t memoryRead(thandle_t handle, void* buffer, tmsize_t count) {
    auto* file = static_cast<MemoryFile*>(handle);
    if (count <= 0 || file->offset >= file->size) return 0;
    const std::uint64_t n =
        std::min<std::uint64_t>(static_cast<std::uint64_t>(count), file->size - file->offset);
    std::memcpy(buffer, file->data + file->offset, n);
    file->offset += n;
    return static_cast<tmsize_t>(n);
}

tmsize_t memoryWrite(thandle_t, void*, tmsize_t) {
    return 0;
}

toff_t memorySeek(thandle_t handle, toff_t offset, int whence) {
    auto* file = static_cast<MemoryFile*>(handle);
    std::uint64_t base = 0;
    if (whence == SEEK_CUR) base = file->offset;
    if (whence == SEEK_END) base = file->size;
    if (offset > UINT64_MAX - base) return static_cast<toff_t>(-1);
    file->offset = base + offset;
    return file->offset;
}

int memoryClose(thandle_t) {
    return 0;
}
toff_t memorySize(thandle_t handle) {
    return static_cast<MemoryFile*>(handle)->size;
}

int memoryMap(thandle_t handle, void** base, toff_t* size) {
    auto* file = static_cast<MemoryFile*>(handle);
    // libtiff only reads through a mapping opened for reading.
    *base = const_cast<std::uint8_t*>(file->data);
    *size = file->size;
    return 1;
}
void memoryUnmap(thandle_t, void*, toff_t) {}

// Owns TIFFRGBAImage's state.
class RgbaReader {
public:
    RgbaReader() = default;
    ~RgbaReader() {
        if (begun_) TIFFRGBAImageEnd(&image_);
    }
    RgbaReader(const RgbaReader&) = delete;
    RgbaReader& operator=(const RgbaReader&) = delete;

    bool begin(TIFF* tif) {
        char message[1024] = {};
        if (!TIFFRGBAImageOK(tif, message)) return false;
        begun_ = TIFFRGBAImageBegin(&image_, tif, 1, message) != 0;
        return begun_;
    }
    TIFFRGBAImage& image() { return image_; }

private:
    TIFFRGBAImage image_{};
    bool begun_ = false;
};

std::uint16_t fieldU16(TIFF* tif, ttag_t tag, std::uint16_t fallback) {
    std::uint16_t value = fallback;
    if (!TIFFGetFieldDefaulted(tif, tag, &value)) return fallback;
    return value;
}

// Unassociated 8-bit RGBA in strips, the form we write, is read as stored:
// the general path would premultiply it and lose the colour of faint pixels.
bool isPlainUnassociatedRgba(TIFF* tif) {
    std::uint16_t extraCount = 0;
    std::uint16_t* extraTypes = nullptr;
    if (!TIFFGetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extraTypes)) return false;
    const std::uint16_t orientation = fieldU16(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    return !TIFFIsTiled(tif) && fieldU16(tif, TIFFTAG_PHOTOMETRIC, 0) == PHOTOMETRIC_RGB &&
           fieldU16(tif, TIFFTAG_PLANARCONFIG, 0) == PLANARCONFIG_CONTIG &&
           fieldU16(tif, TIFFTAG_BITSPERSAMPLE, 0) == 8 &&
           fieldU16(tif, TIFFTAG_SAMPLESPERPIXEL, 0) == 4 && extraCount == 1 && extraTypes &&
           extraTypes[0] == EXTRASAMPLE_UNASSALPHA &&
           (orientation == ORIENTATION_TOPLEFT || orientation == ORIENTATION_BOTLEFT);
}

ImagePtr readPlainRgba(TIFF* tif, std::uint32_t width, std::uint32_t height) {
    const tmsize_t lineBytes = TIFFScanlineSize(tif);
    if (lineBytes <= 0 || static_cast<std::uint64_t>(lineBytes) < std::uint64_t{width} * 4) {
        return nullptr;
    }
    ImagePtr image =
        PixelImage::create(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height), 32);
    if (!image) return nullptr;
    std::vector<std::uint8_t> line;
    try {
        line.resize(static_cast<std::size_t>(lineBytes));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    const bool bottomUp =
        fieldU16(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) == ORIENTATION_BOTLEFT;
    for (std::uint32_t r = 0; r < height; ++r) {
        if (TIFFReadScanline(tif, line.data(), r, 0) < 0) return nullptr;
        const auto y = static_cast<std::int32_t>(bottomUp ? height - 1 - r : r);
        std::uint8_t* out = image->row(y);
        for (std::uint32_t x = 0; x < width; ++x) {
            out[4 * x] = line[4 * x + 2];
            out[4 * x + 1] = line[4 * x + 1];
            out[4 * x + 2] = line[4 * x];
            out[4 * x + 3] = line[4 * x + 3];
        }
    }
    return image;
}

// The palette as TIFFRGBAImage shows it: 16-bit entries, unless every entry
// fits in 8 bits (old writers stored them that way).
std::vector<PaletteEntry> readColormap(TIFF* tif, int bitsPerSample) {
    std::uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
    if (bitsPerSample < 1 || bitsPerSample > 8 ||
        !TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue) || !red || !green || !blue) {
        return {};
    }
    const int count = 1 << bitsPerSample;
    bool sixteen = false;
    for (int i = 0; i < count; ++i) {
        if (red[i] > 255 || green[i] > 255 || blue[i] > 255) sixteen = true;
    }
    const int shift = sixteen ? 8 : 0;
    std::vector<PaletteEntry> table(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        table[i] = PaletteEntry{static_cast<std::uint8_t>(blue[i] >> shift),
                                static_cast<std::uint8_t>(green[i] >> shift),
                                static_cast<std::uint8_t>(red[i] >> shift), 0};
    }
    return table;
}

// Reduces a decoded opaque image to its depth: 8 bits with a grey ramp or the
// file's palette, or 24 bits.
ImagePtr reduceOpaque(const PixelImage& rgba, bool grey, const std::vector<PaletteEntry>& palette) {
    const std::int32_t width = rgba.width(), height = rgba.height();
    const bool indexed = grey || !palette.empty();
    ImagePtr image = PixelImage::create(width, height, indexed ? 8 : 24);
    if (!image) return nullptr;
    std::unordered_map<std::uint32_t, std::uint8_t> indexOf;
    if (grey) {
        for (int i = 0; i < 256; ++i) {
            const auto v = static_cast<std::uint8_t>(i);
            image->colorTable()[i] = PaletteEntry{v, v, v, 0};
        }
    } else if (indexed) {
        for (std::size_t i = palette.size(); i-- > 0;) {
            const PaletteEntry& e = palette[i];
            image->colorTable()[i] = e;
            indexOf[std::uint32_t{e.blue} | std::uint32_t{e.green} << 8 |
                    std::uint32_t{e.red} << 16] = static_cast<std::uint8_t>(i);
        }
    }
    for (std::int32_t y = 0; y < height; ++y) {
        const std::uint8_t* in = rgba.row(y);
        std::uint8_t* out = image->row(y);
        for (std::int32_t x = 0; x < width; ++x, in += 4) {
            if (grey) {
                out[x] = in[2];
            } else if (indexed) {
                const auto it = indexOf.find(std::uint32_t{in[0]} | std::uint32_t{in[1]} << 8 |
                                             std::uint32_t{in[2]} << 16);
                if (it == indexOf.end()) return nullptr;
                out[x] = it->second;
            } else {
                out[3 * x] = in[0];
                out[3 * x + 1] = in[1];
                out[3 * x + 2] = in[2];
            }
        }
    }
    return image;
}

ImagePtr readDirectory(TIFF* tif, const ErrorFlag& errors) {
    std::uint32_t width = 0, height = 0;
    if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width) ||
        !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height) || !imageSizeAllowed(width, height, 4)) {
        return nullptr;
    }
    if (isPlainUnassociatedRgba(tif)) {
        ImagePtr image = readPlainRgba(tif, width, height);
        return errors.raised ? nullptr : std::move(image);
    }

    RgbaReader reader;
    if (!reader.begin(tif)) return nullptr;
    TIFFRGBAImage& state = reader.image();
    if (state.width != width || state.height != height) return nullptr;
    // Decoded straight into the bottom-up storage of a 32-bit image: with the
    // origin asked for at the bottom left, libtiff's rows are our rows.
    ImagePtr rgba =
        PixelImage::create(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height), 32);
    if (!rgba) return nullptr;
    state.req_orientation = ORIENTATION_BOTLEFT;
    auto* raster = reinterpret_cast<std::uint32_t*>(rgba->bits());
    if (!TIFFRGBAImageGet(&state, raster, width, height) || errors.raised) return nullptr;

    // libtiff packs red in the low byte; ours is blue first. Its RGBA is
    // premultiplied whatever the file holds (it premultiplies unassociated
    // alpha itself), and our images hold straight alpha.
    const bool premultiplied = state.alpha != 0;
    std::uint8_t* p = rgba->bits();
    const std::size_t pixels = std::size_t{width} * height;
    for (std::size_t i = 0; i < pixels; ++i, p += 4) {
        std::swap(p[0], p[2]);
        if (premultiplied && p[3] != 0 && p[3] != 255) {
            const unsigned a = p[3];
            for (int c = 0; c < 3; ++c) {
                const unsigned v = (p[c] * 255u + a / 2) / a;
                p[c] = static_cast<std::uint8_t>(v > 255 ? 255 : v);
            }
        }
    }
    if (state.alpha != 0) return rgba;

    const std::uint16_t photometric = state.photometric;
    if (photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE) {
        return reduceOpaque(*rgba, true, {});
    }
    if (photometric == PHOTOMETRIC_PALETTE) {
        const std::vector<PaletteEntry> palette = readColormap(tif, state.bitspersample);
        if (palette.empty()) return nullptr;
        return reduceOpaque(*rgba, false, palette);
    }
    return reduceOpaque(*rgba, false, {});
}

// ---- writing to a stdio stream

tmsize_t streamRead(thandle_t handle, void* buffer, tmsize_t count) {
    if (count <= 0) return 0;
    return static_cast<tmsize_t>(
        std::fread(buffer, 1, static_cast<std::size_t>(count), static_cast<std::FILE*>(handle)));
}

tmsize_t streamWrite(thandle_t handle, void* buffer, tmsize_t count) {
    if (count <= 0) return 0;
    return static_cast<tmsize_t>(
        std::fwrite(buffer, 1, static_cast<std::size_t>(count), static_cast<std::FILE*>(handle)));
}

toff_t streamSeek(thandle_t handle, toff_t offset, int whence) {
    auto* file = static_cast<std::FILE*>(handle);
    if (offset > static_cast<toff_t>(INT64_MAX)) return static_cast<toff_t>(-1);
    if (::fseeko(file, static_cast<off_t>(offset), whence) != 0) return static_cast<toff_t>(-1);
    const off_t at = ::ftello(file);
    return at < 0 ? static_cast<toff_t>(-1) : static_cast<toff_t>(at);
}

// The caller owns the stream and closes it.
int streamClose(thandle_t) {
    return 0;
}

// By seeking, not fstat: the stream need not have a descriptor of its own.
toff_t streamSize(thandle_t handle) {
    auto* file = static_cast<std::FILE*>(handle);
    const off_t at = ::ftello(file);
    if (at < 0 || ::fseeko(file, 0, SEEK_END) != 0) return 0;
    const off_t end = ::ftello(file);
    ::fseeko(file, at, SEEK_SET);
    return end < 0 ? 0 : static_cast<toff_t>(end);
}

int noMap(thandle_t, void**, toff_t*) {
    return 0;
}

std::uint16_t compressionFor(std::int32_t code) {
    switch (code) {
        case 9:
            return COMPRESSION_PACKBITS;
        case 13:
            return COMPRESSION_ADOBE_DEFLATE;
        // 0, and any code the options dialog does not offer: uncompressed.
        default:
            return COMPRESSION_NONE;
    }
}

}  // namespace

ImagePtr readTiff(ByteSpan data) {
    if (data.size() < 8) return nullptr;
    silenceGlobalHandlers();
    ErrorFlag errors;
    OpenOptions options(&errors);
    if (!options.get()) return nullptr;
    MemoryFile file{data.data(), data.size(), 0};
    TiffPtr tif(TIFFClientOpenExt("memory", "r", &file, memoryRead, memoryWrite, memorySeek,
                                  memoryClose, memorySize, memoryMap, memoryUnmap, options.get()));
    if (!tif || errors.raised) return nullptr;
    return readDirectory(tif.get(), errors);
}

bool writeTiff(const PixelImage& image, std::FILE* out, std::int32_t compression) {
    if (!out || image.bitDepth() != 32 || image.width() <= 0 || image.height() <= 0) return false;
    silenceGlobalHandlers();
    ErrorFlag errors;
    OpenOptions options(&errors);
    if (!options.get()) return false;
    TiffPtr tif(TIFFClientOpenExt("output", "w", out, streamRead, streamWrite, streamSeek,
                                  streamClose, streamSize, noMap, memoryUnmap, options.get()));
    if (!tif) return false;

    const auto width = static_cast<std::uint32_t>(image.width());
    const auto height = static_cast<std::uint32_t>(image.height());
    const std::uint16_t method = compressionFor(compression);
    const std::uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
    TIFF* t = tif.get();
    bool ok = TIFFSetField(t, TIFFTAG_IMAGEWIDTH, width) &&
              TIFFSetField(t, TIFFTAG_IMAGELENGTH, height) &&
              TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8) &&
              TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 4) &&
              TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, extra) &&
              TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) &&
              TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
              TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) &&
              TIFFSetField(t, TIFFTAG_COMPRESSION, method) &&
              TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(t, 0));
    if (ok && method == COMPRESSION_ADOBE_DEFLATE) {
        ok = TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL) != 0;
    }
    std::vector<std::uint8_t> line;
    try {
        line.resize(std::size_t{width} * 4);
    } catch (const std::bad_alloc&) {
        return false;
    }
    // Each row goes through a fresh copy: the predictor rewrites the buffer it
    // is handed.
    for (std::uint32_t y = 0; ok && y < height; ++y) {
        const std::uint8_t* in = image.row(static_cast<std::int32_t>(y));
        for (std::uint32_t x = 0; x < width; ++x) {
            line[4 * x] = in[4 * x + 2];
            line[4 * x + 1] = in[4 * x + 1];
            line[4 * x + 2] = in[4 * x];
            line[4 * x + 3] = in[4 * x + 3];
        }
        ok = TIFFWriteScanline(t, line.data(), y, 0) >= 0;
    }
    ok = ok && TIFFFlush(t) == 1 && !errors.raised;
    tif.reset();
    return ok && !errors.raised && std::fflush(out) == 0 && !std::ferror(out);
}

}  // namespace tilvane::codecs
