// Opening files the program reads: only regular files, so that a pipe or a device named like a
// photo never blocks the program.
#pragma once

#include <QString>

namespace vantorel {

// A read-only descriptor for a regular file, or -1 (missing, unreadable, folder, pipe, device).
int openRegularFile(const QString& path);

} // namespace vantorel
