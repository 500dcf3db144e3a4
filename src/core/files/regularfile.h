// SPDX-License-Identifier: GPL-3.0-or-later
// Opening files the program reads: only regular files, so that a pipe or a device named like a
// photo never blocks the program.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace vantorel {

// Why a file could not be opened for reading.
enum class FileOpenError {
    None,
    Missing,        // no such file, or a link to nothing
    NotRegular,     // a folder, a pipe, a device
    Denied,         // no read permission
    NameTooLong,    // the path or one of its names is longer than the system accepts
    NameUnreadable, // a name that reached the program without its bytes (shown with U+FFFD)
    Other,
    UnsupportedFormat, // opened, a kind of photo the readers know of, but none of them can read it
};

// A read-only descriptor for a regular file, or -1 (missing, unreadable, folder, pipe, device),
// with the reason in `why` when given. The name goes to the system through encodePath.
int openRegularFile(const QString& path, FileOpenError* why = nullptr);

// The reason in French, to follow a photo's name: "fichier introuvable"...
QString fileOpenErrorText(FileOpenError error);

// "<path> : <reason>" when `path` cannot be opened for reading (it is opened and closed again);
// empty when it can.
QString unreadableFileReason(const QString& path);

// A photo a command could not read, for the message that names it.
struct UnreadablePhoto {
    QString path;
    FileOpenError error = FileOpenError::Other;
};

// The whole content of a regular file, read from a descriptor of openRegularFile (left open);
// nothing when a read fails or the file is larger than `limit`.
std::optional<QByteArray> readWholeFile(int fd, qint64 limit = qint64(1) << 32);

} // namespace vantorel
