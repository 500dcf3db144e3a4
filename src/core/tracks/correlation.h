// SPDX-License-Identifier: GPL-3.0-or-later
// Placing photos on a track by time: the photo's UTC time from its camera time, zone and clock
// error, then the position the track had at that time.
#pragma once

#include "trackfix.h"

#include "metadata/phototime.h"

#include <QTimeZone>
#include <functional>
#include <optional>

namespace vantorel {

inline constexpr int kDefaultMaxGapSeconds = 1800;
inline constexpr int kDefaultMaxDistanceSeconds = 1800;

// The IANA zone of a position ("Europe/Lisbon": the nearest town's), empty where none is known (at
// sea).
using ZoneAtPosition = std::function<QString(double latitude, double longitude)>;

struct CorrelationSettings {
    // For photos without their own offset: the zone chosen, or with `zoneAt` the first guess.
    QTimeZone zone = QTimeZone::systemTimeZone();
    // When set, a photo without its own offset takes the zone of the track where it was taken.
    ZoneAtPosition zoneAt;
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

// Where the zone of a photo's camera time came from: its own offset, the track, the zone chosen for
// all, or the system's zone when the track gave none.
enum class ZoneSource { None, Photo, Track, Chosen, System };

struct Placement {
    PlacementStatus status = PlacementStatus::Unreadable;
    std::optional<qint64> utcMs; // the photo's corrected UTC time, when it has a time
    std::optional<TrackPosition> position;
    // The camera time falls in the hour a change of daylight saving repeats: it was read as the
    // earlier of its two instants. A photo with its own offset, or a zone given as an offset, is
    // never ambiguous.
    bool ambiguousTime = false;
    QTimeZone zone; // the zone the camera time was read in, when it has a time
    ZoneSource zoneSource = ZoneSource::None;
    // A zone from the track that changes near this photo: the other zone, found at a photo an hour
    // or less away, or where the track was at a time neither zone holds.
    QString nearbyZone;
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

// Places a photo. With `settings.zoneAt`, a photo without its own offset is read once in the first
// guess (`settings.zone`), found on the track (at the nearest fix, however far), read again in the
// zone there, and placed: each photo of a trip across zones in its own. When the track is in yet
// another zone at the time found (a first guess far off near a change), that zone is taken if the
// time it gives is in it; otherwise the change is said in `nearbyZone`. Where the track gives no
// zone (at sea), the first guess stays, as `guessSource` says where it came from.
Placement placePhoto(const PhotoTimeReading& photo, const std::vector<TrackFix>& fixes,
                     const CorrelationSettings& settings, ZoneSource guessSource = ZoneSource::System);

// Photos of one run placed in the order of their camera times, so that with `settings.zoneAt`
// each photo's first guess is the zone the track gave the photo before it (the system's or the
// chosen zone for the first). Two placed photos an hour or less apart whose zones from the track
// differ in offset are marked with each other's zone. The placements are in the photos' order.
std::vector<Placement> placePhotoTimes(const std::vector<PhotoTimeReading>& photos,
                                       const std::vector<TrackFix>& fixes,
                                       const CorrelationSettings& settings);

inline constexpr qint64 kZoneChangeWindowMs = 3600000;

// The zone as the table shows it: "Europe/Paris", "+02:00", "UTC".
QString zoneName(const QTimeZone& zone);
// « photo », « trace », « choisi », « système ».
QString zoneSourceName(ZoneSource source);

// "2024-06-01T10:00:00Z", with ".250" when the time has a fraction of a second.
QString formatUtc(qint64 utcMs);

// The zone a user names: "+02:00", "-0530", "UTC" or an IANA name ("Europe/Paris", in any case);
// invalid otherwise ("Paris", "XYZ": the system would take them for UTC).
QTimeZone zoneFromText(const QString& text);

} // namespace vantorel
