// SPDX-License-Identifier: GPL-3.0-or-later
// The message that names a photo a reader could not open, for the command line and its table.
#pragma once

#include "files/regularfile.h"

#include <QString>

namespace vantorel {

// « name » and the reason in French, the name escaped for one line of a terminal.
QString unreadablePhotoMessage(const QString& path, FileOpenError error);

} // namespace vantorel
