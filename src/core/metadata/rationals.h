// SPDX-License-Identifier: GPL-3.0-or-later
// The one decoder of rational values. Each reader divides under its own rule, named here: the
// rules differ in how they read the sign and which denominators they refuse, and the shown
// values of every reader depend on them.
#pragma once

#include "propertyitem.h"

#include <initializer_list>
#include <optional>

namespace vantorel {

struct Rational {
    qint64 numerator = 0;
    qint64 denominator = 1;
};

// Rational `index` of the item; signed halves for a signed rational, unsigned otherwise.
Rational rationalAt(const PropertyItem& item, int index);
// Rational `index` with both halves read as signed 32-bit numbers whatever the type (some cameras
// store positions as signed rationals, others write unsigned ones that read the same way).
Rational rationalAsSigned(const PropertyItem& item, int index);

// GPS position component: halves always signed; a denominator of 1 gives the numerator exactly,
// a positive one the quotient; zero or negative gives nothing.
std::optional<float> gpsComponentValue(const PropertyItem& item, int index);
// Altitude: halves by type; a denominator of 1 gives the numerator exactly, a positive one the
// quotient; zero (or negative, for a signed rational) gives nothing.
std::optional<float> altitudeValue(const PropertyItem& item, int index);
// Listing value: halves by type, divided in double precision; only a zero denominator gives
// nothing (a signed negative denominator divides as it is).
std::optional<float> listingValue(const PropertyItem& item, int index);

// The value bytes of unsigned rationals (little-endian numerator then denominator, as items hold them).
QByteArray rationalBytes(std::initializer_list<Rational> values);

} // namespace vantorel
