// SPDX-License-Identifier: GPL-3.0-or-later
#include "rationals.h"

namespace vantorel {
namespace {

std::optional<float> positiveDenominatorQuotient(Rational r) {
    if (r.denominator == 1) return float(r.numerator);
    if (r.denominator > 0) return float((long double)r.numerator / (long double)r.denominator);
    return std::nullopt;
}

} // namespace

Rational rationalAt(const PropertyItem& item, int index) {
    const quint32 n = item.u32(2 * index), d = item.u32(2 * index + 1);
    if (item.type == TypeSRational) return {qint32(n), qint32(d)};
    return {qint64(n), qint64(d)};
}

Rational rationalAsSigned(const PropertyItem& item, int index) {
    return {qint32(item.u32(2 * index)), qint32(item.u32(2 * index + 1))};
}

std::optional<float> gpsComponentValue(const PropertyItem& item, int index) {
    return positiveDenominatorQuotient(rationalAsSigned(item, index));
}

std::optional<float> altitudeValue(const PropertyItem& item, int index) {
    return positiveDenominatorQuotient(rationalAt(item, index));
}

std::optional<float> listingValue(const PropertyItem& item, int index) {
    const Rational r = rationalAt(item, index);
    if (r.denominator == 0) return std::nullopt;
    return float(double(r.numerator) / double(r.denominator));
}

QByteArray rationalBytes(std::initializer_list<Rational> values) {
    QByteArray bytes;
    for (const Rational& r : values)
        for (quint32 v : {quint32(r.numerator), quint32(r.denominator)})
            for (int shift = 0; shift < 32; shift += 8)
                bytes.append(char((v >> shift) & 0xFF));
    return bytes;
}

} // namespace vantorel
