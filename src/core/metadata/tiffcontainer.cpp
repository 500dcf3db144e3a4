// SPDX-License-Identifier: GPL-3.0-or-later
// TIFF and the camera files built on it (DNG, CR2, NEF, ARW, ORF, PEF, RW2...): the whole file is
// one TIFF block. A copy is never rewritten: the GPS directory editor changes pointers and
// values in place and appends what grows at the end of the block, which is the end of the file,
// so the picture data, the maker notes and everything else at an absolute offset stay put.
#include "photocontainer.h"

#include "propertyitem.h"
#include "tiffblock.h"

#include <algorithm>
#include <cstring>

namespace vantorel {

namespace {

constexpr quint16 kNewSubfileType = 0x00FE;
constexpr quint16 kImageWidth = 0x0100;
constexpr quint16 kImageLength = 0x0101;
constexpr quint16 kStripOffsets = 0x0111;
constexpr quint16 kStripByteCounts = 0x0117;
constexpr quint16 kXmpTag = 0x02BC;
constexpr quint16 kTileOffsets = 0x0144;
constexpr quint16 kTileByteCounts = 0x0145;
constexpr quint16 kSubIfds = 0x014A;
constexpr quint16 kJpegOffset = 0x0201;
constexpr quint16 kJpegLength = 0x0202;
constexpr int kMaxDirectoryEntries = 4096;
constexpr int kMaxDirectories = 64;
constexpr quint32 kMaxValues = 1 << 20;

// A file-level reader of directories through a ByteSource: only the tables and the few values it
// needs are read, so that a reader of a large RAW file touches a few kilobytes.
class TiffFile {
public:
    explicit TiffFile(const ByteSource& source, bool big) : m_source(source), m_big(big) {}

    quint32 u32(const QByteArray& b, qint64 at) const {
        const auto* p = reinterpret_cast<const uchar*>(b.constData()) + at;
        return m_big ? (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | p[3]
                     : quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24);
    }
    quint16 u16(const QByteArray& b, qint64 at) const {
        const auto* p = reinterpret_cast<const uchar*>(b.constData()) + at;
        return m_big ? quint16((p[0] << 8) | p[1]) : quint16(p[0] | (p[1] << 8));
    }

    struct Directory {
        QVector<TiffEntry> entries;
        QByteArray table; // the entries' bytes, from the count on
        qint64 offset = 0;
        quint32 next = 0;
        const TiffEntry* find(quint16 tag) const {
            for (const TiffEntry& e : entries)
                if (e.tag == tag) return &e;
            return nullptr;
        }
    };

    std::optional<Directory> directory(qint64 offset) const {
        if (offset < 8 || offset + 2 > m_source.size()) return std::nullopt;
        const QByteArray countBytes = m_source.read(offset, 2);
        if (countBytes.size() != 2) return std::nullopt;
        const int count = u16(countBytes, 0);
        if (count == 0 || count > kMaxDirectoryEntries) return std::nullopt;
        Directory dir;
        dir.offset = offset;
        dir.table = m_source.read(offset, 2 + qint64(count) * 12 + 4);
        const int inside = int(std::min<qint64>(count, (dir.table.size() - 2) / 12));
        for (int k = 0; k < inside; ++k) {
            TiffEntry e;
            e.at = offset + 2 + qint64(k) * 12;
            const qint64 local = 2 + qint64(k) * 12;
            e.tag = u16(dir.table, local);
            e.type = u16(dir.table, local + 2);
            e.count = u32(dir.table, local + 4);
            if (const int unit = tiffUnitSize(e.type)) {
                e.valueSize = qint64(e.count) * unit;
                e.valueAt = e.valueSize <= 4 ? e.at + 8 : qint64(u32(dir.table, local + 8));
            }
            dir.entries.append(e);
        }
        if (dir.table.size() == 2 + qint64(count) * 12 + 4) dir.next = u32(dir.table, 2 + qint64(count) * 12);
        return dir;
    }

