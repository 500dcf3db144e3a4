// SPDX-License-Identifier: GPL-3.0-or-later
// libheif reads the file through callbacks on the descriptor, and only what it needs: the boxes that
// describe the pictures first, then each tile's data as it decodes it. A cancelled request fails the
// next read, and libheif gives up as on a damaged file. Tiles are decoded on the calling thread, one
// after another, so that the reads come from one thread and a cancel is seen at the next tile.
#include "heifpicture.h"
#include "metadata/bmffboxes.h"
#include "metadata/photocontainer.h"
#include "picturedecoder.h"

#include <libheif/heif.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>

#include <sys/stat.h>
#include <unistd.h>

namespace vantorel {

namespace {

struct Reader {
    int fd = -1;
    std::int64_t size = 0;
    std::int64_t at = 0;
    const CancelFlag* cancel = nullptr;
};

Reader& readerOf(void* userdata) {
    return *static_cast<Reader*>(userdata);
}

int64_t positionOf(void* userdata) {
    return readerOf(userdata).at;
}

int readBytes(void* data, size_t size, void* userdata) {
    Reader& r = readerOf(userdata);
    if (r.cancel && r.cancel->load(std::memory_order_relaxed)) return -1;
    auto* out = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t n = ::pread(r.fd, out, size, off_t(r.at));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return -1;
        out += n;
        size -= std::size_t(n);
        r.at += n;
    }
    return 0;
}

int seekTo(int64_t position, void* userdata) {
    Reader& r = readerOf(userdata);
    if (position < 0 || position > r.size) return -1;
    r.at = position;
    return 0;
}

heif_reader_grow_status waitForSize(int64_t target, void* userdata) {
    return target > readerOf(userdata).size ? heif_reader_grow_status_size_beyond_eof
                                            : heif_reader_grow_status_size_reached;
}

const heif_reader kReader = {1, positionOf, readBytes, seekTo, waitForSize};

struct ContextFree {
    void operator()(heif_context* c) const { heif_context_free(c); }
};
struct HandleRelease {
    void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct ImageRelease {
    void operator()(heif_image* i) const { heif_image_release(i); }
};
struct OptionsFree {
    void operator()(heif_decoding_options* o) const { heif_decoding_options_free(o); }
};

// --- The canvas of a derived picture ---------------------------------------------------------------
// A grid or an overlay declares the size of the canvas its tiles are laid on, which libheif allocates
// whole, whatever the picture's announced size: 60 bytes of a grid could ask for gigabytes. Its
// declaration is read here, from the primary item's data (found by the box walker of the metadata
// readers), before anything is decoded.

quint64 bigEndian(const QByteArray& bytes, qint64 at, int size) {
    quint64 v = 0;
    for (int i = 0; i < size; ++i)
        v = (v << 8) | uchar(bytes[at + i]);
    return v;
}

// The canvas size a grid or overlay item declares at the start of its data; the largest size when the
// data is too short to say.
QSize canvasOf(quint32 type, const QByteArray& data) {
    const bool wide = data.size() > 1 && (uchar(data[1]) & 1);
    // Version and flags, then a grid's rows and columns less one, an overlay's fill colour (four 16-bit
    // channels), then width and height.
    const qint64 at = type == fourCC("grid") ? 4 : 10;
    const int size = wide ? 4 : 2;
    if (data.size() < at + 2 * size) return QSize(INT_MAX, INT_MAX);
    const quint64 w = bigEndian(data, at, size), h = bigEndian(data, at + size, size);
    return QSize(int(std::min<quint64>(w, INT_MAX)), int(std::min<quint64>(h, INT_MAX)));
}

// The canvas of the file's primary item when it is a grid or an overlay; nothing when it is neither.
// A file whose boxes cannot be walked, or a derived item whose data cannot be found, gets the largest
// canvas: it is refused.
std::optional<QSize> derivedCanvas(const FileSource& file) {
    const QSize unknown(INT_MAX, INT_MAX);
    const BmffFile parsed = parseBmff(file);
    if (!parsed.error.isEmpty() || !parsed.meta) return unknown;
    const BmffMeta& meta = *parsed.meta;
    if (!meta.primary) return unknown;
    const ItemInfo* info = meta.info(*meta.primary);
    if (!info) return unknown;
    if (info->type != fourCC("grid") && info->type != fourCC("iovl")) return std::nullopt;
    const auto ranges = itemRanges(meta, *meta.primary, file.size());
    if (!ranges) return unknown;
    constexpr qint64 kDeclaration = 18; // the longest: an overlay's with 32-bit sizes
    QByteArray data;
    for (const ByteRange& range : *ranges) {
        if (data.size() >= kDeclaration) break;
        data += file.read(range.offset, std::min<qint64>(range.size, kDeclaration - data.size()));
    }
    return canvasOf(info->type, data);
}

// The most memory a pixel takes while decoding: the coded planes (three samples of one byte, or two
// above 8 bits, at most: 4:4:4), their RGB conversion (3 bytes) and our copy (4 bytes).
std::int64_t bytesPerPixel(const heif_image_handle* handle) {
    const std::int64_t sample = heif_image_handle_get_luma_bits_per_pixel(handle) > 8 ? 2 : 1;
    return 3 * sample + 3 + 4;
}

} // namespace

QImage decodeHeif(int fd, const CancelFlag* cancel) {
    static std::once_flag once;
    std::call_once(once, [] { heif_init(nullptr); });
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) return {};
    Reader reader{fd, std::int64_t(st.st_size), 0, cancel};

