// SPDX-License-Identifier: GPL-3.0-or-later
// The one walker of a JPEG file's marker segments, from the start-of-image marker to the first
// scan: the readers find their metadata segments with it and the copy writers splice one.
#pragma once

#include "atomicfile.h"

#include <QByteArray>
#include <QSize>
#include <QVector>
#include <QtGlobal>
#include <optional>

namespace vantorel {

inline constexpr uchar kMarkerSos = 0xDA;
inline constexpr uchar kMarkerEoi = 0xD9;
inline constexpr uchar kMarkerApp1 = 0xE1;

struct JpegSegment {
    uchar marker = 0;
    qint64 offset = 0; // of the segment's 0xFF (fill bytes before it excluded)
    qint64 size = 0;   // 2 for a marker without length, otherwise 2 + the length field

    bool hasLength() const { return size > 2; }
    qint64 payloadOffset() const { return offset + 4; }
    qint64 payloadSize() const { return size > 4 ? size - 4 : 0; }
    qint64 end() const { return offset + size; }
};

enum class SegmentStep {
    Segment,    // one whole segment is within the bytes given (the first scan's header included)
    NeedMore,   // the next segment ends beyond them: call again with at least needed() bytes
    EndOfImage, // an end-of-image marker before any scan
    Invalid,    // not a marker where one must be, or a length below 2
};

// True when the bytes start with the start-of-image marker.
bool isJpegStart(const QByteArray& bytes);

class JpegSegmentWalker {
public:
    // Walks from `start` (just after the start-of-image marker by default). The bytes given to
    // next() are the file's from offset 0 and may grow between calls.
    explicit JpegSegmentWalker(qint64 start = 2) : m_pos(start) {}

    SegmentStep next(const uchar* data, qint64 size, JpegSegment& out);
    SegmentStep next(const QByteArray& bytes, JpegSegment& out) {
        return next(reinterpret_cast<const uchar*>(bytes.constData()), bytes.size(), out);
    }
    qint64 needed() const { return m_needed; }
    // Where the next segment starts (its 0xFF, once fill bytes before it were seen).
    qint64 position() const { return m_pos; }

    // Stray bytes tolerated between segments in all.
    static constexpr int kMaxStrayBytes = 4096;

private:
    qint64 m_pos;
    qint64 m_needed = 0;
    int m_stray = 0;
};

// The Exif segment's TIFF block (after "Exif\0\0") among the head's segments before the first
// scan: tiffOffset -1 when there is none; nothing when the segments cannot be walked.
struct ExifBlock {
    JpegSegment segment;
    qint64 tiffOffset = -1;
    qint64 tiffSize = 0;
};
std::optional<ExifBlock> findExifBlock(const QByteArray& jpegHead);

// The picture's size from the frame header among the head's segments, as the decoder reads it: an
// 8-bit frame (baseline, extended, progressive, arithmetic-coded) with a scan after it. Nothing for
// another kind of frame, a frame of no pixels, or a head whose segments cannot be walked.
std::optional<QSize> jpegFrameSize(const QByteArray& jpegHead);

// One segment of a head replaced: the bytes from `offset` to `offset + replacedSize` give way to
// `segment` (nothing removes them; a replacedSize of 0 inserts).
struct SegmentChange {
    qint64 offset = 0;
    qint64 replacedSize = 0;
    QByteArray segment;
};
// A marker segment: marker, length, payload (at most 65533 bytes).
QByteArray segmentBytes(uchar marker, const QByteArray& payload);
inline constexpr qint64 kMaxSegmentPayload = 65535 - 2;
// The head with `changes` (in file order, not overlapping) made; every other byte stays.
QByteArray applySegmentChanges(const QByteArray& head, const QVector<SegmentChange>& changes);
// Writes through `writer` the file `fd` (of `fileSize` bytes, whose first bytes are `head`) with
// `changes` made in its head and the rest copied through; false with writer.error() on failure.
bool writeSplicedJpeg(AtomicFileWriter& writer, int fd, qint64 fileSize, const QByteArray& head,
                      const QVector<SegmentChange>& changes);

// How a new Exif segment goes into a JPEG: it takes the place of the first Exif segment, or is
// inserted after the leading APP0 (JFIF, JFXX) segments when there is none; an empty block
// removes the segment, or inserts nothing.
using ExifSplice = SegmentChange;
inline constexpr qint64 kMaxExifTiffSize = 65535 - 2 - 6;
// Nothing when the head's segments cannot be walked or the block does not fit in one segment.
std::optional<ExifSplice> planExifSplice(const QByteArray& jpegHead, const QByteArray& tiffBlock);

} // namespace vantorel
