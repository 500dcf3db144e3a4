// SPDX-License-Identifier: GPL-3.0-or-later
#include "locationedit.h"

#include "gpsdirectoryedit.h"
#include "positionscan.h"

#include "files/bytesearch.h"
#include "metadata/tiffblock.h"

#include <algorithm>
#include <cmath>

#include <cstring>

namespace vantorel {
namespace {

const QByteArray kExifId("Exif\0\0", 6);
const QByteArray kXmpId("http://ns.adobe.com/xap/1.0/\0", 29);
const QByteArray kExtendedXmpId("http://ns.adobe.com/xmp/extension/\0", 35);
const QByteArray kPhotoshopId("Photoshop 3.0\0", 14);

QByteArray payloadOf(const QByteArray& head, const JpegSegment& s) {
    return head.mid(s.payloadOffset(), s.payloadSize());
}

// The main directory's items a new Exif block states, as readers require them: the resolution
// of the JFIF header (72 dots per inch, Exif's default, when it gives none) and the chroma
// positioning JPEG uses (centred).
QVector<PropertyItem> newMainItems(const QByteArray& head) {
    quint32 x = 72, y = 72;
    quint16 unit = 2; // inches
    JpegSegmentWalker walker;
    JpegSegment s;
    if (walker.next(head, s) == SegmentStep::Segment && s.marker == 0xE0 && s.payloadSize() >= 12 &&
        head.mid(s.payloadOffset(), 5) == QByteArray("JFIF\0", 5)) {
        const auto at = [&](int k) { return uchar(head[s.payloadOffset() + k]); };
        const quint32 dx = (at(8) << 8) | at(9), dy = (at(10) << 8) | at(11);
        if ((at(7) == 1 || at(7) == 2) && dx && dy) {
            x = dx;
            y = dy;
            unit = at(7) == 1 ? 2 : 3; // dots per inch, or per centimetre
        }
    }
    const auto le32 = [](quint32 v) {
        QByteArray b(4, '\0');
        for (int i = 0; i < 4; ++i)
            b[i] = char(v >> (8 * i));
        return b;
    };
    return {{0x011A, TypeRational, le32(x) + le32(1)},
            {0x011B, TypeRational, le32(y) + le32(1)},
            {0x0128, TypeShort, QByteArray(1, char(unit)) + '\0'},
            {0x0213, TypeShort, QByteArray("\x01\x00", 2)}};
}

// A thermal camera's GPS record, spread over its FLIR segments, rewritten in place: emptied (its
// directory entry marked unused, its bytes zeroed) when the position goes, given the new position
// otherwise. False when a record cannot be read whole.
bool editFlirGps(const QByteArray& head, const LocationEdit& edit, LocationPlan& plan) {
    const FlirStream stream = flirStream(head);
    const QVector<FlirGpsRecord> records = flirGpsRecords(stream.data);
    if (records.isEmpty()) return true;
    QByteArray fff = stream.data;
    const auto put = [&](qint64 at, const QByteArray& bytes) { fff.replace(at, bytes.size(), bytes); };
    for (const FlirGpsRecord& r : records) {
        if (r.size < 0x20) return false;
        if (edit.erase != LocationErase::None) {
            put(r.entry, QByteArray(2, '\0'));
            put(r.body, QByteArray(r.size, '\0'));
            ++plan.removed.exifGps;
            continue;
        }
        const double latitude = itemDegrees(edit.gpsItems, GpsLatitude),
                     longitude = itemDegrees(edit.gpsItems, GpsLongitude);
        if (std::isnan(latitude) || std::isnan(longitude)) return false;
        const auto refOf = [&](quint16 id) {
            for (const PropertyItem& item : edit.gpsItems)
                if (item.id == id) return item.value.left(1);
            return QByteArray("N");
        };
        const auto doubleBytes = [](double v) {
            QByteArray b(8, '\0');
            std::memcpy(b.data(), &v, 8); // little-endian, as the record is
            return b;
        };
        put(r.body + 0x08, refOf(GpsLatitudeRef) + '\0' + refOf(GpsLongitudeRef) + '\0');
        put(r.body + 0x10, doubleBytes(latitude) + doubleBytes(longitude));
    }
    // Each FLIR segment whose piece changed is written again, its header as it was.
    qint64 at = 0;
    for (const auto& [offset, size] : stream.pieces) {
        const QByteArray piece = fff.mid(at, size);
        if (piece != stream.data.mid(at, size)) {
            const qint64 segment = offset - 8 - 4;
            plan.changes.append(
                {segment, size + 8 + 4, segmentBytes(kMarkerApp1, head.mid(offset - 8, 8) + piece)});
        }
        at += size;
    }
    return true;
}

} // namespace

QString removalsSummary(const LocationRemovals& r) {
    QStringList parts;
    const auto add = [&](int n, const QString& one, const QString& many) {
        if (n > 0) parts.append(QStringLiteral("%1 %2").arg(n).arg(n == 1 ? one : many));
    };
    add(r.exifGps, QStringLiteral("élément GPS Exif"), QStringLiteral("éléments GPS Exif"));
    add(r.xmp, QStringLiteral("propriété XMP"), QStringLiteral("propriétés XMP"));
    add(r.iptc, QStringLiteral("champ IPTC"), QStringLiteral("champs IPTC"));
    if (parts.isEmpty()) return QStringLiteral("Rien à retirer");
    return QStringLiteral("Retirés : ") + parts.join(QStringLiteral(", "));
}

GpsDirectoryEdit gpsDirectoryEditFor(const LocationEdit& edit) {
    GpsDirectoryEdit gpsEdit;
    gpsEdit.removeDirectory = edit.erase == LocationErase::Everything;
    if (edit.erase == LocationErase::Position)
        for (quint16 id : kPositionIds)
            gpsEdit.remove.append(id);
    if (edit.erase == LocationErase::None) gpsEdit.set = edit.gpsItems;
    gpsEdit.addDirectory = edit.addPosition;
    return gpsEdit;
}

LocationMetadataEdit metadataEditFor(const LocationEdit& edit) {
    LocationMetadataEdit metadataEdit;
    metadataEdit.erase = edit.erase;
    metadataEdit.latitude = edit.xmpLatitude;
    metadataEdit.longitude = edit.xmpLongitude;
    if (edit.erase == LocationErase::None) metadataEdit.place = edit.place;
    return metadataEdit;
}

LocationPlan planLocationEdit(const QByteArray& head, const LocationEdit& edit) {
    LocationPlan plan;
    const auto fail = [&](const QString& why) {
        plan.error = why;
        plan.changes.clear();
        return plan;
    };
    if (!isJpegStart(head)) return fail(QStringLiteral("pas un fichier JPEG"));

    const GpsDirectoryEdit gpsEdit = gpsDirectoryEditFor(edit);
    const LocationMetadataEdit metadataEdit = metadataEditFor(edit);

    bool exifSeen = false, xmpSeen = false;
    qint64 xmpAt = -1;   // where a new XMP segment goes: after the Exif segment
    qint64 insertAt = 2; // a new Exif segment goes after SOI and the APP0 segments JFIF readers expect first
    bool leadingApp0 = true;
    JpegSegmentWalker walker;
    JpegSegment s;
    while (true) {
        const SegmentStep step = walker.next(head, s);
        if (step != SegmentStep::Segment) return fail(QStringLiteral("segments JPEG illisibles"));
        if (s.marker == kMarkerSos) break;
        if (leadingApp0 && s.marker == 0xE0)
            insertAt = s.end();
        else
            leadingApp0 = false;
        const QByteArray payload = payloadOf(head, s);
        if (s.marker == kMarkerApp1 && payload.startsWith(kExifId)) {
            exifSeen = true;
            if (xmpAt < 0) xmpAt = s.end();
            const GpsDirectoryEditResult r = editGpsDirectory(payload.mid(kExifId.size()), gpsEdit);
            if (!r.block) return fail(r.error);
            plan.removed.exifGps += r.removedItems;
            plan.oldPositions += r.oldPositions;
            if (*r.block == payload.mid(kExifId.size())) continue;
            if (kExifId.size() + r.block->size() > kMaxSegmentPayload)
                return fail(QStringLiteral("le bloc Exif modifié ne tient plus dans un segment"));
            plan.changes.append({s.offset, s.size, segmentBytes(kMarkerApp1, kExifId + *r.block)});
        } else if (s.marker == kMarkerApp1 && payload.startsWith(kXmpId)) {
            xmpSeen = true;
            const MetadataBlockEdit r = editXmpPacket(payload.mid(kXmpId.size()), metadataEdit);
            if (!r.bytes) return fail(r.error);
            plan.removed.xmp += r.removed;
            plan.oldPositions += r.oldValues;
            if (!r.changed) continue;
            if (kXmpId.size() + r.bytes->size() > kMaxSegmentPayload)
                return fail(QStringLiteral("le paquet XMP modifié ne tient plus dans un segment"));
            plan.changes.append({s.offset, s.size, segmentBytes(kMarkerApp1, kXmpId + *r.bytes)});
        } else if (s.marker == kMarkerApp1 && payload.startsWith(kExtendedXmpId)) {
            // A packet split over several segments: only refused when it states a position.
            if (edit.erase != LocationErase::None &&
                (payload.contains("GPSLatitude") || payload.contains("GPSLongitude") ||
                 payload.contains("GPSDest") ||
                 (edit.erase == LocationErase::Everything && payload.contains("Location"))))
                return fail(QStringLiteral("position dans un XMP étendu"));
        } else if (s.marker == 0xED && payload.startsWith(kPhotoshopId) &&
                   (edit.erase == LocationErase::Everything || !metadataEdit.place.isEmpty())) {
            const MetadataBlockEdit r = editPhotoshopBlock(payload.mid(kPhotoshopId.size()), metadataEdit);
            if (!r.bytes) return fail(r.error);
            plan.removed.iptc += r.removed;
            if (!r.changed) continue;
            if (kPhotoshopId.size() + r.bytes->size() > kMaxSegmentPayload)
                return fail(QStringLiteral("le bloc IPTC modifié ne tient plus dans un segment"));
            plan.changes.append({s.offset, s.size, segmentBytes(0xED, kPhotoshopId + *r.bytes)});
        }
    }
    // A photo without XMP is given a packet for the place's names, after its Exif segment.
    QByteArray newXmp;
    if (!xmpSeen && !metadataEdit.place.isEmpty()) {
        const MetadataBlockEdit r = editXmpPacket({}, metadataEdit);
        if (!r.bytes) return fail(r.error);
        newXmp = segmentBytes(kMarkerApp1, kXmpId + *r.bytes);
    }
    if (!exifSeen && edit.erase == LocationErase::None && edit.addPosition && !edit.gpsItems.isEmpty()) {
        plan.changes.prepend(
            {insertAt, 0,
             segmentBytes(kMarkerApp1, kExifId + newGpsBlock(edit.gpsItems, newMainItems(head))) + newXmp});
    } else if (!newXmp.isEmpty()) {
        plan.changes.append({xmpAt >= 0 ? xmpAt : insertAt, 0, newXmp});
    }
    if (!editFlirGps(head, edit, plan)) return fail(QStringLiteral("bloc FLIR illisible"));
    // A segment inserted where another is replaced goes first.
    std::sort(plan.changes.begin(), plan.changes.end(), [](const SegmentChange& a, const SegmentChange& b) {
        return a.offset < b.offset || (a.offset == b.offset && a.replacedSize < b.replacedSize);
    });
    return plan;
}

namespace {

// A multi-picture index: where its TIFF header lies in the file and where its entries are (16
// bytes each: attributes, size, offset from the header, two dependent pictures).
struct MultiPictureIndex {
    qint64 base = -1;
    bool big = false;
    qint64 entries = -1;
    int count = 0;
};

std::optional<MultiPictureIndex> findMultiPictureIndex(const QByteArray& head) {
    JpegSegmentWalker walker;
    JpegSegment s;
    while (walker.next(head, s) == SegmentStep::Segment && s.marker != kMarkerSos) {
        if (s.marker != 0xE2 || s.payloadSize() < 12 ||
            head.mid(s.payloadOffset(), 4) != QByteArray("MPF\0", 4))
            continue;
        const auto tiff = TiffBlock::parse(head.mid(s.payloadOffset() + 4, s.payloadSize() - 4));
        if (!tiff) return std::nullopt;
        const auto dir = tiff->directory(tiff->firstDirectory());
        if (!dir) return std::nullopt;
        for (const TiffEntry& e : dir->entries)
            if (e.tag == 0xB002 && e.type == TypeUndefined && e.count % 16 == 0 && tiff->valueInside(e))
                return MultiPictureIndex{s.payloadOffset() + 4, tiff->bigEndian(),
                                         s.payloadOffset() + 4 + e.valueAt, int(e.count / 16)};
        return std::nullopt;
    }
    return std::nullopt;
}

quint32 readU32(const QByteArray& b, qint64 at, bool big) {
    quint32 v = 0;
    for (int i = 0; i < 4; ++i)
        v |= quint32(uchar(b[at + i])) << (big ? 8 * (3 - i) : 8 * i);
    return v;
}

QByteArray u32Bytes(quint32 v, bool big) {
    QByteArray o(4, 0);
    for (int i = 0; i < 4; ++i)
        o[big ? 3 - i : i] = char(v >> (8 * i));
    return o;
}

// The head of the picture starting at `start` (its segments up to the first scan); empty when
// there is no JPEG there.
QByteArray headAt(const QByteArray& file, qint64 start) {
    if (start < 0 || start + 4 > file.size() || file.mid(start, 3) != QByteArray("\xFF\xD8\xFF", 3))
        return {};
    JpegSegmentWalker walker(start + 2);
    JpegSegment s;
    while (walker.next(file, s) == SegmentStep::Segment)
        if (s.marker == kMarkerSos) return file.mid(start, s.end() - start);
    return {};
}

} // namespace

LocationPlan planFileLocationEdit(const QByteArray& file, const QByteArray& head, const LocationEdit& edit) {
    LocationPlan plan = planLocationEdit(head, edit);
    if (!plan.error.isEmpty()) return plan;
    const auto index = findMultiPictureIndex(head);
    QVector<qint64> starts;
    if (index)
        for (int k = 0; k < index->count; ++k)
            if (const quint32 offset = readU32(head, index->entries + 16 * k + 8, index->big))
                starts.append(index->base + offset);
    // A JPEG right after the end of the first picture (the first end-of-image marker after the
    // head: inside the picture data a 0xFF is always followed by 0x00 or a restart marker).
    if (const qint64 eoi = findBytes(file, "\xFF\xD9", 2, head.size()); eoi >= 0)
        if (file.mid(eoi + 2, 3) == QByteArray("\xFF\xD8\xFF", 3) && !starts.contains(eoi + 2))
            starts.append(eoi + 2);
    std::sort(starts.begin(), starts.end());

    LocationEdit inner = edit;
    inner.addPosition = false; // a picture without a position is given none
    inner.place = {};          // nor names: they are the photo's, said once
    for (qint64 start : starts) {
        const QByteArray innerHead = headAt(file, start);
        if (innerHead.isEmpty()) continue; // nothing a reader could read there
        LocationPlan sub = planLocationEdit(innerHead, inner);
        if (!sub.error.isEmpty()) {
            plan.error = QStringLiteral("image secondaire : ") + sub.error;
            plan.changes.clear();
            return plan;
        }
        for (SegmentChange& c : sub.changes) {
            c.offset += start;
            plan.changes.append(c);
        }
        plan.removed.exifGps += sub.removed.exifGps;
        plan.removed.xmp += sub.removed.xmp;
        plan.removed.iptc += sub.removed.iptc;
        plan.oldPositions += sub.oldPositions;
        plan.otherPictures = true;
    }

    // The index gives each picture's size and place from its own header: both follow the changes.
    if (index && !plan.changes.isEmpty()) {
        const auto shift = [&](qint64 at) {
            qint64 delta = 0;
            for (const SegmentChange& c : plan.changes)
                if (c.offset < at) delta += c.segment.size() - c.replacedSize;
            return at + delta;
        };
        QByteArray entries = head.mid(index->entries, 16 * index->count);
        for (int k = 0; k < index->count; ++k) {
            const quint32 size = readU32(entries, 16 * k + 4, index->big);
            const quint32 offset = readU32(entries, 16 * k + 8, index->big);
            const qint64 start = offset ? index->base + offset : 0;
            const qint64 newStart = shift(start);
            const qint64 newSize = shift(start + size) - newStart;
            const qint64 newOffset = offset ? newStart - shift(index->base) : 0;
            if (newSize < 0 || newSize > 0xFFFFFFFF || newOffset < 0 || newOffset > 0xFFFFFFFF) {
                plan.error = QStringLiteral("index des images illisible");
                plan.changes.clear();
                return plan;
            }
            entries.replace(16 * k + 4, 4, u32Bytes(quint32(newSize), index->big));
            entries.replace(16 * k + 8, 4, u32Bytes(quint32(newOffset), index->big));
        }
        if (entries != head.mid(index->entries, 16 * index->count))
            plan.changes.append({index->entries, entries.size(), entries});
    }
    // A segment inserted where another is replaced goes first.
    std::sort(plan.changes.begin(), plan.changes.end(), [](const SegmentChange& a, const SegmentChange& b) {
        return a.offset < b.offset || (a.offset == b.offset && a.replacedSize < b.replacedSize);
    });
    return plan;
}

} // namespace vantorel
