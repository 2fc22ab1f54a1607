#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <new>
#include <vector>

// jpeglib.h needs FILE and size_t declared first.
#include <jerror.h>
#include <jpeglib.h>

#include "image/codecs/codec_limits.h"
#include "image/codecs/codecs.h"

namespace tilvane::codecs {

namespace {

// A progressive file may hold any number of scans, each re-reading the whole
// coefficient buffer; real encoders use about ten.
constexpr int kMaxProgressiveScans = 500;
// libjpeg's own working memory (coefficient buffers for progressive files)
// stays within the decoded-size limit.
constexpr long kMaxLibraryMemory = static_cast<long>(kMaxDecodedBytes);

// The error manager first, so the library's pointer to it is also a pointer
// to the jump buffer.
struct ErrorSink {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

[[noreturn]] void onErrorExit(j_common_ptr cinfo) {
    auto* sink = reinterpret_cast<ErrorSink*>(cinfo->err);
    std::longjmp(sink->jump, 1);
}

// Silent. A decoder's warning means corrupt data (a premature end, a bad
// Huffman code, a marker inside the scan, bytes out of place, a bogus
// progression, an unknown colour transform) from which libjpeg would go on to
// make up the rest of the image or guess its colours: the decode stops at the
// first one. An unknown JFIF revision alone is let through: it names the
// version of a header whose fields libjpeg reads the same either way.
void onMessage(j_common_ptr cinfo, int level) {
    if (level >= 0 || !cinfo->is_decompressor) return;
    if (cinfo->err->msg_code == JWRN_JFIF_MAJOR) return;
    onErrorExit(cinfo);
}

void onProgress(j_common_ptr cinfo) {
    if (cinfo->is_decompressor) {
        auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
        if (d->input_scan_number > kMaxProgressiveScans) onErrorExit(cinfo);
    }
}

void installSink(jpeg_error_mgr* manager) {
    jpeg_std_error(manager);
    manager->error_exit = onErrorExit;
    manager->emit_message = onMessage;
    manager->output_message = [](j_common_ptr) {};
}

// Owns a decompressor; destroying an unused or half-used one is allowed.
class Decompressor {
public:
    Decompressor() {
        installSink(&sink_.manager);
        info_.err = &sink_.manager;
        progress_.progress_monitor = onProgress;
    }
    ~Decompressor() {
        if (created_) jpeg_destroy_decompress(&info_);
    }
    Decompressor(const Decompressor&) = delete;
    Decompressor& operator=(const Decompressor&) = delete;

