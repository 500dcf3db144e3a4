// SPDX-License-Identifier: GPL-3.0-or-later
// vantorel-cli write / erase: the geotagged copy ("#" + name) and the copy without geotag
// ("~" + name) beside each photo, as the window writes them, without ever asking a question.
#include "commands.h"

#include "files/regularfile.h"
#include "geotag/copyplace.h"
#include "geotag/geotagcopy.h"
#include "geotag/xmpsidecar.h"
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

// One photo's copy (or sidecar): where it goes, and whether an existing copy keeps its place.
struct PhotoCopy {
    QString source, target;
    bool existed = false;
    bool kept = false;
    bool sidecar = false;
};

// How the copies are written.
struct CopyChoice {
    bool force = false;       // an existing copy is replaced (a sidecar that is no XMP too)
    bool allLocation = false; // erase: everything that locates the photo
    bool sidecar = false;     // the position goes to an XMP sidecar, the photo untouched
    SidecarName naming = SidecarName::WithExtension;
    LocationMetadataEdit::Place place; // named in a geotagged copy (--with-place)
};

// Writes the copy of `photo` into `batch` (its result at `key` in the results), or keeps the one
// that exists. A photo whose own file is never written gets a sidecar instead (found out when its
// copy fails: no other photo pays for the look).
PhotoCopy stageOne(const QString& photo, const std::optional<GpsPosition>& position, const CopyChoice& choice,
                   DurableBatch& batch, qint64 key, CopyResult& result) {
    PhotoCopy p;
    p.source = QFileInfo(photo).absoluteFilePath();
    p.target = copyPathFor(p.source, position ? kGeotaggedPrefix : kErasedPrefix);
    AtomicWriteOptions options;
    options.batch = &batch;
    options.batchKey = key;
    const auto sidecar = [&] {
        p.sidecar = true;
        p.kept = false;
        if (!position) {
            result.ok = false;
            result.error = QStringLiteral("%1 : %2").arg(p.source, kSidecarCannotErase);
            return p;
        }
        p.target = sidecarPathFor(p.source, choice.naming);
        p.existed = copyExists(p.target);
        result = writeSidecar(p.source, p.target, *position, choice.force, options);
        return p;
    };
    if (choice.sidecar) return sidecar();
    p.existed = copyExists(p.target);
    if (!choice.force && p.existed) {
        p.kept = true;
        return p;
    }
    // Without --force, a copy that appears meanwhile is not replaced either.
    options.replace = choice.force;
    result = choice.allLocation ? writeCopyWithoutLocation(p.source, p.target, options)
                                : writeGeotagCopy(p.source, p.target, position, options, choice.place);
    if (!result.ok && photoTakesSidecarOnly(p.source)) return sidecar();
    return p;
}

// What became of one photo's copy. With `table`, one line per photo: path, result, copy path;
// otherwise the copy's path alone, as for a single photo.
int reportOne(const PhotoCopy& p, const CopyResult& r, bool allLocation, bool table, QTextStream& out,
              QTextStream& err) {
    const auto line = [&](const QString& result) {
        out << escapeCell(p.source) << u'\t' << result << u'\t' << escapeCell(p.target) << u'\n';
    };
    if (p.kept || (!r.ok && r.exists)) { // kept, or another writer was first
        err << escapeCell(p.target)
            << (p.sidecar ? QStringLiteral(
                                " existe et n'est pas un fichier XMP lisible (--force pour le remplacer)\n")
                          : QStringLiteral(" existe déjà (--force pour le remplacer)\n"));
        if (table) line(QStringLiteral("gardée"));
        return CopyExists;
    }
    if (!r.ok) {
        const QString unreadable = unreadableFileReason(p.source); // named as the readers name it
        err << kCoordinatesNotWritten << QStringLiteral("\n")
            << escapeCell(unreadable.isEmpty() ? r.error : unreadable) << u'\n';
        if (table) line(QStringLiteral("échec"));
        return NotWritten;
    }
    if (allLocation) err << removalsSummary(r.removed) << u'\n';
    if (table)
        line(p.sidecar && p.existed ? QStringLiteral("modifiée")
             : p.existed            ? QStringLiteral("remplacée")
                                    : QStringLiteral("écrite"));
    else
        out << escapeCell(p.target) << u'\n';
    return Written;
}

int writeCopies(const QString& name, const QStringList& args, bool withPosition, QTextStream& out,
                QTextStream& err) {
    QStringList rest = args;
    CopyChoice choice;
    choice.force = takeOption(rest, QStringLiteral("--force"));
    choice.allLocation = !withPosition && takeOption(rest, QStringLiteral("--all-location"));
    choice.sidecar = takeOption(rest, QStringLiteral("--sidecar"));
    if (takeOption(rest, QStringLiteral("--short-sidecar-name")))
        choice.naming = SidecarName::WithoutExtension;
    if (choice.sidecar && !withPosition) {
        err << name << QStringLiteral(" : --sidecar : ") << kSidecarCannotErase << u'\n';
        return BadArguments;
    }
    const bool allLocation = choice.allLocation;
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
    if (withPlace && position) choice.place = copyPlaceAt(*position);
    // The copies are flushed to disk together, a batch at a time; each line is printed once its
    // copy has its name.
    int code = Written;
    DurableBatch batch;
    QVector<PhotoCopy> copies;
    QVector<CopyResult> results;
    for (qsizetype i = 0; i < rest.size(); ++i) {
        results.append(CopyResult());
        copies.append(stageOne(rest[i], position, choice, batch, results.size() - 1, results.last()));
        if (i + 1 < rest.size() && !batch.full()) continue;
        settleCopies(batch, results);
        for (qsizetype j = 0; j < copies.size(); ++j)
            code = worse(code, reportOne(copies[j], results[j], allLocation, table, out, err));
        copies.clear();
        results.clear();
    }
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
