// SPDX-License-Identifier: GPL-3.0-or-later
// The place names a "#" copy carries beside its new position (« Écrire aussi le lieu »,
// --with-place): the nearest town's, its region's and country's, in the user's language.
#pragma once

#include "geotag/geotagcopy.h"

namespace vantorel {

// The names of the town nearest the position; empty at sea (farther than places::kAtSeaKm from
// every town), where no town names the place, or without the towns' data.
LocationMetadataEdit::Place copyPlaceAt(double latitude, double longitude);
LocationMetadataEdit::Place copyPlaceAt(const GpsPosition& position);

} // namespace vantorel
