// SPDX-License-Identifier: GPL-3.0-or-later
// Placing photos on a track by time: the photo's UTC time from its camera time, zone and clock
// error, then the position the track had at that time.
#pragma once

#include "trackfix.h"

#include "metadata/phototime.h"

#include <QTimeZone>
#include <optional>

namespace vantorel {

inline constexpr int kDefaultMaxGapSeconds = 1800;
inline constexpr int kDefaultMaxDistanceSeconds = 1800;

struct CorrelationSettings {
    QTimeZone zone = QTimeZone::systemTimeZone();        // for photos without their own offset
    qint64 clockErrorMs = 0;                             // the camera's clock minus the true time
    int maxGapSeconds = kDefaultMaxGapSeconds;           // the longest stretch between two fixes interpolated
    int maxDistanceSeconds = kDefaultMaxDistanceSeconds; // how far in time the nearest fix may be; 0: never
    bool replace = false;                                // place photos that already have a position
};

struct TrackPosition {
    double latitude = 0;
    double longitude = 0;
    double elevation = 0;
    bool hasElevation = false;
};

enum class PlacementStatus { Placed, NoTime, OutsideTrack, AlreadyGeotagged, Unreadable };

struct Placement {
    PlacementStatus status = PlacementStatus::Unreadable;
    std::optional<qint64> utcMs; // the photo's corrected UTC time, when it has a time
    std::optional<TrackPosition> position;
    // The camera time falls in the hour a change of daylight saving repeats: it was read as the
    // earlier of its two instants. A photo with its own offset, or a zone given as an offset, is
    // never ambiguous.
    bool ambiguousTime = false;
};

// The photo's UTC time: its camera time in its own offset, or else in the settings' zone (with the
// daylight saving of its date), less the clock error. Nothing when the photo has no time. A time
// the zone shows twice (the hour repeated when daylight saving ends) is the earlier instant, and
// sets `ambiguous` when given.
std::optional<qint64> photoUtcMs(const PhotoTimeReading& photo, const CorrelationSettings& settings,
                                 bool* ambiguous = nullptr);

// Where the track was at `utcMs`: interpolated between the fixes around it when they are in one
// segment and at most `maxGapSeconds` apart, else the nearest fix within `maxDistanceSeconds`.
std::optional<TrackPosition> positionAt(const std::vector<TrackFix>& fixes, qint64 utcMs, int maxGapSeconds,
                                        int maxDistanceSeconds);

Placement placePhoto(const PhotoTimeReading& photo, const std::vector<TrackFix>& fixes,
                     const CorrelationSettings& settings);

// "2024-06-01T10:00:00Z", with ".250" when the time has a fraction of a second.
QString formatUtc(qint64 utcMs);

// The zone a user names: "+02:00", "-0530", "UTC" or an IANA name ("Europe/Paris", in any case);
// invalid otherwise ("Paris", "XYZ": the system would take them for UTC).
QTimeZone zoneFromText(const QString& text);

} // namespace vantorel
