// SPDX-License-Identifier: GPL-3.0-or-later
#include "trackfiles.h"

#include "gpxreader.h"
#include "nmeareader.h"

#include "files/pathnames.h"
#include "files/regularfile.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <QXmlStreamReader>

#include <algorithm>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace vantorel {
namespace {

const QString kGpsbabelMissing =
    QStringLiteral("« %1 » n'est pas un fichier GPX : installez gpsbabel (paquet gpsbabel) pour lire les "
                   "traces de ce format.");
const QString kUnknownFormat =
    QStringLiteral("« %1 » : format de trace inconnu (GPX, NMEA, KML, TCX, FIT, IGC...).");
const QString kConversionFailed = QStringLiteral("« %1 » : gpsbabel n'a pas pu lire cette trace.");
const QString kConversionTooLong =
    QStringLiteral("« %1 » : gpsbabel n'a pas fini de lire cette trace en %2 s : lecture abandonnée.");
const QString kConversionTooLarge =
    QStringLiteral("« %1 » : la trace convertie par gpsbabel dépasse %2 Mo : lecture abandonnée.");
const QString kUnreadableTrack = QStringLiteral("La trace « %1 » ne peut pas être lue : %2.");
const QString kEmptyTrack = QStringLiteral("La trace « %1 » est vide.");
const QString kNoPointInFile = QStringLiteral("La trace « %1 » ne contient aucun point horodaté.");

// Whether the head of a file is XML: a '<' first, after a byte order mark and blanks, in UTF-8 or
// UTF-16.
bool looksLikeXml(const QByteArray& head) {
    if (head.startsWith("\xFF\xFE") || head.startsWith("\xFE\xFF") || head.startsWith(QByteArray("<\0", 2)) ||
        head.startsWith(QByteArray("\0<", 2)))
        return true;
    const QByteArray text = head.startsWith("\xEF\xBB\xBF") ? head.mid(3) : head;
    return text.trimmed().startsWith('<');
}

// The local name of the XML document's root element; empty when none could be read.
QString xmlRootName(QIODevice& file) {
    GuardedTrackInput input(file);
    QXmlStreamReader xml(&input);
    while (!xml.atEnd()) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::StartElement) return xml.name().toString();
        if (token == QXmlStreamReader::DTD || token == QXmlStreamReader::Invalid) break;
    }
    return {};
}

bool isGpx(QFile& file, const QString& path) {
    if (QFileInfo(path).suffix().compare(QLatin1StringView("gpx"), Qt::CaseInsensitive) == 0) return true;
    const QByteArray head = file.peek(4096);
    if (head.contains("<gpx") || head.contains(":gpx")) return true;
    if (!looksLikeXml(head)) return false;
    // The root may come after a long prologue, or be in UTF-16.
    const bool gpx = xmlRootName(file) == QLatin1StringView("gpx");
    file.seek(0);
    return gpx;
}

bool isBlank(QFile& file) {
    const QByteArray head = file.peek(4097);
    return head.size() <= 4096 && head.trimmed().isEmpty();
}

// gpsbabel reads the file through the descriptor already open, as /dev/fd/N: whatever takes the
// name meanwhile (a pipe that never ends, another file) is never read.
TrackReading convertedByGpsbabel(int fd, const QString& path, int firstSegment, TrackReadControl* control,
                                 const GpsbabelLimits& limits) {
    TrackReading r;
    const QString format = gpsbabelFormatFor(path);
    if (format.isEmpty()) {
        r.error = kUnknownFormat.arg(path);
        return r;
    }
    const QString program = QStandardPaths::findExecutable(QStringLiteral("gpsbabel"));
    if (program.isEmpty()) {
        r.error = kGpsbabelMissing.arg(path);
        return r;
    }
    QProcess gpsbabel;
    gpsbabel.setChildProcessModifier([fd] { ::fcntl(fd, F_SETFD, 0); }); // in the child alone
    gpsbabel.setStandardInputFile(QProcess::nullDevice());
    gpsbabel.setStandardErrorFile(QProcess::nullDevice());
    gpsbabel.start(program,
                   {QStringLiteral("-t"), QStringLiteral("-r"), QStringLiteral("-w"), QStringLiteral("-i"),
                    format, QStringLiteral("-f"), QStringLiteral("/dev/fd/%1").arg(fd), QStringLiteral("-o"),
                    QStringLiteral("gpx,gpxver=1.1"), QStringLiteral("-F"), QStringLiteral("-")});
    QByteArray gpx;
    QElapsedTimer clock;
    clock.start();
    QString stopped;
    if (gpsbabel.waitForStarted()) {
        while (gpsbabel.state() != QProcess::NotRunning) {
            gpsbabel.waitForReadyRead(100);
            gpx += gpsbabel.readAllStandardOutput();
            if (control && control->cancel.load())
                stopped = kTracksCancelled;
            else if (clock.elapsed() > qint64(limits.seconds) * 1000)
                stopped = kConversionTooLong.arg(path).arg(limits.seconds);
            else if (gpx.size() > limits.bytes)
                stopped = kConversionTooLarge.arg(path).arg(limits.bytes / (1024 * 1024));
            if (!stopped.isEmpty()) {
                gpsbabel.kill();
                gpsbabel.waitForFinished(5000);
                r.error = stopped;
                r.cancelled = control && control->cancel.load();
                return r;
            }
        }
        gpx += gpsbabel.readAllStandardOutput();
    }
    if (gpsbabel.exitStatus() != QProcess::NormalExit || gpsbabel.exitCode() != 0 ||
        gpsbabel.error() == QProcess::FailedToStart) {
        r.error = kConversionFailed.arg(path);
        return r;
    }
    QBuffer buffer(&gpx);
    buffer.open(QIODevice::ReadOnly);
    GpxReadOptions options;
    options.waypointsAsOneSegment = true; // a logger's points given as placemarks are one track
    options.control = control;
    return readGpx(buffer, path, firstSegment, options);
}

