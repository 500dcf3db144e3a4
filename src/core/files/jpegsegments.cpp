// SPDX-License-Identifier: GPL-3.0-or-later
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
        const uchar marker = d[m_pos + 1];
        if (d[m_pos] != 0xFF || marker == 0x00) {
            // A few stray bytes between two segments are passed over, as decoders and other
            // readers do; many mean this is no JPEG at all.
            if (++m_stray > kMaxStrayBytes) return SegmentStep::Invalid;
            ++m_pos;
            continue;
        }
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

std::optional<QSize> jpegFrameSize(const QByteArray& head) {
    if (!isJpegStart(head)) return std::nullopt;
    const auto* d = reinterpret_cast<const uchar*>(head.constData());
    JpegSegmentWalker walker;
    JpegSegment s;
    std::optional<QSize> size;
    while (walker.next(head, s) == SegmentStep::Segment) {
        if (s.marker == kMarkerSos) return size;
        const bool frame =
            s.marker >= 0xC0 && s.marker <= 0xCF && s.marker != 0xC4 && s.marker != 0xC8 && s.marker != 0xCC;
        if (!frame) continue;
        // A second frame header, a lossless or hierarchical frame: the decoder refuses the file.
        const bool decoded =
            s.marker == 0xC0 || s.marker == 0xC1 || s.marker == 0xC2 || s.marker == 0xC9 || s.marker == 0xCA;
        if (size || !decoded || s.payloadSize() < 6) return std::nullopt;
        const uchar* f = d + s.payloadOffset();
        const int precision = f[0];
        const int height = (f[1] << 8) | f[2];
        const int width = (f[3] << 8) | f[4];
        const int components = f[5];
        if (precision != 8 || height == 0 || width == 0 || components < 1 || components > 10 ||
            s.payloadSize() < 6 + 3 * components)
            return std::nullopt;
        size = QSize(width, height);
    }
    return std::nullopt;
}

QByteArray segmentBytes(uchar marker, const QByteArray& payload) {
    const qint64 length = 2 + payload.size();
    QByteArray out;
    out.reserve(int(2 + length));
    out.append(char(0xFF)).append(char(marker)).append(char(length >> 8)).append(char(length & 0xFF));
    return out + payload;
}

QByteArray applySegmentChanges(const QByteArray& head, const QVector<SegmentChange>& changes) {
    QByteArray out;
    qint64 at = 0;
    for (const SegmentChange& c : changes) {
        out += head.mid(at, c.offset - at);
        out += c.segment;
        at = c.offset + c.replacedSize;
    }
    return out + head.mid(at);
}

bool writeSplicedJpeg(AtomicFileWriter& writer, int fd, qint64 fileSize, const QByteArray& head,
                      const QVector<SegmentChange>& changes) {
    // The picture data after the head is copied file to file, never through this process.
    return writer.open() && writer.write(applySegmentChanges(head, changes)) &&
           writer.copyFrom(fd, head.size(), fileSize - head.size()) && writer.commit();
}

std::optional<ExifSplice> planExifSplice(const QByteArray& head, const QByteArray& tiffBlock) {
    if (tiffBlock.size() > kMaxExifTiffSize) return std::nullopt;
    const auto block = findExifBlock(head);
    if (!block) return std::nullopt;
    ExifSplice splice;
    if (!tiffBlock.isEmpty())
        splice.segment = segmentBytes(kMarkerApp1, QByteArray("Exif\0\0", 6) + tiffBlock);
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
