// SPDX-License-Identifier: GPL-3.0-or-later
#include "fixtures.h"

#include "tiffbuilder.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QtEndian>
#include <stdexcept>

namespace vantorel::test {
namespace {

// The tags cameras put in the Exif directory rather than the main one.
bool isExifDirectoryId(quint32 id) {
    return id == 0x829A || id == 0x829D || (id >= 0x8822 && id <= 0x8835) || (id >= 0x9000 && id <= 0x9FFF) ||
           (id >= 0xA000 && id <= 0xA4FF && id != 0xA005);
}

// The items as the directories of an Exif block (little-endian, as the items' values are); an item
// given twice keeps its last value.
QByteArray exifBlock(const QVector<PropertyItem>& items) {
    TiffBuilder tiff;
    for (const PropertyItem& item : items) {
        if (item.type < TypeByte || item.type > TypeDouble || item.id > 0xFFFF ||
            item.value.size() % tiffTypeSize(item.type) != 0)
            throw std::runtime_error("fixture item not writable");
        QVector<TiffField>& dir = isGpsId(item.id)             ? tiff.gps
                                  : isExifDirectoryId(item.id) ? tiff.exif
                                                               : tiff.ifd0;
        dir.removeIf([&](const TiffField& f) { return f.tag == item.id; });
        dir.append(
            {quint16(item.id), item.type, quint32(item.value.size() / tiffTypeSize(item.type)), item.value});
    }
    return tiff.build();
}

} // namespace

PropertyItem rawItem(quint32 id, quint16 type, const QByteArray& bytes) {
    return PropertyItem{id, type, bytes};
}

PropertyItem asciiItem(quint32 id, const QByteArray& text) {
    return rawItem(id, TypeAscii, text + '\0');
}

PropertyItem byteItem(quint32 id, std::initializer_list<quint8> bytes, quint16 type) {
    QByteArray b;
    for (quint8 v : bytes)
        b.append(char(v));
    return rawItem(id, type, b);
}

PropertyItem shortItem(quint32 id, std::initializer_list<quint16> values, quint16 type) {
    QByteArray b;
    for (quint16 v : values) {
        char buf[2];
        qToLittleEndian(v, buf);
        b.append(buf, 2);
    }
    return rawItem(id, type, b);
}

PropertyItem longItem(quint32 id, std::initializer_list<quint32> values, quint16 type) {
    QByteArray b;
    for (quint32 v : values) {
        char buf[4];
        qToLittleEndian(v, buf);
        b.append(buf, 4);
    }
    return rawItem(id, type, b);
}

PropertyItem rationalItem(quint32 id, std::initializer_list<std::pair<qint64, qint64>> pairs, quint16 type) {
    QByteArray b;
    for (auto [n, d] : pairs) {
        char buf[8];
        qToLittleEndian(quint32(n), buf);
        qToLittleEndian(quint32(d), buf + 4);
        b.append(buf, 8);
    }
    return rawItem(id, type, b);
}

QVector<PropertyItem> gpsItems(const char* latRef, std::initializer_list<std::pair<qint64, qint64>> lat,
                               const char* lonRef, std::initializer_list<std::pair<qint64, qint64>> lon) {
    return {asciiItem(GpsLatitudeRef, latRef), rationalItem(GpsLatitude, lat),
            asciiItem(GpsLongitudeRef, lonRef), rationalItem(GpsLongitude, lon)};
}

QString makeGeotaggedTiff(const QString& dir, const QString& name) {
    // Its first directory is the picture's, with the GPS one beside it.
    TiffBuilder tiff;
    tiff.ifd0 = {tiff.shorts(0x0100, {8}), tiff.shorts(0x0101, {8})};
    tiff.gps = tiff.position('N', 5, 0, 'E', 6, 0);
    const QByteArray bytes = tiff.build();
    const QString path = dir + QLatin1Char('/') + name;
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write fixture");
    return path;
}

QString makeJpeg(const QString& dir, const QString& name, const QVector<PropertyItem>& items, QSize size) {
    const QString path = dir + QLatin1Char('/') + name;
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(40, 120, 200));
    {
        QPainter p(&image);
        p.fillRect(0, 0, size.width() / 2, size.height() / 2, Qt::yellow);
    }
    if (!image.save(path, "JPG", 90)) throw std::runtime_error("cannot write fixture");
    if (items.isEmpty()) return path;
    const QByteArray jpeg = fileBytes(path);
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(withSegments(jpeg, {exifSegment(exifBlock(items))})) < 0)
        throw std::runtime_error("cannot write fixture");
    return path;
}

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

QString samplePath(const QString& name) {
    return QStringLiteral(VANTOREL_SAMPLES_DIR "/") + name;
}

PhotoTimeReading cameraTime(const char* exifDateTime, std::optional<int> offsetSeconds) {
    PhotoTimeReading r;
    r.readable = true;
    r.source = PhotoTimeSource::Original;
    r.cameraMs = *parseExifDateTime(QString::fromLatin1(exifDateTime));
    r.offsetSeconds = offsetSeconds;
    return r;
}

QByteArray tripAcrossIberiaGpx() {
    QByteArray gpx = "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" creator=\"test\" "
                     "xmlns=\"http://www.topografix.com/GPX/1/1\"><trk><trkseg>\n";
    for (int minute = 0; minute <= 600; minute += 10)
        gpx += QStringLiteral("<trkpt lat=\"39\" lon=\"%1\"><time>2024-06-01T%2:%3:00Z</time></trkpt>\n")
                   .arg(-9.5 + 0.01 * minute, 0, 'f', 2)
                   .arg(8 + minute / 60, 2, 10, QLatin1Char('0'))
                   .arg(minute % 60, 2, 10, QLatin1Char('0'))
                   .toUtf8();
    return gpx + "</trkseg></trk></gpx>\n";
}

} // namespace vantorel::test