    jpeg_decompress_struct* info() { return &info_; }
    ErrorSink* sink() { return &sink_; }
    jpeg_progress_mgr* progress() { return &progress_; }
    bool* created() { return &created_; }

private:
    ErrorSink sink_{};
    jpeg_decompress_struct info_{};
    jpeg_progress_mgr progress_{};
    bool created_ = false;
};

struct JpegHeader {
    JDIMENSION width = 0;
    JDIMENSION height = 0;
    int components = 0;
    bool cmyk = false;
    bool adobeInverted = false;
};

// A lower bound on the bytes of a complete Huffman-coded image: every 8x8
// block of every component codes its DC value with at least one bit, in the
// first scan that holds it. A file shorter than that ends early whatever its
// header claims, so a few bytes claiming 16384 x 16384 are refused before
// anything the size of the image is allocated. Arithmetic coding has no such
// bound: a plain image may take well under a bit a block.
std::size_t minimumHuffmanBytes(const jpeg_decompress_struct& info) {
    std::uint64_t blocks = 0;
    for (int c = 0; c < info.num_components; ++c) {
        const jpeg_component_info& component = info.comp_info[c];
        blocks += std::uint64_t{component.width_in_blocks} * component.height_in_blocks;
    }
    return static_cast<std::size_t>(blocks / 8);
}

// Nothing with a destructor lives in the setjmp frames below.
bool startDecoding(Decompressor* d, ByteSpan data, JpegHeader* header) {
    jpeg_decompress_struct* info = d->info();
    if (setjmp(d->sink()->jump)) return false;
    jpeg_create_decompress(info);
    *d->created() = true;
    info->progress = d->progress();
    info->mem->max_memory_to_use = kMaxLibraryMemory;
    jpeg_mem_src(info, data.data(), static_cast<unsigned long>(data.size()));
    if (jpeg_read_header(info, TRUE) != JPEG_HEADER_OK) return false;
    // Checked before the library allocates anything for the image.
    if (!imageSizeAllowed(info->image_width, info->image_height, 4)) return false;
    if (!info->arith_code && data.size() < minimumHuffmanBytes(*info)) return false;

    switch (info->jpeg_color_space) {
        case JCS_GRAYSCALE:
            info->out_color_space = JCS_GRAYSCALE;
            break;
        case JCS_CMYK:
        case JCS_YCCK:
            info->out_color_space = JCS_CMYK;
            header->cmyk = true;
            // Adobe's applications store CMYK inverted (0 = full ink) and say
            // so with their APP14 marker.
            header->adobeInverted = info->saw_Adobe_marker != 0;
            break;
        default:
            info->out_color_space = JCS_EXT_BGR;
            break;
    }
    jpeg_start_decompress(info);
    header->width = info->output_width;
    header->height = info->output_height;
    header->components = info->output_components;
    return true;
}

bool decodeRows(Decompressor* d, PixelImage* image, JSAMPROW scratch, bool cmyk, bool inverted) {
    jpeg_decompress_struct* info = d->info();
    if (setjmp(d->sink()->jump)) return false;
    while (info->output_scanline < info->output_height) {
        const auto y = static_cast<std::int32_t>(info->output_scanline);
        JSAMPROW row = cmyk ? scratch : image->row(y);
        if (jpeg_read_scanlines(info, &row, 1) != 1) return false;
        if (cmyk) {
            std::uint8_t* out = image->row(y);
            // In Adobe's form each value is 255 minus the ink, so the light
            // that passes ink and black is their product.
            const unsigned flip = inverted ? 0 : 255;
            for (JDIMENSION x = 0; x < info->output_width; ++x) {
                const unsigned c = scratch[4 * x] ^ flip, m = scratch[4 * x + 1] ^ flip,
                               yl = scratch[4 * x + 2] ^ flip, k = scratch[4 * x + 3] ^ flip;
                out[3 * x] = static_cast<std::uint8_t>((yl * k + 127) / 255);
                out[3 * x + 1] = static_cast<std::uint8_t>((m * k + 127) / 255);
                out[3 * x + 2] = static_cast<std::uint8_t>((c * k + 127) / 255);
            }
        }
    }
    // Reads on to the end marker, so data cut after the last row also fails.
    jpeg_finish_decompress(info);
    return true;
}

}  // namespace

ImagePtr readJpeg(ByteSpan data) {
    if (data.size() < 4 || data[0] != 0xFF || data[1] != 0xD8) return nullptr;
    Decompressor d;
    JpegHeader header;
    if (!startDecoding(&d, data, &header)) return nullptr;
    const bool grey = header.components == 1;
    if (!(grey || (header.components == 3 && !header.cmyk) ||
          (header.components == 4 && header.cmyk))) {
        return nullptr;
    }
    ImagePtr image = PixelImage::create(static_cast<std::int32_t>(header.width),
                                        static_cast<std::int32_t>(header.height), grey ? 8 : 24);
    if (!image) return nullptr;
    std::vector<JSAMPLE> scratch;
    if (header.cmyk) {
        try {
            scratch.resize(static_cast<std::size_t>(header.width) * 4);
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
    }
    if (!decodeRows(&d, image.get(), scratch.data(), header.cmyk, header.adobeInverted)) {
        return nullptr;
    }
    if (grey) {
        auto& table = image->colorTable();
        for (int i = 0; i < 256; ++i) {
            const auto v = static_cast<std::uint8_t>(i);
            table[i] = PaletteEntry{v, v, v, 0};
        }
    }
    return image;
}

namespace {

class Compressor {
public:
    Compressor() {
        installSink(&sink_.manager);
        info_.err = &sink_.manager;
    }
    ~Compressor() {
        if (created_) jpeg_destroy_compress(&info_);
    }
    Compressor(const Compressor&) = delete;
    Compressor& operator=(const Compressor&) = delete;

    jpeg_compress_struct* info() { return &info_; }
    ErrorSink* sink() { return &sink_; }
    bool* created() { return &created_; }

private:
    ErrorSink sink_{};
    jpeg_compress_struct info_{};
    bool created_ = false;
};

bool encode(Compressor* c, const PixelImage& image, std::FILE* out, int quality, JSAMPROW scratch) {
    jpeg_compress_struct* info = c->info();
    if (setjmp(c->sink()->jump)) return false;
    jpeg_create_compress(info);
    *c->created() = true;
    jpeg_stdio_dest(info, out);
    info->image_width = static_cast<JDIMENSION>(image.width());
    info->image_height = static_cast<JDIMENSION>(image.height());
    info->input_components = 3;
    info->in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(info);
    jpeg_set_quality(info, quality, TRUE);
    if (quality >= 90) {
        // At high quality, halving the colour resolution would lose more than
        // the quantisation does (a one-pixel sprite outline changes colour),
        // so every component keeps every sample, as ImageMagick does.
        for (int i = 0; i < info->num_components; ++i) {
            info->comp_info[i].h_samp_factor = 1;
            info->comp_info[i].v_samp_factor = 1;
        }
    }
    jpeg_start_compress(info, TRUE);
    while (info->next_scanline < info->image_height) {
        // Alpha is dropped: JPEG has no place for it.
        const std::uint8_t* src = image.row(static_cast<std::int32_t>(info->next_scanline));
        for (std::int32_t x = 0; x < image.width(); ++x) {
            scratch[3 * x] = src[4 * x];
            scratch[3 * x + 1] = src[4 * x + 1];
            scratch[3 * x + 2] = src[4 * x + 2];
        }
        if (jpeg_write_scanlines(info, &scratch, 1) != 1) return false;
    }
    // The stdio destination checks its final flush and reports it as an error.
    jpeg_finish_compress(info);
    return true;
}

}  // namespace

bool writeJpeg(const PixelImage& image, std::FILE* out, int quality) {
    if (!out || image.bitDepth() != 32 || image.width() <= 0 || image.height() <= 0 ||
        image.width() > JPEG_MAX_DIMENSION || image.height() > JPEG_MAX_DIMENSION) {
        return false;
    }
    if (quality < 0) quality = 0;
    if (quality > 100) quality = 100;
    std::vector<JSAMPLE> scratch;
    try {
        scratch.resize(static_cast<std::size_t>(image.width()) * 3);
    } catch (const std::bad_alloc&) {
        return false;
    }
    Compressor c;
    return encode(&c, image, out, quality, scratch.data()) && !std::ferror(out);
}

}  // namespace tilvane::codecs
