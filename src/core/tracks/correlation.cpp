// SPDX-License-Identifier: GPL-3.0-or-later
#include "correlation.h"

#include <QDateTime>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

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

} // namespace

std::optional<qint64> photoUtcMs(const PhotoTimeReading& photo, const CorrelationSettings& settings,
                                 bool* ambiguous) {
    if (ambiguous) *ambiguous = false;
    if (!photo.hasTime()) return std::nullopt;
    const qint64 local = photo.cameraMs - settings.clockErrorMs;
    if (photo.offsetSeconds) return local - qint64(*photo.offsetSeconds) * 1000;
    const QTimeZone zone = settings.zone.isValid() ? settings.zone : QTimeZone::utc();
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
                     const CorrelationSettings& settings) {
    Placement p;
    if (!photo.readable) return p;
    p.utcMs = photoUtcMs(photo, settings, &p.ambiguousTime);
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
