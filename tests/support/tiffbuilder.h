// SPDX-License-Identifier: GPL-3.0-or-later
// An independent builder of Exif (TIFF) blocks and JPEG files for tests: entries of any type and
// count, the main, Exif, GPS and thumbnail directories, either byte order, and JPEG files with
// extra segments, a multi-picture index, a second picture after the end or stray bytes.
#pragma once

#include <QByteArray>
#include <QVector>
#include <initializer_list>
#include <optional>
#include <utility>

namespace vantorel::test {

// The byte size of one value of a TIFF type (1 for a type it does not know).
int tiffTypeSize(quint16 type);

struct TiffField {
    quint16 tag = 0;
    quint16 type = 0;
    quint32 count = 0;
    QByteArray value; // in the block's byte order
};

class TiffBuilder {
public:
    explicit TiffBuilder(bool bigEndian = false) : m_big(bigEndian) {}

    // Values in the builder's byte order.
    QByteArray u16(quint16 v) const;
    QByteArray u32(quint32 v) const;
    TiffField ascii(quint16 tag, const QByteArray& text) const; // NUL added
    TiffField shorts(quint16 tag, std::initializer_list<quint16> values) const;
    TiffField rationals(quint16 tag, std::initializer_list<std::pair<quint32, quint32>> values) const;
    // Latitude and longitude (with their references) as degrees, minutes, seconds.
    QVector<TiffField> position(char latRef, quint32 latDeg, quint32 latMin, char lonRef, quint32 lonDeg,
                                quint32 lonMin) const;

    QVector<TiffField> ifd0, exif, gps, ifd1;
    QByteArray thumbnail;       // with ifd1: its JPEG, pointed to by 0x0201/0x0202
    quint16 gpsPointerType = 4; // the type the GPS pointer is written with (LONG; SHORT: 3)
    QByteArray padding;         // appended at the end of the block

    QByteArray build() const;

private:
    bool m_big;
};

// A small plain JPEG (SOI, APP0, tables, scan, EOI) made by Qt's encoder.
QByteArray plainJpeg(int width = 16, int height = 12);
// Segments: marker, length, payload.
QByteArray segment(uchar marker, const QByteArray& payload);
QByteArray exifSegment(const QByteArray& tiff);
QByteArray xmpSegment(const QByteArray& packet);
// An XMP packet with the given rdf:Description attributes (`exif:GPSLatitude="48,7.5N"`...).
QByteArray xmpPacket(const QByteArray& attributes);
// `jpeg` with `segments` inserted after its APP0 segment, and `stray` bytes before its tables.
QByteArray withSegments(const QByteArray& jpeg, const QVector<QByteArray>& segments,
                        const QByteArray& stray = {});
// A multi-picture file: `first` (whose APP0 is followed by an MPF index) then `second` after its
// end, the index giving both pictures' places as readers expect them.
QByteArray multiPicture(const QByteArray& first, const QByteArray& second, bool bigEndian = false);

} // namespace vantorel::test
