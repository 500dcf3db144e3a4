// SPDX-License-Identifier: GPL-3.0-or-later
#include "correlation.h"

#include <QDateTime>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace vantorel {
namespace {

constexpr qint64 kDayMs = 86400000;

TrackPosition positionOf(const TrackFix& fix) {
    return {fix.latitude, fix.longitude, fix.elevation, fix.hasElevation};
}

// The longitude `fraction` of the way from a to b along the shorter way round.
double longitudeBetween(double a, double b, double fraction) {
    double step = b - a;
    if (step > 180) step -= 360;
    if (step < -180) step += 360;
    double longitude = a + fraction * step;
    if (longitude > 180) longitude -= 360;
    if (longitude < -180) longitude += 360;
    return longitude;
}

// The camera time less the clock error, read in `zone` with the daylight saving of its date.
std::optional<qint64> utcInZone(const PhotoTimeReading& photo, qint64 clockErrorMs,
                                const QTimeZone& zoneGiven, bool* ambiguous) {
    if (ambiguous) *ambiguous = false;
    if (!photo.hasTime()) return std::nullopt;
    const qint64 local = photo.cameraMs - clockErrorMs;
    const QTimeZone zone = zoneGiven.isValid() ? zoneGiven : QTimeZone::utc();
    // Every instant the zone shows as this wall-clock time: the offsets around it, each kept when
    // it is the zone's offset at the instant it gives.
    const auto offsetAt = [&zone](qint64 utc) {
        return qint64(zone.offsetFromUtc(QDateTime::fromMSecsSinceEpoch(utc, QTimeZone::utc()))) * 1000;
    };
    std::vector<qint64> instants;
    for (const qint64 probe : {local - 2 * kDayMs, local, local + 2 * kDayMs}) {
        const qint64 offset = offsetAt(probe);
        const qint64 utc = local - offset;
        if (offsetAt(utc) == offset && std::find(instants.begin(), instants.end(), utc) == instants.end())
            instants.push_back(utc);
    }
    if (!instants.empty()) {
        if (ambiguous) *ambiguous = instants.size() > 1;
        return *std::min_element(instants.begin(), instants.end());
    }
    // A time the zone skips (the hour lost when daylight saving starts): as the system reads it.
    const qint64 days = local >= 0 ? local / kDayMs : -((-local + kDayMs - 1) / kDayMs);
    const QDate date = QDate::fromJulianDay(2440588 + days);
    const QTime time = QTime::fromMSecsSinceStartOfDay(int(local - days * kDayMs));
    return QDateTime(date, time, zone).toMSecsSinceEpoch();
}

// The zone a lookup names; invalid for an empty or unknown name. Each name is resolved once per thread.
QTimeZone zoneNamed(const QString& name) {
    if (name.isEmpty()) return {};
    thread_local QHash<QString, QTimeZone> known;
    auto found = known.constFind(name);
    if (found == known.constEnd()) found = known.insert(name, zoneFromText(name));
    return *found;
}

int offsetAt(const QTimeZone& zone, qint64 utcMs) {
    return zone.offsetFromUtc(QDateTime::fromMSecsSinceEpoch(utcMs, QTimeZone::utc()));
}

} // namespace

std::optional<qint64> photoUtcMs(const PhotoTimeReading& photo, const CorrelationSettings& settings,
                                 bool* ambiguous) {
    if (ambiguous) *ambiguous = false;
    if (!photo.hasTime()) return std::nullopt;
    if (photo.offsetSeconds)
        return photo.cameraMs - settings.clockErrorMs - qint64(*photo.offsetSeconds) * 1000;
    return utcInZone(photo, settings.clockErrorMs, settings.zone, ambiguous);
}

std::optional<TrackPosition> positionAt(const std::vector<TrackFix>& fixes, qint64 utcMs, int maxGapSeconds,
                                        int maxDistanceSeconds) {
    const auto after = std::lower_bound(fixes.begin(), fixes.end(), utcMs,
                                        [](const TrackFix& fix, qint64 t) { return fix.utcMs < t; });
    if (after != fixes.end() && after->utcMs == utcMs) return positionOf(*after);
    const auto before = after == fixes.begin() ? fixes.end() : after - 1;
    if (after != fixes.end() && before != fixes.end() && before->segment == after->segment &&
        after->utcMs - before->utcMs <= qint64(maxGapSeconds) * 1000) {
        const double f = double(utcMs - before->utcMs) / double(after->utcMs - before->utcMs);
        TrackPosition p;
        p.latitude = before->latitude + f * (after->latitude - before->latitude);
        p.longitude = longitudeBetween(before->longitude, after->longitude, f);
        p.hasElevation = before->hasElevation && after->hasElevation;
        if (p.hasElevation) p.elevation = before->elevation + f * (after->elevation - before->elevation);
        return p;
    }
    if (maxDistanceSeconds <= 0) return std::nullopt;
    const qint64 limit = qint64(maxDistanceSeconds) * 1000;
    const qint64 toBefore = before != fixes.end() ? utcMs - before->utcMs : limit + 1;
    const qint64 toAfter = after != fixes.end() ? after->utcMs - utcMs : limit + 1;
    if (std::min(toBefore, toAfter) > limit) return std::nullopt;
    return positionOf(toBefore <= toAfter ? *before : *after);
}

