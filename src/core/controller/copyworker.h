// A photo's copy written on a worker thread, so that the window goes on repainting and a long copy
// (a huge or sparse file) shows a progress box with a cancel button once it lasts beyond a moment.
#pragma once

#include "geotag/geotagcopy.h"
#include "platform.h"

namespace vantorel {

inline const QString kCopyInProgress = QStringLiteral("Écriture de la copie...");

struct CopyOutcome {
    CopyResult result;
    bool cancelled = false; // the user stopped it: there is no new copy, and nothing to report
};

// writeGeotagCopy on a worker thread; `progress` follows the bytes copied.
CopyOutcome writeCopyWithProgress(Progress& progress, const QString& source, const QString& target,
                                  const std::optional<GpsPosition>& position);

} // namespace vantorel
