// SPDX-License-Identifier: GPL-3.0-or-later
#include "geotagcopy.h"

#include "gpsdirectoryedit.h"
#include "positionscan.h"

#include "files/jpeghead.h"
#include "files/jpegsegments.h"
#include "files/pathnames.h"
#include "files/regularfile.h"
#include "metadata/imageproperties.h"
#include "metadata/photocontainer.h"
#include "text/numberformat.h"

#include <QFile>

#include <algorithm>
#include <cmath>
#include <sys/stat.h>
#include <unistd.h>

namespace vantorel {
namespace {

QByteArray asciiValue(const QString& letter) {
    return letter.toLatin1() + '\0';
}

QByteArray rationalValue(const RationalTriple& triple) {
    QByteArray bytes;
    for (quint32 v : triple)
        for (int shift = 0; shift < 32; shift += 8)
            bytes.append(char((v >> shift) & 0xFF));
    return bytes;
}

} // namespace

QString overwriteQuestion(const QString& target) {
    return QStringLiteral("Le fichier :\n") + target +
           QStringLiteral("\nexiste déja.\n\nVoulez-vous l'écraser ?");
}

QString copyWrittenMessage(const QString& target, bool replaced) {
    const QString tail = target + QStringLiteral("\n\nLe fichier source d'origine n'a pas été modifié");
    if (replaced)
        return QStringLiteral("L'ancien fichier a été remplacé\nLes coordonnées ont été écrites avec succès "
                              "dans ce nouveau fichier\n") +
               tail;
    return QStringLiteral("Les coordonnées ont été écrites avec succès dans le nouveau fichier\n") + tail;
}

RationalTriple DegreesToRationals(double degrees) {
    // Rounded to the last unit kept (a ten-thousandth of a minute); 59.99995' carries to a degree.
    quint32 d = quint32(degrees);
    quint32 m = quint32(std::llround((degrees - d) * 60 * 10000));
    if (m >= 600000) {
        ++d;
        m -= 600000;
    }
    return {d, 1, m, 10000, 0, 1};
}

std::optional<double> coordinateMagnitude(const QString& text) {
    if (text.startsWith(u'-')) return StrToFloat(text.mid(1, 10));
    return StrToFloat(text);
}

CoordinateFields readCoordinateFields(const QString& latitudeText, const QString& longitudeText) {
    CoordinateFields out;
    const auto lat = coordinateMagnitude(latitudeText);
    const auto lon = lat ? coordinateMagnitude(longitudeText) : std::nullopt;
    if (!lat || !lon) return out;
    // A position beyond the poles or the antimeridian, or a sign the reference letter cannot
    // carry ("--5"), would be written as nonsense rationals.
    const auto inRange = [](double v, double limit) { return std::isfinite(v) && v >= 0 && v <= limit; };
    if (!inRange(*lat, 90) || !inRange(*lon, 180)) {
        out.status = CoordinateInput::OutOfRange;
        return out;
    }
    out.status = CoordinateInput::Ok;
    out.position.latitudeRef = latitudeText.startsWith(u'-') ? QStringLiteral("S") : QStringLiteral("N");
    out.position.longitudeRef = longitudeText.startsWith(u'-') ? QStringLiteral("W") : QStringLiteral("E");
    out.position.latitude = DegreesToRationals(*lat);
    out.position.longitude = DegreesToRationals(*lon);
    return out;
}

QVector<PropertyItem> gpsPositionItems(const GpsPosition& p) {
    return QVector<PropertyItem>{
               {GpsLatitudeRef, TypeAscii, asciiValue(p.latitudeRef)},
               {GpsLatitude, TypeRational, rationalValue(p.latitude)},
               {GpsLongitudeRef, TypeAscii, asciiValue(p.longitudeRef)},
               {GpsLongitude, TypeRational, rationalValue(p.longitude)},
           } +
           p.extraItems;
}

QString copyPathFor(const QString& source, QChar prefix) {
    const qsizetype slash = source.lastIndexOf(u'/');
    return source.left(slash + 1) + prefix + source.mid(slash + 1);
}

bool copyExists(const QString& target) {
    struct stat st {};
    return ::lstat(encodePath(target).constData(), &st) == 0;
}

QString xmpCoordinate(const RationalTriple& t, const QString& ref) {
    const quint32 minutes = t[3] ? t[2] / t[3] : 0, rest = t[3] ? t[2] % t[3] : 0;
    QString fraction = QString::number(rest).rightJustified(int(QString::number(t[3]).size()) - 1, u'0');
    return QStringLiteral("%1,%2.%3%4").arg(t[1] ? t[0] / t[1] : 0).arg(minutes).arg(fraction, ref);
}

namespace {

// Where the broadest reading of a copy finds a position it must not hold: any, for a copy without
// position; another than the new one (a destination aside), for a geotagged copy. Empty: none.
QString positionLeft(const QByteArray& copy, LocationErase erase, std::pair<double, double> expected) {
    for (const FoundPosition& found : findPositions(copy)) {
        if (erase == LocationErase::None) {
            if (found.destination) continue;
            const double wanted = found.latitude ? expected.first : expected.second;
            if (std::abs(found.degrees - wanted) < 1e-6) continue;
        }
        return found.where;
    }
    return {};
}

// The edit of a photo in another container than JPEG: its Exif blocks through the GPS directory
// editor, its XMP packets through the XMP editor, as in a JPEG's segments.
LocationPlan planContainerEdit(const PhotoContainer& container, const QByteArray& file,
                               const LocationEdit& edit) {
    LocationPlan plan;
    const GpsDirectoryEdit gpsEdit = gpsDirectoryEditFor(edit);
    const LocationMetadataEdit metadataEdit = metadataEditFor(edit);
    BlockEditor editor;
    editor.exif = [&](const QByteArray& tiff, QString& error) -> std::optional<QByteArray> {
        if (tiff.isEmpty()) {
            if (edit.erase == LocationErase::None && edit.addPosition && !edit.gpsItems.isEmpty())
                return newGpsBlock(edit.gpsItems);
            return QByteArray();
        }
        GpsDirectoryEditResult r = editGpsDirectory(tiff, gpsEdit);
        if (!r.block) {
            error = r.error;
            return std::nullopt;
        }
        plan.removed.exifGps += r.removedItems;
        plan.oldPositions += r.oldPositions;
        return r.block;
    };
    editor.xmp = [&](const QByteArray& packet, QString& error) -> std::optional<QByteArray> {
        MetadataBlockEdit r = editXmpPacket(packet, metadataEdit);
        if (!r.bytes) {
            error = r.error;
            return std::nullopt;
        }
        plan.removed.xmp += r.removed;
        plan.oldPositions += r.oldValues;
        return r.changed ? r.bytes : packet;
    };
    ContainerPlan containerPlan = container.plan(file, editor);
    if (!containerPlan.error.isEmpty()) {
        plan = LocationPlan();
        plan.error = containerPlan.error;
        return plan;
    }
    plan.changes = std::move(containerPlan.changes);
    return plan;
}

CopyResult writeCopy(const QString& source, const QString& target, const LocationEdit& edit,
                     const AtomicWriteOptions& extra) {
    CopyResult result;
    const int fd = openRegularFile(source);
    if (fd < 0) {
        result.error = QStringLiteral("%1 ne peut pas être lu").arg(source);
        return result;
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        result.error = QStringLiteral("%1 ne peut pas être lu").arg(source);
        return result;
    }
    const ContainerKind kind = sniffContainer(FileSource(fd).read(0, kSniffBytes));
    const PhotoContainer* container = photoContainer(kind);
    const bool jpeg = kind == ContainerKind::Jpeg || !container;
    JpegHead head;
    if (jpeg) {
        head = readJpegHead(fd);
        if (head.bytes.isEmpty()) {
            result.error =
                kind == ContainerKind::OtherRaw
                    ? QStringLiteral("%1 : ce format RAW ne peut pas être modifié sans risque").arg(source)
                    : QStringLiteral("%1 n'est pas un fichier JPEG").arg(source);
            return result;
        }
    }
    // The whole file: other pictures may follow the first one's end.
    const auto file = readWholeFile(fd);
    if (!file) {
        result.error = QStringLiteral("%1 ne peut pas être lu").arg(source);
        return result;
    }
    LocationPlan plan;
    if (jpeg) {
        if (!file->startsWith(head.bytes)) {
            result.error = QStringLiteral("%1 ne peut pas être lu").arg(source);
            return result;
        }
        plan = planFileLocationEdit(*file, head.bytes, edit);
    } else {
        plan = planContainerEdit(*container, *file, edit);
        if (!plan.error.isEmpty()) plan.error = containerName(kind) + QStringLiteral(" : ") + plan.error;
    }
    if (!plan.error.isEmpty()) {
        result.error = plan.error;
        return result;
    }

    AtomicWriteOptions options = extra;
    options.mode = st.st_mode & 01777; // never a set-user-id or set-group-id copy
    options.group = st.st_gid;
    options.modified = st.st_mtim;
    const QVector<PropertyItem> expected =
        edit.erase == LocationErase::None ? edit.gpsItems : QVector<PropertyItem>();
    const std::pair<double, double> expectedDegrees{itemDegrees(expected, GpsLatitude),
                                                    itemDegrees(expected, GpsLongitude)};
    options.verify = [expected, erase = edit.erase, old = plan.oldPositions, expectedDegrees,
                      extraVerify = extra.verify](const QString& temp, QString& why) {
        ImageProperties copy;
        if (!copy.open(temp, ImageProperties::Scope::Gps)) {
            why = QStringLiteral("la copie ne se relit pas");
            return false;
        }
        for (quint16 id : kPositionIds) {
            const auto item = copy.item(id);
            auto wanted = std::find_if(expected.begin(), expected.end(),
                                       [id](const PropertyItem& i) { return i.id == id; });
            const bool same = wanted == expected.end()
                                  ? (erase == LocationErase::None || !item.has_value())
                                  : item && item->type == wanted->type && item->value == wanted->value;
            if (!same) {
                why = QStringLiteral("la copie ne se relit pas avec les coordonnées écrites");
                return false;
            }
        }
        // The whole copy: a position may lie in any picture, thumbnail or trailing data.
        // Mapped, not copied: a TIFF or RAW copy is tens of megabytes.
        QFile file(temp);
        const uchar* mapped =
            file.open(QIODevice::ReadOnly) && file.size() > 0 ? file.map(0, file.size()) : nullptr;
        const QByteArray written =
            mapped ? QByteArray::fromRawData(reinterpret_cast<const char*>(mapped), file.size())
                   : QByteArray();
        if (written.isEmpty()) {
            why = QStringLiteral("la copie ne se relit pas");
            return false;
        }
        if (const QString where = positionLeft(written, erase, expectedDegrees); !where.isEmpty()) {
            why = QStringLiteral("la position reste lisible dans ") + where;
            return false;
        }
        for (const QByteArray& bytes : old)
            if (written.contains(bytes)) {
                why = QStringLiteral("les anciennes coordonnées restent lisibles dans la copie");
                return false;
            }
        if (erase != LocationErase::None) {
            // A second reader, which knows other repairs than ours, must find no position either.
            ImageProperties full;
            if (full.open(temp) && (full.item(GpsLatitude) || full.item(GpsLongitude))) {
                why = QStringLiteral("les anciennes coordonnées restent lisibles dans la copie");
                return false;
            }
        }
        return !extraVerify || extraVerify(temp, why);
    };
    AtomicFileWriter writer(target, std::move(options));
    // What stays is copied file to file (holes kept), only the changed segments written.
    bool ok = writer.open();
    qint64 at = 0;
    for (const SegmentChange& c : plan.changes) {
        ok = ok && writer.copyFrom(fd, at, c.offset - at) && writer.write(c.segment);
        at = c.offset + c.replacedSize;
    }
    if (!(ok && writer.copyFrom(fd, at, file->size() - at) && writer.commit())) {
        result.error = writer.error();
        // Another writer took the name first: the copy exists, as when it was there before.
        result.exists = !extra.replace && copyExists(target);
        return result;
    }
    result.ok = true;
    result.removed = plan.removed;
    return result;
}

} // namespace

CopyResult writeGeotagCopy(const QString& source, const QString& target,
                           const std::optional<GpsPosition>& position, const AtomicWriteOptions& extra) {
    LocationEdit edit;
    if (position) {
        edit.gpsItems = gpsPositionItems(*position);
        edit.xmpLatitude = xmpCoordinate(position->latitude, position->latitudeRef);
        edit.xmpLongitude = xmpCoordinate(position->longitude, position->longitudeRef);
    } else {
        edit.erase = LocationErase::Position;
    }
    return writeCopy(source, target, edit, extra);
}

CopyResult writeCopyWithoutLocation(const QString& source, const QString& target,
                                    const AtomicWriteOptions& extra) {
    LocationEdit edit;
    edit.erase = LocationErase::Everything;
    return writeCopy(source, target, edit, extra);
}

} // namespace vantorel
