// SPDX-License-Identifier: GPL-3.0-or-later
// Decoding with libjpeg-turbo. libjpeg reports fatal errors through a callback that must not return;
// ours jumps back to the caller, which keeps all decoder state on the heap so that nothing the jump
// skips over needs destroying.
#include "jpegdecoder.h"
#include "files/jpeghead.h"
#include "files/regularfile.h"

#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QtGlobal>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

// The SSE2 filter scales pictures for showing; elsewhere, or built with VANTOREL_PORTABLE_SCALING
// (which CI tests too), Qt's smooth scaling does.
#if defined(__SSE2__) && !defined(VANTOREL_PORTABLE_SCALING)
#define VANTOREL_SSE2_SCALING 1
#include <emmintrin.h>
#else
#define VANTOREL_SSE2_SCALING 0
#endif

#include <jerror.h>
#include <jpeglib.h>

namespace vantorel {

namespace {

// Bytes read at a time. The header of a photo (with its EXIF block) usually fits in the small buffer;
// larger segments are skipped by seeking, not read.
constexpr std::size_t kHeaderBufferSize = 16 * 1024;
constexpr std::size_t kDecodeBufferSize = 64 * 1024;

// What the decoder spends on one 8x8 block, in units of about 15 ns of one desktop core (libjpeg-turbo
// 2.1, crafted files with little or no data behind a huge frame). Real data costs more, but a small
// file holds little of it; these bound what a file can make the decoder do without data.
constexpr int kSequentialBlockWork = 6;            // one-scan Huffman file: decoding and output
constexpr int kSequentialArithmeticBlockWork = 20; // one-scan arithmetic file
constexpr int kBufferedBlockWork = 12;             // multi-scan file: the coefficient buffer, the output pass
constexpr int kScanBlockWork = 1;                  // a progressive Huffman scan
constexpr int kRefiningScanBlockWork = 2;          // a progressive Huffman scan refining coefficients
constexpr int kSequentialScanBlockWork = 3;        // one scan of a multi-scan sequential Huffman file
constexpr int kArithmeticScanBlockWork = 16;       // a progressive arithmetic first scan
constexpr int kArithmeticSlowScanBlockWork = 32;   // an arithmetic refining or sequential scan
constexpr std::int64_t kBufferedBlockBytes = 64 * 2;

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] void jumpOnError(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

// Over a budget, or stopped by the caller: given up as a file that does not decode.
[[noreturn]] void refuse(j_common_ptr cinfo) {
    cinfo->err->error_exit(cinfo);
    std::abort(); // error_exit never returns
}

// Warnings (corrupt data, premature end of file) are counted, not printed: the picture is shown as well
// as it can be and the program reports nothing.
void countWarning(j_common_ptr cinfo, int level) {
    if (level < 0) ++cinfo->err->num_warnings;
}

void stayQuiet(j_common_ptr) {}

// A source reading a file descriptor in chunks at its own offset (the descriptor may be shared), after
// the bytes of the file's start already in memory when there are some.
struct FileSource {
    jpeg_source_mgr pub;
    int fd;
    JOCTET* buffer;
    std::size_t size;
    const JOCTET* prefix; // the file's first prefixSize bytes
    std::size_t prefixSize;
    off_t offset; // of the next byte to read
    bool startOfFile;
    bool ended; // nothing more is read
};

// Everything libjpeg touches, on the heap (see the note at the top). Reached from libjpeg's callbacks
// through client_data.
struct Decoder {
    jpeg_decompress_struct cinfo{};
    ErrorManager error{};
    FileSource source{};
    jpeg_progress_mgr progress{};
    std::vector<JOCTET> buffer;
    int fd = -1;
    bool ownsFd = true;
    QByteArray prefix;     // the file's start, already read
    bool inMemory = false; // the whole file is `prefix`, there is no descriptor
    bool created = false;
    QImage image;
    std::vector<JSAMPLE> cmykLines;
    std::vector<JSAMPLE> ring;                // rows decoded, for a picture filtered as it is decoded
    std::vector<std::pair<int, int>> columns; // where each column shown takes its pixels from

    const CancelFlag* cancel = nullptr;
    bool multiScan = false;
    int scanCounted = 0; // the last scan whose work is in `work`
    std::int64_t work = 0;
    std::int64_t readWithoutProgress = 0;

    ~Decoder() {
        if (created) jpeg_destroy_decompress(&cinfo);
        if (fd >= 0 && ownsFd) ::close(fd);
    }

    void start(std::size_t bufferSize);
    void budgetPicture();
};

Decoder& decoderOf(j_common_ptr cinfo) {
    return *static_cast<Decoder*>(cinfo->client_data);
}

bool cancelled(const Decoder& d) {
    return d.cancel && d.cancel->load(std::memory_order_relaxed);
}

std::int64_t scanBlocks(j_decompress_ptr c) {
    std::int64_t blocks = 0;
    for (int i = 0; i < c->comps_in_scan; ++i)
        blocks += std::int64_t(c->cur_comp_info[i]->width_in_blocks) * c->cur_comp_info[i]->height_in_blocks;
    return blocks;
}

int scanBlockWork(j_decompress_ptr c) {
    const bool refining = c->Ah > 0;
    if (c->arith_code)
        return c->progressive_mode && !(refining && c->Ss > 0) ? kArithmeticScanBlockWork
                                                               : kArithmeticSlowScanBlockWork;
    if (!c->progressive_mode) return kSequentialScanBlockWork;
    return refining ? kRefiningScanBlockWork : kScanBlockWork;
}

// Counts the scan the decoder has just reached, before any of its data is decoded.
void countScan(Decoder& d) {
    j_decompress_ptr c = &d.cinfo;
    if (c->input_scan_number == d.scanCounted) return;
    d.scanCounted = c->input_scan_number;
    if (d.scanCounted > kMaxScans) refuse(reinterpret_cast<j_common_ptr>(c));
    if (d.multiScan) d.work += scanBlocks(c) * scanBlockWork(c);
    if (d.work > kMaxDecodeWork) refuse(reinterpret_cast<j_common_ptr>(c));
}

// Called by libjpeg before each row of blocks it decodes and before each group of output rows.
void watchProgress(j_common_ptr cinfo) {
    Decoder& d = decoderOf(cinfo);
    if (cancelled(d)) refuse(cinfo);
    d.readWithoutProgress = 0;
    if (cinfo->is_decompressor) countScan(d);
}

// After the header: the whole picture's buffer and base work, then its first scan.
void Decoder::budgetPicture() {
    j_decompress_ptr c = &cinfo;
    multiScan = jpeg_has_multiple_scans(c);
    std::int64_t blocks = 0;
    for (int i = 0; i < c->num_components; ++i) {
        const jpeg_component_info& comp = c->comp_info[i];
        const auto roundUp = [](std::int64_t n, int m) { return m > 0 ? (n + m - 1) / m * m : n; };
        blocks += roundUp(comp.width_in_blocks, comp.h_samp_factor) *
                  roundUp(comp.height_in_blocks, comp.v_samp_factor);
    }
    if (multiScan) {
        if (blocks * kBufferedBlockBytes > kMaxDecoderMemory) refuse(reinterpret_cast<j_common_ptr>(c));
        work = blocks * kBufferedBlockWork;
    } else {
        work = blocks * (c->arith_code ? kSequentialArithmeticBlockWork : kSequentialBlockWork);
    }
    countScan(*this);
}

const JOCTET kFakeEoi[2] = {0xFF, JPEG_EOI};

boolean fillBuffer(j_decompress_ptr cinfo) {
    Decoder& d = decoderOf(reinterpret_cast<j_common_ptr>(cinfo));
    auto* src = reinterpret_cast<FileSource*>(cinfo->src);
    if (cancelled(d)) refuse(reinterpret_cast<j_common_ptr>(cinfo));
    // Padding or garbage that goes on without the decoder moving on is the end of the image data.
    if (d.readWithoutProgress > kMaxBytesWithoutProgress) src->ended = true;
    if (src->offset == 0 && src->prefixSize > 0) {
        d.readWithoutProgress += off_t(src->prefixSize);
        src->pub.next_input_byte = src->prefix;
        src->pub.bytes_in_buffer = src->prefixSize;
        src->offset = off_t(src->prefixSize);
        src->startOfFile = false;
        return TRUE;
    }
    ssize_t n = 0;
    if (!src->ended) {
        do
            n = ::pread(src->fd, src->buffer, src->size, src->offset);
        while (n < 0 && errno == EINTR);
        if (n > 0) src->offset += n;
    }
    if (n <= 0) {
        if (src->startOfFile) ERREXIT(cinfo, JERR_INPUT_EMPTY);
        // A truncated file ends with an invented end-of-image marker; libjpeg fills the rest of the picture.
        src->ended = true;
        WARNMS(cinfo, JWRN_JPEG_EOF);
        src->pub.next_input_byte = kFakeEoi;
        src->pub.bytes_in_buffer = 2;
        return TRUE;
    }
    d.readWithoutProgress += n;
    src->pub.next_input_byte = src->buffer;
    src->pub.bytes_in_buffer = std::size_t(n);
    src->startOfFile = false;
    return TRUE;
}

void skipData(j_decompress_ptr cinfo, long count) {
    if (count <= 0) return;
    auto* src = reinterpret_cast<FileSource*>(cinfo->src);
    const auto inBuffer = static_cast<long>(src->pub.bytes_in_buffer);
    if (count <= inBuffer) {
        src->pub.next_input_byte += count;
        src->pub.bytes_in_buffer -= static_cast<std::size_t>(count);
        return;
    }
    src->pub.bytes_in_buffer = 0;
    // Only regular files are read: skipping is moving the offset (past the end, the next read finds
    // the end of the file).
    src->offset += off_t(count - inBuffer);
}

void noOp(j_decompress_ptr) {}

// Called after setjmp: may jump.
void Decoder::start(std::size_t bufferSize) {
    cinfo.err = jpeg_std_error(&error.pub);
    error.pub.error_exit = jumpOnError;
    error.pub.emit_message = countWarning;
    error.pub.output_message = stayQuiet;
    jpeg_create_decompress(&cinfo);
    created = true;
    cinfo.client_data = this;
    cinfo.mem->max_memory_to_use = kMaxDecoderMemory;
    progress.progress_monitor = watchProgress;
    cinfo.progress = &progress;

    buffer.resize(bufferSize);
    source.pub.init_source = noOp;
    source.pub.fill_input_buffer = fillBuffer;
    source.pub.skip_input_data = skipData;
    source.pub.resync_to_restart = jpeg_resync_to_restart;
    source.pub.term_source = noOp;
    source.fd = fd;
    source.buffer = buffer.data();
    source.size = buffer.size();
    source.prefix = reinterpret_cast<const JOCTET*>(prefix.constData());
    source.prefixSize = std::size_t(prefix.size());
    source.offset = 0;
    source.startOfFile = true;
    source.ended = false;
    cinfo.src = &source.pub;
}

std::int64_t area(QSize s) {
    return std::int64_t(s.width()) * s.height();
}

// `natural` fitted into `box` keeping proportions, never thinner than one pixel.
QSize fitted(QSize natural, QSize box) {
    const QSize s = natural.scaled(box, Qt::KeepAspectRatio);
    return {std::max(1, s.width()), std::max(1, s.height())};
}

bool covers(QSize natural, int eighths, QSize target) {
    const std::int64_t w = (std::int64_t(natural.width()) * eighths + 7) / 8;
    const std::int64_t h = (std::int64_t(natural.height()) * eighths + 7) / 8;
    return w >= target.width() && h >= target.height();
}

// The smallest scale n/8 (n from 1 to maxNum) at which libjpeg's output covers `target`.
int coveringScale(QSize natural, QSize target, int maxNum) {
    for (int n = 1; n < maxNum; ++n)
        if (covers(natural, n, target)) return n;
    return maxNum;
}

void cmykToRgb32(const JSAMPLE* in, QRgb* out, int width, bool inverted) {
    for (int x = 0; x < width; ++x, in += 4) {
        // Adobe writes CMYK inverted (0 = full ink); others write it plainly.
        const int c = inverted ? in[0] : 255 - in[0];
        const int m = inverted ? in[1] : 255 - in[1];
        const int y = inverted ? in[2] : 255 - in[2];
        const int k = inverted ? in[3] : 255 - in[3];
        out[x] = qRgb(c * k / 255, m * k / 255, y * k / 255);
    }
}

// A picture of 32-bit pixels. A large one is given memory of its own in huge pages where the system
// allows them: a 24-megapixel decode otherwise spends more time in the kernel's page faults (one per
// 4 KB page, about 6,000) than libjpeg spends decoding at half size.
QImage newPicture(QSize size) {
    constexpr std::size_t kHugePage = 2 * 1024 * 1024;
    const std::size_t bytes =
        std::size_t(std::max(0, size.width())) * 4 * std::size_t(std::max(0, size.height()));
    if (bytes < 2 * kHugePage) return QImage(size, QImage::Format_RGB32);
    const std::size_t mapped = (bytes + kHugePage - 1) / kHugePage * kHugePage + kHugePage;
    void* area = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (area == MAP_FAILED) return QImage(size, QImage::Format_RGB32);
    // Aligned on a huge page, so that the kernel can back it with them.
    auto* start = static_cast<uchar*>(area);
    const std::size_t skip = (kHugePage - reinterpret_cast<std::uintptr_t>(start) % kHugePage) % kHugePage;
    ::madvise(start + skip, mapped - skip, MADV_HUGEPAGE);
    struct Mapping {
        void* area;
        std::size_t size;
    };
    auto* mapping = new Mapping{area, mapped};
    QImage image(
        start + skip, size.width(), size.height(), qsizetype(size.width()) * 4, QImage::Format_RGB32,
        [](void* info) {
            auto* m = static_cast<Mapping*>(info);
            ::munmap(m->area, m->size);
            delete m;
        },
        mapping);
    if (image.isNull()) {
        ::munmap(area, mapped);
        delete mapping;
    }
    return image;
}

// Halves the picture, each pixel the average of the 2x2 it replaces.
QImage halved(const QImage& image) {
    QImage half = newPicture(QSize(std::max(1, image.width() / 2), std::max(1, image.height() / 2)));
    if (half.isNull()) return {};
    const int lastX = image.width() - 1, lastY = image.height() - 1;
    for (int y = 0; y < half.height(); ++y) {
        const auto* a = reinterpret_cast<const QRgb*>(image.constScanLine(std::min(2 * y, lastY)));
        const auto* b = reinterpret_cast<const QRgb*>(image.constScanLine(std::min(2 * y + 1, lastY)));
        auto* out = reinterpret_cast<QRgb*>(half.scanLine(y));
        for (int x = 0; x < half.width(); ++x) {
            const int x0 = std::min(2 * x, lastX), x1 = std::min(2 * x + 1, lastX);
            // Each channel summed in its own byte lane: the four sums of 8 bits fit in 10.
            const quint64 sum =
                (a[x0] & 0xFF00FF) + (a[x1] & 0xFF00FF) + (b[x0] & 0xFF00FF) + (b[x1] & 0xFF00FF);
            const quint64 sumG = (a[x0] & 0xFF00) + (a[x1] & 0xFF00) + (b[x0] & 0xFF00) + (b[x1] & 0xFF00);
            out[x] = 0xFF000000u | quint32(((sum + 0x20002) >> 2) & 0xFF00FF) |
                     quint32(((sumG + 0x200) >> 2) & 0xFF00);
        }
    }
    return half;
}

// Where position `i` of `to` positions falls among `from` positions (the centres aligned, 2 <= from,
// to <= from): the position before it, at most from - 2, and the weight (0 to 256) of the one after.
std::pair<int, int> sourceOf(int i, int from, int to) {
    const double at = std::max(0.0, (i + 0.5) * from / to - 0.5);
    const int before = std::min(int(at), from - 2);
    return {before, std::min(256, int((at - before) * 256 + 0.5))};
}

#if VANTOREL_SSE2_SCALING
// Where each column shown takes its pixels from: the left one and the weight of the right one.
std::vector<std::pair<int, int>> sourceColumns(int from, int to) {
    std::vector<std::pair<int, int>> columns(static_cast<std::size_t>(to));
    for (int x = 0; x < to; ++x)
        columns[std::size_t(x)] = sourceOf(x, from, to);
    return columns;
}

// One row shown, filtered bilinearly from rows `a` and `b` (`down` of the way from a to b). Two pixels a
// row are read at once, every channel weighed in a 16-bit lane.
void filterRow(const uchar* a, const uchar* b, int down, const std::vector<std::pair<int, int>>& columns,
               quint32* row) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i keepY = _mm_set1_epi16(short(256 - down)), takeY = _mm_set1_epi16(short(down));
    for (std::size_t x = 0; x < columns.size(); ++x) {
        const auto [left, right] = columns[x];
        // Pixels left and left + 1 of both rows, each channel in 16 bits.
        const __m128i top =
            _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(a + 4 * left)), zero);
        const __m128i bottom =
            _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(b + 4 * left)), zero);
        const __m128i mixed =
            _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(top, keepY), _mm_mullo_epi16(bottom, takeY)), 8);
        const __m128i weights =
            _mm_set_epi16(short(right), short(right), short(right), short(right), short(256 - right),
                          short(256 - right), short(256 - right), short(256 - right));
        const __m128i weighed = _mm_mullo_epi16(mixed, weights);
        const __m128i sum = _mm_srli_epi16(_mm_add_epi16(weighed, _mm_srli_si128(weighed, 8)), 8);
        row[x] = quint32(_mm_cvtsi128_si32(_mm_packus_epi16(sum, zero))) | 0xFF000000u;
    }
}

