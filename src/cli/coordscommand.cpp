// SPDX-License-Identifier: GPL-3.0-or-later
#include "commands.h"

#include "metadata/gpscoordinates.h"
#include "metadata/unreadablephoto.h"

#include <QFileInfo>

namespace vantorel::cli {

int runCoords(const Arguments& words, QTextStream& out, QTextStream& err) {
    const Arguments photos = words.afterEndOfOptions();
    if (photos.isEmpty()) {
        err << QStringLiteral("coords : aucune photo indiquée\n");
        return 2;
    }
    // The reference letters carry over from photo to photo, as in the window.
    QString latitudeRef, longitudeRef;
    int exitCode = 0;
    // Each line is written as its photo is read, and the names are decoded one at a time.
    for (qsizetype i = 0; i < photos.size(); ++i) {
        const QString path = QFileInfo(photos.at(i)).absoluteFilePath();
        const CoordinateReading r = ReadGpsCoordinates(path, latitudeRef, longitudeRef);
        if (r.readError != FileOpenError::None) {
            // No line: a photo that could not be read is not a photo without GPS.
            out.flush();
            err << unreadablePhotoMessage(path, r.readError) << u'\n';
            err.flush();
            exitCode = kExitUnreadable;
            continue;
        }
        if (r.geotagged && r.missing != MissingReferences::None)
            err << escapeCell(fileNameOf(path)) << QStringLiteral(" : ")
                << missingReferencesMessage(r.missing).replace(u'\n', u' ') << QStringLiteral("\n");
        out << escapeCell(path) << u'\t' << (r.geotagged ? u'1' : u'0') << u'\t' << r.signedLatitude << u'\t'
            << r.signedLongitude << u'\t' << escapeCell(r.cells[CoordLatitudeText]) << u'\t'
            << escapeCell(r.cells[CoordLongitudeText]) << u'\n';
    }
    out.flush();
    err.flush();
    return exitCode;
}

} // namespace vantorel::cli
