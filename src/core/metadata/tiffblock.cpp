// SPDX-License-Identifier: GPL-3.0-or-later
#include "tiffblock.h"

#include <algorithm>
#include <cstring>

namespace vantorel {

int tiffUnitSize(quint16 type) {
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
    case kTypeIfd:
        return 4;
    case TypeRational:
    case TypeSRational:
    case TypeDouble:
        return 8;
    default:
        return 0;
    }
}

QVector<int> TiffDirectory::indexesOf(quint16 tag) const {
    QVector<int> out;
    for (int k = 0; k < entries.size(); ++k)
        if (entries[k].tag == tag) out.append(k);
    return out;
}

std::optional<TiffBlock> TiffBlock::parse(const QByteArray& bytes) {
    if (bytes.size() < 8) return std::nullopt;
    // Olympus ("IIRO", "IIRS", "MMOR") and Panasonic ("IIU\0") RAW files change only the magic number.
    for (const char* magic : {"II\x2A\x00", "IIRO", "IIRS", "IIU\x00"})
        if (bytes.startsWith(QByteArray(magic, 4))) return TiffBlock(bytes, false);
    for (const char* magic : {"MM\x00\x2A", "MMOR"})
        if (bytes.startsWith(QByteArray(magic, 4))) return TiffBlock(bytes, true);
    return std::nullopt;
}

quint16 TiffBlock::u16(qint64 at) const {
    const auto* p = reinterpret_cast<const uchar*>(m_bytes.constData()) + at;
    return m_big ? quint16((p[0] << 8) | p[1]) : quint16(p[0] | (p[1] << 8));
}

quint32 TiffBlock::u32(qint64 at) const {
    const auto* p = reinterpret_cast<const uchar*>(m_bytes.constData()) + at;
    return m_big ? (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | p[3]
                 : quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24);
}

std::optional<TiffDirectory> TiffBlock::directory(qint64 offset) const {
    if (!has(offset, 2)) return std::nullopt;
    TiffDirectory dir;
    dir.offset = offset;
    const int count = u16(offset);
    const int inside = int(std::min<qint64>(count, (size() - offset - 2) / 12));
    dir.complete = inside == count && has(offset + 2 + qint64(count) * 12, 4);
    dir.entries.reserve(inside);
    for (int k = 0; k < inside; ++k) {
        TiffEntry e;
        e.at = offset + 2 + qint64(k) * 12;
        e.tag = u16(e.at);
        e.type = u16(e.at + 2);
        e.count = u32(e.at + 4);
        if (const int unit = tiffUnitSize(e.type)) {
            e.valueSize = qint64(e.count) * unit;
            e.valueAt = e.valueSize <= 4 ? e.at + 8 : qint64(u32(e.at + 8));
        }
        dir.entries.append(e);
    }
    if (dir.complete) dir.next = u32(offset + 2 + qint64(count) * 12);
    return dir;
}

std::optional<qint64> TiffBlock::pointer(const TiffEntry& e) const {
    if (e.count != 1) return std::nullopt;
    if (e.type == TypeLong || e.type == TypeSLong || e.type == kTypeIfd) return qint64(u32(e.at + 8));
    if (e.type == TypeShort) return qint64(u16(e.at + 8));
    return std::nullopt;
}

QByteArray TiffBlock::value(const TiffEntry& e) const {
    if (!valueInside(e)) return {};
    return swapped(e.type, m_bytes.mid(e.valueAt, e.valueSize));
}

QByteArray TiffBlock::encode16(quint16 v) const {
    QByteArray o(2, 0);
    o[m_big ? 0 : 1] = char(v >> 8);
    o[m_big ? 1 : 0] = char(v & 0xFF);
    return o;
}

QByteArray TiffBlock::encode32(quint32 v) const {
    QByteArray o(4, 0);
    for (int i = 0; i < 4; ++i)
        o[m_big ? 3 - i : i] = char((v >> (8 * i)) & 0xFF);
    return o;
}

QByteArray TiffBlock::swapped(quint16 type, QByteArray v) const {
    // A rational is two 32-bit numbers; a double is swapped whole.
    const int unit = type == TypeRational || type == TypeSRational ? 4 : tiffUnitSize(type);
    if (m_big && unit > 1)
        for (qsizetype i = 0; i + unit <= v.size(); i += unit)
            std::reverse(v.begin() + i, v.begin() + i + unit);
    return v;
}

void TiffBlock::zero(qint64 at, qint64 length) {
    if (has(at, length)) std::memset(m_bytes.data() + at, 0, size_t(length));
}

qint64 TiffBlock::append(const QByteArray& bytes) {
    if (m_bytes.size() % 2) m_bytes.append('\0');
    const qint64 at = m_bytes.size();
    m_bytes += bytes;
    return at;
}

} // namespace vantorel
