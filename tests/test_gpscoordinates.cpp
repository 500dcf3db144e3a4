// SPDX-License-Identifier: GPL-3.0-or-later
// The coordinate reader: rationals to texts, reference letters, the verdict and its notices.
#include "fixtures.h"
#include "metadata/gpscoordinates.h"
#include "metadata/imageproperties.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace vantorel;
using namespace vantorel::test;

namespace {

struct DecodeCase {
    const char* name;
    PropertyItem item;
    bool usable;
    const char* text;    // formatCoordinateText("N", ...)
    const char* decimal; // formatDecimalDegrees
};

class DecodeTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeTest, ComponentsAndTexts) {
    const DecodeCase& c = GetParam();
    const GpsComponents g = DecodeGpsRationals(c.item);
    EXPECT_EQ(g.usable, c.usable);
    if (!c.usable) return;
    EXPECT_EQ(formatCoordinateText(QStringLiteral("N"), g), QString::fromUtf8(c.text));
    EXPECT_EQ(formatDecimalDegrees(g), QString::fromUtf8(c.decimal));
}

INSTANTIATE_TEST_SUITE_P(
    Rationals, DecodeTest,
    ::testing::Values(
        DecodeCase{"Example", rationalItem(GpsLatitude, {{48, 1}, {12, 1}, {2070, 100}}), true,
                   "N 48°  12,345'", "48,20575"},
        DecodeCase{"ZeroSeconds", rationalItem(GpsLatitude, {{2, 1}, {30, 1}, {0, 1}}), true, "N 2°  30,000'",
                   "2,50000"},
        DecodeCase{"FourthRationalIgnored", rationalItem(GpsLatitude, {{2, 1}, {30, 1}, {0, 1}, {7, 1}}),
                   true, "N 2°  30,000'", "2,50000"},
        DecodeCase{"DecimalMinutesOnly", rationalItem(GpsLatitude, {{41, 1}, {5118, 100}, {0, 1}}), true,
                   "N 41°  51,180'", "41,85300"},
        DecodeCase{"ZeroDenominatorSecondsCountAsZero",
                   rationalItem(GpsLatitude, {{48, 1}, {5332358, 100000}, {0, 0}}), true, "N 48°  53,324'",
                   "48,88873"},
        DecodeCase{"SignedRationals",
                   rationalItem(GpsLatitude, {{60, 1}, {8, 1}, {4814, 100}}, TypeSRational), true,
                   "N 60°  8,802'", "60,14671"},
        DecodeCase{"DegreesOnly", rationalItem(GpsLatitude, {{4550, 100}}), true, "N 45°  30,000'",
                   "45,50000"},
        DecodeCase{"AllZeroDenominators", rationalItem(GpsLatitude, {{0, 0}, {0, 0}, {0, 0}}), false, "", ""},
        DecodeCase{"NegativeDenominator", rationalItem(GpsLatitude, {{1, -1}, {0, 1}, {0, 1}}), false, "",
                   ""},
        DecodeCase{"NotRationals", asciiItem(GpsLatitude, "48.2"), false, "", ""},
        DecodeCase{"Empty", rawItem(GpsLatitude, TypeRational, {}), false, "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

class ReaderTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString latRef, lonRef;
};

TEST_F(ReaderTest, SouthWestPhotoIsSignedInLabelsAndFieldsOnly) {
    const QString path = makeJpeg(
        dir.path(), "sw.jpg", gpsItems("S", {{33, 1}, {52, 1}, {0, 1}}, "W", {{151, 1}, {12, 1}, {0, 1}}));
    const QByteArray before = fileBytes(path);
    const CoordinateReading r = ReadGpsCoordinates(path, latRef, lonRef);
    EXPECT_TRUE(r.geotagged);
    EXPECT_EQ(r.cells[CoordName], "sw.jpg");
    EXPECT_EQ(r.cells[CoordLatitudeText], QString::fromUtf8("S 33°  52,000'"));
    EXPECT_EQ(r.cells[CoordLongitudeText], QString::fromUtf8("W 151°  12,000'"));
    // 33 + 52/60 as a 32-bit float is 33.8666649: the 32-bit value is what is shown.
    EXPECT_EQ(r.cells[CoordLatitudeDegrees], "33,86666");
    EXPECT_EQ(r.cells[CoordLongitudeDegrees], "151,20000");
    EXPECT_EQ(r.cells[CoordPath], path);
    EXPECT_EQ(r.signedLatitude, "-33,86666");
    EXPECT_EQ(r.signedLongitude, "-151,20000");
    EXPECT_EQ(r.offeredLatitude, "-33,86666");
    EXPECT_EQ(r.offeredLongitude, "-151,20000");
    EXPECT_EQ(r.missing, MissingReferences::None);
    EXPECT_EQ(latRef, "S");
    EXPECT_EQ(lonRef, "W");
    EXPECT_EQ(fileBytes(path), before);
}

TEST_F(ReaderTest, MissingReferencesAreAssumedAndReported) {
    struct Case {
        bool latRef, lonRef;
        MissingReferences missing;
        const char* message;
    } cases[] = {
        {false, true, MissingReferences::NorthSouth,
         "Information Nord ou Sud non incluse dans la photo\nNord sera supposé"},
        {true, false, MissingReferences::EastWest,
         "Information Est ou Oues non incluse dans la photo\nEst sera supposé"},
        {false, false, MissingReferences::Both,
         "Informations Nord-Sud et Est-Ouest non incluses dans la photo\nNord et Est seront supposés"},
    };
    int n = 0;
    for (const Case& c : cases) {
        QVector<PropertyItem> items;
        if (c.latRef) items << asciiItem(GpsLatitudeRef, "S");
        items << rationalItem(GpsLatitude, {{10, 1}, {0, 1}, {0, 1}});
        if (c.lonRef) items << asciiItem(GpsLongitudeRef, "W");
        items << rationalItem(GpsLongitude, {{20, 1}, {0, 1}, {0, 1}});
        const QString path = makeJpeg(dir.path(), QStringLiteral("m%1.jpg").arg(n++), items);
        latRef = "S";
        lonRef = "W";
        const CoordinateReading r = ReadGpsCoordinates(path, latRef, lonRef);
        EXPECT_TRUE(r.geotagged);
        EXPECT_EQ(r.missing, c.missing);
        EXPECT_EQ(missingReferencesMessage(r.missing), QString::fromUtf8(c.message));
        if (!c.latRef) {
            EXPECT_TRUE(r.cells[CoordLatitudeText].startsWith("N "));
            EXPECT_EQ(r.signedLatitude, "10,00000");
        }
        if (!c.lonRef) {
            EXPECT_TRUE(r.cells[CoordLongitudeText].startsWith("E "));
        }
    }
}

TEST_F(ReaderTest, NoPositionGivesTheNotGeotaggedVerdictWithoutMessage) {
    const QString noGps = makeJpeg(dir.path(), "plain.jpg", {asciiItem(0x0110, "Camera")});
    const QString onlyLongitude = makeJpeg(
        dir.path(), "lon.jpg", {asciiItem(GpsLongitudeRef, "E"), rationalItem(GpsLongitude, {{2, 1}})});
    const QString noFix =
        makeJpeg(dir.path(), "nofix.jpg",
                 {asciiItem(GpsLatitudeRef, ""), rationalItem(GpsLatitude, {{0, 0}, {0, 0}, {0, 0}})});
    QFile text(dir.filePath("notes.jpg"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("not a picture");
    text.close();
    for (const QString& path :
         {noGps, onlyLongitude, noFix, dir.filePath("notes.jpg"), dir.filePath("absent.jpg"), dir.path()}) {
        const CoordinateReading r = ReadGpsCoordinates(path, latRef, lonRef);
        EXPECT_FALSE(r.geotagged) << path.toStdString();
        EXPECT_EQ(r.cells[CoordPath], path);
        EXPECT_TRUE(r.cells[CoordName].isEmpty() && r.cells[CoordLatitudeText].isEmpty() &&
                    r.cells[CoordLongitudeText].isEmpty());
        EXPECT_EQ(r.missing, MissingReferences::None);
        EXPECT_TRUE(r.signedLatitude.isEmpty());
    }
}

TEST_F(ReaderTest, NonAsciiReferenceKeepsThePreviousPhotosLetter) {
    const QString south =
        makeJpeg(dir.path(), "s.jpg", gpsItems("S", {{1, 1}, {0, 1}, {0, 1}}, "E", {{1, 1}, {0, 1}, {0, 1}}));
    const QString odd =
        makeJpeg(dir.path(), "odd.jpg",
                 {byteItem(GpsLatitudeRef, {'N', 0}), rationalItem(GpsLatitude, {{1, 1}, {0, 1}, {0, 1}}),
                  asciiItem(GpsLongitudeRef, "E"), rationalItem(GpsLongitude, {{1, 1}, {0, 1}, {0, 1}})});
    ReadGpsCoordinates(south, latRef, lonRef);
    const CoordinateReading r = ReadGpsCoordinates(odd, latRef, lonRef);
    EXPECT_EQ(latRef, "S");
    EXPECT_TRUE(r.cells[CoordLatitudeText].startsWith("S "));
    EXPECT_EQ(r.signedLatitude, "-1,00000");
    EXPECT_EQ(r.missing, MissingReferences::None);
}

TEST(FileName, IsThePartAfterTheLastSlash) {
    EXPECT_EQ(fileNameOf("/a/b/photo.jpg"), "photo.jpg");
    EXPECT_EQ(fileNameOf("photo.jpg"), "photo.jpg");
    EXPECT_EQ(fileNameOf("/a/b:c\\d.jpg"), "b:c\\d.jpg");
}

} // namespace
