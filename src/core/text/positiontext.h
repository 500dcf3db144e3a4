// SPDX-License-Identifier: GPL-3.0-or-later
// A whole position read from a text as people write or copy it: decimal pairs, hemisphere letters,
// degrees-minutes-seconds, geo: URIs and map links. A text that could mean two things, or a
// position off the globe, is refused with the reason; nothing is guessed.
#pragma once

#include <QString>

namespace vantorel {

struct PositionReading {
    bool ok = false;
    double latitude = 0;  // signed decimal degrees, south negative
    double longitude = 0; // west negative
    QString reason;       // why the text was refused, for the user
};

// Reads `text` (blanks and line breaks around it are ignored). The result does not depend on
// the user's locale: a decimal comma is read where it cannot be a separator.
PositionReading readPositionText(const QString& text);

// "48.85837, 2.29448": the decimal texts with a point, as web maps take them. Each text is a
// signed decimal number with a point or the locale's separator.
QString pointPairText(const QString& latitude, const QString& longitude);
// "geo:48.85837,2.29448" from the same texts.
QString geoUriText(const QString& latitude, const QString& longitude);

} // namespace vantorel
