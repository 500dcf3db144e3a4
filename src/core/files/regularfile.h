// Opening files the program reads: only regular files, so that a pipe or a device named like a
// photo never blocks the program.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace vantorel {

// A read-only descriptor for a regular file, or -1 (missing, unreadable, folder, pipe, device).
int openRegularFile(const QString& path);

// The whole content of a regular file, read from a descriptor of openRegularFile (left open);
// nothing when a read fails or the file is larger than `limit`.
std::optional<QByteArray> readWholeFile(int fd, qint64 limit = qint64(1) << 32);

} // namespace vantorel
