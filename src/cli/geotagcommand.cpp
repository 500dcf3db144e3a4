// SPDX-License-Identifier: GPL-3.0-or-later
// vantorel-cli write / erase: the geotagged copy ("#" + name) and the copy without geotag
// ("~" + name) beside each photo, as the window writes them, without ever asking a question.
#include "commands.h"

#include "files/regularfile.h"
#include "geotag/copyplace.h"
#include "geotag/geotagcopy.h"
#include "text/numberformat.h"
#include "text/positiontext.h"

#include <QFileInfo>
#include <cmath>

namespace vantorel::cli {
namespace {

enum ExitCode { Written = 0, NotWritten = 1, BadArguments = 2, CopyExists = 3, BadCoordinates = 4 };

// Of several photos' codes the worst is returned: a failed copy, then a copy left in place.
int worse(int a, int b) {
    const auto rank = [](int code) { return code == NotWritten ? 2 : code == CopyExists ? 1 : 0; };
    return rank(b) > rank(a) ? b : a;
}

// Decimal degrees with a point or the locale's separator.
QString localNumber(QString text) {
    return text.replace(u'.', decimalSeparator()).replace(u',', decimalSeparator());
}

GpsPosition positionOf(const PositionReading& at) {
    return {at.latitude < 0 ? QStringLiteral("S") : QStringLiteral("N"),
            at.longitude < 0 ? QStringLiteral("W") : QStringLiteral("E"),
            DegreesToRationals(std::abs(at.latitude)),
            DegreesToRationals(std::abs(at.longitude)),
            {}};
}

// One photo's copy. With `table`, one line per photo: path, result, copy path; otherwise the copy's
// path alone, as for a single photo.
int writeOne(const QString& photo, const std::optional<GpsPosition>& position, bool force, bool allLocation,
             const LocationMetadataEdit::Place& place, bool table, QTextStream& out, QTextStream& err) {
    const QString source = QFileInfo(photo).absoluteFilePath();
    const QString target = copyPathFor(source, position ? kGeotaggedPrefix : kErasedPrefix);
    const auto line = [&](const QString& result) {
        out << escapeCell(source) << u'\t' << result << u'\t' << escapeCell(target) << u'\n';
    };
    const bool existed = copyExists(target);
    if (!force && existed) {
        err << escapeCell(target) << QStringLiteral(" existe déjà (--force pour le remplacer)\n");
        if (table) line(QStringLiteral("gardée"));
        return CopyExists;
    }
    // Without --force, a copy that appears meanwhile is not replaced either.
    AtomicWriteOptions options;
    options.replace = force;
    const CopyResult r = allLocation ? writeCopyWithoutLocation(source, target, options)
                                     : writeGeotagCopy(source, target, position, options, place);
    if (!r.ok && r.exists) { // another writer was first
        err << escapeCell(target) << QStringLiteral(" existe déjà (--force pour le remplacer)\n");
        if (table) line(QStringLiteral("gardée"));
        return CopyExists;
    }
    if (!r.ok) {
        const QString unreadable = unreadableFileReason(source); // named as the readers name it
        err << kCoordinatesNotWritten << QStringLiteral("\n")
            << escapeCell(unreadable.isEmpty() ? r.error : unreadable) << u'\n';
        if (table) line(QStringLiteral("échec"));
        return NotWritten;
    }
    if (allLocation) err << removalsSummary(r.removed) << u'\n';
    if (table)
        line(existed ? QStringLiteral("remplacée") : QStringLiteral("écrite"));
    else
        out << escapeCell(target) << u'\n';
    return Written;
}

int writeCopies(const QString& name, const QStringList& args, bool withPosition, QTextStream& out,
                QTextStream& err) {
    QStringList rest = args;
    const bool force = takeOption(rest, QStringLiteral("--force"));
    const bool allLocation = !withPosition && takeOption(rest, QStringLiteral("--all-location"));
    const bool withPlace = withPosition && takeOption(rest, QStringLiteral("--with-place"));
    std::optional<GpsPosition> position;
    const qsizetype at = optionIndex(rest, QStringLiteral("--at"));
    if (at < 0) dropEndOfOptions(rest);
    const bool table = at >= 0 || rest.size() > (withPosition ? 3 : 1);
    if (withPosition && at >= 0) {
        // write --at TEXT PHOTO...: any text the position reader takes.
        if (at + 1 >= rest.size() || rest.size() < 3) {
            err << name << QStringLiteral(" : indiquer --at POSITION PHOTO...\n");
            return BadArguments;
        }
        const PositionReading reading = readPositionText(rest[at + 1]);
        rest.remove(at, 2);
        dropEndOfOptions(rest);
        if (!reading.ok) {
            err << name << QStringLiteral(" : ") << escapeCell(reading.reason) << u'\n';
            return BadCoordinates;
        }
        position = positionOf(reading);
    } else if (withPosition) {
        if (rest.size() != 3) {
            err << name << QStringLiteral(" : indiquer PHOTO LATITUDE LONGITUDE ou --at POSITION PHOTO...\n");
            return BadArguments;
        }
        const CoordinateFields fields = readCoordinateFields(localNumber(rest[1]), localNumber(rest[2]));
        if (fields.status != CoordinateInput::Ok) {
            err << name
                << (fields.status == CoordinateInput::OutOfRange
                        ? QStringLiteral(" : latitude entre -90 et 90, longitude entre -180 et 180\n")
                        : QStringLiteral(" : coordonnées illisibles\n"));
            return BadCoordinates;
        }
        position = fields.position;
        rest.remove(1, 2);
    } else if (rest.isEmpty()) {
        err << name << QStringLiteral(" : indiquer au moins une photo\n");
        return BadArguments;
    }
    const LocationMetadataEdit::Place place =
        withPlace && position ? copyPlaceAt(*position) : LocationMetadataEdit::Place();
    int code = Written;
    for (const QString& photo : rest)
        code = worse(code, writeOne(photo, position, force, allLocation, place, table, out, err));
    return code;
}

} // namespace

int runWrite(const QStringList& args, QTextStream& out, QTextStream& err) {
    return writeCopies(QStringLiteral("write"), args, true, out, err);
}

int runErase(const QStringList& args, QTextStream& out, QTextStream& err) {
    return writeCopies(QStringLiteral("erase"), args, false, out, err);
}

} // namespace vantorel::cli
