// SPDX-License-Identifier: GPL-3.0-or-later
// The overview map of every geotagged photo of the list: centre and zoom from the POI table, and
// the page with one marker per row (the first red, the last green, the others grey).
#pragma once

#include "mapsettings.h"

#include <QByteArray>
#include <QString>
#include <functional>

namespace vantorel {

class StringGrid;

inline const QString kNoGeotaggedPhotoForMap =
    QStringLiteral("Il n'y a aucune image géocodée à positionner sur la carte.");
inline const QString kOverviewRowLimit = QStringLiteral("Tableau limité à 50.000 lignes");
inline constexpr int kOverviewRowLimitCount = 50000;

// The zoom level for a span of `e` thousandths of a degree.
QString overviewZoom(qint64 e);

struct OverviewFrame {
    QString centreLatitude, centreLongitude; // single-precision averages, 15 digits, with a point
    QString zoom;
    qint64 e = 0; // the larger span in thousandths of a degree
};

// Centre and zoom of the data rows of SG0 (signed latitude and longitude columns; a cell that is
// not a number counts as 0). SG0 has at least one data row.
// `pump`, in these two, runs every few thousand rows, so that a window can repaint.
OverviewFrame overviewFrame(const StringGrid& SG0, const std::function<void()>& pump = {});

// The page of the data rows of SG0. Leaflet: the points are one data array that the page turns
// into circle markers on a canvas; Google: one block of script per point.
QByteArray buildOverviewPage(const StringGrid& SG0, const OverviewFrame& frame, const MapSettings& settings,
                             const std::function<void()>& pump = {});

} // namespace vantorel