// Filtered bilinearly from `image`, at most twice `target` a way and at least 2 x 2: each pixel shown
// lies over at most two source pixels a way.
QImage bilinearDown(const QImage& image, QSize target) {
    QImage out = newPicture(target);
    if (out.isNull()) return {};
    const auto columns = sourceColumns(image.width(), target.width());
    for (int y = 0; y < target.height(); ++y) {
        const auto [above, down] = sourceOf(y, image.height(), target.height());
        filterRow(image.constScanLine(above), image.constScanLine(above + 1), down, columns,
                  reinterpret_cast<quint32*>(out.scanLine(y)));
    }
    return out;
}

// Decodes into `d.image` (of `target` size) the picture of `output` size filtered as bilinearDown does,
// the rows decoded a batch at a time into a ring and filtered as soon as the two rows a row shown lies
// between are there: the whole decoded picture is never in memory. Called after setjmp: every buffer is
// the decoder's.
void decodeFiltered(Decoder& d, QSize output, QSize target) {
    constexpr int kBatch = 16;
    constexpr int kRing = 2 * kBatch; // a batch is read only once every row before the last kept is used
    const std::size_t stride = std::size_t(output.width()) * 4;
    d.ring.resize(stride * kRing);
    d.columns = sourceColumns(output.width(), target.width());
    const auto rowAt = [&](int row) { return d.ring.data() + stride * std::size_t(row % kRing); };
    int read = 0;
    int y = 0;
    for (; y < target.height(); ++y) {
        const auto [above, down] = sourceOf(y, output.height(), target.height());
        while (read <= above + 1) {
            JSAMPROW rows[kBatch];
            const int batch = std::min(kBatch, output.height() - read);
            for (int i = 0; i < batch; ++i)
                rows[i] = rowAt(read + i);
            const int got = int(jpeg_read_scanlines(&d.cinfo, rows, JDIMENSION(batch)));
            if (got <= 0) break;
            read += got;
        }
        if (read <= above + 1) break;
        filterRow(rowAt(above), rowAt(above + 1), down, d.columns,
                  reinterpret_cast<quint32*>(d.image.scanLine(y)));
    }
    // Rows libjpeg never gave (it fills a truncated file itself, so only after an error it survived).
    for (; y < target.height(); ++y)
        std::memcpy(d.image.scanLine(y), y > 0 ? d.image.constScanLine(y - 1) : d.ring.data(),
                    std::size_t(target.width()) * 4);
}

