#include "geotagcopy.h"

#include "gpsdirectoryedit.h"

#include "files/jpegsegments.h"
#include "files/pathnames.h"
#include "metadata/imageproperties.h"
#include "text/numberformat.h"

#include <algorithm>
#include <cmath>
#include <sys/stat.h>

namespace vantorel {
namespace {

const GpsTag kPositionIds[] = {GpsLatitudeRef, GpsLatitude, GpsLongitudeRef, GpsLongitude};

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

// The stored bytes of a little-endian item value in a file of the given byte order.
QByteArray storedBytes(const PropertyItem& item, bool bigEndian) {
    QByteArray bytes = item.value;
    const int unit = item.type == TypeShort || item.type == TypeSShort                               ? 2
                     : item.type == TypeAscii || item.type == TypeByte || item.type == TypeUndefined ? 1
                                                                                                     : 4;
    if (bigEndian && unit > 1)
        for (int i = 0; i + unit <= bytes.size(); i += unit)
            std::reverse(bytes.begin() + i, bytes.begin() + i + unit);
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
    const quint32 d = quint32(degrees);
    const quint32 m = quint32((degrees - d) * 60 * 10000);
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

CopyResult writeGeotagCopy(const QString& source, const QString& target,
                           const std::optional<GpsPosition>& position, const AtomicWriteOptions& extra) {
    CopyResult result;
    ImageProperties photo;
    if (!photo.open(source)) {
        result.error = QStringLiteral("%1 ne peut pas être lu comme une image").arg(source);
        return result;
    }
    const auto block = findExifBlock(photo.jpegHead());
    if (!block) {
        result.error = QStringLiteral("%1 n'est pas un fichier JPEG").arg(source);
        return result;
    }
    const bool bigEndian =
        block->tiffOffset >= 0 && block->tiffSize >= 2 && photo.jpegHead()[block->tiffOffset] == 'M';

    QVector<PropertyItem> expected; // items 1 to 4 the copy must read back with
    QVector<QByteArray> removedBytes;
    if (position) {
        expected = gpsPositionItems(*position);
        for (const PropertyItem& item : expected)
            if (!photo.setItem(item)) {
                result.error = QStringLiteral("coordonnées refusées");
                return result;
            }
    } else {
        for (GpsTag id : kPositionIds) {
            // Short values (a reference letter) or zeros (no position) match anything and reveal
            // nothing; a real position's bytes must be gone.
            if (const auto old = photo.item(id);
                old && old->value.size() >= 8 && old->value.count('\0') != old->value.size())
                removedBytes.append(storedBytes(*old, bigEndian));
            photo.removeItem(id);
        }
    }

    AtomicWriteOptions options = extra;
    struct stat st {};
    if (::stat(encodePath(source).constData(), &st) == 0) {
        options.mode = st.st_mode & 07777;
        options.modified = st.st_mtim;
    }
    options.verify = [expected, removedBytes, extraVerify = extra.verify](const QString& temp, QString& why) {
        ImageProperties copy;
        if (!copy.open(temp, ImageProperties::Scope::Gps)) {
            why = QStringLiteral("la copie ne se relit pas");
            return false;
        }
        for (GpsTag id : kPositionIds) {
            const auto item = copy.item(id);
            auto wanted = std::find_if(expected.begin(), expected.end(),
                                       [id](const PropertyItem& i) { return i.id == id; });
            const bool same = wanted == expected.end()
                                  ? !item.has_value()
                                  : item && item->type == wanted->type && item->value == wanted->value;
            if (!same) {
                why = QStringLiteral("la copie ne se relit pas avec les coordonnées écrites");
                return false;
            }
        }
        if (!removedBytes.isEmpty()) {
            const auto written = findExifBlock(copy.jpegHead());
            const QByteArray exif = written && written->tiffOffset >= 0
                                        ? copy.jpegHead().mid(written->tiffOffset, written->tiffSize)
                                        : QByteArray();
            for (const QByteArray& bytes : removedBytes)
                if (exif.contains(bytes)) {
                    why = QStringLiteral("les anciennes coordonnées restent lisibles dans la copie");
                    return false;
                }
        }
        return !extraVerify || extraVerify(temp, why);
    };
    // The GPS directory is edited where it lies, so every other byte of the block stays; a block
    // this cannot edit soundly (or a photo without one) is rebuilt by the property layer.
    if (block->tiffOffset >= 0) {
        QList<quint16> removed;
        if (!position)
            for (GpsTag id : kPositionIds)
                removed.append(quint16(id));
        const auto edited =
            editGpsDirectory(photo.jpegHead().mid(block->tiffOffset, block->tiffSize), expected, removed);
        if (edited && edited->size() <= kMaxExifTiffSize) {
            result.ok = photo.saveWithExifBlock(*edited, target, &result.error, std::move(options));
            return result;
        }
    }
    result.ok = photo.saveTo(target, &result.error, std::move(options));
    return result;
}

} // namespace vantorel
