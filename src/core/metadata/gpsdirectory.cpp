#include "gpsdirectory.h"

#include "files/jpegsegments.h"

#include <algorithm>

namespace vantorel {
namespace {

constexpr quint16 kGpsPointerTag = 0x8825;
constexpr int kMaxEntries = 1000;

int elementSize(quint16 type) {
    switch (type) {
    case TypeByte:
    case TypeAscii:
    case TypeSByte:
    case TypeUndefined:
        return 1;
    case TypeShort:
    case TypeSShort:
        return 2;
    case TypeLong:
    case TypeSLong:
    case TypeFloat:
    case 13: // IFD
        return 4;
    case TypeRational:
    case TypeSRational:
    case TypeDouble:
        return 8;
    default:
        return 0;
    }
}

class Tiff {
public:
    Tiff(const uchar* data, qint64 size, bool bigEndian) : m_data(data), m_size(size), m_big(bigEndian) {}

    bool has(qint64 offset, qint64 length) const {
        return offset >= 0 && length >= 0 && offset + length <= m_size;
    }
    quint16 u16(qint64 at) const {
        const uchar* p = m_data + at;
        return m_big ? quint16((p[0] << 8) | p[1]) : quint16(p[0] | (p[1] << 8));
    }
    quint32 u32(qint64 at) const {
        const uchar* p = m_data + at;
        return m_big ? (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | p[3]
                     : quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24);
    }
    const uchar* at(qint64 offset) const { return m_data + offset; }
    bool bigEndian() const { return m_big; }

private:
    const uchar* m_data;
    qint64 m_size;
    bool m_big;
};

// The value bytes of an entry, each element turned little-endian.
QByteArray valueBytes(const Tiff& tiff, qint64 offset, quint16 type, qint64 length) {
    QByteArray value(reinterpret_cast<const char*>(tiff.at(offset)), int(length));
    const int unit = type == TypeRational || type == TypeSRational ? 4 : elementSize(type);
    if (tiff.bigEndian() && unit > 1)
        for (qint64 i = 0; i + unit <= length; i += unit)
            std::reverse(value.begin() + i, value.begin() + i + unit);
    return value;
}

} // namespace

std::optional<QVector<PropertyItem>> readGpsDirectory(const QByteArray& jpegHead) {
    if (jpegHead.size() < 4) return std::nullopt;
    const auto block = findExifBlock(jpegHead);
    if (!block) return std::nullopt;
    if (block->tiffOffset < 0) return QVector<PropertyItem>(); // no Exif segment: no GPS directory
    const auto* data = reinterpret_cast<const uchar*>(jpegHead.constData()) + block->tiffOffset;
    const qint64 size = block->tiffSize;
    if (size < 8) return std::nullopt;
    bool big;
    if (data[0] == 'I' && data[1] == 'I')
        big = false;
    else if (data[0] == 'M' && data[1] == 'M')
        big = true;
    else
        return std::nullopt;
    const Tiff tiff(data, size, big);
    if (tiff.u16(2) != 42) return std::nullopt;

    // The GPS pointer in the main image's directory.
    const qint64 ifd0 = tiff.u32(4);
    if (!tiff.has(ifd0, 2)) return std::nullopt;
    const int count0 = tiff.u16(ifd0);
    if (count0 > kMaxEntries || !tiff.has(ifd0 + 2, qint64(count0) * 12)) return std::nullopt;
    qint64 gps = -1;
    for (int k = 0; k < count0; ++k) {
        const qint64 e = ifd0 + 2 + qint64(k) * 12;
        if (tiff.u16(e) != kGpsPointerTag) continue;
        const quint16 type = tiff.u16(e + 2);
        if ((type != TypeLong && type != 13) || tiff.u32(e + 4) != 1) return std::nullopt;
        gps = tiff.u32(e + 8);
        break;
    }
    if (gps < 0) return QVector<PropertyItem>();

    // Anything unusual is left to the full reader, which knows every repair.
    if (!tiff.has(gps, 2)) return std::nullopt;
    const int count = tiff.u16(gps);
    if (count > kMaxEntries || !tiff.has(gps + 2, qint64(count) * 12)) return std::nullopt;
    QVector<PropertyItem> items;
    items.reserve(count);
    for (int k = 0; k < count; ++k) {
        const qint64 e = gps + 2 + qint64(k) * 12;
        PropertyItem item;
        item.id = tiff.u16(e);
        item.type = tiff.u16(e + 2);
        const int unit = elementSize(item.type);
        if (unit == 0 || item.type == 13) return std::nullopt;
        const qint64 length = qint64(tiff.u32(e + 4)) * unit;
        const qint64 offset = length <= 4 ? e + 8 : qint64(tiff.u32(e + 8));
        if (!tiff.has(offset, length)) return std::nullopt;
        item.value = valueBytes(tiff, offset, item.type, length);
        items.append(item);
    }
    return items;
}

} // namespace vantorel
