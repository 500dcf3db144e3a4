// SPDX-License-Identifier: GPL-3.0-or-later
// NMEA 0183 logs read as a track: the RMC (date, time, position) and GGA (time, position,
// altitude) sentences of one second make one fix, in whichever order the logger wrote them.
#pragma once

#include "trackfix.h"
#include "trackinput.h"

class QIODevice;

namespace vantorel {

// Every fix with a date: sentences with a wrong checksum, a void fix (RMC status V, GGA quality
// 0) or unreadable fields are left out. A GGA takes its date from the RMC around it, and the day
// turns at midnight. All fixes are one segment, numbered `segment`.
TrackReading readNmea(QIODevice& device, int segment = 0, TrackReadControl* control = nullptr);

} // namespace vantorel
