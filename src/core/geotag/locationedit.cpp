#include "locationedit.h"

#include "gpsdirectoryedit.h"

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

LocationPlan planLocationEdit(const QByteArray& head, const LocationEdit& edit) {
    LocationPlan plan;
    const auto fail = [&](const QString& why) {
        plan.error = why;
        plan.changes.clear();
        return plan;
    };
    if (!isJpegStart(head)) return fail(QStringLiteral("pas un fichier JPEG"));

    GpsDirectoryEdit gpsEdit;
    gpsEdit.removeDirectory = edit.erase == LocationErase::Everything;
    if (edit.erase == LocationErase::Position)
        for (quint16 id : kPositionIds)
            gpsEdit.remove.append(id);
    if (edit.erase == LocationErase::None) gpsEdit.set = edit.gpsItems;
    LocationMetadataEdit metadataEdit;
    metadataEdit.erase = edit.erase;
    metadataEdit.latitude = edit.xmpLatitude;
    metadataEdit.longitude = edit.xmpLongitude;

    bool exifSeen = false;
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
            const GpsDirectoryEditResult r = editGpsDirectory(payload.mid(kExifId.size()), gpsEdit);
            if (!r.block) return fail(r.error);
            plan.removed.exifGps += r.removedItems;
            plan.oldPositions += r.oldPositions;
            if (*r.block == payload.mid(kExifId.size())) continue;
            if (kExifId.size() + r.block->size() > kMaxSegmentPayload)
                return fail(QStringLiteral("le bloc Exif modifié ne tient plus dans un segment"));
            plan.changes.append({s.offset, s.size, segmentBytes(kMarkerApp1, kExifId + *r.block)});
        } else if (s.marker == kMarkerApp1 && payload.startsWith(kXmpId)) {
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
                 payload.contains("GPSDest") || (edit.erase == LocationErase::Everything && payload.contains("Location"))))
                return fail(QStringLiteral("position dans un XMP étendu"));
        } else if (s.marker == 0xED && payload.startsWith(kPhotoshopId) && edit.erase == LocationErase::Everything) {
            const MetadataBlockEdit r = editPhotoshopBlock(payload.mid(kPhotoshopId.size()), metadataEdit);
            if (!r.bytes) return fail(r.error);
            plan.removed.iptc += r.removed;
            if (!r.changed) continue;
            if (kPhotoshopId.size() + r.bytes->size() > kMaxSegmentPayload)
                return fail(QStringLiteral("le bloc IPTC modifié ne tient plus dans un segment"));
            plan.changes.append({s.offset, s.size, segmentBytes(0xED, kPhotoshopId + *r.bytes)});
        }
    }
    if (!exifSeen && edit.erase == LocationErase::None && !edit.gpsItems.isEmpty())
        plan.changes.prepend({insertAt, 0, segmentBytes(kMarkerApp1, kExifId + newGpsBlock(edit.gpsItems))});
    return plan;
}

} // namespace vantorel