Placement placePhoto(const PhotoTimeReading& photo, const std::vector<TrackFix>& fixes,
                     const CorrelationSettings& settings, ZoneSource guessSource) {
    Placement p;
    if (!photo.readable) return p;
    const QTimeZone chosen = settings.zone.isValid() ? settings.zone : QTimeZone::utc();
    if (!photo.hasTime()) {
    } else if (photo.offsetSeconds) {
        p.zone = QTimeZone(*photo.offsetSeconds);
        p.zoneSource = ZoneSource::Photo;
        p.utcMs = photoUtcMs(photo, settings);
    } else if (!settings.zoneAt) {
        p.zone = chosen;
        p.zoneSource = ZoneSource::Chosen;
        p.utcMs = utcInZone(photo, settings.clockErrorMs, chosen, &p.ambiguousTime);
    } else {
        p.zone = chosen;
        p.zoneSource = guessSource;
        const qint64 error = settings.clockErrorMs;
        // The zone of the town nearest the track at a time (at its nearest fix, however far);
        // invalid at sea.
        const auto zoneThere = [&](std::optional<qint64> utc) {
            const auto there =
                utc ? positionAt(fixes, *utc, settings.maxGapSeconds, std::numeric_limits<int>::max())
                    : std::nullopt;
            return there ? zoneNamed(settings.zoneAt(there->latitude, there->longitude)) : QTimeZone();
        };
        const auto sameOffset = [](const QTimeZone& a, const QTimeZone& b, qint64 utc) {
            return offsetAt(a, utc) == offsetAt(b, utc);
        };
        // Read in the first guess, found on the track, read again in the zone there.
        if (const QTimeZone found = zoneThere(utcInZone(photo, error, chosen, nullptr)); found.isValid()) {
            p.zone = found;
            p.zoneSource = ZoneSource::Track;
        }
        p.utcMs = utcInZone(photo, error, p.zone, &p.ambiguousTime);
        // At that time the track may be in another zone already (a first guess an hour or more off
        // near a change): that zone is taken when the time it gives is in it, otherwise the time
        // is in neither (the hour a change of zone skips or repeats) and the change is said.
        if (p.zoneSource == ZoneSource::Track && p.utcMs)
            if (const QTimeZone there = zoneThere(p.utcMs);
                there.isValid() && !sameOffset(there, p.zone, *p.utcMs)) {
                bool ambiguous = false;
                const auto again = utcInZone(photo, error, there, &ambiguous);
                const QTimeZone thereAgain = zoneThere(again);
                if (again && thereAgain.isValid() && sameOffset(thereAgain, there, *again)) {
                    p.zone = there;
                    p.utcMs = again;
                    p.ambiguousTime = ambiguous;
                } else {
                    p.nearbyZone = zoneName(there);
                }
            }
    }
    if (photo.geotagged && !settings.replace) {
        p.status = PlacementStatus::AlreadyGeotagged;
        return p;
    }
    if (!p.utcMs) {
        p.status = PlacementStatus::NoTime;
        return p;
    }
    p.position = positionAt(fixes, *p.utcMs, settings.maxGapSeconds, settings.maxDistanceSeconds);
    p.status = p.position ? PlacementStatus::Placed : PlacementStatus::OutsideTrack;
    return p;
}

