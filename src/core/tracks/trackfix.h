// SPDX-License-Identifier: GPL-3.0-or-later
// A GPS track as the correlation reads it: timed fixes, each in a segment (a stretch the logger
// recorded without losing its fix or pausing), merged from every track file and sorted by time.
#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <vector>

namespace vantorel {

struct TrackFix {
    qint64 utcMs = 0; // milliseconds since 1970-01-01 00:00 UTC
    double latitude = 0;
    double longitude = 0;
    double elevation = 0; // metres, when hasElevation
    bool hasElevation = false;
    int segment = 0; // fixes are interpolated only within one segment
};

struct TrackReading {
    std::vector<TrackFix> fixes; // sorted by time
    QString error;               // in French, naming the file and the line; empty when read
    QStringList warnings;        // files read that gave no point, each named
    bool cancelled = false;      // the user stopped the reading: no fix, no error to show
    bool ok() const { return error.isEmpty(); }
};

} // namespace vantorel
