// SPDX-License-Identifier: GPL-3.0-or-later
// The one rational decoder and its three named division rules.
#include "metadata/rationals.h"

#include <QtEndian>
#include <gtest/gtest.h>

#include <optional>

using namespace vantorel;

namespace {

PropertyItem rational(quint16 type, quint32 num, quint32 den) {
    PropertyItem item{0, type, QByteArray(8, 0)};
    qToLittleEndian(num, item.value.data());
    qToLittleEndian(den, item.value.data() + 4);
    return item;
}

TEST(Rationals, EachRuleByTable) {
    using Rule = std::optional<float> (*)(const PropertyItem&, int);
    const std::optional<float> none;
    struct Case {
        const char* name;
        quint16 type;
        quint32 num, den;
        std::optional<float> gps, altitude, listing;
    } cases[] = {
        {"plain", TypeRational, 3, 2, 1.5f, 1.5f, 1.5f},
        {"denominator 1 exact", TypeRational, 123456789, 1, 123456789.0f, 123456789.0f, 123456789.0f},
        {"zero denominator", TypeRational, 5, 0, none, none, none},
        {"unsigned numerator above 2^31", TypeRational, 0x80000000u, 1, -2147483648.0f, 2147483648.0f,
         2147483648.0f},
        {"signed negative numerator", TypeSRational, quint32(-10), 4, -2.5f, -2.5f, -2.5f},
        {"signed negative denominator", TypeSRational, 10, quint32(-4), none, none, -2.5f},
        {"unsigned large denominator", TypeRational, 10, 0xFFFFFFFCu, none, 10.0f / 4294967292.0f,
         float(10.0 / 4294967292.0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const PropertyItem item = rational(c.type, c.num, c.den);
        const std::pair<Rule, std::optional<float>> rules[] = {
            {gpsComponentValue, c.gps}, {altitudeValue, c.altitude}, {listingValue, c.listing}};
        for (const auto& [rule, expected] : rules) {
            const auto got = rule(item, 0);
            ASSERT_EQ(got.has_value(), expected.has_value());
            if (got) {
                EXPECT_FLOAT_EQ(*got, *expected);
            }
        }
    }
}

} // namespace
