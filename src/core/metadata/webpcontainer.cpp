// SPDX-License-Identifier: GPL-3.0-or-later
// WebP: a RIFF file of chunks; Exif in the "EXIF" chunk (a TIFF block, after "Exif\0\0" for some
// writers), XMP in the "XMP " chunk, both announced by the VP8X header's flags. A copy replaces,
// adds or removes those chunks, sets the flags and the RIFF size; a simple file (one "VP8 " or
// "VP8L" chunk) that gains metadata gains a VP8X header first. Every other chunk stays byte for byte.
#include "photocontainer.h"

#include <algorithm>

namespace vantorel {

namespace {

constexpr qint64 kRiffHeader = 12;
constexpr qint64 kMaxChunks = 100000;

quint32 le32(const QByteArray& b, qint64 at) {
    return quint32(uchar(b[at])) | (quint32(uchar(b[at + 1])) << 8) | (quint32(uchar(b[at + 2])) << 16) |
           (quint32(uchar(b[at + 3])) << 24);
}
quint32 le24(const QByteArray& b, qint64 at) {
    return quint32(uchar(b[at])) | (quint32(uchar(b[at + 1])) << 8) | (quint32(uchar(b[at + 2])) << 16);
}

struct Chunk {
    qint64 offset = 0; // of its four-character code
    quint32 size = 0;  // of its data, without the pad byte
    QByteArray fourcc;
    qint64 dataOffset() const { return offset + 8; }
    qint64 end() const { return offset + 8 + size + (size & 1); }
};

// The chunks within the RIFF size; false when one runs beyond it or beyond the file. A missing
// pad byte after the last chunk is tolerated.
bool walkChunks(const ByteSource& source, QVector<Chunk>& out, qint64& riffEnd) {
    const QByteArray header = source.read(0, kRiffHeader);
    if (header.size() != kRiffHeader || !header.startsWith("RIFF") || header.mid(8, 4) != "WEBP")
        return false;
    riffEnd = 8 + qint64(le32(header, 4));
    if (riffEnd > source.size() || riffEnd < kRiffHeader) return false;
    qint64 at = kRiffHeader;
    while (at + 8 <= riffEnd && out.size() < kMaxChunks) {
        const QByteArray head = source.read(at, 8);
        if (head.size() != 8) return false;
        Chunk c;
        c.offset = at;
        c.fourcc = head.left(4);
        c.size = le32(head, 4);
        if (c.dataOffset() + c.size > riffEnd) return false;
        out.append(c);
        at = c.end();
    }
    return !out.isEmpty();
}

std::optional<QSize> frameSize(const ByteSource& source, const Chunk& c) {
    if (c.fourcc == "VP8X" && c.size >= 10) {
        const QByteArray d = source.read(c.dataOffset(), 10);
        return QSize(int(le24(d, 4)) + 1, int(le24(d, 7)) + 1);
    }
    if (c.fourcc == "VP8 " && c.size >= 10) {
        // A key frame: frame tag (3 bytes), start code 9d 01 2a, 14-bit width and height.
        const QByteArray d = source.read(c.dataOffset(), 10);
        if ((uchar(d[0]) & 1) != 0 || d.mid(3, 3) != QByteArray("\x9D\x01\x2A", 3)) return std::nullopt;
        const int w = (uchar(d[6]) | (uchar(d[7]) << 8)) & 0x3FFF,
                  h = (uchar(d[8]) | (uchar(d[9]) << 8)) & 0x3FFF;
        if (w && h) return QSize(w, h);
        return std::nullopt;
    }
    if (c.fourcc == "VP8L" && c.size >= 5) {
        const QByteArray d = source.read(c.dataOffset(), 5);
        if (uchar(d[0]) != 0x2F) return std::nullopt;
        const quint32 bits = le32(d, 1);
        return QSize(int(bits & 0x3FFF) + 1, int((bits >> 14) & 0x3FFF) + 1);
    }
    return std::nullopt;
}

// "XMP ", and "XMP\0" as some converters name it (readers that know them take it too).
bool isXmpChunk(const QByteArray& fourcc) {
    return fourcc == "XMP " || fourcc == QByteArray("XMP\0", 4);
}

bool isTiffHeader(const QByteArray& b) {
    return b.startsWith(QByteArray("II*\0", 4)) || b.startsWith(QByteArray("MM\0*", 4));
}

constexpr uchar kAlphaFlag = 0x10;
constexpr uchar kExifFlag = 0x08;
constexpr uchar kXmpFlag = 0x04;

QByteArray chunkBytes(const QByteArray& fourcc, const QByteArray& data) {
    QByteArray c = fourcc;
    for (int i = 0; i < 4; ++i)
        c.append(char((data.size() >> (8 * i)) & 0xFF));
    c += data;
    if (data.size() % 2) c.append('\0');
    return c;
}

class WebpContainer final : public PhotoContainer {
public:
    ContainerKind kind() const override { return ContainerKind::WebP; }

