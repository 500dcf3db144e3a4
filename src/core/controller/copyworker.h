// SPDX-License-Identifier: GPL-3.0-or-later
// A photo's copy written on a worker thread, so that the window goes on repainting while a long copy
// (a huge or sparse file) runs. One photo shows no progress box: its result box follows at once.
#pragma once

#include "geotag/geotagcopy.h"
#include "platform.h"

namespace vantorel {

// writeGeotagCopy (or, with `allLocation`, writeCopyWithoutLocation) on a worker thread; `pump`
// repaints the window meanwhile, user input waiting. Without `replace`, a file that appears at the
// target meanwhile stays.
CopyResult writeCopyBesideWindow(EventPump& pump, const QString& source, const QString& target,
                                 const std::optional<GpsPosition>& position, bool allLocation = false,
                                 bool replace = true, const LocationMetadataEdit::Place& place = {});

} // namespace vantorel