std::vector<Placement> placePhotoTimes(const std::vector<PhotoTimeReading>& photos,
                                       const std::vector<TrackFix>& fixes,
                                       const CorrelationSettings& settings) {
    std::vector<Placement> placements(photos.size());
    std::vector<size_t> order(photos.size());
    std::iota(order.begin(), order.end(), size_t(0));
    std::stable_sort(order.begin(), order.end(),
                     [&photos](size_t a, size_t b) { return photos[a].cameraMs < photos[b].cameraMs; });
    CorrelationSettings guess = settings;
    ZoneSource guessSource = ZoneSource::System;
    for (const size_t i : order) {
        placements[i] = placePhoto(photos[i], fixes, guess, guessSource);
        if (placements[i].zoneSource == ZoneSource::Track) {
            guess.zone = placements[i].zone;
            guessSource = ZoneSource::Track;
        }
    }
    if (!settings.zoneAt) return placements;
    // Neighbours in time whose zones from the track disagree.
    std::vector<size_t> fromTrack;
    for (size_t i = 0; i < placements.size(); ++i)
        if (placements[i].status == PlacementStatus::Placed && placements[i].zoneSource == ZoneSource::Track)
            fromTrack.push_back(i);
    std::stable_sort(fromTrack.begin(), fromTrack.end(), [&placements](size_t a, size_t b) {
        return *placements[a].utcMs < *placements[b].utcMs;
    });
    for (size_t k = 1; k < fromTrack.size(); ++k) {
        Placement& before = placements[fromTrack[k - 1]];
        Placement& after = placements[fromTrack[k]];
        if (*after.utcMs - *before.utcMs > kZoneChangeWindowMs ||
            offsetAt(before.zone, *after.utcMs) == offsetAt(after.zone, *after.utcMs))
            continue;
        if (before.nearbyZone.isEmpty()) before.nearbyZone = zoneName(after.zone);
        if (after.nearbyZone.isEmpty()) after.nearbyZone = zoneName(before.zone);
    }
    return placements;
}

QString zoneName(const QTimeZone& zone) {
    if (!zone.isValid()) return {};
    const QString id = QString::fromUtf8(zone.id());
    // An offset zone is named "UTC+02" or "UTC+05:30" by the system: "+02:00", "+05:30" here.
    if (id.size() > 3 && id.startsWith(QLatin1String("UTC")) && (id[3] == u'+' || id[3] == u'-')) {
        const int offset = zone.offsetFromUtc(QDateTime::fromMSecsSinceEpoch(0, QTimeZone::utc()));
        const int magnitude = std::abs(offset) / 60;
        return QStringLiteral("%1%2:%3")
            .arg(QChar(offset < 0 ? u'-' : u'+'))
            .arg(magnitude / 60, 2, 10, QLatin1Char('0'))
            .arg(magnitude % 60, 2, 10, QLatin1Char('0'));
    }
    return id;
}

QString zoneSourceName(ZoneSource source) {
    switch (source) {
    case ZoneSource::Photo:
        return QStringLiteral("photo");
    case ZoneSource::Track:
        return QStringLiteral("trace");
    case ZoneSource::Chosen:
        return QStringLiteral("choisi");
    case ZoneSource::System:
        return QStringLiteral("système");
    case ZoneSource::None:
        break;
    }
    return {};
}

QString formatUtc(qint64 utcMs) {
    return formatCameraTime(utcMs).replace(u' ', u'T') + u'Z';
}

QTimeZone zoneFromText(const QString& text) {
    const QString t = text.trimmed();
    if (t.compare(QStringLiteral("UTC"), Qt::CaseInsensitive) == 0 || t == QStringLiteral("Z"))
        return QTimeZone::utc();
    static const QRegularExpression offset(QStringLiteral("^([+-])(\\d{1,2})(?::?(\\d{2}))?$"));
    if (const auto m = offset.match(t); m.hasMatch()) {
        const int hours = m.captured(2).toInt(), minutes = m.captured(3).toInt();
        if (hours > 14 || minutes > 59) return {};
        return QTimeZone((m.captured(1) == u"-" ? -1 : 1) * (hours * 3600 + minutes * 60));
    }
    // Only the names the system lists: it takes any other ("Paris", "XYZ") for UTC.
    if (t.isEmpty() || !t.front().isLetter()) return {};
    static const QList<QByteArray> known = QTimeZone::availableTimeZoneIds();
    const QByteArray name = t.toUtf8();
    for (const QByteArray& id : known)
        if (id.compare(name, Qt::CaseInsensitive) == 0) return QTimeZone(id);
    // The system's own zone, and the tz database's other names ("Etc/UTC"), which the list may lack.
    if (name == QTimeZone::systemTimeZoneId()) return QTimeZone::systemTimeZone();
    static const QRegularExpression tzName(QStringLiteral("^[A-Za-z][A-Za-z0-9_+-]*(/[A-Za-z0-9_+-]+)*$"));
    if (tzName.match(t).hasMatch() && QFileInfo(QStringLiteral("/usr/share/zoneinfo/") + t).isFile())
        return QTimeZone(name);
    return {};
}

} // namespace vantorel
