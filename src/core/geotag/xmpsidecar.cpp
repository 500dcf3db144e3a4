// SPDX-License-Identifier: GPL-3.0-or-later
#include "xmpsidecar.h"

#include "files/pathnames.h"
#include "files/regularfile.h"
#include "metadata/gpscoordinates.h"
#include "metadata/imageproperties.h"
#include "metadata/photocontainer.h"
#include "metadata/rationals.h"
#include "text/escape.h"

#include <QFile>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace vantorel {
namespace {

constexpr auto kExifNamespace = "http://ns.adobe.com/exif/1.0/";
// A sidecar larger than this is no sidecar: it is refused rather than read whole.
constexpr qint64 kLargestSidecar = qint64(64) << 20;

const PropertyItem* findItem(const GpsPosition& p, quint16 id) {
    for (const PropertyItem& item : p.extraItems)
        if (item.id == id) return &item;
    return nullptr;
}

// "12345/1000", a rational as XMP writes it.
QString rationalText(const Rational& r) {
    return QStringLiteral("%1/%2").arg(r.numerator).arg(r.denominator);
}

// "2026-12-11T09:13:05.5Z": the date and time stamps as XMP joins them; empty without both.
QString timeText(const GpsPosition& p) {
    const PropertyItem* time = findItem(p, GpsTimeStamp);
    const PropertyItem* date = findItem(p, GpsDateStamp);
    if (!time || !date || time->value.size() < 24 || date->value.size() < 10) return {};
    const QString day = QString::fromLatin1(date->value.left(10)).replace(u':', u'-');
    qint64 parts[3];
    for (int i = 0; i < 3; ++i) {
        const Rational r = rationalAt(*time, i);
        if (r.denominator <= 0) return {};
        parts[i] = i < 2 ? r.numerator / r.denominator : r.numerator * 1000 / r.denominator;
    }
    QString seconds = QStringLiteral("%1").arg(parts[2] / 1000, 2, 10, QLatin1Char('0'));
    if (parts[2] % 1000)
        seconds += u'.' + QStringLiteral("%1")
                              .arg(parts[2] % 1000, 3, 10, QLatin1Char('0'))
                              .remove(QRegularExpression(QStringLiteral("0+$")));
    return QStringLiteral("%1T%2:%3:%4Z")
        .arg(day)
        .arg(parts[0], 2, 10, QLatin1Char('0'))
        .arg(parts[1], 2, 10, QLatin1Char('0'))
        .arg(seconds);
}

// The exif: latitude and longitude a packet holds (attribute or element form), as texts.
std::pair<QString, QString> xmpPosition(const QByteArray& text) {
    std::pair<QString, QString> found;
    QXmlStreamReader xml(text);
    QString element;
    while (!xml.atEnd()) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::StartElement) {
            for (const QXmlStreamAttribute& a : xml.attributes()) {
                if (a.namespaceUri() != QLatin1String(kExifNamespace)) continue;
                if (a.name() == QLatin1String("GPSLatitude")) found.first = a.value().toString();
                if (a.name() == QLatin1String("GPSLongitude")) found.second = a.value().toString();
            }
            element = xml.namespaceUri() == QLatin1String(kExifNamespace) ? xml.name().toString() : QString();
        } else if (token == QXmlStreamReader::Characters && !xml.isWhitespace()) {
            if (element == QLatin1String("GPSLatitude")) found.first = xml.text().toString().trimmed();
            if (element == QLatin1String("GPSLongitude")) found.second = xml.text().toString().trimmed();
        } else if (token == QXmlStreamReader::EndElement) {
            element.clear();
        }
    }
    if (xml.hasError()) return {};
    return found;
}

} // namespace

QString sidecarPathFor(const QString& photo, SidecarName naming) {
    if (naming == SidecarName::WithExtension) return photo + QStringLiteral(".xmp");
    const qsizetype slash = photo.lastIndexOf(u'/');
    const qsizetype dot = photo.lastIndexOf(u'.');
    // A name without extension, or one that is all extension (".hidden"), keeps its whole name.
    const QString stem = dot > slash + 1 ? photo.left(dot) : photo;
    return stem + QStringLiteral(".xmp");
}

bool photoTakesSidecarOnly(const QString& photo) {
    const int fd = openRegularFile(photo);
    if (fd < 0) return false;
    QByteArray start(kSniffBytes, '\0');
    const ssize_t n = ::pread(fd, start.data(), size_t(start.size()), 0);
    ::close(fd);
    start.resize(n > 0 ? qsizetype(n) : 0);
    switch (sniffContainer(start)) {
    case ContainerKind::OtherRaw:
        return true;
    case ContainerKind::IsoBmff: {
        // A Canon CR3: its brand names it, major or compatible.
        const quint32 boxSize = start.size() >= 4
                                    ? (quint32(uchar(start[0])) << 24) | (quint32(uchar(start[1])) << 16) |
                                          (quint32(uchar(start[2])) << 8) | quint32(uchar(start[3]))
                                    : 0;
        const qsizetype end = std::min<qsizetype>(start.size(), std::max<quint32>(boxSize, 16));
        for (qsizetype at = 8; at + 4 <= end; at += 4)
            if (at != 12 && start.mid(at, 4) == "crx ") return true;
        return false;
    }
    default:
        return false;
    }
}