// A fix repeated at the same time and place in other segments (the two altitude tracks of an IGC
// flight, a TCX lap's start as a waypoint) is kept once, in the longest of its segments, so that
// the track around it is interpolated.
void keepOneOfEachRepeatedFix(std::vector<TrackFix>& fixes) {
    std::unordered_map<int, qint64> lengths;
    for (const TrackFix& f : fixes)
        ++lengths[f.segment];
    std::vector<TrackFix> kept;
    kept.reserve(fixes.size());
    for (const TrackFix& f : fixes) {
        if (!kept.empty()) {
            TrackFix& last = kept.back();
            if (last.utcMs == f.utcMs && last.latitude == f.latitude && last.longitude == f.longitude) {
                if (lengths[f.segment] > lengths[last.segment]) {
                    const bool hadElevation = last.hasElevation;
                    const double elevation = last.elevation;
                    last = f;
                    if (!last.hasElevation && hadElevation)
                        last.elevation = elevation, last.hasElevation = true;
                }
                continue;
            }
        }
        kept.push_back(f);
    }
    fixes.swap(kept);
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

TrackReading loadTracks(const QStringList& paths, TrackReadControl* control, const GpsbabelLimits& limits) {
    TrackReading all;
    int segments = 0;
    const auto stop = [&](TrackReading r) {
        r.fixes.clear();
        r.warnings = all.warnings;
        if (r.cancelled || (control && control->cancel.load())) {
            r.cancelled = true;
            r.error = kTracksCancelled;
        }
        return r;
    };
    for (const QString& path : paths) {
        if (control && control->cancel.load()) return stop({});
        FileOpenError why = FileOpenError::None;
        const int fd = openRegularFile(path, &why);
        QFile file;
        if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
            if (fd >= 0) ::close(fd);
            TrackReading r;
            r.error = kUnreadableTrack.arg(path, fileOpenErrorText(why));
            return stop(r);
        }
        if (isBlank(file)) {
            all.warnings << kEmptyTrack.arg(path);
            continue;
        }
        TrackReading one;
        if (isGpx(file, path)) {
            GpxReadOptions options;
            options.control = control;
            one = readGpx(file, path, segments, options);
        } else if (gpsbabelFormatFor(path) == QLatin1StringView("nmea")) {
            one = readNmea(file, segments, control);
        } else {
            one = convertedByGpsbabel(fd, path, segments, control, limits);
            if (control) control->bytesRead += file.size();
        }
        if (!one.ok()) return stop(one);
        if (one.fixes.empty()) all.warnings << kNoPointInFile.arg(path);
        for (const TrackFix& fix : one.fixes)
            segments = std::max(segments, fix.segment + 1);
        all.fixes.insert(all.fixes.end(), one.fixes.begin(), one.fixes.end());
    }
    std::stable_sort(all.fixes.begin(), all.fixes.end(),
                     [](const TrackFix& a, const TrackFix& b) { return a.utcMs < b.utcMs; });
    keepOneOfEachRepeatedFix(all.fixes);
    if (all.fixes.empty()) all.error = kNoTimedPoint;
    return all;
}

TrackReading loadTracksWithProgress(const QStringList& paths,
                                    const std::function<bool(qint64 done, qint64 total)>& advance,
                                    const GpsbabelLimits& limits) {
    qint64 total = 0;
    for (const QString& path : paths) {
        struct stat st {};
        // Shown only: a sparse file's length sizes nothing.
        if (::stat(encodePath(path).constData(), &st) == 0 && S_ISREG(st.st_mode)) total += st.st_size;
    }
    TrackReadControl control;
    TrackReading result;
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    QThread* reader = QThread::create([&] {
        TrackReading r = loadTracks(paths, &control, limits);
        std::lock_guard lock(mutex);
        result = std::move(r);
        done = true;
        ended.notify_all();
    });
    reader->start();
    {
        std::unique_lock lock(mutex);
        while (!done) {
            ended.wait_for(lock, std::chrono::milliseconds(40));
            if (done) break;
            lock.unlock();
            const bool go = !advance || advance(std::min(control.bytesRead.load(), total), total);
            lock.lock();
            if (!go) control.cancel = true;
        }
    }
    reader->wait();
    delete reader;
    return result;
}

} // namespace vantorel
