// SPDX-License-Identifier: GPL-3.0-or-later
// The boxes of an ISO base media file (HEIF: HEIC, AVIF; CR3) that say where its items lie: the
// top-level boxes, then in `meta` the handler, the primary item, the item infos, the item
// locations, the item references and the properties. Every size is checked against its parent
// and the file; nothing is trusted, and only the boxes are read, never the media data.
#pragma once

#include "photocontainer.h"

#include <QByteArray>
#include <QString>
#include <QVector>
#include <optional>

namespace vantorel {

constexpr quint32 fourCC(const char (&text)[5]) {
    return (quint32(uchar(text[0])) << 24) | (quint32(uchar(text[1])) << 16) |
           (quint32(uchar(text[2])) << 8) | quint32(uchar(text[3]));
}

struct BmffBox {
    quint32 type = 0;
    qint64 offset = 0;     // of its first byte (its size field)
    qint64 headerSize = 0; // size, type, 64-bit size, extended type
    qint64 size = 0;       // the whole box
    bool toEnd = false;    // its size field is 0: it runs to the end of its parent
    qint64 payload() const { return offset + headerSize; }
    qint64 end() const { return offset + size; }
};

// The box at `at` of `bytes` (whose first byte is at `base` in the file), inside [.., limit);
// false when its header does not fit or its size does not.
bool parseBoxHeader(const QByteArray& bytes, qint64 at, qint64 limit, qint64 base, BmffBox& box);

struct IlocExtent {
    quint64 index = 0;
    quint64 offset = 0; // as stored
    quint64 length = 0; // as stored (0: to the end of the file or of idat)
    qint64 start = -1;  // resolved position in the file (-1: not in this file)
    qint64 size = 0;    // resolved length
};

struct IlocItem {
    quint32 id = 0;
    quint16 methodField = 0; // reserved bits and construction method, as stored (versions 1 and 2)
    quint16 dataReference = 0;
    quint64 baseOffset = 0;
    QVector<IlocExtent> extents;
    int method() const { return methodField & 0xF; }
};

struct Iloc {
    qint64 offset = -1; // the box, in the file
    qint64 size = 0;
    qint64 headerSize = 0;
    int version = 0;
    quint32 flags = 0;
    int offsetSize = 0, lengthSize = 0, baseOffsetSize = 0, indexSize = 0;
    QVector<IlocItem> items;
    const IlocItem* item(quint32 id) const;
};

struct ItemInfo {
    quint32 id = 0;
    quint32 type = 0;       // 'Exif', 'mime', 'hvc1'...; 0 for the old entries without a type
    QByteArray contentType; // of a 'mime' item
};

struct ItemReference {
    quint32 type = 0; // 'cdsc', 'thmb', 'dimg'...
    quint32 from = 0;
    QVector<quint32> to;
};

struct BmffMeta {
    BmffBox box;               // the meta box
    QByteArray bytes;          // all of it
    QVector<BmffBox> children; // its boxes, file offsets
    quint32 handler = 0;
    std::optional<quint32> primary;
    int iinfVersion = 0;
    quint32 iinfCount = 0; // as stored
    QVector<ItemInfo> infos;
    Iloc iloc;
    int irefVersion = 0;
    QVector<ItemReference> references;
    qint64 idatPayload = -1, idatSize = 0; // the idat box's data, in the file
    quint32 largestId = 0;                 // of the items and entity groups
    // The last box of iinf or iref has size 0 (to the end of its parent): nothing can follow it.
    bool iinfOpen = false, irefOpen = false;
    std::optional<QSize> primarySize; // the primary item's ispe
    const BmffBox* child(quint32 type) const;
    const ItemInfo* info(quint32 id) const;
};

struct BmffFile {
    QString error;          // not empty: the file cannot be walked safely
    QVector<BmffBox> boxes; // top level
    bool truncated = false; // the last box runs past the end of the file
    std::optional<BmffMeta> meta;
    bool cr3 = false; // a camera's RAW in boxes (brand 'crx ')
};

// Walks the top-level boxes and reads `meta` (at most `kMaxMetaSize` bytes).
inline constexpr qint64 kMaxMetaSize = 64 * 1024 * 1024;
BmffFile parseBmff(const ByteSource& file);

// The boxes in [from, to) of the file, read header by header; nothing when one does not fit.
std::optional<QVector<BmffBox>> readChildBoxes(const ByteSource& file, qint64 from, qint64 to);
// A 'uuid' box's extended type (16 bytes).
QByteArray boxUserType(const ByteSource& file, const BmffBox& box);

// The items whose data is the Exif block (item type 'Exif') or an XMP packet ('mime' item of type
// application/rdf+xml), those describing the primary item first.
QVector<quint32> exifItems(const BmffMeta& meta);
QVector<quint32> xmpItems(const BmffMeta& meta);

// The item's data as the file ranges of its extents, in order; nothing when it is not wholly
// in this file (another file, built from other items, an extent past the end).
std::optional<QVector<ByteRange>> itemRanges(const BmffMeta& meta, quint32 id, qint64 fileSize);

} // namespace vantorel
