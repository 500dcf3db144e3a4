// SPDX-License-Identifier: GPL-3.0-or-later
#include "unreadablephoto.h"

#include "text/escape.h"

namespace vantorel {

namespace {
const QString kUnreadablePhoto = QStringLiteral("Photo illisible « %1 » : %2");
}

QString unreadablePhotoMessage(const QString& path, FileOpenError error) {
    return kUnreadablePhoto.arg(escapeCell(path), fileOpenErrorText(error));
}

} // namespace vantorel
