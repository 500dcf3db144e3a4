// SPDX-License-Identifier: GPL-3.0-or-later
// The kinds of photo file the program reads and writes, each behind one reader/editor: where its
// metadata blocks (Exif's TIFF block, XMP) lie, the picture's size from the format's own header,
// and the splices that give a copy with edited blocks. What a block becomes is decided by the
// caller (the GPS directory editor, the XMP editor); a container only finds and replaces blocks,
// keeping every other byte.
#pragma once

#include "files/jpegsegments.h"

#include <QByteArray>
#include <QSize>
#include <QString>
#include <QVector>
#include <functional>
#include <optional>

namespace vantorel {

enum class ContainerKind {
    Unknown,  // not a photo file we know
    Jpeg,     // JPEG (JFIF, Exif)
    Tiff,     // TIFF and the TIFF-based files: DNG, CR2, NEF, ARW, ORF, PEF, RW2, SRW...
    Png,      // PNG
    WebP,     // WebP (RIFF)
    IsoBmff,  // HEIF: HEIC, AVIF, CR3, JPEG XL in a box file
    OtherRaw, // a camera's RAW file in a structure of its own (RAF, CRW, MRW, X3F): read, never edited
};

// What the first bytes of a file say it is.
inline constexpr int kSniffBytes = 64;
ContainerKind sniffContainer(const QByteArray& start);
// The kind's name for messages: "JPEG", "TIFF", "PNG", "WebP", "HEIF", "RAW".
QString containerName(ContainerKind kind);

// Random access to a file's bytes, so that a reader reads only what it walks.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual qint64 size() const = 0;
    // Up to `length` bytes from `offset`: fewer at the end of the file, none on an error.
    virtual QByteArray read(qint64 offset, qint64 length) const = 0;
};
// Over bytes in memory.
class MemorySource final : public ByteSource {
public:
    explicit MemorySource(const QByteArray& bytes) : m_bytes(bytes) {}
    qint64 size() const override { return m_bytes.size(); }
    QByteArray read(qint64 offset, qint64 length) const override;

private:
    const QByteArray& m_bytes;
};
// Over an open descriptor (left open), read with pread.
class FileSource final : public ByteSource {
public:
    explicit FileSource(int fd);
    qint64 size() const override { return m_size; }
    QByteArray read(qint64 offset, qint64 length) const override;

private:
    int m_fd = -1;
    qint64 m_size = 0;
};

struct ByteRange {
    qint64 offset = -1;
    qint64 size = 0;
    bool valid() const { return offset >= 0; }
};

// Where a file's metadata lies.
struct ContainerLayout {
    QString error;           // not empty: the structure cannot be walked safely (why, in French)
    QVector<ByteRange> exif; // TIFF blocks (from their "II*\0" or "MM\0*" header), the main picture's first
    QVector<ByteRange> xmp;  // XMP packets
    std::optional<QSize> pixelSize; // the main picture's, from the format's own header
};

// What a copy makes of each block, decided by the caller. Each is called with the block's bytes
// and returns the new bytes (the same bytes: unchanged) or nothing, with `error` set, when the
// copy must not be written. `exif` is called with an empty block for a file without Exif (a new
// block may then be returned, to be added); `xmp` is only called for existing packets.
struct BlockEditor {
    std::function<std::optional<QByteArray>(const QByteArray& tiff, QString& error)> exif;
    std::function<std::optional<QByteArray>(const QByteArray& xmp, QString& error)> xmp;
};

struct ContainerPlan {
    QString error;                  // not empty: no copy can be written (why, in French)
    QVector<SegmentChange> changes; // splices of the source file, sorted, not overlapping
};

class PhotoContainer {
public:
    virtual ~PhotoContainer() = default;
    virtual ContainerKind kind() const = 0;
    virtual ContainerLayout layout(const ByteSource& file) const = 0;
    // The splices of `file` (the whole source) that give the copy with its blocks edited; every
    // other byte stays where it is or moves whole, with the offsets that point at it.
    virtual ContainerPlan plan(const QByteArray& file, const BlockEditor& editor) const = 0;
};

// The reader/editor of a kind; nullptr for Unknown and OtherRaw (read by the full reader alone).
const PhotoContainer* photoContainer(ContainerKind kind);

// One per kind, each in its own file.
const PhotoContainer& jpegContainer();
const PhotoContainer& tiffContainer();
const PhotoContainer& pngContainer();
const PhotoContainer& webpContainer();
const PhotoContainer& bmffContainer();

} // namespace vantorel
