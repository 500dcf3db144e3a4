// SPDX-License-Identifier: GPL-3.0-or-later
// The map of a correlation: the track as a line and the photos placed on it as markers, which the
// window moves without reloading the page when the correction changes.
#pragma once

#include "mapsettings.h"

#include "tracks/trackfix.h"

#include <QByteArray>
#include <QString>
#include <QVector>

namespace vantorel {

// Beyond this many fixes the line keeps every n-th one (and each segment's ends): the map shows
// the shape, not each second of it.
inline constexpr int kTrackMapMaxFixes = 20000;

struct TrackMapPhoto {
    double latitude = 0;
    double longitude = 0;
    QString name; // a file name: escaped for the script
};

// Always a Leaflet page (the line and the live markers need it), with `settings`' tiles.
QByteArray BuildTrackMapPage(const std::vector<TrackFix>& fixes, const QVector<TrackMapPhoto>& photos,
                             MapSettings settings);
// The script that puts the photos' markers where `photos` says, on a page already shown.
QString trackMarkersScript(const QVector<TrackMapPhoto>& photos);

} // namespace vantorel
