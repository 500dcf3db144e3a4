// SPDX-License-Identifier: GPL-3.0-or-later
// Number <-> text conversions with the exact rules the program's texts follow
// (fixed notation with a precision cap, 15-digit general notation, strict parsing),
// always with the user locale's decimal separator.
#pragma once

#include <QString>
#include <optional>

namespace vantorel {

// The decimal separator of the default locale ("," in French).
QString decimalSeparator();

// Fixed notation: the value rounded at whichever comes first, `precision` significant digits or
// `digits` decimals, then written with exactly `digits` decimals. A value with more integer
// digits than `precision` is written in general scientific form instead.
QString FloatToStrF(double value, int precision, int digits);

// General notation: up to 15 significant digits, trailing zeros dropped, scientific form
// (e.g. "1,5E20", "1E-5") only for very large or very small values.
QString FloatToStr(double value);

// Strict parse: optional surrounding blanks, sign, digits with the locale's separator, exponent.
// Anything else (empty text, several numbers, a point in a French locale) gives no value.
std::optional<double> StrToFloat(const QString& text);

// Integer parse: leading blanks, sign, decimal or "$"/"0x" hexadecimal; anything else gives `fallback`.
int StrToIntDef(const QString& text, int fallback);

// Upper-case hexadecimal, at least `digits` digits.
QString IntToHex(quint64 value, int digits);

} // namespace vantorel