    const std::unique_ptr<heif_context, ContextFree> context(heif_context_alloc());
    if (!context) return {};
    heif_context_set_max_decoding_threads(context.get(), 0);
    if (heif_context_read_from_reader(context.get(), &kReader, &reader, nullptr).code != heif_error_Ok)
        return {};
    heif_image_handle* handleOut = nullptr;
    if (heif_context_get_primary_image_handle(context.get(), &handleOut).code != heif_error_Ok) return {};
    const std::unique_ptr<heif_image_handle, HandleRelease> handle(handleOut);

    // The size as shown, after the turn.
    const std::int64_t width = heif_image_handle_get_width(handle.get());
    const std::int64_t height = heif_image_handle_get_height(handle.get());
    const std::int64_t pixelBytes = bytesPerPixel(handle.get());
    const auto withinBudget = [pixelBytes](std::int64_t w, std::int64_t h) {
        return w > 0 && h > 0 && w * h <= kMaxWholePicturePixels &&
               w * h * pixelBytes <= kMaxWholePictureMemory;
    };
    if (!withinBudget(width, height)) return {};
    if (const auto canvas = derivedCanvas(FileSource(fd));
        canvas && !withinBudget(canvas->width(), canvas->height()))
        return {};

    const std::unique_ptr<heif_decoding_options, OptionsFree> options(heif_decoding_options_alloc());
    if (!options) return {};
    options->convert_hdr_to_8bit = 1;
    heif_image* imageOut = nullptr;
    if (heif_decode_image(handle.get(), &imageOut, heif_colorspace_RGB, heif_chroma_interleaved_RGB,
                          options.get())
            .code != heif_error_Ok)
        return {};
    const std::unique_ptr<heif_image, ImageRelease> decoded(imageOut);
    if (cancel && cancel->load(std::memory_order_relaxed)) return {};

    const int w = heif_image_get_width(decoded.get(), heif_channel_interleaved);
    const int h = heif_image_get_height(decoded.get(), heif_channel_interleaved);
    int stride = 0;
    const uint8_t* pixels = heif_image_get_plane_readonly(decoded.get(), heif_channel_interleaved, &stride);
    // Cropping may make the picture smaller than announced, never larger.
    if (!pixels || w <= 0 || h <= 0 || w > width || h > height || stride < 3 * w) return {};
    QImage image(w, h, QImage::Format_RGB32);
    if (image.isNull()) return {};
    for (int y = 0; y < h; ++y) {
        const uint8_t* in = pixels + std::ptrdiff_t(stride) * y;
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x, in += 3)
            out[x] = qRgb(in[0], in[1], in[2]);
    }
    return image;
}

} // namespace vantorel
