// SPDX-License-Identifier: GPL-3.0-or-later
// The camera clock's error: how far ahead of the true time the camera was, typed by the user or
// worked out from a photo of a GPS's clock.
#pragma once

#include "correlation.h"

#include <QString>
#include <QTime>
#include <optional>

namespace vantorel {

// A signed duration: "SS", "MM:SS", "HH:MM:SS" or "D HH:MM:SS", each with an optional sign and a
// fraction of a second ("-1:30.5", "+1 02:00:00"). In milliseconds; nothing when unreadable.
std::optional<qint64> parseClockError(const QString& text);

// The form parseClockError reads back: "+1:02:03", "-0:00:05.500", "+1 00:00:00".
QString formatClockError(qint64 ms);

// The clock error from a photo of a clock: `shown` is the time the clock shows in the photo, in
// the photo's zone (or UTC when `shownInUtc`), on the day that brings it nearest the photo's time.
// Nothing when the photo has no time.
std::optional<qint64> clockErrorFromClockPhoto(const PhotoTimeReading& photo,
                                               const CorrelationSettings& settings, QTime shown,
                                               bool shownInUtc);

} // namespace vantorel
