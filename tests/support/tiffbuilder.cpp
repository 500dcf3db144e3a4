// SPDX-License-Identifier: GPL-3.0-or-later
#include "tiffbuilder.h"

#include <QBuffer>
#include <QImage>
#include <algorithm>

namespace vantorel::test {

int tiffTypeSize(quint16 type) {
    static const int sizes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
    return type < 14 ? sizes[type] : 1;
}

QByteArray TiffBuilder::u16(quint16 v) const {
    QByteArray o(2, 0);
    o[m_big ? 0 : 1] = char(v >> 8);
    o[m_big ? 1 : 0] = char(v);
    return o;
}

QByteArray TiffBuilder::u32(quint32 v) const {
    QByteArray o(4, 0);
    for (int i = 0; i < 4; ++i)
        o[m_big ? 3 - i : i] = char(v >> (8 * i));
    return o;
}

TiffField TiffBuilder::ascii(quint16 tag, const QByteArray& text) const {
    return {tag, 2, quint32(text.size() + 1), text + '\0'};
}

TiffField TiffBuilder::shorts(quint16 tag, std::initializer_list<quint16> values) const {
    TiffField f{tag, 3, quint32(values.size()), {}};
    for (quint16 v : values)
        f.value += u16(v);
    return f;
}

TiffField TiffBuilder::rationals(quint16 tag,
                                 std::initializer_list<std::pair<quint32, quint32>> values) const {
    TiffField f{tag, 5, quint32(values.size()), {}};
    for (auto [n, d] : values)
        f.value += u32(n) + u32(d);
    return f;
}

QVector<TiffField> TiffBuilder::position(char latRef, quint32 latDeg, quint32 latMin, char lonRef,
                                         quint32 lonDeg, quint32 lonMin) const {
    return {ascii(1, QByteArray(1, latRef)), rationals(2, {{latDeg, 1}, {latMin, 1}, {0, 1}}),
            ascii(3, QByteArray(1, lonRef)), rationals(4, {{lonDeg, 1}, {lonMin, 1}, {0, 1}})};
}

QByteArray TiffBuilder::build() const {
    // Layout: header, IFD0, Exif, GPS, IFD1 tables, then every value, then the thumbnail.
    QVector<TiffField> main = ifd0, first = ifd1;
    if (!exif.isEmpty()) main.append({0x8769, 4, 1, u32(0)});
    if (!gps.isEmpty())
        main.append({0x8825, gpsPointerType, 1, gpsPointerType == 3 ? u16(0) + u16(0) : u32(0)});
    if (!thumbnail.isEmpty()) {
        first.append({0x0201, 4, 1, u32(0)});
        first.append({0x0202, 4, 1, u32(quint32(thumbnail.size()))});
    }
    const QVector<const QVector<TiffField>*> dirs{&main, &exif, &gps, &first};
    QVector<qint64> at(4, 0);
    qint64 pos = 8;
    for (int i = 0; i < 4; ++i) {
        if (i > 0 && dirs[i]->isEmpty()) continue;
        at[i] = pos;
        pos += 2 + dirs[i]->size() * 12 + 4;
    }
    qint64 valuesAt = pos;
    qint64 valuesSize = 0;
    for (const auto* d : dirs)
        for (const TiffField& f : *d)
            if (f.value.size() > 4) valuesSize += f.value.size() + f.value.size() % 2;
    const qint64 thumbAt = valuesAt + valuesSize;

    QByteArray out = QByteArray(m_big ? "MM" : "II") + u16(42) + u32(8);
    QByteArray values;
    for (int i = 0; i < 4; ++i) {
        if (i > 0 && dirs[i]->isEmpty()) continue;
        QVector<TiffField> fields = *dirs[i];
        std::stable_sort(fields.begin(), fields.end(), [](auto& a, auto& b) { return a.tag < b.tag; });
        out += u16(quint16(fields.size()));
        for (TiffField f : fields) {
            if (f.tag == 0x8769 && i == 0) f.value = u32(quint32(at[1]));
            if (f.tag == 0x8825 && i == 0)
                f.value = gpsPointerType == 3 ? u16(quint16(at[2])) + u16(0) : u32(quint32(at[2]));
            if (f.tag == 0x0201 && i == 3) f.value = u32(quint32(thumbAt));
            out += u16(f.tag) + u16(f.type) + u32(f.count);
            if (f.value.size() <= 4) {
                out += f.value + QByteArray(4 - f.value.size(), '\0');
            } else {
                out += u32(quint32(valuesAt + values.size()));
                values += f.value;
                if (values.size() % 2) values += '\0';
            }
        }
        out += u32(i == 0 && !first.isEmpty() ? quint32(at[3]) : 0);
    }
    return out + values + thumbnail + padding;
}

QByteArray plainJpeg(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(90, 140, 40));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", 80);
    return bytes;
}

