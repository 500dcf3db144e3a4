#include "trackfiles.h"

#include "gpxreader.h"

#include "files/pathnames.h"
#include "files/regularfile.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <algorithm>
#include <unistd.h>

namespace vantorel {
namespace {

const QString kGpsbabelMissing =
    QStringLiteral("« %1 » n'est pas un fichier GPX : installez gpsbabel (paquet gpsbabel) pour lire les "
                   "traces de ce format.");
const QString kUnknownFormat =
    QStringLiteral("« %1 » : format de trace inconnu (GPX, NMEA, KML, TCX, FIT, IGC...).");
const QString kConversionFailed = QStringLiteral("« %1 » : gpsbabel n'a pas pu lire cette trace.");
const QString kUnreadableTrack = QStringLiteral("La trace « %1 » ne peut pas être lue : %2.");

bool looksLikeGpx(QIODevice& file) {
    const QByteArray head = file.peek(4096);
    return head.contains("<gpx") || head.contains(":gpx");
}

TrackReading convertedByGpsbabel(const QString& path, int firstSegment) {
    TrackReading r;
    const QString format = gpsbabelFormatFor(path);
    const QString program = QStandardPaths::findExecutable(QStringLiteral("gpsbabel"));
    if (program.isEmpty()) {
        r.error = kGpsbabelMissing.arg(path);
        return r;
    }
    if (format.isEmpty()) {
        r.error = kUnknownFormat.arg(path);
        return r;
    }
    QProcess gpsbabel;
    gpsbabel.start(program, {QStringLiteral("-t"), QStringLiteral("-r"), QStringLiteral("-w"),
                             QStringLiteral("-i"), format, QStringLiteral("-f"), path, QStringLiteral("-o"),
                             QStringLiteral("gpx,gpxver=1.1"), QStringLiteral("-F"), QStringLiteral("-")});
    QByteArray gpx;
    if (gpsbabel.waitForStarted())
        while (gpsbabel.state() != QProcess::NotRunning && gpsbabel.waitForReadyRead(-1))
            gpx += gpsbabel.readAllStandardOutput();
    gpsbabel.waitForFinished(-1);
    gpx += gpsbabel.readAllStandardOutput();
    if (gpsbabel.exitStatus() != QProcess::NormalExit || gpsbabel.exitCode() != 0) {
        r.error = kConversionFailed.arg(path);
        return r;
    }
    QBuffer buffer(&gpx);
    buffer.open(QIODevice::ReadOnly);
    return readGpx(buffer, path, firstSegment);
}

} // namespace

QString gpsbabelFormatFor(const QString& path) {
    static const QHash<QString, QString> formats = {
        {QStringLiteral("nmea"), QStringLiteral("nmea")},
        {QStringLiteral("nma"), QStringLiteral("nmea")},
        {QStringLiteral("log"), QStringLiteral("nmea")},
        {QStringLiteral("txt"), QStringLiteral("nmea")},
        {QStringLiteral("kml"), QStringLiteral("kml")},
        {QStringLiteral("tcx"), QStringLiteral("gtrnctr")},
        {QStringLiteral("fit"), QStringLiteral("garmin_fit")},
        {QStringLiteral("igc"), QStringLiteral("igc")},
        {QStringLiteral("plt"), QStringLiteral("ozi")},
        {QStringLiteral("csv"), QStringLiteral("unicsv")},
    };
    return formats.value(QFileInfo(path).suffix().toLower());
}

TrackReading loadTracks(const QStringList& paths) {
    TrackReading all;
    int segments = 0;
    for (const QString& path : paths) {
        FileOpenError why = FileOpenError::None;
        const int fd = openRegularFile(path, &why);
        QFile file;
        if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
            if (fd >= 0) ::close(fd);
            all.error = kUnreadableTrack.arg(path, fileOpenErrorText(why));
            all.fixes.clear();
            return all;
        }
        TrackReading one =
            looksLikeGpx(file) ? readGpx(file, path, segments) : convertedByGpsbabel(path, segments);
        if (!one.ok()) {
            one.fixes.clear();
            return one;
        }
        for (const TrackFix& fix : one.fixes)
            segments = std::max(segments, fix.segment + 1);
        all.fixes.insert(all.fixes.end(), one.fixes.begin(), one.fixes.end());
    }
    std::stable_sort(all.fixes.begin(), all.fixes.end(),
                     [](const TrackFix& a, const TrackFix& b) { return a.utcMs < b.utcMs; });
    if (all.fixes.empty()) all.error = kNoTimedPoint;
    return all;
}

} // namespace vantorel