// True when a picture decoded at `output` is shown at `target` by bilinearDown's filter.
bool filteredOnce(QSize output, QSize target) {
    return output.width() >= 2 && output.height() >= 2 && target.width() <= output.width() &&
           target.height() <= output.height() && output.width() < 2 * target.width() &&
           output.height() < 2 * target.height() && output != target;
}
#endif

// Scaled once to `target`: halved by 2x2 averages while that stays at or above it, then filtered
// bilinearly, where each output pixel lies over at most two source pixels a way. This costs a fraction of
// Qt's smooth scaling, which also starts a pool of threads on first use.
QImage scaledOnce(QImage image, QSize target) {
    if (target.width() > image.width() || target.height() > image.height())
        return image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    while (!image.isNull() && image.width() >= 2 * target.width() && image.height() >= 2 * target.height())
        image = halved(image);
    if (image.isNull() || image.size() == target) return image;
#if VANTOREL_SSE2_SCALING
    if (image.width() >= 2 && image.height() >= 2 && image.format() == QImage::Format_RGB32)
        return bilinearDown(image, target);
#endif
    QImage scaled = newPicture(target);
    if (scaled.isNull()) return {};
    QPainter painter(&scaled);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRect(QPoint(0, 0), target), image);
    return scaled;
}

// How a picture of a given natural size is decoded: the DCT scale, the size handed back, and whether
// speed goes before the last bit of quality (a picture shown smaller than it was decoded).
struct Plan {
    int scaleEighths = 8;
    QSize target;
    bool fast = false;
};
using Planner = std::function<Plan(QSize natural)>;

