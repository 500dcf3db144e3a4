// SPDX-License-Identifier: GPL-3.0-or-later
// One metadata item of a picture, as the rest of the program sees it: tag id, type code and
// value bytes (multi-byte numbers little-endian). The byte length is value.size().
#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace vantorel {

enum PropertyType : quint16 {
    TypeByte = 1,
    TypeAscii = 2,
    TypeShort = 3,
    TypeLong = 4,
    TypeRational = 5,
    TypeSByte = 6,
    TypeUndefined = 7,
    TypeSShort = 8,
    TypeSLong = 9,
    TypeSRational = 10,
    TypeFloat = 11,
    TypeDouble = 12,
};

// Ids of the GPS directory items the program reads and writes.
enum GpsTag : quint32 {
    GpsVer = 0,
    GpsLatitudeRef = 1,
    GpsLatitude = 2,
    GpsLongitudeRef = 3,
    GpsLongitude = 4,
    GpsAltitudeRef = 5,
    GpsAltitude = 6,
    GpsTimeStamp = 7,    // UTC hour, minute, second as three rationals
    GpsDateStamp = 0x1D, // UTC date, ASCII "YYYY:MM:DD"
};

struct PropertyItem {
    quint32 id = 0;
    quint16 type = 0;
    QByteArray value;

    quint32 length() const { return quint32(value.size()); }

    // Little-endian element readers; callers check the element count first.
    quint16 u16(int i) const;
    quint32 u32(int i) const;
    // The text up to the first NUL, bytes taken as Latin-1 would be wrong for UTF-8 camera
    // strings, so they are decoded as UTF-8 with a Latin-1 fallback.
    QString text() const;
};

// Items of the GPS directory carry ids below 0x20; the main image's share the TIFF ids.
inline bool isGpsId(quint32 id) {
    return id < 0x20;
}

} // namespace vantorel
