// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a JPEG file's head (its segments up to the first scan) with as few bytes from disk as the
// readers need, and a photo opened once for all the readers of one selection.
#pragma once

#include "regularfile.h"

#include <QByteArray>
#include <QString>
#include <QVector>
#include <memory>
#include <utility>

namespace vantorel {

struct JpegHead {
    // The file's bytes up to and including the header of the first scan; empty when the file is no
    // JPEG or has no scan.
    QByteArray bytes;
    // The whole Exif segment as a JPEG of its own, for a file cut short before its first scan.
    QByteArray exifAlone;
    // Ranges of `bytes` (offset, length) left unread, as zeros.
    QVector<std::pair<qint64, qint64>> unread;
    // For a file that does not start as a JPEG: its first bytes as read (up to 16 KB), which tell
    // what else it is and often hold its metadata's index. Empty for a JPEG.
    QByteArray otherStart;
};

// Reads the head from a descriptor (left open, its position unused). On a cold disk a photo costs what
// is read of it: one small read covers most heads (in whole pages), a longer Exif segment is read to its
// end, and the kernel is told not to read ahead into the picture data. With `skipOtherSegments`, the
// payload of application segments and comments other than the Exif one beyond the first read (colour
// profiles, thermal data, previews) is left unread, as zeros: enough for the GPS items alone.
JpegHead readJpegHead(int fd, bool skipOtherSegments = false);

// The whole Exif segment among a head's bytes as a JPEG of its own (start and end of image around it),
// for a reader that cannot take the whole head; empty when there is none.
QByteArray exifSegmentAlone(const QByteArray& bytes);

// A photo opened once for every reader of one selection (its position, its listing, its picture): one
// descriptor, shared until the last reader lets go, and the head read once. All readers see the same
// file even when the name is given to another file meanwhile.
class OpenedPhoto : public std::enable_shared_from_this<OpenedPhoto> {
public:
    enum class Reading {
        Whole,   // the head read in full, the descriptor kept for the picture's decoder
        GpsItems // the head read as readJpegHead's skipOtherSegments does, the descriptor closed after
                 // for a JPEG (kept for a file of another kind: its metadata lie elsewhere)
    };
    // Never null; a file that could not be opened gives opened() false and the reason.
    static std::shared_ptr<const OpenedPhoto> open(const QString& path, Reading reading = Reading::Whole);
    ~OpenedPhoto();
    OpenedPhoto(const OpenedPhoto&) = delete;
    OpenedPhoto& operator=(const OpenedPhoto&) = delete;

    const QString& path() const { return m_path; }
    bool opened() const { return m_openError == FileOpenError::None; }
    // -1 once closed (Reading::GpsItems of a JPEG) or when the file could not be opened.
    int fd() const { return m_fd; }
    FileOpenError openError() const { return m_openError; }
    const JpegHead& head() const { return m_head; }

private:
    OpenedPhoto() = default;
    QString m_path;
    int m_fd = -1;
    FileOpenError m_openError = FileOpenError::None;
    JpegHead m_head;
};

} // namespace vantorel
