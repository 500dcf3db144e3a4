#include "commands.h"

#include "clipoitable.h"
#include "export/gpxwriter.h"
#include "files/atomicfile.h"

#include <QDir>
#include <QFile>
#include <cstdio>

namespace vantorel::cli {
namespace {

bool writeToStandardOutput(const QByteArray& bytes) {
    return std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) == size_t(bytes.size()) &&
           std::fflush(stdout) == 0;
}

} // namespace

int runGpx(const QStringList& args, QTextStream& out, QTextStream& err) {
    QStringList photos = args;
    QString target;
    if (!photos.isEmpty() && photos.first() == QLatin1String("-o")) {
        if (photos.size() < 2 || photos[1].isEmpty()) {
            err << QStringLiteral("gpx : -o demande un nom de fichier\n");
            return 2;
        }
        target = photos[1];
        photos = photos.mid(2);
    }
    if (!photos.isEmpty() && photos.first() == QLatin1String("--")) photos.removeFirst();
    if (photos.isEmpty()) {
        err << QStringLiteral("gpx : aucune photo indiquée\n");
        return 2;
    }

    GpxTimes times;
    // A folder, a missing or unreadable file is named on standard error; the others are written.
    const CommandPoiTable table = poiTableOfArguments(photos, err, times.reader());
    // As the window does: no geotagged photo, no file (an existing one stays as it was).
    if (table.SG0.rowCount() < 2) {
        err << kGpxNoGeotagged << u'\n';
        return 1;
    }
    const GpxFile file = buildGpx(table.SG0, table.rowCount, times);

    out.flush();
    err.flush();
    if (target.isEmpty()) {
        if (!writeToStandardOutput(file.bytes)) {
            err << QStringLiteral("gpx : écriture sur la sortie standard impossible\n");
            return 3;
        }
    } else {
        QString why;
        if (!writeFileAtomically(QDir::cleanPath(QDir::current().absoluteFilePath(target)), file.bytes,
                                 &why)) {
            err << QStringLiteral("Impossible de creer le fichier GPX : ") << escapeCell(why) << u'\n';
            return 3;
        }
    }
    return table.anyUnreadable ? kExitUnreadable : 0;
}

} // namespace vantorel::cli
