// SPDX-License-Identifier: GPL-3.0-or-later
// Writing the "#" copies of photos placed on a track, and the summary of a run.
#pragma once

#include "correlation.h"

#include "geotag/geotagcopy.h"
#include "geotag/xmpsidecar.h"

#include <QString>
#include <QStringList>
#include <functional>

namespace vantorel {

// One photo of a correlation run: what was read and where it goes.
struct PhotoOnTrack {
    QString path;
    PhotoTimeReading time;
    Placement placement;
};

// Reads every photo's time (the slow part, done once per photo, whatever the settings).
QVector<PhotoOnTrack> readPhotosForTrack(const QStringList& paths);
// Places every photo with `settings` (cheap: run again at each change of the settings).
void placePhotos(QVector<PhotoOnTrack>& photos, const std::vector<TrackFix>& fixes,
                 const CorrelationSettings& settings);

// The GPS items of a placed photo: position with references (minutes to a millionth), and as extra items the
// altitude when the track has one, the UTC date and time stamps, and the version when the source has none.
GpsPosition trackGpsPosition(const TrackPosition& position, qint64 utcMs, bool sourceHasVersion);

// Why a photo was not placed, in French for the table and the summary; empty for a placed photo.
QString placementReason(PlacementStatus status);

// The columns of the correlation's table.
enum TrackColumn {
    TrackPhoto,
    TrackCameraTime,
    TrackTimeSource,
    TrackUtcTime,
    TrackPlace,
    TrackZone,
    TrackColumnCount
};
QStringList trackTableHeader();
// One photo's row: file name, camera time, the item it came from, corrected UTC time (marked when
// ambiguous), the position found ("48.123456, 2.123456, 35 m") or why none, and the zone the time
// was read in with where it came from (« Europe/Madrid (trace) », marked when the track's zone
// changes near the photo). With `blocked` (why nothing can be placed now: an unreadable clock
// error, an unknown zone), the time and the position say that instead of what an earlier setting
// gave, and a zone not the photo's own is left out.
QStringList trackTableRow(const PhotoOnTrack& photo, const QString& blocked = {});

// "3 photo(s) placée(s) sur 4", and how many placed photos are near a change of zone.
QString trackPlacementSummary(const QVector<PhotoOnTrack>& photos);

// The mark of a time read in an hour that daylight saving repeats.
inline const QString kAmbiguousTime = QStringLiteral("heure ambiguë (changement d'heure)");
// The mark of a zone from the track that changes near the photo.
inline const QString kZoneChangeNearby = QStringLiteral("changement de fuseau proche");

// Which copies a run writes.
struct TrackCopyChoice {
    bool replaceExisting = false; // an existing "#" copy is replaced; otherwise it is kept as it is
    QVector<int> rows;            // the photos to write, by index; empty: all of them
    // XMP sidecars instead of copies for every photo (the photos whose own file is never written
    // always get one); an existing sidecar is edited, never kept.
    bool sidecar = false;
    SidecarName naming = SidecarName::WithExtension;
    bool withPlace = false; // each copy also names its position's place (copyPlaceAt)
};

// The "#" copies of the placed photos among `rows` (all when empty) that exist already.
QStringList existingTrackCopies(const QVector<PhotoOnTrack>& photos, const QVector<int>& rows = {});

struct TrackCopyRun {
    // One per photo, in order; a photo not placed, not chosen, kept, or not reached before a
    // cancel: not ok, no error.
    QVector<CopyResult> outcomes;
    QVector<bool> kept;                          // per photo: its existing copy was left in place
    QStringList targets;                         // per photo written: its copy's or sidecar's path
    QStringList written;                         // the copies' paths
    QStringList keptCopies;                      // the existing copies left in place
    int skipped = 0;                             // photos not placed
    QStringList failures;                        // "« name » : why", one per copy not written
    QVector<int> skippedBy = QVector<int>(5, 0); // per PlacementStatus
    bool cancelled = false;
};

inline constexpr int kTrackCopyThreads = 4;

// Writes the "#" copy of every placed photo `choice` names, on `threads` threads; the copies are
// flushed to disk together, a batch at a time, and each takes its name only then. An existing
// copy is kept unless `choice` replaces it (a copy that appears meanwhile is never replaced then).
// `advance` is called on the calling thread with the number of photos done (0 first); it returns
// false to stop: copies under way are finished, no other is started, and what is written stays.
TrackCopyRun writeTrackCopies(const QVector<PhotoOnTrack>& photos,
                              const std::function<bool(int)>& advance = {}, int threads = kTrackCopyThreads,
                              const TrackCopyChoice& choice = {});

// "3 copies écrites. 1 copie existante gardée. 1 photo ignorée : 1 hors de la trace." and the
// failures, one per line.
QString trackCopySummary(const TrackCopyRun& run);

} // namespace vantorel
