// vantorel-cli write / erase: the geotagged copy ("#" + name) and the copy without geotag
// ("~" + name) beside the photo, as the window writes them, without ever asking a question.
#include "commands.h"

#include "geotag/geotagcopy.h"
#include "text/numberformat.h"

#include <QFileInfo>

namespace vantorel::cli {
namespace {

enum ExitCode { Written = 0, NotWritten = 1, BadArguments = 2, CopyExists = 3, BadCoordinates = 4 };

// Decimal degrees with a point or the locale's separator.
QString localNumber(QString text) {
    return text.replace(u'.', decimalSeparator()).replace(u',', decimalSeparator());
}

int writeCopy(const QString& name, const QStringList& args, int coordinateCount, QTextStream& out,
              QTextStream& err) {
    QStringList rest = args;
    const bool force = rest.removeAll(QStringLiteral("--force")) > 0;
    const bool allLocation = !coordinateCount && rest.removeAll(QStringLiteral("--all-location")) > 0;
    if (rest.size() != 1 + coordinateCount) {
        err << name
            << (coordinateCount ? QStringLiteral(" : indiquer PHOTO LATITUDE LONGITUDE\n")
                                : QStringLiteral(" : indiquer une seule photo\n"));
        return BadArguments;
    }
    std::optional<GpsPosition> position;
    if (coordinateCount) {
        const CoordinateFields fields = readCoordinateFields(localNumber(rest[1]), localNumber(rest[2]));
        if (fields.status != CoordinateInput::Ok) {
            err << name
                << (fields.status == CoordinateInput::OutOfRange
                        ? QStringLiteral(" : latitude entre -90 et 90, longitude entre -180 et 180\n")
                        : QStringLiteral(" : coordonnées illisibles\n"));
            return BadCoordinates;
        }
        position = fields.position;
    }
    const QString source = QFileInfo(rest[0]).absoluteFilePath();
    const QString target = copyPathFor(source, coordinateCount ? kGeotaggedPrefix : kErasedPrefix);
    if (!force && copyExists(target)) {
        err << escapeCell(target) << QStringLiteral(" existe déjà (--force pour le remplacer)\n");
        return CopyExists;
    }
    const CopyResult r =
        allLocation ? writeCopyWithoutLocation(source, target) : writeGeotagCopy(source, target, position);
    if (!r.ok) {
        err << kCoordinatesNotWritten << QStringLiteral("\n") << escapeCell(r.error) << u'\n';
        return NotWritten;
    }
    if (allLocation) err << removalsSummary(r.removed) << u'\n';
    out << escapeCell(target) << u'\n';
    return Written;
}

} // namespace

int runWrite(const QStringList& args, QTextStream& out, QTextStream& err) {
    return writeCopy(QStringLiteral("write"), args, 2, out, err);
}

int runErase(const QStringList& args, QTextStream& out, QTextStream& err) {
    return writeCopy(QStringLiteral("erase"), args, 0, out, err);
}

} // namespace vantorel::cli