    // The unsigned numbers of a SHORT, LONG or IFD entry (at most kMaxValues of them).
    QVector<quint32> numbers(const TiffEntry& e) const {
        QVector<quint32> out;
        if (e.type != TypeShort && e.type != TypeLong && e.type != kTypeIfd) return out;
        if (e.count == 0 || e.count > kMaxValues) return out;
        const QByteArray bytes = m_source.read(e.valueAt, e.valueSize);
        if (bytes.size() != e.valueSize) return out;
        const int unit = tiffUnitSize(e.type);
        out.reserve(int(e.count));
        for (qint64 at = 0; at + unit <= bytes.size(); at += unit)
            out.append(unit == 2 ? u16(bytes, at) : u32(bytes, at));
        return out;
    }
    std::optional<quint32> number(const Directory& dir, quint16 tag) const {
        const TiffEntry* e = dir.find(tag);
        if (!e || e->count != 1) return std::nullopt;
        const QVector<quint32> v = numbers(*e);
        if (v.size() != 1) return std::nullopt;
        return v.front();
    }

private:
    const ByteSource& m_source;
    bool m_big = false;
};

struct Header {
    bool ok = false;
    bool big = false;
    bool bigTiff = false;
    bool panasonic = false;
    quint32 first = 0;
};

Header readHeader(const QByteArray& h) {
    Header out;
    if (h.size() < 8) return out;
    const QByteArray magic = h.left(4);
    if (magic == QByteArray("II+\0", 4) || magic == QByteArray("MM\0+", 4)) {
        out.bigTiff = true;
        return out;
    }
    if (magic == QByteArray("II*\0", 4) || magic == "IIRO" || magic == "IIRS" ||
        magic == QByteArray("IIU\0", 4)) {
        out.ok = true;
        out.panasonic = magic == QByteArray("IIU\0", 4);
        out.first = quint32(uchar(h[4])) | (quint32(uchar(h[5])) << 8) | (quint32(uchar(h[6])) << 16) |
                    (quint32(uchar(h[7])) << 24);
    } else if (magic == QByteArray("MM\0*", 4) || magic == "MMOR") {
        out.ok = out.big = true;
        out.first = (quint32(uchar(h[4])) << 24) | (quint32(uchar(h[5])) << 16) |
                    (quint32(uchar(h[6])) << 8) | quint32(uchar(h[7]));
    }
    return out;
}

const QString kBigTiff = QStringLiteral("BigTIFF non pris en charge");
const QString kUnreadable = QStringLiteral("structure TIFF illisible");

// The main picture's size: the first full-resolution picture (NewSubfileType 0 or absent) among
// the main directory and its sub-directories, the largest when several are; the main directory's
// when none is full-resolution.
std::optional<QSize> mainPictureSize(const TiffFile& file, const TiffFile::Directory& ifd0, bool panasonic) {
    const auto sizeOf = [&](const TiffFile::Directory& dir) -> std::optional<QSize> {
        const auto w = file.number(dir, kImageWidth), h = file.number(dir, kImageLength);
        if (w && h && *w > 0 && *h > 0 && *w <= 1000000 && *h <= 1000000) return QSize(int(*w), int(*h));
        if (panasonic) {
            // The sensor's borders: top, left, bottom, right.
            const auto t = file.number(dir, 4), l = file.number(dir, 5), b = file.number(dir, 6),
                       r = file.number(dir, 7);
            if (t && l && b && r && *b > *t && *r > *l && *r - *l <= 1000000 && *b - *t <= 1000000)
                return QSize(int(*r - *l), int(*b - *t));
        }
        return std::nullopt;
    };
    const auto fullResolution = [&](const TiffFile::Directory& dir) {
        const auto type = file.number(dir, kNewSubfileType);
        return !type || (*type & 1) == 0;
    };
    std::optional<QSize> best;
    const auto consider = [&](const TiffFile::Directory& dir) {
        if (!fullResolution(dir)) return;
        const auto size = sizeOf(dir);
        if (size &&
            (!best || qint64(size->width()) * size->height() > qint64(best->width()) * best->height()))
            best = size;
    };
    consider(ifd0);
    if (const TiffEntry* sub = ifd0.find(kSubIfds)) {
        QVector<quint32> offsets = file.numbers(*sub);
        if (offsets.size() > 16) offsets.resize(16);
        for (quint32 at : offsets)
            if (const auto dir = file.directory(at)) consider(*dir);
    }
    return best ? best : sizeOf(ifd0);
}

class TiffContainer final : public PhotoContainer {
public:
    ContainerKind kind() const override { return ContainerKind::Tiff; }

