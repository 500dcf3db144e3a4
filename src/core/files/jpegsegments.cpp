#include "jpegsegments.h"

#include <cstring>

namespace vantorel {

bool isJpegStart(const QByteArray& bytes) {
    return bytes.size() >= 2 && uchar(bytes[0]) == 0xFF && uchar(bytes[1]) == 0xD8;
}

SegmentStep JpegSegmentWalker::next(const uchar* d, qint64 size, JpegSegment& out) {
    while (true) {
        if (m_pos + 4 > size) {
            m_needed = m_pos + 4;
            return SegmentStep::NeedMore;
        }
        if (d[m_pos] != 0xFF) return SegmentStep::Invalid;
        const uchar marker = d[m_pos + 1];
        if (marker == 0xFF) { // fill byte
            ++m_pos;
            continue;
        }
        if (marker == kMarkerEoi) return SegmentStep::EndOfImage;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) { // no length
            out = {marker, m_pos, 2};
            m_pos += 2;
            return SegmentStep::Segment;
        }
        const qint64 length = (qint64(d[m_pos + 2]) << 8) | d[m_pos + 3];
        if (length < 2) return SegmentStep::Invalid;
        const qint64 end = m_pos + 2 + length;
        if (end > size) {
            m_needed = end;
            return SegmentStep::NeedMore;
        }
        out = {marker, m_pos, 2 + length};
        m_pos = end;
        return SegmentStep::Segment;
    }
}

std::optional<ExifBlock> findExifBlock(const QByteArray& head) {
    ExifBlock block;
    if (!isJpegStart(head)) return std::nullopt;
    const auto* d = reinterpret_cast<const uchar*>(head.constData());
    JpegSegmentWalker walker;
    JpegSegment s;
    while (true) {
        const SegmentStep step = walker.next(head, s);
        if (step == SegmentStep::Invalid) return std::nullopt;
        if (step != SegmentStep::Segment || s.marker == kMarkerSos) return block;
        if (s.marker == kMarkerApp1 && s.payloadSize() >= 6 &&
            std::memcmp(d + s.payloadOffset(), "Exif\0\0", 6) == 0) {
            block.segment = s;
            block.tiffOffset = s.payloadOffset() + 6;
            block.tiffSize = s.payloadSize() - 6;
            return block;
        }
    }
    return block;
}

std::optional<ExifSplice> planExifSplice(const QByteArray& head, const QByteArray& tiffBlock) {
    if (tiffBlock.size() > kMaxExifTiffSize) return std::nullopt;
    const auto block = findExifBlock(head);
    if (!block) return std::nullopt;
    ExifSplice splice;
    if (!tiffBlock.isEmpty()) {
        const qint64 length = 2 + 6 + tiffBlock.size();
        splice.segment.reserve(int(2 + length));
        splice.segment.append(char(0xFF)).append(char(kMarkerApp1));
        splice.segment.append(char(length >> 8)).append(char(length & 0xFF));
        splice.segment.append("Exif\0\0", 6).append(tiffBlock);
    }
    if (block->tiffOffset >= 0) {
        splice.offset = block->segment.offset;
        splice.replacedSize = block->segment.size;
        return splice;
    }
    // No Exif segment: after SOI and any APP0, which JFIF readers expect first.
    splice.offset = 2;
    JpegSegmentWalker walker;
    JpegSegment s;
    while (walker.next(head, s) == SegmentStep::Segment && s.marker == 0xE0)
        splice.offset = s.end();
    return splice;
}

} // namespace vantorel
