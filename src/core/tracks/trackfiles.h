// SPDX-License-Identifier: GPL-3.0-or-later
// The track files a user gives: GPX and NMEA read directly, other loggers' formats converted by
// gpsbabel when it is installed; every file's fixes merged and sorted by time.
#pragma once

#include "trackfix.h"
#include "trackinput.h"

#include <QStringList>
#include <functional>

namespace vantorel {

inline const QString kNoTimedPoint = QStringLiteral("Les traces ne contiennent aucun point horodaté.");
inline const QString kTracksCancelled = QStringLiteral("Lecture des traces annulée.");

// How long gpsbabel may take over one file, and how much it may write.
struct GpsbabelLimits {
    int seconds = 120;
    qint64 bytes = 512LL * 1024 * 1024;
};

// Reads `paths` in order. The first file that cannot be read stops the reading: the result then
// carries its message and no fix. A file that gives no timed point (or is empty) is named in a
// warning and the others are read. With `control`, the bytes read are counted and a cancel stops
// the reading (the result is then `cancelled`, with no fix).
TrackReading loadTracks(const QStringList& paths, TrackReadControl* control = nullptr,
                        const GpsbabelLimits& limits = {});

// loadTracks on a thread of its own, while `advance` is called on the calling thread every few
// hundredths of a second with the bytes read and the files' total size (only shown: nothing is
// sized on it); when it returns false the reading is cancelled.
TrackReading loadTracksWithProgress(const QStringList& paths,
                                    const std::function<bool(qint64 done, qint64 total)>& advance,
                                    const GpsbabelLimits& limits = {});

// gpsbabel's name for the format of a track file that is not GPX, from its extension; empty when
// none is known. NMEA ("nmea") is read by the program itself.
QString gpsbabelFormatFor(const QString& path);

} // namespace vantorel