// Where a decode reads: a file of its own, or a photo already opened whose head is in memory.
std::unique_ptr<Decoder> decoderFor(const QString& path) {
    auto d = std::make_unique<Decoder>();
    d->fd = openRegularFile(path);
    return d;
}

std::unique_ptr<Decoder> decoderFor(const OpenedPhoto& photo) {
    auto d = std::make_unique<Decoder>();
    d->fd = photo.fd();
    d->ownsFd = false;
    // The head is the file's own bytes only when nothing of it was left unread.
    if (photo.head().unread.isEmpty()) d->prefix = photo.head().bytes;
    return d;
}

// A file's bytes in memory: the source's reads after them find the end of the file.
std::unique_ptr<Decoder> decoderOfBytes(const QByteArray& bytes) {
    auto d = std::make_unique<Decoder>();
    d->prefix = bytes;
    d->ownsFd = false;
    d->inMemory = true;
    return d;
}

DecodedPicture decode(std::unique_ptr<Decoder> d, const Planner& planFor, const CancelFlag* cancel) {
    if (d->fd < 0 && !d->inMemory) return {};
    d->cancel = cancel;
    // The picture data is read from start to end (the head's reader may have told the kernel otherwise).
    if (d->fd >= 0) ::posix_fadvise(d->fd, 0, 0, POSIX_FADV_SEQUENTIAL);

    if (setjmp(d->error.jump)) return {};
    d->start(kDecodeBufferSize);
    jpeg_decompress_struct& cinfo = d->cinfo;
    jpeg_read_header(&cinfo, TRUE);

    const QSize natural(int(cinfo.image_width), int(cinfo.image_height));
    if (natural.isEmpty() || area(natural) > kMaxSourcePixels) return {};
    d->budgetPicture();

    const Plan plan = planFor(natural);
    if (plan.target.isEmpty()) return {};
    cinfo.scale_num = JDIMENSION(plan.scaleEighths);
    cinfo.scale_denom = 8;
    if (plan.fast) {
        cinfo.dct_method = JDCT_IFAST;
        cinfo.do_fancy_upsampling = FALSE;
        cinfo.do_block_smoothing = FALSE;
    }

    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    if (cmyk)
        cinfo.out_color_space = JCS_CMYK;
    else
        // QImage::Format_RGB32 is 0xffRRGGBB in native byte order; the alpha variants make libjpeg write
        // 0xff.
        cinfo.out_color_space = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? JCS_EXT_BGRA : JCS_EXT_ARGB;

    jpeg_calc_output_dimensions(&cinfo);
    const QSize output(int(cinfo.output_width), int(cinfo.output_height));
    if (output.isEmpty() || area(output) > kMaxOutputPixels || area(plan.target) > kMaxOutputPixels)
        return {};
#if VANTOREL_SSE2_SCALING
    // Shown a little smaller than decoded (the usual case): filtered while decoded.
    const bool filtered = !cmyk && filteredOnce(output, plan.target);
#else
    const bool filtered = false;
#endif
    d->image = newPicture(filtered ? plan.target : output);
    if (d->image.isNull()) return {};

    jpeg_start_decompress(&cinfo);
    const int width = output.width();
    if (cmyk) {
        const int lines = std::max(1, cinfo.rec_outbuf_height);
        d->cmykLines.resize(std::size_t(width) * 4 * std::size_t(lines));
        JSAMPROW rows[16];
        const int batch = std::min(lines, 16);
        for (int i = 0; i < batch; ++i)
            rows[i] = d->cmykLines.data() + std::size_t(width) * 4 * std::size_t(i);
        const bool inverted = cinfo.saw_Adobe_marker;
        while (cinfo.output_scanline < cinfo.output_height) {
            const int first = int(cinfo.output_scanline);
            const int got = int(jpeg_read_scanlines(&cinfo, rows, JDIMENSION(batch)));
            if (got <= 0) break;
            for (int i = 0; i < got; ++i)
                cmykToRgb32(rows[i], reinterpret_cast<QRgb*>(d->image.scanLine(first + i)), width, inverted);
        }
    } else if (filtered) {
#if VANTOREL_SSE2_SCALING
        decodeFiltered(*d, output, plan.target);
#endif
    } else {
        // Straight into the picture's rows.
        uchar* const bits = d->image.bits();
        const qsizetype stride = d->image.bytesPerLine();
        JSAMPROW rows[16];
        while (cinfo.output_scanline < cinfo.output_height) {
            const int first = int(cinfo.output_scanline);
            const int batch = std::min(16, output.height() - first);
            for (int i = 0; i < batch; ++i)
                rows[i] = bits + stride * (first + i);
            if (jpeg_read_scanlines(&cinfo, rows, JDIMENSION(batch)) == 0) break;
        }
    }
    // jpeg_finish_decompress would read on to the end of the file for nothing; the destructor aborts.
    if (cancelled(*d)) return {};

    DecodedPicture result{std::move(d->image), natural};
    if (result.image.size() != plan.target) result.image = scaledOnce(std::move(result.image), plan.target);
    return result;
}

} // namespace

