// SPDX-License-Identifier: GPL-3.0-or-later
// Positions read from texts as people write and copy them: one table of accepted texts with the
// position each gives, one of refused texts with the reason's gist, in a French and a C locale.
#include "text/positiontext.h"

#include <QLocale>
#include <gtest/gtest.h>

using namespace vantorel;

namespace {

struct Accepted {
    const char* text;
    double latitude, longitude;
};

const Accepted kAccepted[] = {
    // Decimal pairs: point decimals with a comma, a blank or a semicolon between.
    {"48.8584, 2.2945", 48.8584, 2.2945},
    {"48.8584,2.2945", 48.8584, 2.2945},
    {"48.8584 2.2945", 48.8584, 2.2945},
    {"-33.8568 -151.2153", -33.8568, -151.2153},
    {"+48.5 +2", 48.5, 2},
    {"48, 2", 48, 2},
    {"(48.8584, 2.2945)", 48.8584, 2.2945},
    // Decimal commas where the comma cannot be the pair's separator.
    {"48,8584; 2,2945", 48.8584, 2.2945},
    {"48,8584;2,2945", 48.8584, 2.2945},
    {"48,8584 2,2945", 48.8584, 2.2945},
    {"-48,5; -2,25", -48.5, -2.25},
    // Blanks, tabs and line breaks around and between.
    {"  \n\t48.8584,\r\n2.2945 \n", 48.8584, 2.2945},
    {"48.8584\n2.2945", 48.8584, 2.2945},
    {"48.8584\u00A0N\u202F2.2945\u00A0E", 48.8584, 2.2945},
    // Hemisphere letters before or after, French O for ouest, longitude first when the letters say so.
    {"N 48.8584 E 2.2945", 48.8584, 2.2945},
    {"48.8584N 2.2945E", 48.8584, 2.2945},
    {"48.8584 S, 2.2945 W", -48.8584, -2.2945},
    {"S33.8568 E151.2153", -33.8568, 151.2153},
    {"48.5 N 3.25 O", 48.5, -3.25},
    {"E 2.2945 N 48.8584", 48.8584, 2.2945},
    // Degrees, minutes and seconds in every symbol form.
    {"48°51'30.2\"N 2°17'40.2\"E", 48 + 51 / 60.0 + 30.2 / 3600, 2 + 17 / 60.0 + 40.2 / 3600},
    {"48°51′30.2″N, 2°17′40.2″E", 48 + 51 / 60.0 + 30.2 / 3600, 2 + 17 / 60.0 + 40.2 / 3600},
    {"48º51’30,2”N 2º17’40,2”E", 48 + 51 / 60.0 + 30.2 / 3600, 2 + 17 / 60.0 + 40.2 / 3600},
    {"48°51'30''N 2°17'40''W", 48 + 51 / 60.0 + 30 / 3600.0, -(2 + 17 / 60.0 + 40 / 3600.0)},
    {"48d51m30sN 2d17m40sE", 48 + 51 / 60.0 + 30 / 3600.0, 2 + 17 / 60.0 + 40 / 3600.0},
    {"S 33° 51' 24.5\" O 151° 12' 55\"", -(33 + 51 / 60.0 + 24.5 / 3600), -(151 + 12 / 60.0 + 55 / 3600.0)},
    {"-33°51'24\" -151°12'55\"", -(33 + 51 / 60.0 + 24 / 3600.0), -(151 + 12 / 60.0 + 55 / 3600.0)},
    {"10°0'59.999\"N 20°59'59.999\"E", 10 + 59.999 / 3600, 20 + 59 / 60.0 + 59.999 / 3600},
    // Degrees and decimal minutes; the coordinate grid's own form, with either separator.
    {"48°51.503'N 2°17.672'E", 48 + 51.503 / 60, 2 + 17.672 / 60},
    {"N 48°  51,503'\tE 2°  17,672'", 48 + 51.503 / 60, 2 + 17.672 / 60},
    {"N 48°  51.503' W 2°  17.672'", 48 + 51.503 / 60, -(2 + 17.672 / 60)},
    {"48.8584° 2.2945°", 48.8584, 2.2945},
    // The poles and the 180th meridian.
    {"90, 180", 90, 180},
    {"-90, -180", -90, -180},
    {"S 90° E 180°", -90, 180},
    {"0 0", 0, 0},
    // geo: URIs, parameters ignored.
    {"geo:48.8584,2.2945", 48.8584, 2.2945},
    {"GEO:-33.8568,151.2153,35;u=10", -33.8568, 151.2153},
    {"geo:48.8584,2.2945;crs=wgs84;u=5?z=17", 48.8584, 2.2945},
    // Map links.
    {"https://www.openstreetmap.org/#map=17/48.85837/2.29448", 48.85837, 2.29448},
    {"https://www.openstreetmap.org/?mlat=48.8584&mlon=2.2945#map=12/48.0/2.0", 48.8584, 2.2945},
    {"https://osm.org/#map=5/-33.86/151.21&layers=C", -33.86, 151.21},
    {"https://www.google.com/maps/@48.8583701,2.2944813,17z", 48.8583701, 2.2944813},
    {"https://www.google.fr/maps?q=48.8584,2.2945", 48.8584, 2.2945},
    {"https://maps.google.com/?q=48.8584%2C%202.2945", 48.8584, 2.2945},
    {"https://www.google.com/maps/place/Tour+Eiffel/@48.8583701,2.2919064,17z", 48.8583701, 2.2919064},
    {"https://www.google.com/maps/place/Tour/@48.85837,2.29190,17z/data=!3m1!4b1!8m2!3d48.85837!4d2.29448",
     48.85837, 2.29448},
    {"https://maps.apple.com/?ll=48.8584,2.2945&q=Tour%20Eiffel", 48.8584, 2.2945},
    {"  https://maps.apple.com/?q=Paris&ll=-33.86,151.21\n", -33.86, 151.21},
};

struct Refused {
    const char* text;
    const char* reasonHas; // a piece of the reason the user reads
};

const Refused kRefused[] = {
    {"", "Aucune position"},
    {" \n\t ", "Aucune position"},
    {"48,5", "ambigu"},
    {"-48,5", "ambigu"},
    {"48.5", "une latitude et une longitude"},
    {"48.5, 2.3, 4.1", "une latitude et une longitude"},
    {"48 51 30 N 2 17 40 E", "une latitude et une longitude"},
    {"48,8584, 2,2945, 3", "une latitude et une longitude"},
    {"48.5 2.3 E", "seule"},
    {"N 48.5 S 2.3", "lettre de latitude"},
    {"E 48.5 W 2.3", "lettre de latitude"},
    {"-48.5 N 2.3 E", "signe et une lettre"},
    {"48°60'N 2°E", "minutes"},
    {"48°51'60\"N 2°E", "secondes"},
    {"48.5°30'N 2°E", "entiers"},
    {"48°30.5'15\"N 2°E", "entières"},
    {"90.00001, 0", "latitude"},
    {"N 90° 0.1' E 0°", "latitude"},
    {"0, 180.00001", "longitude"},
    {"0; -181", "longitude"},
    {"48.5, 2.3,", "illisible"},
    {", 48.5 2.3", "illisible"},
    {"48.5,, 2.3", "illisible"},
    {"48.5 ; 2.3 ; 4", "une latitude et une longitude"},
    {"Paris", "illisible"},
    {"48.5.3 2", "illisible"},
    {"1e5 2", "illisible"},
    // Hostile texts.
    {"48.5\x01, 2.3", "contrôle"},
    {"48.5\x1b[2J 2.3", "contrôle"},
    {"48.5, 2.3\x7f", "contrôle"},
    {"99999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999"
     "99999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999"
     "99999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999"
     "9999999999999 1",
     "latitude"},
    {"geo:91,0", "latitude"},
    {"geo:48.5", "une latitude et une longitude"},
    {"geo:48,5;crs=nad27", "Système de coordonnées"},
    {"geo:48,2,5,6", "une latitude et une longitude"},
    {"geo:48.5,abc", "illisible"},
    {"https://www.openstreetmap.org/#map=17/95.0/2.0", "latitude"},
    {"https://www.openstreetmap.org/?mlat=48.5&mlon=200", "longitude"},
    {"https://www.google.com/maps/@48.5,-190.2,17z", "longitude"},
    {"https://www.google.com/maps/search/tour+eiffel", "Lien sans position"},
    {"https://www.google.com/maps?q=<script>", "Lien sans position"},
    {"https://example.org/?ll=48.5,2.3", "Lien sans position"},
    {"https://maps.app.goo.gl/abcdef", "raccourci"},
    {"https://www.openstreetmap.org/#map=17/48.5/2.3'%3Balert(1)", "Lien sans position"},
};

class PositionTextInLocale : public ::testing::TestWithParam<QLocale::Language> {
protected:
    void SetUp() override {
        saved = QLocale();
        QLocale::setDefault(GetParam() == QLocale::C ? QLocale::c() : QLocale(GetParam(), QLocale::France));
    }
    void TearDown() override { QLocale::setDefault(saved); }
    QLocale saved;
};

TEST_P(PositionTextInLocale, AcceptedTexts) {
    for (const Accepted& c : kAccepted) {
        const PositionReading r = readPositionText(QString::fromUtf8(c.text));
        EXPECT_TRUE(r.ok) << c.text << " -> " << r.reason.toStdString();
        EXPECT_NEAR(r.latitude, c.latitude, 1e-9) << c.text;
        EXPECT_NEAR(r.longitude, c.longitude, 1e-9) << c.text;
    }
}

TEST_P(PositionTextInLocale, RefusedTextsSayWhy) {
    for (const Refused& c : kRefused) {
        const PositionReading r = readPositionText(QString::fromUtf8(c.text));
        EXPECT_FALSE(r.ok) << c.text << " read as " << r.latitude << ", " << r.longitude;
        EXPECT_TRUE(r.reason.contains(QString::fromUtf8(c.reasonHas)))
            << c.text << " -> " << r.reason.toStdString();
    }
}

TEST_P(PositionTextInLocale, CopiedTextsUsePoints) {
    // The window's texts carry the locale's separator; what is copied out always has a point.
    const QString sep = QLocale().decimalPoint();
    const QString lat = QStringLiteral("-33") + sep + QStringLiteral("86785");
    const QString lon = QStringLiteral("151") + sep + QStringLiteral("20732");
    EXPECT_EQ(pointPairText(lat, lon), QStringLiteral("-33.86785, 151.20732"));
    EXPECT_EQ(geoUriText(lat, lon), QStringLiteral("geo:-33.86785,151.20732"));
    // And reads back as the same position.
    for (const QString& copied : {pointPairText(lat, lon), geoUriText(lat, lon)}) {
        const PositionReading r = readPositionText(copied);
        ASSERT_TRUE(r.ok) << copied.toStdString();
        EXPECT_DOUBLE_EQ(r.latitude, -33.86785);
        EXPECT_DOUBLE_EQ(r.longitude, 151.20732);
    }
}

INSTANTIATE_TEST_SUITE_P(Locales, PositionTextInLocale, ::testing::Values(QLocale::French, QLocale::C));

TEST(PositionText, VeryLongTextsAreRefusedAtOnce) {
    const QString blanks(1'000'000, u' ');
    EXPECT_FALSE(readPositionText(blanks + QStringLiteral("48.5 2.3")).ok);
    const PositionReading r = readPositionText(QString(5000, u'9'));
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.reason.contains(QStringLiteral("trop long")));
}

} // namespace
