// SPDX-License-Identifier: GPL-3.0-or-later
// vantorel-cli exif: the EXIF listing of one photo, the rows of the grid SG2 as tab-separated lines.
#include "commands.h"

#include "metadata/exiflisting.h"
#include "metadata/unreadablephoto.h"
#include "text/escape.h"

#include <QFileInfo>

namespace vantorel::cli {

// Exit codes: 0 listed, 1 the picture could not be opened, 2 wrong arguments.
int runExif(QStringList photos, QTextStream& out, QTextStream& err) {
    dropEndOfOptions(photos);
    if (photos.size() != 1) {
        err << QStringLiteral("exif : indiquer une seule photo\n");
        return 2;
    }
    const QString path = QFileInfo(photos.first()).absoluteFilePath();
    const ExifListing listing = listExifItems(path);
    if (!listing.opened)
        err << (listing.error == FileOpenError::UnsupportedFormat
                    ? unreadablePhotoMessage(path, listing.error)
                    : QString::fromLatin1(kErrorRet1))
            << u'\n';
    // As in the window's grid, a photo without items still has its one empty row.
    if (listing.rows.isEmpty()) out << QStringLiteral("\t\t\n");
    for (const ExifRow& row : listing.rows)
        out << escapeCell(row.name) << u'\t' << escapeCell(row.type) << u'\t' << escapeCell(row.value)
            << u'\n';
    out.flush();
    err.flush();
    return listing.opened ? 0 : 1;
}

} // namespace vantorel::cli
