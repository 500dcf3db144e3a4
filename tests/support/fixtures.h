// SPDX-License-Identifier: GPL-3.0-or-later
// Test fixtures made at run time: small JPEG files carrying exactly the metadata items a case needs.
#pragma once

#include "metadata/phototime.h"
#include "metadata/propertyitem.h"

#include <QByteArray>
#include <QSize>
#include <QString>
#include <QVector>
#include <initializer_list>
#include <optional>
#include <utility>

#include <ostream>

// Readable QString values in test failures.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace vantorel::test {

PropertyItem asciiItem(quint32 id, const QByteArray& text); // NUL added
PropertyItem byteItem(quint32 id, std::initializer_list<quint8> bytes, quint16 type = TypeByte);
PropertyItem shortItem(quint32 id, std::initializer_list<quint16> values, quint16 type = TypeShort);
PropertyItem longItem(quint32 id, std::initializer_list<quint32> values, quint16 type = TypeLong);
PropertyItem rationalItem(quint32 id, std::initializer_list<std::pair<qint64, qint64>> pairs,
                          quint16 type = TypeRational);
PropertyItem rawItem(quint32 id, quint16 type, const QByteArray& bytes);

// GPS items 1 to 4 for a position given as degrees/minutes/seconds rationals.
QVector<PropertyItem> gpsItems(const char* latRef, std::initializer_list<std::pair<qint64, qint64>> lat,
                               const char* lonRef, std::initializer_list<std::pair<qint64, qint64>> lon);

// Writes a JPEG of `size` (a plain picture, quality 90) at dir/name with the given items.
QString makeJpeg(const QString& dir, const QString& name, const QVector<PropertyItem>& items = {},
                 QSize size = QSize(32, 24));

// Writes at dir/name a TIFF picture (8 x 8, no pixels) whose GPS directory holds N 5° E 6°.
QString makeGeotaggedTiff(const QString& dir, const QString& name);

QByteArray fileBytes(const QString& path);

// A photo's time as read from its items: "2024:06:01 10:00:00" from DateTimeOriginal, with the
// photo's own offset when given.
PhotoTimeReading cameraTime(const char* exifDateTime, std::optional<int> offsetSeconds = {});

// A GPX 1.1 track eastwards from Lisbon on 2024-06-01 at 39° N: 9.5° W at 08:00Z, 0.01° of
// longitude a minute until 18:00Z, a fix every ten minutes (the border, 7° W, at 12:10Z).
QByteArray tripAcrossIberiaGpx();

// Real-camera samples shipped beside the project.
QString samplePath(const QString& name);

} // namespace vantorel::test