    ContainerLayout layout(const ByteSource& source) const override {
        ContainerLayout layout;
        QVector<Chunk> chunks;
        qint64 riffEnd = 0;
        if (!walkChunks(source, chunks, riffEnd)) {
            layout.error = QStringLiteral("structure WebP illisible");
            return layout;
        }
        for (const Chunk& c : chunks) {
            if (!layout.pixelSize && (c.fourcc == "VP8X" || c.fourcc == "VP8 " || c.fourcc == "VP8L"))
                layout.pixelSize = frameSize(source, c);
            if (c.fourcc == "EXIF" && c.size >= 8) {
                const QByteArray start = source.read(c.dataOffset(), 14);
                if (isTiffHeader(start))
                    layout.exif.append({c.dataOffset(), c.size});
                else if (start.startsWith(QByteArray("Exif\0\0", 6)) && isTiffHeader(start.mid(6)))
                    layout.exif.append({c.dataOffset() + 6, c.size - 6});
            } else if (isXmpChunk(c.fourcc) && c.size > 0) {
                layout.xmp.append({c.dataOffset(), c.size});
            }
        }
        return layout;
    }

    ContainerPlan plan(const QByteArray& file, const BlockEditor& editor) const override {
        ContainerPlan plan;
        const auto fail = [&](const QString& why) {
            plan.error = why;
            plan.changes.clear();
            return plan;
        };
        const MemorySource source(file);
        QVector<Chunk> chunks;
        qint64 riffEnd = 0;
        if (!walkChunks(source, chunks, riffEnd)) return fail(QStringLiteral("structure WebP illisible"));
        const auto dataOf = [&](const Chunk& c) { return file.mid(c.dataOffset(), c.size); };
        QString error;
        bool hasExif = false, hasXmp = false;
        qint64 firstXmp = -1;
        for (const Chunk& c : chunks) {
            if (c.fourcc == "XMP " && firstXmp < 0) firstXmp = c.offset;
        }
        for (const Chunk& c : chunks) {
            if (c.fourcc == "EXIF") {
                const QByteArray data = dataOf(c);
                const QByteArray prefix =
                    data.startsWith(QByteArray("Exif\0\0", 6)) ? data.left(6) : QByteArray();
                const QByteArray tiff = data.mid(prefix.size());
                if (!isTiffHeader(tiff)) return fail(QStringLiteral("bloc Exif illisible"));
                std::optional<QByteArray> edited = tiff;
                if (editor.exif) edited = editor.exif(tiff, error);
                if (!edited) return fail(error);
                if (edited->isEmpty()) {
                    plan.changes.append({c.offset, c.end() - c.offset, {}});
                    continue;
                }
                hasExif = true;
                if (*edited != tiff)
                    plan.changes.append({c.offset, c.end() - c.offset, chunkBytes("EXIF", prefix + *edited)});
            } else if (isXmpChunk(c.fourcc)) {
                const QByteArray packet = dataOf(c);
                std::optional<QByteArray> edited = packet;
                if (editor.xmp) edited = editor.xmp(packet, error);
                if (!edited) return fail(error);
                if (c.fourcc == "XMP ") hasXmp = hasXmp || !edited->isEmpty();
                if (*edited != packet)
                    plan.changes.append({c.offset, c.end() - c.offset,
                                         edited->isEmpty() ? QByteArray() : chunkBytes(c.fourcc, *edited)});
            }
        }
        // A new Exif chunk goes after the picture's chunks, before the XMP one.
        if (!hasExif && editor.exif) {
            const auto created = editor.exif(QByteArray(), error);
            if (!created) return fail(error);
            if (!created->isEmpty()) {
                QByteArray chunk = chunkBytes("EXIF", *created);
                const Chunk& last = chunks.back();
                // After the last chunk walked: stray bytes too few for a chunk may lie between it
                // and the RIFF end, and a chunk after them would not be walked.
                const qint64 at = firstXmp >= 0 ? firstXmp : std::min(last.end(), riffEnd);
                // The last chunk of an odd size without its pad byte gets one first.
                if (at == riffEnd && last.end() > riffEnd) chunk.prepend('\0');
                plan.changes.append({at, 0, chunk});
                hasExif = true;
            }
        }

        // The extended header announces what the file holds; a simple file gains one.
        const Chunk& first = chunks.front();
        if (first.fourcc == "VP8X") {
            if (first.size < 10) return fail(QStringLiteral("structure WebP illisible"));
            const uchar flags = uchar(file[first.dataOffset()]);
            const uchar wanted = uchar((flags & ~(kExifFlag | kXmpFlag)) | (hasExif ? kExifFlag : 0) |
                                       (hasXmp ? kXmpFlag : 0));
            if (wanted != flags) plan.changes.append({first.dataOffset(), 1, QByteArray(1, char(wanted))});
        } else if (hasExif || hasXmp) {
            if (first.fourcc != "VP8 " && first.fourcc != "VP8L")
                return fail(QStringLiteral("structure WebP illisible"));
            const auto size = frameSize(source, first);
            if (!size) return fail(QStringLiteral("structure WebP illisible"));
            uchar flags = uchar((hasExif ? kExifFlag : 0) | (hasXmp ? kXmpFlag : 0));
            // A lossless picture states whether it uses its alpha channel.
            if (first.fourcc == "VP8L" && (uchar(file[first.dataOffset() + 4]) & 0x10)) flags |= kAlphaFlag;
            QByteArray header(10, '\0');
            header[0] = char(flags);
            for (int i = 0; i < 3; ++i) {
                header[4 + i] = char(((size->width() - 1) >> (8 * i)) & 0xFF);
                header[7 + i] = char(((size->height() - 1) >> (8 * i)) & 0xFF);
            }
            plan.changes.append({kRiffHeader, 0, chunkBytes("VP8X", header)});
        }
        if (plan.changes.isEmpty()) return plan;

        // The RIFF size follows the chunks.
        qint64 delta = 0;
        for (const SegmentChange& c : plan.changes)
            delta += c.segment.size() - c.replacedSize;
        const qint64 riffSize = riffEnd - 8 + delta;
        if (riffSize > 0xFFFFFFF0LL) return fail(QStringLiteral("fichier WebP trop grand"));
        QByteArray sizeBytes(4, '\0');
        for (int i = 0; i < 4; ++i)
            sizeBytes[i] = char((riffSize >> (8 * i)) & 0xFF);
        plan.changes.append({4, 4, sizeBytes});
        std::stable_sort(
            plan.changes.begin(), plan.changes.end(), [](const SegmentChange& a, const SegmentChange& b) {
                return a.offset < b.offset || (a.offset == b.offset && a.replacedSize < b.replacedSize);
            });
        // Insertions at one place (a new header, a new Exif chunk) are joined.
        QVector<SegmentChange> joined;
        for (const SegmentChange& c : plan.changes) {
            if (!joined.isEmpty() && joined.back().offset == c.offset && joined.back().replacedSize == 0) {
                joined.back().segment += c.segment;
                joined.back().replacedSize = c.replacedSize;
            } else {
                joined.append(c);
            }
        }
        plan.changes = joined;
        return plan;
    }
};

} // namespace

const PhotoContainer& webpContainer() {
    static const WebpContainer container;
    return container;
}

} // namespace vantorel
