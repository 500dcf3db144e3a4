// SPDX-License-Identifier: GPL-3.0-or-later
// libheif reads the file through callbacks on the descriptor, and only what it needs: the boxes that
// describe the pictures first, then each tile's data as it decodes it. A cancelled request fails the
// next read, and libheif gives up as on a damaged file. Tiles are decoded on the calling thread, one
// after another, so that the reads come from one thread and a cancel is seen at the next tile.
#include "heifpicture.h"
#include "metadata/photocontainer.h"
#include "picturedecoder.h"

#include <libheif/heif.h>

#include <QVector>

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
// declaration is read here, from the primary item's data, before anything is decoded.

quint64 bigEndian(const QByteArray& bytes, qint64 at, int size) {
    quint64 v = 0;
    for (int i = 0; i < size; ++i)
        v = (v << 8) | uchar(bytes[at + i]);
    return v;
}

// A box's payload within bytes[from, end): its type, payload start and end.
struct Box {
    QByteArray type;
    qint64 payload = 0;
    qint64 end = 0;
};

// The boxes of bytes[from, end), in order; stops at the first that does not fit.
QVector<Box> boxesIn(const QByteArray& bytes, qint64 from, qint64 end) {
    QVector<Box> boxes;
    while (from + 8 <= end) {
        qint64 size = qint64(bigEndian(bytes, from, 4));
        qint64 header = 8;
        if (size == 1) {
            if (from + 16 > end) break;
            size = qint64(bigEndian(bytes, from + 8, 8));
            header = 16;
        } else if (size == 0) {
            size = end - from;
        }
        if (size < header || size > end - from) break;
        boxes.append({bytes.mid(from + 4, 4), from + header, from + size});
        from += size;
    }
    return boxes;
}

// A cursor over a box's payload that refuses to read past its end.
struct Cursor {
    const QByteArray& bytes;
    qint64 at;
    qint64 end;
    bool ok = true;
    quint64 take(int size) {
        if (size == 0) return 0;
        if (!ok || at + size > end) {
            ok = false;
            return 0;
        }
        const quint64 v = bigEndian(bytes, at, size);
        at += size;
        return v;
    }
};

// The canvas size a grid or overlay item declares in its data (`data`, at least its first 24 bytes).
std::optional<QSize> canvasOf(const QByteArray& type, const QByteArray& data) {
    Cursor c{data, 0, data.size()};
    c.take(1); // version
    const bool wide = c.take(1) & 1;
    if (type == "grid")
        c.take(2); // rows and columns, less one
    else
        c.take(8); // the fill colour, four 16-bit channels
    const quint64 w = c.take(wide ? 4 : 2), h = c.take(wide ? 4 : 2);
    if (!c.ok || w > quint64(INT_MAX) || h > quint64(INT_MAX)) return QSize(INT_MAX, INT_MAX);
    return QSize(int(w), int(h));
}

// The meta box of a file is read whole when it is no larger than this (a phone's takes a few kB).
constexpr qint64 kMaxMetaBytes = 16 * 1024 * 1024;

// The canvas of the file's primary item when it is a grid or an overlay; nothing when it is not, or when
// the file's boxes cannot be walked (libheif then refuses the file itself).
std::optional<QSize> derivedCanvas(const FileSource& file) {
    const qint64 fileSize = file.size();
    // The top-level boxes, up to the meta box.
    qint64 at = 0;
    QByteArray meta;
    while (at + 8 <= fileSize) {
        const QByteArray head = file.read(at, 16);
        if (head.size() < 8) return std::nullopt;
        qint64 size = qint64(bigEndian(head, 0, 4));
        if (size == 1 && head.size() == 16) size = qint64(bigEndian(head, 8, 8));
        if (size == 0) size = fileSize - at;
        if (size < 8 || size > fileSize - at) return std::nullopt;
        if (head.mid(4, 4) == "meta") {
            if (size > kMaxMetaBytes) return std::nullopt;
            meta = file.read(at, size);
            break;
        }
        at += size;
    }
    if (meta.isEmpty()) return std::nullopt;
    const QVector<Box> top = boxesIn(meta, 0, meta.size());
    if (top.isEmpty()) return std::nullopt;
    // meta is a full box: its children follow version and flags.
    const QVector<Box> children = boxesIn(meta, top[0].payload + 4, top[0].end);

    quint64 primary = 0;
    bool primaryFound = false;
    QByteArray primaryType;
    const Box* iloc = nullptr;
    const Box* idat = nullptr;
    for (const Box& box : children) {
        if (box.type == "pitm") {
            Cursor c{meta, box.payload, box.end};
            const quint64 version = c.take(1);
            c.take(3);
            primary = c.take(version == 0 ? 2 : 4);
            primaryFound = c.ok;
        } else if (box.type == "iloc") {
            iloc = &box;
        } else if (box.type == "idat") {
            idat = &box;
        }
    }
    if (!primaryFound) return std::nullopt;
    for (const Box& box : children) {
        if (box.type != "iinf") continue;
        Cursor c{meta, box.payload, box.end};
        const quint64 version = c.take(1);
        c.take(3);
        c.take(version == 0 ? 2 : 4);
        if (!c.ok) return std::nullopt;
        for (const Box& infe : boxesIn(meta, c.at, box.end)) {
            if (infe.type != "infe") continue;
            Cursor e{meta, infe.payload, infe.end};
            const quint64 v = e.take(1);
            e.take(3);
            if (v < 2) continue;
            const quint64 id = e.take(v == 2 ? 2 : 4);
            e.take(2); // protection index
            e.take(4); // the item's type
            if (e.ok && id == primary) primaryType = meta.mid(e.at - 4, 4);
        }
    }
    if (primaryType != "grid" && primaryType != "iovl") return std::nullopt;
    // A derived item whose data cannot be found is refused: its canvas is unknown.
    const QSize unknown(INT_MAX, INT_MAX);
    if (!iloc) return unknown;
    Cursor c{meta, iloc->payload, iloc->end};
    const quint64 version = c.take(1);
    c.take(3);
    const quint64 sizes = c.take(2);
    const int offsetSize = int(sizes >> 12), lengthSize = int((sizes >> 8) & 15),
              baseSize = int((sizes >> 4) & 15);
    const int indexSize = version >= 1 ? int(sizes & 15) : 0;
    const quint64 count = c.take(version < 2 ? 2 : 4);
    for (quint64 i = 0; c.ok && i < count; ++i) {
        const quint64 id = c.take(version < 2 ? 2 : 4);
        const quint64 method = version >= 1 ? c.take(2) & 15 : 0;
        c.take(2); // data reference
        const quint64 base = c.take(baseSize);
        const quint64 extents = c.take(2);
        quint64 offset = 0, length = 0;
        for (quint64 e = 0; c.ok && e < extents; ++e) {
            c.take(indexSize);
            const quint64 o = c.take(offsetSize), l = c.take(lengthSize);
            if (e == 0) offset = o, length = l;
        }
        if (!c.ok) break;
        if (id != primary) continue;
        if (extents == 0 || offset > quint64(fileSize) || base > quint64(fileSize)) return unknown;
        const qint64 from = qint64(base + offset);
        const qint64 want = qint64(std::min<quint64>(length == 0 ? 24 : length, 24));
        QByteArray data;
        if (method == 0) {
            data = file.read(from, want);
        } else if (method == 1 && idat) {
            if (from >= idat->end - idat->payload) return unknown;
            data = meta.mid(idat->payload + from, std::min<qint64>(want, idat->end - idat->payload - from));
        } else {
            return unknown;
        }
        return canvasOf(primaryType, data);
    }
    return unknown;
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