int previewScaleEighths(QSize natural, QSize box) {
    return coveringScale(natural, fitted(natural, box), 16);
}

int showingScaleEighths(QSize natural, QSize shown) {
    for (int n : {1, 2, 4})
        if (covers(natural, n, shown)) return n;
    return 8;
}

namespace {

Planner previewPlan(QSize box) {
    return [box](QSize natural) {
        return Plan{previewScaleEighths(natural, box), fitted(natural, box), true};
    };
}

} // namespace

QImage decodePreview(const QString& path, QSize box, const CancelFlag* cancel) {
    if (box.isEmpty()) return {};
    return decode(decoderFor(path), previewPlan(box), cancel).image;
}

QImage decodePreview(const OpenedPhoto& photo, QSize box, const CancelFlag* cancel) {
    if (box.isEmpty()) return {};
    return decode(decoderFor(photo), previewPlan(box), cancel).image;
}

namespace {

Planner showingPlan(const std::function<QSize(QSize natural)>& shownSize) {
    return [&shownSize](QSize natural) {
        const QSize shown = shownSize(natural);
        const int scale = showingScaleEighths(natural, shown);
        return Plan{scale, shown, scale < 8};
    };
}

} // namespace

DecodedPicture decodeForShowing(const QString& path, const std::function<QSize(QSize natural)>& shownSize,
                                const CancelFlag* cancel) {
    return decode(decoderFor(path), showingPlan(shownSize), cancel);
}