QVector<QPair<QByteArray, QString>> sidecarProperties(const GpsPosition& p) {
    QString version = QStringLiteral("2.3.0.0");
    if (const PropertyItem* ver = findItem(p, GpsVer); ver && ver->value.size() == 4)
        version = QStringLiteral("%1.%2.%3.%4")
                      .arg(uchar(ver->value[0]))
                      .arg(uchar(ver->value[1]))
                      .arg(uchar(ver->value[2]))
                      .arg(uchar(ver->value[3]));
    QString altitude, altitudeRef;
    if (const PropertyItem* alt = findItem(p, GpsAltitude); alt && alt->value.size() >= 8) {
        const Rational r = rationalAt(*alt, 0);
        if (r.denominator > 0) {
            altitude = rationalText(r);
            const PropertyItem* ref = findItem(p, GpsAltitudeRef);
            altitudeRef = ref && !ref->value.isEmpty() && ref->value[0] == 1 ? QStringLiteral("1")
                                                                             : QStringLiteral("0");
        }
    }
    return {
        {"Xmp.exif.GPSVersionID", version},
        {"Xmp.exif.GPSLatitude", xmpCoordinate(p.latitude, p.latitudeRef)},
        {"Xmp.exif.GPSLongitude", xmpCoordinate(p.longitude, p.longitudeRef)},
        {"Xmp.exif.GPSAltitudeRef", altitudeRef},
        {"Xmp.exif.GPSAltitude", altitude},
        {"Xmp.exif.GPSTimeStamp", timeText(p)},
    };
}

QByteArray newSidecarText(const QString& photo, const GpsPosition& position) {
    QString text = QStringLiteral("<?xpacket begin=\"\uFEFF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
                                  "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n"
                                  " <rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
                                  "  <rdf:Description rdf:about=\"\"\n"
                                  "    xmlns:exif=\"http://ns.adobe.com/exif/1.0/\"\n"
                                  "    xmlns:xmpMM=\"http://ns.adobe.com/xap/1.0/mm/\"\n"
                                  "   xmpMM:DerivedFrom=\"%1\"")
                       .arg(xmlEscape(fileNameOf(photo)));
    for (const auto& [key, value] : sidecarProperties(position))
        if (!value.isEmpty())
            text +=
                QStringLiteral("\n   exif:%1=\"%2\"").arg(QString::fromLatin1(key.mid(9)), xmlEscape(value));
    text += QStringLiteral("/>\n </rdf:RDF>\n</x:xmpmeta>\n<?xpacket end=\"w\"?>\n");
    return text.toUtf8();
}

CopyResult writeSidecar(const QString& photo, const QString& sidecar, const GpsPosition& position,
                        bool replaceUnreadable, const AtomicWriteOptions& extra) {
    CopyResult result;
    // The photo is only read for its permissions: a private photo's sidecar is private too.
    struct stat photoStat {};
    const int photoFd = openRegularFile(photo);
    if (photoFd < 0 || ::fstat(photoFd, &photoStat) != 0) {
        if (photoFd >= 0) ::close(photoFd);
        result.error = QStringLiteral("%1 ne peut pas être lu").arg(photo);
        return result;
    }
    ::close(photoFd);
    AtomicWriteOptions options = extra;
    options.mode = photoStat.st_mode & 0666;
    options.group = photoStat.st_gid;

    QByteArray bytes = newSidecarText(photo, position);
    FileOpenError why = FileOpenError::None;
    const int fd = openRegularFile(sidecar, &why);
    // A sidecar that appears meanwhile (another program's) is never replaced by a new one.
    options.replace = fd >= 0;
    if (fd >= 0) {
        struct stat st {};
        const bool statted = ::fstat(fd, &st) == 0;
        const auto existing =
            statted && st.st_size <= kLargestSidecar ? readWholeFile(fd, kLargestSidecar) : std::nullopt;
        ::close(fd);
        if (statted) {
            options.mode = st.st_mode & 0666;
            options.group = st.st_gid;
        }
        const MetadataBlockEdit edit =
            existing ? setXmpProperties(*existing, sidecarProperties(position)) : MetadataBlockEdit();
        if (edit.bytes) {
            bytes = *edit.bytes;
        } else if (!replaceUnreadable) {
            result.error = QStringLiteral("%1 existe et n'est pas un fichier XMP lisible (%2)")
                               .arg(sidecar, edit.error.isEmpty() ? QStringLiteral("illisible") : edit.error);
            result.exists = true;
            return result;
        }
    } else if (why != FileOpenError::Missing) {
        // A folder, a pipe or an unreadable file has the name: it is never replaced.
        result.error = QStringLiteral("%1 : %2").arg(sidecar, fileOpenErrorText(why));
        result.exists = why == FileOpenError::NotRegular;
        return result;
    }

    const std::pair<QString, QString> expected{xmpCoordinate(position.latitude, position.latitudeRef),
                                               xmpCoordinate(position.longitude, position.longitudeRef)};
    options.verify = [expected, extraVerify = extra.verify](const QString& temp, QString& why) {
        QFile file(temp);
        const QByteArray written = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        if (xmpPosition(written) != expected) {
            why = QStringLiteral("le fichier XMP ne se relit pas avec les coordonnées écrites");
            return false;
        }
        return !extraVerify || extraVerify(temp, why);
    };
    QString error;
    if (!writeFileAtomically(sidecar, bytes, &error, options)) {
        result.error = error;
        return result;
    }
    result.ok = true;
    return result;
}

} // namespace vantorel
