// GPX 1.0 and 1.1 read as a stream: the timed track points, route points and waypoints.
#pragma once

#include "trackfix.h"

#include <QStringView>
#include <optional>

class QIODevice;

namespace vantorel {

// Reads every point with a time from `device`; `name` names the file in messages. Each track
// segment and each route is a segment of its own, as is each waypoint, numbered from
// `firstSegment`. The fixes come in file order.
TrackReading readGpx(QIODevice& device, const QString& name, int firstSegment = 0);

// "2024-06-01T10:00:00Z", with fractions and "±hh:mm" offsets (no zone reads as UTC).
std::optional<qint64> parseIsoTime(QStringView text);

} // namespace vantorel
