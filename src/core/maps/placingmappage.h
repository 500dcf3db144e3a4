// SPDX-License-Identifier: GPL-3.0-or-later
// The map offered to place a photo that has no position: no marker until the user clicks, centred
// on the last position of the session, else framing the listed photos that have one, else the world.
#pragma once

#include "mapsettings.h"

#include <QByteArray>
#include <QList>
#include <QPointF>
#include <optional>

namespace vantorel {

struct PlacingFrame {
    double south = 20, west = 0, north = 20, east = 0; // one point when they agree
    int zoom = 2;                                      // for one point
};

// `last`: the position last written or clicked (x longitude, y latitude); `photos`: the positions
// of listed photos.
PlacingFrame placingFrame(const std::optional<QPointF>& last, const QList<QPointF>& photos);

// The page's bytes, through the map pages' one writer; a click puts the marker and hands its
// position to the window.
QByteArray BuildPlacingMapPage(const PlacingFrame& frame, const MapSettings& settings);

} // namespace vantorel