    ContainerLayout layout(const ByteSource& source) const override {
        ContainerLayout layout;
        const Header header = readHeader(source.read(0, 8));
        if (header.bigTiff) {
            layout.error = kBigTiff;
            return layout;
        }
        if (!header.ok) {
            layout.error = kUnreadable;
            return layout;
        }
        const TiffFile file(source, header.big);
        const auto ifd0 = file.directory(header.first);
        if (!ifd0) {
            layout.error = kUnreadable;
            return layout;
        }
        layout.exif.append({0, source.size()});
        if (const TiffEntry* xmp = ifd0->find(kXmpTag))
            if ((xmp->type == TypeByte || xmp->type == TypeUndefined) && xmp->valueSize > 4 &&
                xmp->valueAt + xmp->valueSize <= source.size())
                layout.xmp.append({xmp->valueAt, xmp->valueSize});
        layout.pixelSize = mainPictureSize(file, *ifd0, header.panasonic);
        return layout;
    }

    ContainerPlan plan(const QByteArray& file, const BlockEditor& editor) const override {
        ContainerPlan plan;
        const auto fail = [&](const QString& why) {
            plan.error = why;
            plan.changes.clear();
            return plan;
        };
        const Header header = readHeader(file.left(8));
        if (header.bigTiff) return fail(kBigTiff);
        if (!header.ok || !TiffBlock::parse(file)) return fail(kUnreadable);
        QByteArray edited = file;
        if (editor.exif) {
            QString error;
            const auto block = editor.exif(file, error);
            if (!block) return fail(error.isEmpty() ? kUnreadable : error);
            edited = *block;
        }
        QByteArray tail; // appended after `edited` (kept apart: no copy of a large file to grow it)
        if (editor.xmp) {
            const QString error = editXmp(edited, tail, file.size(), editor);
            if (!error.isEmpty()) return fail(error);
        }
        // The block editor changes bytes in place and appends: nothing it gives may be shorter,
        // and no byte of a picture's data may change.
        if (edited.size() < file.size() || !readHeader(edited.left(8)).ok) return fail(kUnreadable);
        plan.changes = splices(file, edited);
        if (!tail.isEmpty()) {
            if (!plan.changes.isEmpty() && plan.changes.back().offset == file.size())
                plan.changes.back().segment += tail;
            else
                plan.changes.append({file.size(), 0, tail});
        }
        const QVector<ByteRange> pictures = pictureData(file);
        for (const SegmentChange& c : plan.changes)
            for (const ByteRange& p : pictures)
                if (c.replacedSize > 0 && c.offset < p.offset + p.size &&
                    p.offset < c.offset + c.replacedSize)
                    return fail(QStringLiteral("le répertoire GPS empiète sur les données de l'image"));
        return plan;
    }

private:
    // The main directory's XMP packet (tag 700) given to the XMP editor: rewritten in its place
    // when the new packet fits there (padded with spaces, as packets are), otherwise appended at
    // the end (in `tail`, after `tiffBytes`) and the entry pointed at it, the old packet zeroed.
    // `originalSize` is the source's.
    static QString editXmp(QByteArray& tiffBytes, QByteArray& tail, qint64 originalSize,
                           const BlockEditor& editor) {
        TiffEntry e;
        bool big = false;
        {
            // Read through a block that shares the bytes, let go before they change (no copy).
            const auto tiff = TiffBlock::parse(tiffBytes);
            if (!tiff) return kUnreadable;
            const auto ifd0 = tiff->directory(tiff->firstDirectory());
            if (!ifd0) return kUnreadable;
            const QVector<int> xmpEntries = ifd0->indexesOf(kXmpTag);
            if (xmpEntries.size() > 1) return QStringLiteral("plusieurs paquets XMP");
            if (xmpEntries.isEmpty()) return {};
            e = ifd0->entries[xmpEntries.front()];
            if ((e.type != TypeByte && e.type != TypeUndefined) || !tiff->valueInside(e)) return {};
            big = tiff->bigEndian();
        }
        const QByteArray packet = tiffBytes.mid(e.valueAt, e.valueSize);
        QString error;
        const auto rewritten = editor.xmp(packet, error);
        if (!rewritten) return error.isEmpty() ? QStringLiteral("paquet XMP illisible") : error;
        if (*rewritten == packet) return {};
        if (rewritten->size() <= packet.size() && e.valueSize > 4) {
            tiffBytes.replace(e.valueAt, packet.size(), padded(*rewritten, packet.size()));
            return {};
        }
        if (e.valueAt + e.valueSize > originalSize && !e.valueInEntry())
            return QStringLiteral("paquet XMP illisible"); // never a value the editor just appended
        const auto encode32 = [big](quint32 v) {
            QByteArray o(4, '\0');
            for (int i = 0; i < 4; ++i)
                o[big ? 3 - i : i] = char((v >> (8 * i)) & 0xFF);
            return o;
        };
        // Appended on a word boundary, as the block editor appends.
        if (tiffBytes.size() % 2) tail.append('\0');
        const qint64 at = tiffBytes.size() + tail.size();
        tail += *rewritten;
        const QByteArray type = big ? QByteArray("\0\7", 2) : QByteArray("\7\0", 2); // UNDEFINED
        tiffBytes.replace(e.at + 2, 10, type + encode32(quint32(rewritten->size())) + encode32(quint32(at)));
        if (!e.valueInEntry()) tiffBytes.replace(e.valueAt, e.valueSize, QByteArray(e.valueSize, '\0'));
        return {};
    }

