// SPDX-License-Identifier: GPL-3.0-or-later
// A TIFF (Exif) block: its header read once, its directories read into entries with bounds
// checks, values converted between the file's byte order and the little-endian order of property
// items. The quick GPS reader and the GPS directory editor both work on it.
#pragma once

#include "propertyitem.h"

#include <QByteArray>
#include <QVector>
#include <optional>

namespace vantorel {

inline constexpr quint16 kGpsPointerTag = 0x8825;
inline constexpr quint16 kExifPointerTag = 0x8769;
inline constexpr quint16 kInteropPointerTag = 0xA005;
inline constexpr quint16 kTypeIfd = 13;

// Bytes per element of a TIFF type; 0 for a type this block does not know.
int tiffUnitSize(quint16 type);

struct TiffEntry {
    quint16 tag = 0;
    quint16 type = 0;
    quint32 count = 0;
    qint64 at = 0;        // the entry's 12 bytes
    qint64 valueAt = -1;  // its value (the entry's last 4 bytes when it fits there); -1 for an unknown type
    qint64 valueSize = 0; // count × element size; 0 for an unknown type

    bool known() const { return valueAt >= 0; }
    bool valueInEntry() const { return valueAt == at + 8; }
};

struct TiffDirectory {
    qint64 offset = -1;
    QVector<TiffEntry> entries;
    quint32 next = 0;     // the next directory's offset, 0 when none
    bool complete = true; // false when the table runs beyond the block (only the entries inside are read)

    qint64 tableSize() const { return 2 + qint64(entries.size()) * 12 + 4; }
    // The entries with this tag (a damaged file may hold several).
    QVector<int> indexesOf(quint16 tag) const;
};

class TiffBlock {
public:
    // Nothing when the bytes do not start with a TIFF header ("II*\0" or "MM\0*", or the magic
    // numbers of the RAW files built on TIFF: "IIRO", "IIRS", "MMOR", "IIU\0").
    static std::optional<TiffBlock> parse(const QByteArray& bytes);

    const QByteArray& bytes() const { return m_bytes; }
    bool bigEndian() const { return m_big; }
    qint64 size() const { return m_bytes.size(); }
    qint64 firstDirectory() const { return u32(4); }

    bool has(qint64 offset, qint64 length) const {
        return offset >= 0 && length >= 0 && offset + length <= m_bytes.size();
    }
    // Callers check has() first.
    quint16 u16(qint64 at) const;
    quint32 u32(qint64 at) const;

    // The directory at `offset`; nothing when not even its entry count lies inside the block.
    std::optional<TiffDirectory> directory(qint64 offset) const;
    // Where a pointer entry (a sub-directory's offset) leads: a LONG, SLONG, IFD or SHORT of count
    // 1, as readers accept them; nothing for anything else.
    std::optional<qint64> pointer(const TiffEntry& entry) const;
    bool valueInside(const TiffEntry& entry) const {
        return entry.known() && has(entry.valueAt, entry.valueSize);
    }
    // An entry's value with its numbers little-endian; empty when it does not lie inside the block.
    QByteArray value(const TiffEntry& entry) const;

    // Numbers in the file's order, for writing.
    QByteArray encode16(quint16 v) const;
    QByteArray encode32(quint32 v) const;
    // A value's bytes swapped between little-endian and the file's order (the same both ways).
    QByteArray swapped(quint16 type, QByteArray value) const;

    // Editing.
    void replace(qint64 at, const QByteArray& bytes) { m_bytes.replace(at, bytes.size(), bytes); }
    void zero(qint64 at, qint64 length);
    // Appends at the end, first aligned on a word; returns where the bytes went.
    qint64 append(const QByteArray& bytes);

private:
    TiffBlock(QByteArray bytes, bool big) : m_bytes(std::move(bytes)), m_big(big) {}
    QByteArray m_bytes;
    bool m_big = false;
};

} // namespace vantorel