QImage decodePreviewOfBytes(const QByteArray& jpeg, QSize box, const CancelFlag* cancel) {
    if (box.isEmpty() || jpeg.isEmpty()) return {};
    return decode(decoderOfBytes(jpeg), previewPlan(box), cancel).image;
}

DecodedPicture decodeBytesForShowing(const QByteArray& jpeg,
                                     const std::function<QSize(QSize natural)>& shownSize,
                                     const CancelFlag* cancel) {
    if (jpeg.isEmpty()) return {};
    return decode(decoderOfBytes(jpeg), showingPlan(shownSize), cancel);
}

QSize fittedSize(QSize natural, QSize box) {
    return fitted(natural, box);
}

QImage scaledPicture(QImage image, QSize target) {
    if (image.isNull() || target.isEmpty() || area(target) > kMaxOutputPixels) return {};
    if (image.format() != QImage::Format_RGB32) image = image.convertToFormat(QImage::Format_RGB32);
    if (image.isNull() || image.size() == target) return image;
    return scaledOnce(std::move(image), target);
}

std::optional<QSize> jpegSize(const QString& path) {
    const auto d = decoderFor(path);
    if (d->fd < 0) return std::nullopt;
    if (setjmp(d->error.jump)) return std::nullopt;
    d->start(kHeaderBufferSize);
    jpeg_read_header(&d->cinfo, TRUE);
    return QSize(int(d->cinfo.image_width), int(d->cinfo.image_height));
}

bool isJpgExtension(const QString& path) {
    const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot >= 0 && name.mid(dot).toUpper() == QLatin1String(".JPG");
}

} // namespace vantorel
