// SPDX-License-Identifier: GPL-3.0-or-later
// GPX 1.0 and 1.1 read as a stream: the timed track points, route points and waypoints.
#pragma once

#include "trackfix.h"
#include "trackinput.h"

#include <QStringView>
#include <optional>

class QIODevice;

namespace vantorel {

inline constexpr int kMaxTrackValueChars = 1024;  // a time's or an elevation's text
inline constexpr double kMaxTrackElevation = 1e5; // metres, above or below sea level

struct GpxReadOptions {
    // The points a converter gave as waypoints make one segment (a logger's track read as
    // placemarks), instead of one segment each.
    bool waypointsAsOneSegment = false;
    TrackReadControl* control = nullptr; // bytes read, and the cancel
};

// Reads every point with a time from `device`; `name` names the file in messages. Each track
// segment and each route is a segment of its own, as is each waypoint, numbered from
// `firstSegment`. The fixes come in file order. A document type declaration, an element with
// too many attributes and an overlong tag, text or value are refused with their line.
TrackReading readGpx(QIODevice& device, const QString& name, int firstSegment = 0,
                     const GpxReadOptions& options = {});

// "2024-06-01T10:00:00Z", with fractions and "±hh:mm" offsets (no zone reads as UTC).
std::optional<qint64> parseIsoTime(QStringView text);

} // namespace vantorel
