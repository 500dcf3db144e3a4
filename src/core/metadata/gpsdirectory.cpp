#include "gpsdirectory.h"

#include "files/jpegsegments.h"
#include "tiffview.h"

#include <algorithm>

namespace vantorel {
namespace {

// The value bytes of an entry, each element turned little-endian.
QByteArray valueBytes(const TiffView& tiff, qint64 offset, quint16 type, qint64 length) {
    QByteArray value(reinterpret_cast<const char*>(tiff.at(offset)), int(length));
    const int unit = type == TypeRational || type == TypeSRational ? 4 : tiffUnitSize(type);
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
    const TiffView tiff(data, size, big);
    if (tiff.u16(2) != 42) return std::nullopt;

    // The GPS pointer in the main image's directory.
    const qint64 ifd0 = tiff.u32(4);
    if (!tiff.has(ifd0, 2)) return std::nullopt;
    const int count0 = tiff.u16(ifd0);
    if (count0 > kMaxDirectoryEntries || !tiff.has(ifd0 + 2, qint64(count0) * 12)) return std::nullopt;
    qint64 gps = -1;
    for (int k = 0; k < count0; ++k) {
        const qint64 e = ifd0 + 2 + qint64(k) * 12;
        if (tiff.u16(e) != kGpsPointerTag) continue;
        const quint16 type = tiff.u16(e + 2);
        if ((type != TypeLong && type != kTypeIfd) || tiff.u32(e + 4) != 1) return std::nullopt;
        gps = tiff.u32(e + 8);
        break;
    }
    if (gps < 0) return QVector<PropertyItem>();

    // Anything unusual is left to the full reader, which knows every repair.
    if (!tiff.has(gps, 2)) return std::nullopt;
    const int count = tiff.u16(gps);
    if (count > kMaxDirectoryEntries || !tiff.has(gps + 2, qint64(count) * 12)) return std::nullopt;
    QVector<PropertyItem> items;
    items.reserve(count);
    for (int k = 0; k < count; ++k) {
        const qint64 e = gps + 2 + qint64(k) * 12;
        PropertyItem item;
        item.id = tiff.u16(e);
        item.type = tiff.u16(e + 2);
        const int unit = tiffUnitSize(item.type);
        if (unit == 0 || item.type == kTypeIfd) return std::nullopt;
        const qint64 length = qint64(tiff.u32(e + 4)) * unit;
        const qint64 offset = length <= 4 ? e + 8 : qint64(tiff.u32(e + 8));
        if (!tiff.has(offset, length)) return std::nullopt;
        item.value = valueBytes(tiff, offset, item.type, length);
        items.append(item);
    }
    return items;
}

} // namespace vantorel
