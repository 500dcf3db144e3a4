// The track files a user gives: GPX read directly, other loggers' formats converted by gpsbabel
// when it is installed; every file's fixes merged and sorted by time.
#pragma once

#include "trackfix.h"

#include <QStringList>

namespace vantorel {

inline const QString kNoTimedPoint = QStringLiteral("Les traces ne contiennent aucun point horodaté.");

// Reads `paths` in order. The first file that cannot be read stops the reading: the result then
// carries its message and no fix.
TrackReading loadTracks(const QStringList& paths);

// gpsbabel's name for the format of a track file that is not GPX, from its extension; empty when
// none is known.
QString gpsbabelFormatFor(const QString& path);

} // namespace vantorel
