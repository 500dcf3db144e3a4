// SPDX-License-Identifier: GPL-3.0-or-later
#include "phototime.h"

#include "gpscoordinates.h"
#include "imageproperties.h"

#include <QDate>

namespace vantorel {
namespace {

enum ExifTimeTag : quint32 {
    DateTime = 0x0132,
    DateTimeOriginal = 0x9003,
    DateTimeDigitized = 0x9004,
    OffsetTime = 0x9010,
    OffsetTimeOriginal = 0x9011,
    OffsetTimeDigitized = 0x9012,
    SubSecTime = 0x9290,
    SubSecTimeOriginal = 0x9291,
    SubSecTimeDigitized = 0x9292,
};

struct TimeItems {
    PhotoTimeSource source;
    quint32 dateTime, subSec, offset;
};
const TimeItems kTimeItems[] = {
    {PhotoTimeSource::Original, DateTimeOriginal, SubSecTimeOriginal, OffsetTimeOriginal},
    {PhotoTimeSource::Digitized, DateTimeDigitized, SubSecTimeDigitized, OffsetTimeDigitized},
    {PhotoTimeSource::Modified, DateTime, SubSecTime, OffsetTime},
};

QString textOf(const ImageProperties& photo, quint32 id) {
    const auto item = photo.item(id);
    return item && item->type == TypeAscii ? item->text().trimmed() : QString();
}

int digitsAt(const QString& text, int from, int count) {
    int value = 0;
    for (int i = from; i < from + count; ++i) {
        if (i >= text.size() || !text[i].isDigit() || text[i].unicode() > '9') return -1;
        value = value * 10 + (text[i].unicode() - '0');
    }
    return value;
}

// Milliseconds of a fraction of a second written as digits ("5" is half a second).
qint64 subSecondMs(const QString& digits) {
    qint64 ms = 0, scale = 100;
    for (QChar c : digits) {
        if (c.unicode() < '0' || c.unicode() > '9') break;
        ms += (c.unicode() - '0') * scale;
        scale /= 10;
    }
    return ms;
}

} // namespace

std::optional<qint64> parseExifDateTime(const QString& text) {
    // "YYYY:MM:DD HH:MM:SS"; some cameras write "-" in the date.
    if (text.size() < 19) return std::nullopt;
    const int y = digitsAt(text, 0, 4), mo = digitsAt(text, 5, 2), d = digitsAt(text, 8, 2);
    const int h = digitsAt(text, 11, 2), mi = digitsAt(text, 14, 2), s = digitsAt(text, 17, 2);
    const QDate date(y, mo, d);
    if (y < 1 || !date.isValid() || h < 0 || h > 23 || mi < 0 || mi > 59 || s < 0 || s > 59)
        return std::nullopt;
    return (date.toJulianDay() - QDate(1970, 1, 1).toJulianDay()) * 86400000 +
           (h * 3600 + mi * 60 + s) * 1000LL;
}

std::optional<int> parseExifOffset(const QString& text) {
    if (text.size() != 6 || (text[0] != u'+' && text[0] != u'-') || text[3] != u':') return std::nullopt;
    const int h = digitsAt(text, 1, 2), m = digitsAt(text, 4, 2);
    if (h < 0 || h > 14 || m < 0 || m > 59) return std::nullopt;
    return (text[0] == u'-' ? -1 : 1) * (h * 3600 + m * 60);
}

QString formatCameraTime(qint64 cameraMs) {
    const qint64 days = cameraMs >= 0 ? cameraMs / 86400000 : (cameraMs - 86399999) / 86400000;
    const qint64 inDay = cameraMs - days * 86400000;
    const QDate date = QDate::fromJulianDay(QDate(1970, 1, 1).toJulianDay() + days);
    QString text =
        date.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(" %1:%2:%3")
                                                          .arg(inDay / 3600000, 2, 10, QLatin1Char('0'))
                                                          .arg(inDay / 60000 % 60, 2, 10, QLatin1Char('0'))
                                                          .arg(inDay / 1000 % 60, 2, 10, QLatin1Char('0'));
    if (inDay % 1000) text += QStringLiteral(".%1").arg(inDay % 1000, 3, 10, QLatin1Char('0'));
    return text;
}

QString photoTimeSourceName(PhotoTimeSource source) {
    switch (source) {
    case PhotoTimeSource::Original:
        return QStringLiteral("DateTimeOriginal");
    case PhotoTimeSource::Digitized:
        return QStringLiteral("DateTimeDigitized");
    case PhotoTimeSource::Modified:
        return QStringLiteral("DateTime");
    case PhotoTimeSource::None:
        break;
    }
    return {};
}

PhotoTimeReading ReadPhotoTime(const ImageProperties& photo) {
    PhotoTimeReading r;
    r.readable = true;
    GpsComponents latitude, longitude;
    r.geotagged =
        readCoordinate(photo, GpsLatitude, latitude) && readCoordinate(photo, GpsLongitude, longitude);
    r.hasGpsVersion = photo.item(GpsVer).has_value();
    for (const TimeItems& items : kTimeItems) {
        const auto ms = parseExifDateTime(textOf(photo, items.dateTime));
        if (!ms) continue;
        r.source = items.source;
        r.cameraMs = *ms + subSecondMs(textOf(photo, items.subSec));
        r.offsetSeconds = parseExifOffset(textOf(photo, items.offset));
        if (!r.offsetSeconds) r.offsetSeconds = parseExifOffset(textOf(photo, OffsetTime));
        break;
    }
    return r;
}

PhotoTimeReading ReadPhotoTime(const QString& path) {
    ImageProperties photo;
    if (!photo.open(path)) {
        PhotoTimeReading r;
        r.readError = photo.openError();
        return r;
    }
    return ReadPhotoTime(photo);
}

} // namespace vantorel
