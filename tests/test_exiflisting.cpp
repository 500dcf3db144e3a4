// SPDX-License-Identifier: GPL-3.0-or-later
// The EXIF listing: the value text of every type, the values shared with the map, the passes that
// read the grid back, and whole photos made at run time.
#include "metadata/exiflisting.h"

#include "fixtures.h"
#include "metadata/tagcatalogue.h"
#include "tables/stringgrid.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

#include <cstring>

using namespace vantorel;
using namespace vantorel::test;

namespace {

enum : quint32 {
    GpsTime = 0x07,
    GpsImgDirRef = 0x10,
    GpsImgDir = 0x11,
    GpsDestLat = 0x14,
    EquipMake = 0x10F,
    EquipModel = 0x110,
    Orientation = 0x112,
    ExposureTime = 0x829A,
    FNumber = 0x829D,
    ExifVer = 0x9000,
    ExposureBias = 0x9204,
    FocalLength = 0x920A,
    UserComment = 0x9286,
    LensInfo = 0xA432,
};

QByteArray floatBytes(std::initializer_list<float> values) {
    QByteArray b;
    for (float f : values) {
        quint32 bits;
        std::memcpy(&bits, &f, 4);
        char buf[4];
        qToLittleEndian(bits, buf);
        b.append(buf, 4);
    }
    return b;
}

QByteArray doubleBytes(std::initializer_list<double> values) {
    QByteArray b;
    for (double d : values) {
        quint64 bits;
        std::memcpy(&bits, &d, 8);
        char buf[8];
        qToLittleEndian(bits, buf);
        b.append(buf, 8);
    }
    return b;
}

struct ValueCase {
    const char* name;
    PropertyItem item;
    const char* value; // UTF-8
};

// 120 characters: more than a C text buffer of 84 bytes would hold.
#define TEN "0123456789"
const char kLong[] = TEN TEN TEN TEN TEN TEN TEN TEN TEN TEN TEN TEN;
#undef TEN

class ValueTest : public ::testing::TestWithParam<ValueCase> {};

TEST_P(ValueTest, Text) {
    EXPECT_EQ(formatPropertyValue(GetParam().item), QString::fromUtf8(GetParam().value));
}

INSTANTIATE_TEST_SUITE_P(
    Types, ValueTest,
    ::testing::Values(
        // Bytes in octal.
        ValueCase{"VersionBytes", byteItem(GpsVer, {2, 2, 0, 0}), " 2 2 0 0"},
        ValueCase{"ByteOctal", byteItem(0x0150, {8, 255, 0}), " 10 377 0"},
        ValueCase{"NoBytes", rawItem(GpsVer, TypeByte, {}), ""},
        // Signed bytes widened to 32 bits with their sign, in octal.
        ValueCase{"SignedBytes", byteItem(0x0150, {0xFF, 0x7F, 0x80}, TypeSByte),
                  " 37777777777 177 37777777600"},
        // ASCII up to the first NUL, whole however long, UTF-8 or Latin-1.
        ValueCase{"Ascii", asciiItem(EquipMake, "Canon"), "Canon"},
        ValueCase{"AsciiStopsAtNul", rawItem(EquipMake, TypeAscii, QByteArray("ab\0cd", 5)), "ab"},
        ValueCase{"AsciiWithoutNul", rawItem(EquipMake, TypeAscii, "abc"), "abc"},
        ValueCase{"AsciiLongerThan83", asciiItem(0x010E, kLong), kLong},
        ValueCase{"AsciiUtf8", asciiItem(0x013B, "Zoé Ørsted"), "Zoé Ørsted"},
        ValueCase{"AsciiLatin1", asciiItem(0x013B, "Zo\xE9"), "Zoé"},
        // Shorts and longs, unsigned and signed; elements by integer quotient of the length.
        ValueCase{"ShortMax", shortItem(0x0128, {65535}), " 65535"},
        ValueCase{"Shorts", shortItem(0x0102, {8, 8, 8}), " 8 8 8"},
        ValueCase{"ShortOddLength", rawItem(0x0128, TypeShort, QByteArray("\x02\x00\x07", 3)), " 2"},
        ValueCase{"LongMax", longItem(0xA002, {4294967295u, 0}), " 4294967295 0"},
        ValueCase{"SignedShorts", shortItem(0x0150, {0xFFFF, 0x8000, 0x7FFF}, TypeSShort),
                  " -1 -32768 32767"},
        ValueCase{"SignedLongs", longItem(0x0150, {0xFFFFFFFFu, 0x80000000u}, TypeSLong), " -1 -2147483648"},
        // Undefined: characters, U+2400 for a NUL byte, or the id when the catalogue lacks it.
        ValueCase{"UndefinedChars", rawItem(ExifVer, TypeUndefined, "0230"), " 0 2 3 0"},
        ValueCase{"UndefinedNulAndLatin1", rawItem(UserComment, TypeUndefined, QByteArray("A\0\xE9", 3)),
                  " A \u2400 é"},
        ValueCase{"UndefinedUnknownId", rawItem(0x1234, TypeUndefined, "abc"), "[Tag = 0x1234]"},
        ValueCase{"UndefinedUnknownIdPadded", rawItem(0x00AB, TypeUndefined, "abc"), "[Tag = 0x00AB]"},
        ValueCase{"UnknownIdOtherType", shortItem(0x1234, {7}), " 7"},
        // Floats through the 15-digit general form, single precision widened first.
        ValueCase{"Floats", rawItem(0x0150, TypeFloat, floatBytes({0.1f, -2.5f})), " 0,100000001490116 -2,5"},
        ValueCase{"Doubles", rawItem(0x0150, TypeDouble, doubleBytes({0.1, 1.5e20})), " 0,1 1,5E20"},
        // Types without a text.
        ValueCase{"TypeZero", rawItem(0x0150, 0, "abcd"), ""},
        ValueCase{"TypeThirteen", rawItem(0x0150, 13, "abcd"), ""},
        // Rationals: one, two and three pairs.
        ValueCase{"FNumber", rationalItem(FNumber, {{28, 10}}), "2,80  "},
        ValueCase{"GpsImgDir", rationalItem(GpsImgDir, {{270, 1}}), "270,00  "},
        ValueCase{"TwoPairs", rationalItem(0x013E, {{1, 2}, {3, 4}}), "0,50    0,75  "},
        ValueCase{"GpsLatitude", rationalItem(GpsLatitude, {{45, 1}, {12, 1}, {3050, 100}}),
                  "45°    12,00'    30,50''  "},
        ValueCase{"GpsLongitudeFractionalDegrees", rationalItem(GpsLongitude, {{4599, 100}, {0, 1}, {14, 1}}),
                  "45°    0,00'    14,00''  "},
        ValueCase{"GpsTime", rationalItem(GpsTime, {{14, 1}, {5, 1}, {3, 1}}), "14,00    5,00    3,00  "},
        ValueCase{"GpsDestLatPlain", rationalItem(GpsDestLat, {{45, 1}, {12, 1}, {3050, 100}}),
                  "45,00    12,00    30,50  "},
        ValueCase{"SignedGpsLatitudePlain",
                  rationalItem(GpsLatitude, {{45, 1}, {12, 1}, {3050, 100}}, TypeSRational),
                  "45,00    12,00    30,50  "},
        ValueCase{"LensInfoFourPairs", rationalItem(LensInfo, {{18, 1}, {55, 1}, {35, 10}, {56, 10}}), ""},
        ValueCase{"NoPair", rawItem(FNumber, TypeRational, "1234567"), ""},
        ValueCase{"SignedNegative", rationalItem(ExposureBias, {{-1, 3}}, TypeSRational), "-0,33  "},
        ValueCase{"SignedBothNegative", rationalItem(ExposureBias, {{-5, -2}}, TypeSRational), "2,50  "},
        ValueCase{"UnsignedHuge", rationalItem(0x011A, {{4294967295, 1}}), "4,2949673E9  "},
        ValueCase{"HalfAwayFromZero", rationalItem(0x011A, {{1, 8}}), "0,13  "},
        // A zero denominator anywhere empties the cell.
        ValueCase{"ZeroDenominator", rationalItem(FNumber, {{28, 0}}), ""},
        ValueCase{"ZeroOverZero", rationalItem(ExposureBias, {{0, 0}}, TypeSRational), ""},
        ValueCase{"ZeroDenominatorInSeconds", rationalItem(GpsLatitude, {{45, 1}, {12, 1}, {0, 0}}), ""},
        // Exposure time with its reciprocal; only an unsigned one-pair item gets it.
        ValueCase{"Exposure", rationalItem(ExposureTime, {{10, 2500}}), "0,0040   (1/250)"},
        ValueCase{"Exposure160", rationalItem(ExposureTime, {{1, 160}}), "0,0063   (1/160)"},
        ValueCase{"ExposureLong", rationalItem(ExposureTime, {{2, 1}}), "2,0000   (1/1)"},
        ValueCase{"ExposureZeroKeepsPlainText", rationalItem(ExposureTime, {{0, 1}}), "0,00  "},
        ValueCase{"ExposureZeroDenominator", rationalItem(ExposureTime, {{1, 0}}), ""},
        ValueCase{"ExposureSigned", rationalItem(ExposureTime, {{1, 250}}, TypeSRational), "0,00  "},
        ValueCase{"ExposureTwoPairs", rationalItem(ExposureTime, {{1, 250}, {1, 1}}), "0,00    1,00  "},
        // Orientation with its suffix; several elements or another type give none.
        ValueCase{"Orientation1", shortItem(Orientation, {1}), " 1  (Horizontal)"},
        ValueCase{"Orientation2", shortItem(Orientation, {2}), " 2  (Mirror horizontal)"},
        ValueCase{"Orientation3", shortItem(Orientation, {3}), " 3  (Rotate 180)"},
        ValueCase{"Orientation4", shortItem(Orientation, {4}), " 4  (Mirror vertical)"},
        ValueCase{"Orientation5", shortItem(Orientation, {5}), " 5  (Mirror horizontal and rotate 270 CW)"},
        ValueCase{"Orientation6", shortItem(Orientation, {6}), " 6  (Rotate 90 CW)"},
        ValueCase{"Orientation7", shortItem(Orientation, {7}), " 7  (Mirror horizontal and rotate 90 CW)"},
        ValueCase{"Orientation8", shortItem(Orientation, {8}), " 8  (Rotate 270 CW)"},
        ValueCase{"Orientation9", shortItem(Orientation, {9}), " 9"},
        ValueCase{"OrientationTwoElements", shortItem(Orientation, {6, 1}), " 6 1"},
        ValueCase{"OrientationAsLong", longItem(Orientation, {6}), " 6"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SharedValues, DirectionReference) {
    const std::tuple<PropertyItem, bool, bool> cases[] = {
        {asciiItem(GpsImgDirRef, "M"), true, true},
        {asciiItem(GpsImgDirRef, "Magnetic"), true, true},
        {asciiItem(GpsImgDirRef, "T"), false, true},
        {asciiItem(GpsImgDirRef, "m"), false, true},
        {asciiItem(GpsImgDirRef, ""), false, true},
        {rawItem(GpsImgDirRef, TypeUndefined, "T"), true, false}, // not ASCII: not met
    };
    for (const auto& [item, magnetic, seen] : cases) {
        ExifListing shared;
        formatPropertyValue(item, &shared);
        EXPECT_EQ(shared.directionIsMagnetic, magnetic) << item.value.constData();
        EXPECT_EQ(shared.directionRefSeen, seen) << item.value.constData();
    }
}

TEST(SharedValues, CameraModelWhole) {
    ExifListing shared;
    const QByteArray model = "Canon EOS 40D " + QByteArray(100, 'z');
    EXPECT_EQ(formatPropertyValue(asciiItem(EquipModel, model), &shared), QString::fromLatin1(model));
    EXPECT_EQ(shared.cameraModel, QString::fromLatin1(model));

    ExifListing other;
    formatPropertyValue(rawItem(EquipModel, TypeUndefined, "X"), &other);
    formatPropertyValue(asciiItem(EquipMake, "Canon"), &other);
    EXPECT_EQ(other.cameraModel, "");
}

TEST(SharedValues, FocalLength) {
    const std::pair<PropertyItem, float> cases[] = {
        {rationalItem(FocalLength, {{43, 10}}), 4.3f},
        {rationalItem(FocalLength, {{135, 1}}), 135.0f},
        {rationalItem(FocalLength, {{43, 0}}), 10.0f}, // failed division
        {rationalItem(FocalLength, {{43, 10}}, TypeSRational), 10.0f},
        {rationalItem(FocalLength, {{43, 10}, {1, 1}}), 10.0f},
        {rationalItem(0x920B, {{43, 10}}), 10.0f}, // another id
    };
    for (const auto& [item, focal] : cases) {
        ExifListing shared;
        formatPropertyValue(item, &shared);
        EXPECT_EQ(shared.focalLength, focal) << formatPropertyValue(item).toStdString();
    }
    ExifListing shared;
    EXPECT_EQ(formatPropertyValue(rationalItem(FocalLength, {{43, 10}}), &shared), "4,30  ");
}

TEST(SharedValues, Landscape) {
    for (quint16 n = 0; n <= 9; ++n) {
        ExifListing shared;
        formatPropertyValue(shortItem(Orientation, {n}), &shared);
        EXPECT_EQ(shared.landscape, n < 4 || n > 8) << n;
    }
    const PropertyItem notTurned[] = {shortItem(Orientation, {6, 6}), longItem(Orientation, {6}),
                                      shortItem(0x5029, {6})}; // the thumbnail's orientation
    for (const PropertyItem& item : notTurned) {
        ExifListing shared;
        formatPropertyValue(item, &shared);
        EXPECT_TRUE(shared.landscape);
    }
}

// The grid SG2 as the window fills it: the header, then one row per item (one empty row when none).
StringGrid gridOf(const QVector<ExifRow>& rows) {
    StringGrid sg2(3, 1 + std::max<int>(1, int(rows.size())));
    sg2.setRowCommaText(0, QStringLiteral("\"Tag Exif\",Type,Valeur"));
    for (int i = 0; i < rows.size(); ++i) {
        sg2.setCell(0, i + 1, rows[i].name);
        sg2.setCell(1, i + 1, rows[i].type);
        sg2.setCell(2, i + 1, rows[i].value);
    }
    return sg2;
}

ExifRow row(const PropertyItem& item) {
    return {TagName(item.id), TypeName(item.type), formatPropertyValue(item)};
}

TEST(Passes, ViewDirection) {
    const std::pair<QVector<ExifRow>, float> cases[] = {
        {{}, 999.0f},
        {{row(asciiItem(GpsImgDirRef, "T"))}, 999.0f},
        {{row(rationalItem(GpsImgDir, {{270, 1}}))}, 270.0f},
        {{row(rationalItem(GpsImgDir, {{4512, 100}}))}, 45.12f},
        // Not one number: no direction, and no failure.
        {{row(rationalItem(GpsImgDir, {{270, 0}}))}, 999.0f},
        {{row(rationalItem(GpsImgDir, {{270, 1}, {1, 1}}))}, 999.0f},
        {{row(rationalItem(GpsImgDir, {{270, 1}, {1, 1}, {2, 1}}))}, 999.0f},
        {{row(rationalItem(GpsImgDir, {{1, 1}, {2, 1}, {3, 1}, {4, 1}}))}, 999.0f},
        {{row(asciiItem(GpsImgDir, "nord"))}, 999.0f},
        // Rows in order: a later row that holds no number keeps the earlier direction.
        {{row(rationalItem(GpsImgDir, {{90, 1}})), row(rationalItem(GpsImgDir, {{1, 0}}))}, 90.0f},
        {{row(rationalItem(GpsImgDir, {{90, 1}})), row(rationalItem(GpsImgDir, {{180, 1}}))}, 180.0f},
    };
    for (const auto& [rows, direction] : cases)
        EXPECT_EQ(viewDirectionFromRows(gridOf(rows)), direction);
}

TEST(Passes, ReferenceLabels) {
    const auto gps = gpsItems("N", {{45, 1}, {12, 1}, {3050, 100}}, "E", {{2, 1}, {20, 1}, {14, 1}});
    QVector<ExifRow> rows;
    for (const PropertyItem& item : gps)
        rows.append(row(item));
    QString label3 = "old 3", label4 = "old 4";
    referenceLabelsFromRows(gridOf(rows), label3, label4);
    EXPECT_EQ(label3, QString::fromUtf8("N 45°    12,00'    30,50''  "));
    EXPECT_EQ(label4, QString::fromUtf8("E 2°    20,00'    14,00''  "));

    // Rows are taken in grid order: a value before its reference is overwritten by the reference.
    label3 = "x";
    label4 = "old 4";
    referenceLabelsFromRows(gridOf({row(gps[1]), row(gps[0])}), label3, label4);
    EXPECT_EQ(label3, "N");
    EXPECT_EQ(label4, "old 4"); // no longitude rows: left as it was

    // A value without reference is appended to what the label holds.
    label3 = "";
    referenceLabelsFromRows(gridOf({row(gps[1])}), label3, label4);
    EXPECT_EQ(label3, QString::fromUtf8(" 45°    12,00'    30,50''  "));

    // A stray item of the main image or thumbnail directory with id 1 bears the reference's name
    // but is no text: it must not wipe the label (seen in a real camera's file).
    label3 = "";
    referenceLabelsFromRows(
        gridOf({row(gps[0]), row(gps[1]), row(rawItem(GpsLatitudeRef, 0, QByteArray(1, 'x')))}), label3,
        label4);
    EXPECT_EQ(label3, QString::fromUtf8("N 45°    12,00'    30,50''  "));
}

class ListingTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
};

TEST_F(ListingTest, WholePhoto) {
    QVector<PropertyItem> items =
        gpsItems("N", {{45, 1}, {12, 1}, {3050, 100}}, "E", {{2, 1}, {20, 1}, {14, 1}});
    items += {asciiItem(GpsImgDirRef, "T"),
              rationalItem(GpsImgDir, {{270, 1}}),
              asciiItem(EquipModel, "Modèle 7"),
              shortItem(Orientation, {6}),
              rationalItem(ExposureTime, {{10, 2500}}),
              rationalItem(FocalLength, {{43, 10}})};
    const QString path = makeJpeg(dir.path(), "all.jpg", items);
    const QByteArray before = fileBytes(path);

    const ExifListing listing = listExifItems(path);
    ASSERT_TRUE(listing.opened);
    QStringList lines;
    for (const ExifRow& r : listing.rows)
        lines << r.name + u'|' + r.type + u'|' + r.value;
    const QString all = lines.join(u'\n');
    // Which directory the exposure and focal length go to is the writer's business; the GPS
    // directory comes whole, in id order, after the main image's.
    for (const char* expected :
         {"EquipModel|ASCII|Modèle 7", "Orientation|U. Short| 6  (Rotate 90 CW)",
          "ExifExposureTime|U. Rational|0,0040   (1/250)", "ExifFocalLength|U. Rational|4,30  "})
        EXPECT_TRUE(lines.contains(QString::fromUtf8(expected))) << expected << "\n" << all.toStdString();
    const QStringList gpsRows = {
        "GpsLatitudeRef|ASCII|N",  QString::fromUtf8("GpsLatitude|U. Rational|45°    12,00'    30,50''  "),
        "GpsLongitudeRef|ASCII|E", QString::fromUtf8("GpsLongitude|U. Rational|2°    20,00'    14,00''  "),
        "GpsImgDirRef|ASCII|T",    "GpsImgDir|U. Rational|270,00  ",
    };
    const qsizetype first = lines.indexOf(gpsRows[0]);
    ASSERT_GE(first, 0) << all.toStdString();
    EXPECT_EQ(lines.mid(first, gpsRows.size()), gpsRows) << all.toStdString();
    EXPECT_EQ(lines.indexOf("EquipModel|ASCII|" + QString::fromUtf8("Modèle 7")), 0);

    EXPECT_EQ(listing.cameraModel, QString::fromUtf8("Modèle 7"));
    EXPECT_EQ(listing.focalLength, 4.3f);
    EXPECT_FALSE(listing.directionIsMagnetic);
    EXPECT_TRUE(listing.directionRefSeen);
    EXPECT_FALSE(listing.landscape);

    const StringGrid sg2 = gridOf(listing.rows);
    EXPECT_EQ(viewDirectionFromRows(sg2), 270.0f);
    QString label3, label4;
    referenceLabelsFromRows(sg2, label3, label4);
    EXPECT_EQ(label3, QString::fromUtf8("N 45°    12,00'    30,50''  "));
    EXPECT_EQ(label4, QString::fromUtf8("E 2°    20,00'    14,00''  "));
    EXPECT_EQ(fileBytes(path), before); // the listing never writes
}

TEST_F(ListingTest, DirectionOfSeveralNumbersDoesNotStopTheListing) {
    QVector<PropertyItem> items = gpsItems("S", {{33, 1}, {52, 1}, {0, 1}}, "W", {{151, 1}, {12, 1}, {0, 1}});
    items += rationalItem(GpsImgDir, {{270, 1}, {1, 1}});
    const ExifListing listing = listExifItems(makeJpeg(dir.path(), "dir2.jpg", items));
    ASSERT_TRUE(listing.opened);
    const StringGrid sg2 = gridOf(listing.rows);
    EXPECT_EQ(viewDirectionFromRows(sg2), 999.0f);
    QString label3, label4;
    referenceLabelsFromRows(sg2, label3, label4);
    EXPECT_EQ(label3, QString::fromUtf8("S 33°    52,00'    0,00''  "));
    EXPECT_EQ(label4, QString::fromUtf8("W 151°    12,00'    0,00''  "));
}

TEST_F(ListingTest, DefaultsWithoutTheItems) {
    const ExifListing listing =
        listExifItems(makeJpeg(dir.path(), "one.jpg", {asciiItem(EquipMake, "Canon")}));
    ASSERT_TRUE(listing.opened);
    ASSERT_EQ(listing.rows.size(), 1); // one item: the header and one row in the grid
    EXPECT_EQ(listing.rows[0].name, "EquipMake");
    EXPECT_EQ(listing.rows[0].type, "ASCII");
    EXPECT_EQ(listing.rows[0].value, "Canon");
    EXPECT_EQ(listing.focalLength, 10.0f);
    EXPECT_EQ(listing.cameraModel, "");
    EXPECT_TRUE(listing.directionIsMagnetic);
    EXPECT_FALSE(listing.directionRefSeen);
    EXPECT_TRUE(listing.landscape);
    EXPECT_EQ(viewDirectionFromRows(gridOf(listing.rows)), 999.0f);
}

TEST_F(ListingTest, PhotoWithoutMetadataAndFilesThatDoNotOpen) {
    const ExifListing bare = listExifItems(makeJpeg(dir.path(), "bare.jpg"));
    EXPECT_TRUE(bare.opened);
    EXPECT_TRUE(bare.rows.isEmpty());
    EXPECT_EQ(gridOf(bare.rows).rowCount(), 2);

    QFile text(dir.filePath("notes.jpg"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("not a picture\n");
    text.close();
    for (const QString& path : {text.fileName(), dir.filePath("missing.jpg"), QString()}) {
        const ExifListing listing = listExifItems(path);
        EXPECT_FALSE(listing.opened) << path.toStdString();
        EXPECT_TRUE(listing.rows.isEmpty());
        EXPECT_EQ(listing.focalLength, 10.0f);
        EXPECT_TRUE(listing.landscape);
    }
}

TEST(RealPhoto, Canon40D) {
    const ExifListing listing = listExifItems(samplePath("exifsamples_Canon_40D.jpg"));
    ASSERT_TRUE(listing.opened);
    ASSERT_EQ(listing.rows.size(), 48); // exiv2 lists 50: two more from the interoperability directory
    auto valueOf = [&](const QString& name) {
        for (const ExifRow& r : listing.rows)
            if (r.name == name) return r.value;
        return QStringLiteral("<absent>");
    };
    EXPECT_EQ(listing.rows.first().name, "EquipMake");
    EXPECT_EQ(listing.rows.last().name, "JPEGInterLength");
    EXPECT_EQ(valueOf("Orientation"), " 1  (Horizontal)");
    EXPECT_EQ(valueOf("ExifExposureTime"), "0,0063   (1/160)");
    EXPECT_EQ(valueOf("ExifShutterSpeed"), "7,38  ");
    EXPECT_EQ(valueOf("ExifVer"), " 0 2 2 1");
    EXPECT_EQ(valueOf("ExifFocalXRes"), "4438,36  ");
    EXPECT_EQ(valueOf("ThumbnailResolutionX"), "72,00  ");
    EXPECT_EQ(listing.cameraModel, "Canon EOS 40D");
    EXPECT_EQ(listing.focalLength, 135.0f);
    EXPECT_TRUE(listing.landscape);
}

} // namespace
