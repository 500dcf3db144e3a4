// SPDX-License-Identifier: GPL-3.0-or-later
// The GPX 1.0 file of the geotagged photos, built from the POI table as bytes: one waypoint per
// photo with a position, for GPS devices and mapping tools.
#pragma once

#include "metadata/poitable.h"
#include "metadata/propertyitem.h"
#include "tables/stringgrid.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace vantorel {

inline const QString kGpxDefaultName = QStringLiteral("WP_photos.gpx");
// When the POI table has no row: no file is written.
inline const QString kGpxNoGeotagged = QStringLiteral("Il n'y a aucune image géocodée à exporter en Gpx.");

// The photo's UTC time from its GPS date and time stamps, as "YYYY-MM-DDThh:mm:ssZ" (fractions of
// a second dropped); empty when either stamp is missing or does not make a real date and time.
QString gpsUtcTime(const std::optional<PropertyItem>& dateStamp,
                   const std::optional<PropertyItem>& timeStamp);
// The same from a photo's GPS directory (the waypoint's time).
QString gpsUtcTime(const ImageProperties& photo);

// The waypoint times of one POI table rebuild, by row; the POI table has no column for them, so
// they are read from each photo while its row is written.
class GpxTimes {
public:
    // To pass to rebuildPoiTable.
    PoiRowReader reader();
    // The time of `row`, empty when the photo has none.
    QString at(int row) const { return m_byRow.value(row); }
    void set(int row, const QString& time);

private:
    QStringList m_byRow;
};

struct GpxFile {
    QByteArray bytes;
    int waypoints = 0; // waypoints written
};

// The file for rows 1 to rowCount of the POI table: CR LF line ends, TAB indents. A row gets a
// waypoint when it has a longitude and a latitude that are numbers on the globe; it has an
// elevation only with an altitude, and a time only when `times` has one.
// `pump` runs every few thousand rows, so that a window can repaint.
GpxFile buildGpx(const StringGrid& SG0, int rowCount, const GpxTimes& times,
                 const std::function<void()>& pump = {});

// The same file a piece at a time, for a writer that does not hold every row: gpxFileStart(), then
// appendGpxWaypoint for each row in order, then gpxFileEnd(). appendGpxWaypoint appends the waypoint
// of `row` of `SG0` with the time `time` (none when empty) and returns true, or returns false when
// the row gets none.
const QByteArray& gpxFileStart();
bool appendGpxWaypoint(QByteArray& out, const StringGrid& SG0, int row, const QString& time);
const QByteArray& gpxFileEnd();

} // namespace vantorel