    // A packet padded to `size` bytes with spaces before its trailer (or at its end).
    static QByteArray padded(QByteArray packet, qint64 size) {
        const QByteArray pad(size - packet.size(), ' ');
        const qint64 trailer = packet.lastIndexOf("<?xpacket end");
        if (trailer >= 0)
            packet.insert(trailer, pad);
        else
            packet += pad;
        return packet;
    }

    // The changed runs of `edited` over `file` (runs closer than a few bytes joined), then what
    // was appended.
    static QVector<SegmentChange> splices(const QByteArray& file, const QByteArray& edited) {
        QVector<SegmentChange> out;
        const char* a = file.constData();
        const char* b = edited.constData();
        const qint64 n = file.size();
        qint64 at = 0;
        constexpr qint64 kJoin = 16;
        while (at < n) {
            // Large equal stretches compared a block at a time.
            while (at + 4096 <= n && std::memcmp(a + at, b + at, 4096) == 0)
                at += 4096;
            while (at < n && a[at] == b[at])
                ++at;
            if (at >= n) break;
            const qint64 start = at;
            qint64 end = at + 1;
            for (qint64 k = end; k < n && k < end + kJoin; ++k)
                if (a[k] != b[k]) end = k + 1;
            out.append({start, end - start, edited.mid(start, end - start)});
            at = end;
        }
        if (edited.size() > n) out.append({n, 0, edited.mid(n)});
        return out;
    }

    // Where the pictures' data lie: strips, tiles and JPEG pictures of the main directory, the
    // directories after it and their sub-directories.
    static QVector<ByteRange> pictureData(const QByteArray& bytes) {
        QVector<ByteRange> out;
        const auto tiff = TiffBlock::parse(bytes);
        if (!tiff) return out;
        QVector<qint64> pending{tiff->firstDirectory()}, seen;
        const auto numbers = [&](const TiffEntry& e) {
            QVector<qint64> v;
            if ((e.type != TypeShort && e.type != TypeLong && e.type != kTypeIfd) || !tiff->valueInside(e) ||
                e.count > kMaxValues)
                return v;
            for (quint32 k = 0; k < e.count; ++k)
                v.append(e.type == TypeShort ? tiff->u16(e.valueAt + 2 * k) : tiff->u32(e.valueAt + 4 * k));
            return v;
        };
        while (!pending.isEmpty() && seen.size() < kMaxDirectories) {
            const qint64 at = pending.takeFirst();
            if (seen.contains(at)) continue;
            seen.append(at);
            const auto dir = tiff->directory(at);
            if (!dir) continue;
            if (dir->next) pending.append(dir->next);
            const auto pair = [&](quint16 offsetsTag, quint16 sizesTag) {
                const QVector<int> o = dir->indexesOf(offsetsTag), s = dir->indexesOf(sizesTag);
                if (o.isEmpty() || s.isEmpty()) return;
                const QVector<qint64> offsets = numbers(dir->entries[o.front()]),
                                      sizes = numbers(dir->entries[s.front()]);
                for (int k = 0; k < std::min(offsets.size(), sizes.size()); ++k)
                    out.append({offsets[k], sizes[k]});
            };
            pair(kStripOffsets, kStripByteCounts);
            pair(kTileOffsets, kTileByteCounts);
            pair(kJpegOffset, kJpegLength);
            for (const int k : dir->indexesOf(kSubIfds))
                for (qint64 sub : numbers(dir->entries[k]))
                    pending.append(sub);
        }
        return out;
    }
};

} // namespace

const PhotoContainer& tiffContainer() {
    static const TiffContainer container;
    return container;
}

} // namespace vantorel
