// SPDX-License-Identifier: GPL-3.0-or-later
#include "gpsdirectory.h"

#include "files/jpegsegments.h"
#include "tiffblock.h"

namespace vantorel {

std::optional<QVector<PropertyItem>> readGpsDirectory(const QByteArray& jpegHead) {
    if (jpegHead.size() < 4) return std::nullopt;
    const auto exif = findExifBlock(jpegHead);
    if (!exif) return std::nullopt;
    if (exif->tiffOffset < 0) return QVector<PropertyItem>(); // no Exif segment: no GPS directory
    // The block is read where it lies in the head, without a copy.
    return readTiffGpsDirectory(
        QByteArray::fromRawData(jpegHead.constData() + exif->tiffOffset, qsizetype(exif->tiffSize)));
}

std::optional<QVector<PropertyItem>> readTiffGpsDirectory(const QByteArray& tiffBlock) {
    const auto tiff = TiffBlock::parse(tiffBlock);
    if (!tiff) return std::nullopt;
    const auto ifd0 = tiff->directory(tiff->firstDirectory());
    if (!ifd0) return std::nullopt;
    const QVector<int> pointers = ifd0->indexesOf(kGpsPointerTag);
    if (pointers.isEmpty()) return QVector<PropertyItem>();

    // Anything unusual is left to the full reader, which knows every repair.
    const auto at = tiff->pointer(ifd0->entries[pointers.first()]);
    if (!at) return std::nullopt;
    const auto gps = tiff->directory(*at);
    if (!gps || gps->entries.size() != tiff->u16(*at)) return std::nullopt;
    QVector<PropertyItem> items;
    items.reserve(gps->entries.size());
    for (const TiffEntry& e : gps->entries) {
        // An entry of a type no reader knows holds nothing to read (a camera's padding, say).
        if (!e.known()) continue;
        if (!tiff->valueInside(e) || e.type == kTypeIfd) return std::nullopt;
        items.append({e.tag, e.type, tiff->value(e)});
    }
    return items;
}

} // namespace vantorel
