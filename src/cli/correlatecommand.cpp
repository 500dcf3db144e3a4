// SPDX-License-Identifier: GPL-3.0-or-later
// vantorel-cli correlate: places photos on GPS tracks by time and writes their "#" copies, one
// line per photo for scripts.
#include "commands.h"

#include "metadata/gpscoordinates.h"
#include "metadata/unreadablephoto.h"
#include "places/placeindex.h"
#include "tracks/clockerror.h"
#include "tracks/trackcopies.h"
#include "tracks/trackfiles.h"

#include <QFileInfo>

namespace vantorel::cli {
namespace {

enum ExitCode { AllPlaced = 0, NotAllPlaced = 1, BadArguments = 2, CopyFailed = 3 };

struct Options {
    QStringList tracks, photos;
    CorrelationSettings settings;
    bool zoneChosen = false; // --tz gave a zone; otherwise each photo's from the track
    bool dryRun = false;
    bool force = false; // existing "#" copies are replaced
    bool sidecar = false;
    SidecarName naming = SidecarName::WithExtension;
    bool withPlace = false;
};

// Reads the options; an empty text when they are sound, else what is wrong.
QString parseOptions(const QStringList& args, Options& o) {
    bool photosOnly = false;
    for (int i = 0; i < args.size(); ++i) {
        QString arg = args[i];
        if (photosOnly || !arg.startsWith(QLatin1String("--"))) {
            o.photos << arg;
            continue;
        }
        if (arg == QLatin1String("--")) {
            photosOnly = true;
            continue;
        }
        if (arg == QLatin1String("--replace")) {
            o.settings.replace = true;
            continue;
        }
        if (arg == QLatin1String("--dry-run")) {
            o.dryRun = true;
            continue;
        }
        if (arg == QLatin1String("--force")) {
            o.force = true;
            continue;
        }
        if (arg == QLatin1String("--sidecar")) {
            o.sidecar = true;
            continue;
        }
        if (arg == QLatin1String("--short-sidecar-name")) {
            o.naming = SidecarName::WithoutExtension;
            continue;
        }
        if (arg == QLatin1String("--with-place")) {
            o.withPlace = true;
            continue;
        }
        QString value;
        if (const qsizetype equals = arg.indexOf(u'='); equals > 0) {
            value = arg.mid(equals + 1);
            arg = arg.left(equals);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            return arg + QStringLiteral(" : valeur manquante");
        }
        if (arg == QLatin1String("--track")) {
            o.tracks << value;
        } else if (arg == QLatin1String("--tz")) {
            o.zoneChosen = value != QLatin1String("track");
            o.settings.zone = o.zoneChosen ? zoneFromText(value) : QTimeZone::systemTimeZone();
            if (!o.settings.zone.isValid()) return QStringLiteral("--tz : fuseau inconnu : ") + value;
        } else if (arg == QLatin1String("--clock-error")) {
            const auto ms = parseClockError(value);
            if (!ms) return QStringLiteral("--clock-error : durée illisible : ") + value;
            o.settings.clockErrorMs = *ms;
        } else if (arg == QLatin1String("--max-gap") || arg == QLatin1String("--max-distance")) {
            bool ok = false;
            const int seconds = value.toInt(&ok);
            if (!ok || seconds < 0) return arg + QStringLiteral(" : nombre de secondes attendu : ") + value;
            (arg == QLatin1String("--max-gap") ? o.settings.maxGapSeconds : o.settings.maxDistanceSeconds) =
                seconds;
        } else {
            return QStringLiteral("option inconnue : ") + arg;
        }
    }
    if (o.tracks.isEmpty()) return QStringLiteral("indiquer au moins une trace (--track FICHIER)");
    if (o.photos.isEmpty()) return QStringLiteral("aucune photo indiquée");
    return {};
}

QString degrees(double value) {
    return QString::number(value, 'f', 9);
}

} // namespace

int runCorrelate(const QStringList& args, QTextStream& out, QTextStream& err) {
    Options o;
    if (const QString why = parseOptions(args, o); !why.isEmpty()) {
        err << QStringLiteral("correlate : ") << escapeCell(why) << u'\n';
        return BadArguments;
    }
    const TrackReading track = loadTracks(o.tracks);
    for (const QString& warning : track.warnings)
        err << escapeCell(warning) << u'\n';
    if (!track.ok()) {
        err << escapeCell(track.error) << u'\n';
        return BadArguments;
    }
    QStringList paths;
    for (const QString& arg : o.photos)
        paths << QFileInfo(arg).absoluteFilePath();
    QVector<PhotoOnTrack> photos = readPhotosForTrack(paths);
    // Without --tz, or with --tz track, a photo without its own offset takes the zone of the town
    // nearest the track.
    if (!o.zoneChosen) o.settings.zoneAt = places::zoneAt;
    placePhotos(photos, track.fixes, o.settings);
    TrackCopyChoice choice;
    choice.replaceExisting = o.force;
    choice.sidecar = o.sidecar;
    choice.naming = o.naming;
    choice.withPlace = o.withPlace;
    const TrackCopyRun run =
        o.dryRun ? TrackCopyRun{} : writeTrackCopies(photos, {}, kTrackCopyThreads, choice);
    int exitCode = AllPlaced;
    for (qsizetype i = 0; i < photos.size(); ++i) {
        const QString& path = photos[i].path;
        const Placement& p = photos[i].placement;
        QString status, copy;
        switch (p.status) {
        case PlacementStatus::Placed:
            copy = !o.dryRun                                  ? run.targets[i]
                   : o.sidecar || photoTakesSidecarOnly(path) ? sidecarPathFor(path, o.naming)
                                                              : copyPathFor(path, kGeotaggedPrefix);
            // A time read in a repeated hour is said instead of a plain success.
            status = p.ambiguousTime ? QStringLiteral("ambiguous-time") : QStringLiteral("would-write");
            if (o.dryRun) break;
            if (run.kept[i]) {
                status = QStringLiteral("kept");
                out.flush();
                err << escapeCell(copy) << QStringLiteral(" existe déjà (--force pour le remplacer)\n");
                err.flush();
                exitCode = CopyFailed;
                break;
            }
            if (run.outcomes[i].ok && !p.ambiguousTime) status = QStringLiteral("written");
            if (!run.outcomes[i].ok) {
                status = QStringLiteral("failed");
                out.flush();
                err << escapeCell(fileNameOf(path)) << QStringLiteral(" : ")
                    << escapeCell(run.outcomes[i].error) << u'\n';
                err.flush();
                copy.clear();
                exitCode = CopyFailed;
            }
            break;
        case PlacementStatus::NoTime:
            status = QStringLiteral("no-time");
            break;
        case PlacementStatus::OutsideTrack:
            status = QStringLiteral("outside-track");
            break;
        case PlacementStatus::AlreadyGeotagged:
            status = QStringLiteral("already-geotagged");
            break;
        case PlacementStatus::Unreadable:
            status = QStringLiteral("failed");
            out.flush();
            err << (photos[i].time.readError != FileOpenError::None
                        ? unreadablePhotoMessage(path, photos[i].time.readError)
                        : escapeCell(fileNameOf(path)) + QStringLiteral(" : ce n'est pas une image lisible"))
                << u'\n';
            err.flush();
            break;
        }
        if (p.status == PlacementStatus::Placed && !p.nearbyZone.isEmpty()) {
            out.flush();
            err << escapeCell(fileNameOf(path)) << QStringLiteral(" : ") << zoneName(p.zone)
                << QStringLiteral(" d'après la trace, ") << kZoneChangeNearby << QStringLiteral(" (")
                << escapeCell(p.nearbyZone) << QStringLiteral(")\n");
            err.flush();
        }
        if (p.status != PlacementStatus::Placed && exitCode == AllPlaced) exitCode = NotAllPlaced;
        const bool placed = p.position && p.status == PlacementStatus::Placed;
        out << escapeCell(path) << u'\t' << status << u'\t'
            << (placed ? degrees(p.position->latitude) : QString()) << u'\t'
            << (placed ? degrees(p.position->longitude) : QString()) << u'\t'
            << (placed && p.position->hasElevation ? QString::number(p.position->elevation, 'f', 3)
                                                   : QString())
            << u'\t' << (p.utcMs ? formatUtc(*p.utcMs) : QString()) << u'\t' << escapeCell(copy) << u'\n';
    }
    out.flush();
    return exitCode;
}

} // namespace vantorel::cli
