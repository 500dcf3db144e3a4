// SPDX-License-Identifier: GPL-3.0-or-later
#include "trackcopies.h"

#include "geotag/copyplace.h"

#include "metadata/gpscoordinates.h"
#include "metadata/rationals.h"
#include "text/numberformat.h"

#include <QDate>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <cmath>

namespace vantorel {
namespace {

constexpr qint64 kMicroMinutesPerDegree = 60LL * 1000000;

// Whole degrees and minutes to a millionth (2 cm), rounded once; seconds 0, as the copies'
// positions are always written.
RationalTriple preciseRationals(double degrees) {
    const qint64 units = std::llround(std::abs(degrees) * double(kMicroMinutesPerDegree));
    return {
        quint32(units / kMicroMinutesPerDegree), 1, quint32(units % kMicroMinutesPerDegree), 1000000, 0, 1};
}

QString plural(int n, const char* one, const char* many) {
    return QString::number(n) + u' ' + QString::fromUtf8(n > 1 ? many : one);
}

// Which photos a choice names, one flag per photo.
QVector<bool> chosenRows(qsizetype count, const QVector<int>& rows) {
    QVector<bool> chosen(count, rows.isEmpty());
    for (int row : rows)
        if (row >= 0 && row < count) chosen[row] = true;
    return chosen;
}

// The counts of a run from its outcomes.
TrackCopyRun summed(const QVector<PhotoOnTrack>& photos, const QVector<bool>& chosen, TrackCopyRun run,
                    bool cancelled) {
    run.cancelled = cancelled;
    for (qsizetype i = 0; i < photos.size(); ++i) {
        if (!chosen[i]) continue;
        const PlacementStatus status = photos[i].placement.status;
        if (status != PlacementStatus::Placed) {
            ++run.skipped;
            ++run.skippedBy[int(status)];
        } else if (run.kept[i]) {
            run.keptCopies << run.targets[i];
        } else if (run.outcomes[i].ok) {
            run.written << run.targets[i];
        } else if (!run.outcomes[i].error.isEmpty()) {
            run.failures
                << QStringLiteral("« %1 » : %2").arg(fileNameOf(photos[i].path), run.outcomes[i].error);
        }
    }
    return run;
}

} // namespace

QStringList existingTrackCopies(const QVector<PhotoOnTrack>& photos, const QVector<int>& rows) {
    const QVector<bool> chosen = chosenRows(photos.size(), rows);
    QStringList existing;
    for (qsizetype i = 0; i < photos.size(); ++i) {
        if (!chosen[i] || photos[i].placement.status != PlacementStatus::Placed) continue;
        if (photoTakesSidecarOnly(photos[i].path)) continue; // its sidecar is edited, never kept
        const QString copy = copyPathFor(photos[i].path, kGeotaggedPrefix);
        if (copyExists(copy)) existing << copy;
    }
    return existing;
}

QVector<PhotoOnTrack> readPhotosForTrack(const QStringList& paths) {
    QVector<PhotoOnTrack> photos;
    photos.reserve(paths.size());
    for (const QString& path : paths)
        photos.append({path, ReadPhotoTime(path), {}});
    return photos;
}

void placePhotos(QVector<PhotoOnTrack>& photos, const std::vector<TrackFix>& fixes,
                 const CorrelationSettings& settings) {
    std::vector<PhotoTimeReading> times;
    times.reserve(photos.size());
    for (const PhotoOnTrack& photo : photos)
        times.push_back(photo.time);
    std::vector<Placement> placements = placePhotoTimes(times, fixes, settings);
    for (qsizetype i = 0; i < photos.size(); ++i)
        photos[i].placement = std::move(placements[size_t(i)]);
}

GpsPosition trackGpsPosition(const TrackPosition& p, qint64 utcMs, bool sourceHasVersion) {
    GpsPosition g;
    g.latitudeRef = p.latitude < 0 ? QStringLiteral("S") : QStringLiteral("N");
    g.longitudeRef = p.longitude < 0 ? QStringLiteral("W") : QStringLiteral("E");
    g.latitude = preciseRationals(p.latitude);
    g.longitude = preciseRationals(p.longitude);
    if (!sourceHasVersion) g.extraItems.append({GpsVer, TypeByte, QByteArray("\x02\x03\x00\x00", 4)});
    if (p.hasElevation && std::abs(p.elevation) < 4e6) {
        g.extraItems.append({GpsAltitudeRef, TypeByte, QByteArray(1, p.elevation < 0 ? '\x01' : '\x00')});
        g.extraItems.append(
            {GpsAltitude, TypeRational, rationalBytes({{std::llround(std::abs(p.elevation) * 1000), 1000}})});
    }
    const qint64 days = utcMs >= 0 ? utcMs / 86400000 : -((-utcMs + 86399999) / 86400000);
    const qint64 ms = utcMs - days * 86400000;
    g.extraItems.append({GpsTimeStamp, TypeRational,
                         rationalBytes({{ms / 3600000, 1}, {ms / 60000 % 60, 1}, {ms % 60000, 1000}})});
    const QDate date = QDate::fromJulianDay(2440588 + days);
    g.extraItems.append(
        {GpsDateStamp, TypeAscii, date.toString(QStringLiteral("yyyy:MM:dd")).toLatin1() + '\0'});
    return g;
}

QString placementReason(PlacementStatus status) {
    switch (status) {
    case PlacementStatus::NoTime:
        return QStringLiteral("pas de date de prise de vue");
    case PlacementStatus::OutsideTrack:
        return QStringLiteral("hors de la trace");
    case PlacementStatus::AlreadyGeotagged:
        return QStringLiteral("déjà géocodée");
    case PlacementStatus::Unreadable:
        return QStringLiteral("illisible");
    case PlacementStatus::Placed:
        break;
    }
    return {};
}

QStringList trackTableHeader() {
    return {QStringLiteral("Photo"),    QStringLiteral("Heure de l'appareil"),
            QStringLiteral("Source"),   QStringLiteral("Heure UTC corrigée"),
            QStringLiteral("Position"), QStringLiteral("Fuseau")};
}

QStringList trackTableRow(const PhotoOnTrack& photo, const QString& blocked) {
    const Placement& p = photo.placement;
    QString place = placementReason(p.status);
    if (p.status == PlacementStatus::Placed && p.position) {
        // The locale's decimal separator, as in the window's fields; parts apart with " ; ".
        place = FloatToStrF(p.position->latitude, 15, 6) + QStringLiteral(" ; ") +
                FloatToStrF(p.position->longitude, 15, 6);
        if (p.position->hasElevation)
            place += QStringLiteral(" ; ") + FloatToStrF(p.position->elevation, 15, 1) + QStringLiteral(" m");
    }
    QString utc = p.utcMs ? formatUtc(*p.utcMs) : QString();
    if (p.utcMs && p.ambiguousTime) utc += QStringLiteral(" – ") + kAmbiguousTime;
    QString zone;
    if (p.zoneSource != ZoneSource::None)
        zone = zoneName(p.zone) + QStringLiteral(" (") + zoneSourceName(p.zoneSource) + u')';
    if (!p.nearbyZone.isEmpty())
        zone += QStringLiteral(" – ") + kZoneChangeNearby + QStringLiteral(" (") + p.nearbyZone + u')';
    if (!blocked.isEmpty() && photo.time.readable) {
        utc = place = blocked;
        if (p.zoneSource != ZoneSource::Photo) zone.clear();
    }
    return {fileNameOf(photo.path),
            photo.time.hasTime() ? formatCameraTime(photo.time.cameraMs) : QString(),
            photoTimeSourceName(photo.time.source),
            utc,
            place,
            zone};
}

QString trackPlacementSummary(const QVector<PhotoOnTrack>& photos) {
    int placed = 0, nearChange = 0;
    for (const PhotoOnTrack& photo : photos)
        if (photo.placement.status == PlacementStatus::Placed) {
            ++placed;
            if (!photo.placement.nearbyZone.isEmpty()) ++nearChange;
        }
    QString text = QStringLiteral("%1 photo(s) placée(s) sur %2").arg(placed).arg(photos.size());
    if (nearChange) text += QStringLiteral(" ; %1 : %2 à vérifier").arg(kZoneChangeNearby).arg(nearChange);
    return text;
}

TrackCopyRun writeTrackCopies(const QVector<PhotoOnTrack>& photos, const std::function<bool(int)>& advance,
                              int threads, const TrackCopyChoice& choice) {
    TrackCopyRun run;
    const int total = int(photos.size());
    const QVector<bool> chosen = chosenRows(total, choice.rows);
    run.outcomes.resize(total);
    run.kept.resize(total);
    run.targets.resize(total);
    // Each thread writes its own photos' slots.
    CopyResult* const outcomes = run.outcomes.data();
    bool* const kept = run.kept.data();
    QString* const targets = run.targets.data();
    // The copies are flushed to disk together, a batch at a time: each takes its name only then.
    DurableBatch batch;
    AtomicWriteOptions options;
    options.replace = choice.replaceExisting;
    options.batch = &batch;
    const auto writeOne = [&](int i) {
        const PhotoOnTrack& photo = photos[i];
        if (!chosen[i] || photo.placement.status != PlacementStatus::Placed) return;
        AtomicWriteOptions own = options;
        own.batchKey = i;
        const GpsPosition position =
            trackGpsPosition(*photo.placement.position, *photo.placement.utcMs, photo.time.hasGpsVersion);
        const auto sidecar = [&] {
            targets[i] = sidecarPathFor(photo.path, choice.naming);
            outcomes[i] = writeSidecar(photo.path, targets[i], position, choice.replaceExisting, own);
        };
        if (choice.sidecar) return sidecar();
        targets[i] = copyPathFor(photo.path, kGeotaggedPrefix);
        if (!choice.replaceExisting && copyExists(targets[i])) {
            kept[i] = true;
            return;
        }
        outcomes[i] =
            writeGeotagCopy(photo.path, targets[i], position, own,
                            choice.withPlace ? copyPlaceAt(position) : LocationMetadataEdit::Place());
        // A photo whose own file is never written: found out when its copy fails, so that no other
        // photo pays for the look.
        if (!outcomes[i].ok && photoTakesSidecarOnly(photo.path)) sidecar();
    };
    const int workers = std::clamp(threads, 1, 64);
    bool cancelled = advance && !advance(0);
    int done = 0;
    // A batch's photos are written on the threads; once they are all done, the batch is flushed.
    while (!cancelled && done < total) {
        const int end = int(std::min<qint64>(total, done + std::max<qsizetype>(1, batch.room())));
        std::mutex mutex;
        std::condition_variable progressed;
        int next = done, finished = done;
        bool stop = false;
        const auto work = [&] {
            std::unique_lock lock(mutex);
            while (!stop && next < end) {
                const int i = next++;
                lock.unlock();
                writeOne(i);
                lock.lock();
                ++finished;
                progressed.notify_all();
            }
        };
        std::vector<std::thread> team;
        for (int t = 0; workers > 1 && t < workers && t < end - done; ++t)
            team.emplace_back(work);
        if (team.empty()) {
            // One thread: the caller's own, reporting after each photo.
            for (int i = done; i < end && !cancelled; ++i) {
                writeOne(i);
                next = finished = i + 1;
                cancelled = advance && !advance(i + 1) && i + 1 < total;
            }
        } else {
            // The caller reports the progress and takes the answer to stop.
            std::unique_lock lock(mutex);
            int reported = done;
            for (;;) {
                const bool over = finished == next && (stop || next == end);
                if (over && reported == finished) break;
                progressed.wait(lock, [&] { return finished != reported; });
                reported = finished;
                lock.unlock();
                const bool go = !advance || advance(reported);
                lock.lock();
                if (!go && !stop && next < total) stop = cancelled = true;
            }
        }
        for (std::thread& t : team)
            t.join();
        done = next;
        // What was written before a cancel stays.
        settleCopies(batch, run.outcomes);
    }
    return summed(photos, chosen, std::move(run), cancelled);
}

QString trackCopySummary(const TrackCopyRun& run) {
    QString text = plural(int(run.written.size()), "copie écrite", "copies écrites") + u'.';
    if (!run.keptCopies.isEmpty())
        text += u'\n' +
                plural(int(run.keptCopies.size()), "copie existante gardée", "copies existantes gardées") +
                u'.';
    if (run.skipped) {
        QStringList reasons;
        for (PlacementStatus s : {PlacementStatus::AlreadyGeotagged, PlacementStatus::NoTime,
                                  PlacementStatus::OutsideTrack, PlacementStatus::Unreadable})
            if (const int n = run.skippedBy[int(s)])
                reasons << QString::number(n) + u' ' + placementReason(s);
        text += u'\n' + plural(run.skipped, "photo ignorée", "photos ignorées") + QStringLiteral(" : ") +
                reasons.join(QStringLiteral(", ")) + u'.';
    }
    if (!run.failures.isEmpty())
        text += u'\n' + plural(int(run.failures.size()), "échec", "échecs") + QStringLiteral(" :\n") +
                run.failures.join(u'\n');
    if (run.cancelled) text += QStringLiteral("\nÉcriture interrompue.");
    return text;
}

} // namespace vantorel
