// Reading a TIFF (Exif) block's numbers in its own byte order, with bounds checks: shared by the
// quick GPS reader and the GPS directory editor.
#pragma once

#include "propertyitem.h"

namespace vantorel {

inline constexpr quint16 kGpsPointerTag = 0x8825;
inline constexpr quint16 kTypeIfd = 13;
// More entries than any real directory holds: a count above it is damage.
inline constexpr int kMaxDirectoryEntries = 1000;

// Bytes per element of a TIFF type; 0 for an unknown type.
inline int tiffUnitSize(quint16 type) {
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

class TiffView {
public:
    TiffView(const uchar* data, qint64 size, bool bigEndian) : m_data(data), m_size(size), m_big(bigEndian) {}

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
    qint64 size() const { return m_size; }
    bool bigEndian() const { return m_big; }

private:
    const uchar* m_data;
    qint64 m_size;
    bool m_big;
};

} // namespace vantorel
