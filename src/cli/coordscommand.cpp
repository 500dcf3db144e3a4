#include "commands.h"

#include "metadata/gpscoordinates.h"

#include <QFileInfo>

namespace vantorel::cli {

int runCoords(const QStringList& photos, QTextStream& out, QTextStream& err) {
    if (photos.isEmpty()) {
        err << QStringLiteral("coords : aucune photo indiquée\n");
        return 2;
    }
    // The reference letters carry over from photo to photo, as in the window.
    QString latitudeRef, longitudeRef;
    for (const QString& arg : photos) {
        const QString path = QFileInfo(arg).absoluteFilePath();
        const CoordinateReading r = ReadGpsCoordinates(path, latitudeRef, longitudeRef);
        if (r.geotagged && r.missing != MissingReferences::None)
            err << fileNameOf(path) << QStringLiteral(" : ")
                << missingReferencesMessage(r.missing).replace(u'\n', u' ') << QStringLiteral("\n");
        out << escapeCell(path) << u'\t' << (r.geotagged ? u'1' : u'0') << u'\t' << r.signedLatitude << u'\t'
            << r.signedLongitude << u'\t' << escapeCell(r.cells[CoordLatitudeText]) << u'\t'
            << escapeCell(r.cells[CoordLongitudeText]) << u'\n';
    }
    out.flush();
    return 0;
}

} // namespace vantorel::cli