QByteArray segment(uchar marker, const QByteArray& payload) {
    const int length = int(payload.size()) + 2;
    return QByteArray(1, char(0xFF)) + char(marker) + char(length >> 8) + char(length & 0xFF) + payload;
}

QByteArray exifSegment(const QByteArray& tiff) {
    return segment(0xE1, QByteArray("Exif\0\0", 6) + tiff);
}

QByteArray xmpSegment(const QByteArray& packet) {
    return segment(0xE1, QByteArray("http://ns.adobe.com/xap/1.0/\0", 29) + packet);
}

QByteArray xmpPacket(const QByteArray& attributes) {
    return "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>"
           "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
           "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
           "<rdf:Description rdf:about=\"\" xmlns:exif=\"http://ns.adobe.com/exif/1.0/\" "
           "xmlns:photoshop=\"http://ns.adobe.com/photoshop/1.0/\" "
           "xmlns:dc=\"http://purl.org/dc/elements/1.1/\" " +
           attributes + "/></rdf:RDF></x:xmpmeta><?xpacket end=\"w\"?>";
}

QByteArray withSegments(const QByteArray& jpeg, const QVector<QByteArray>& segments,
                        const QByteArray& stray) {
    // After SOI and APP0 (JFIF), as cameras place them.
    qint64 at = 2;
    if (uchar(jpeg[3]) == 0xE0) at = 4 + ((uchar(jpeg[4]) << 8) | uchar(jpeg[5]));
    QByteArray inserted;
    for (const QByteArray& s : segments)
        inserted += s;
    return jpeg.left(at) + inserted + stray + jpeg.mid(at);
}

QByteArray multiPicture(const QByteArray& first, const QByteArray& second, bool bigEndian) {
    // The index: "MPF\0", a TIFF header, one directory with the version, the count and the entries.
    TiffBuilder b(bigEndian);
    const qint64 indexSize = 4 + 8 + 2 + 3 * 12 + 4 + 32;
    const qint64 mpfSegmentSize = 4 + indexSize;
    QByteArray withIndex = withSegments(first, {segment(0xE2, QByteArray(indexSize, '\0'))});
    const qint64 headerAt = withIndex.indexOf(QByteArray("\xFF\xE2", 2)) + 4 + 4; // the index's TIFF header
    QByteArray index = QByteArray("MPF\0", 4) + (bigEndian ? "MM" : "II") + b.u16(42) + b.u32(8);
    index += b.u16(3);
    index += b.u16(0xB000) + b.u16(7) + b.u32(4) + QByteArray("0100");
    index += b.u16(0xB001) + b.u16(4) + b.u32(1) + b.u32(2);
    index += b.u16(0xB002) + b.u16(7) + b.u32(32) + b.u32(8 + 2 + 3 * 12 + 4);
    index += b.u32(0);
    // First picture: offset 0, its size; second: its offset from the TIFF header.
    const quint32 firstSize = quint32(withIndex.size());
    index += b.u32(0x030000) + b.u32(firstSize) + b.u32(0) + b.u16(0) + b.u16(0);
    index +=
        b.u32(0) + b.u32(quint32(second.size())) + b.u32(quint32(firstSize - headerAt)) + b.u16(0) + b.u16(0);
    Q_ASSERT(index.size() == indexSize);
    Q_UNUSED(mpfSegmentSize);
    withIndex.replace(headerAt - 4, indexSize, index);
    return withIndex + second;
}

} // namespace vantorel::test
