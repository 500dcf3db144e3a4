// SPDX-License-Identifier: GPL-3.0-or-later
// The POI table over a list of photos: which rows, their signed values, altitude and size.
#include "controller/sharedstate.h"
#include "fixtures.h"
#include "metadata/imageproperties.h"
#include "metadata/poitable.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTextStream>
#include <gtest/gtest.h>

using namespace vantorel;
using namespace vantorel::test;

namespace {

PoiRun runOf(SharedState& s) {
    return {s.LatitudeRef, s.LongitudeRef, s.PoiRowCount};
}

class PoiTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    SharedState state;
    StringGrid SG0{PoiColumnCount, 2};

    void rebuild(const QStringList& paths) {
        int pumps = 0;
        rebuildPoiTable(
            runOf(state), SG0, paths, [](const QString&) {}, [&] { ++pumps; });
    }
};

TEST_F(PoiTest, OneRowPerPhotoWithLatitude) {
    const QString a =
        makeJpeg(dir.path(), "a.jpg", gpsItems("N", {{1, 1}, {0, 1}, {0, 1}}, "E", {{2, 1}, {0, 1}, {0, 1}}));
    const QString b = makeJpeg(dir.path(), "b.jpg", {asciiItem(0x0110, "Cam")});
    const QString c =
        makeJpeg(dir.path(), "c.jpg", gpsItems("N", {{3, 1}, {0, 1}, {0, 1}}, "E", {{4, 1}, {0, 1}, {0, 1}}));
    rebuild({a, b, c, dir.filePath("absent.jpg"), QString()});
    EXPECT_EQ(state.PoiRowCount, 2);
    EXPECT_EQ(SG0.rowCount(), 3);
    EXPECT_EQ(SG0.row(0),
              QStringList({QString::fromUtf8("Photo géocodée"), "Latitude", "Longitude", "Lati", "Longi",
                           "File_name", "Alti_signe", "Alti_valeur", "Width", "Height"}));
    EXPECT_EQ(SG0.cell(PoiPath, 1), a);
    EXPECT_EQ(SG0.cell(PoiPath, 2), c);
    EXPECT_EQ(SG0.cell(PoiName, 2), "c.jpg");
    EXPECT_EQ(SG0.cell(PoiSignedLatitude, 2), "3,00000");
    EXPECT_EQ(SG0.cell(PoiSignedLongitude, 2), "4,00000");
    // A rebuild starts from an empty table.
    rebuild({c});
    EXPECT_EQ(state.PoiRowCount, 1);
    EXPECT_EQ(SG0.rowCount(), 2);
    EXPECT_EQ(SG0.cell(PoiPath, 1), c);
}

TEST_F(PoiTest, SouthernPhotoWithAltitudeAndSize) {
    QVector<PropertyItem> items = gpsItems("S", {{33, 1}, {52, 1}, {0, 1}}, "E", {{151, 1}, {12, 1}, {0, 1}});
    items << byteItem(GpsAltitudeRef, {0}) << rationalItem(GpsAltitude, {{58, 1}});
    const QString path = makeJpeg(dir.path(), "sydney.jpg", items, QSize(64, 48));
    const QByteArray before = fileBytes(path);
    rebuild({path});
    ASSERT_EQ(state.PoiRowCount, 1);
    EXPECT_EQ(SG0.row(1), QStringList({"sydney.jpg", QString::fromUtf8("S 33°  52,000'"),
                                       QString::fromUtf8("E 151°  12,000'"), "-33,86666", "151,20000", path,
                                       "0", "58,00", "64", "48"}));
    EXPECT_EQ(fileBytes(path), before);
}

TEST_F(PoiTest, AltitudeForms) {
    struct Case {
        const char* name;
        QVector<PropertyItem> items;
        const char* ref;
        const char* value;
    };
    const Case cases[] = {
        {"below", {byteItem(GpsAltitudeRef, {1}), rationalItem(GpsAltitude, {{1428, 100}})}, "1", "14,28"},
        {"emptyRef",
         {rawItem(GpsAltitudeRef, TypeByte, {}), rationalItem(GpsAltitude, {{5, 1}})},
         "",
         "5,00"},
        {"zeroDenominator", {byteItem(GpsAltitudeRef, {0}), rationalItem(GpsAltitude, {{0, 0}})}, "0", ""},
        {"signedRational", {rationalItem(GpsAltitude, {{-3, 2}}, TypeSRational)}, "", "-1,50"},
        {"refNotByte", {shortItem(GpsAltitudeRef, {1}), rationalItem(GpsAltitude, {{7, 1}})}, "", "7,00"},
    };
    for (const Case& c : cases) {
        QVector<PropertyItem> items = gpsItems("N", {{1, 1}, {0, 1}, {0, 1}}, "E", {{1, 1}, {0, 1}, {0, 1}});
        items += c.items;
        rebuild({makeJpeg(dir.path(), QString::fromLatin1(c.name) + ".jpg", items)});
        ASSERT_EQ(state.PoiRowCount, 1) << c.name;
        EXPECT_EQ(SG0.cell(PoiAltitudeRef, 1), QString::fromLatin1(c.ref)) << c.name;
        EXPECT_EQ(SG0.cell(PoiAltitude, 1), QString::fromLatin1(c.value)) << c.name;
    }
}

TEST_F(PoiTest, ReferencesCarryOverFromThePreviousPhoto) {
    const QString south = makeJpeg(dir.path(), "s.jpg",
                                   gpsItems("S", {{10, 1}, {0, 1}, {0, 1}}, "W", {{20, 1}, {0, 1}, {0, 1}}));
    const QString noRefs = makeJpeg(dir.path(), "n.jpg",
                                    {rationalItem(GpsLatitude, {{11, 1}, {0, 1}, {0, 1}}),
                                     rationalItem(GpsLongitude, {{21, 1}, {0, 1}, {0, 1}})});
    rebuild({south, noRefs});
    ASSERT_EQ(state.PoiRowCount, 2);
    EXPECT_EQ(SG0.cell(PoiSignedLatitude, 2), "-11,00000");
    EXPECT_EQ(SG0.cell(PoiSignedLongitude, 2), "-21,00000");
}

TEST_F(PoiTest, OtherGpsItemsOfAPhotoWithoutLatitudeStayOutOfOtherRows) {
    const QString first =
        makeJpeg(dir.path(), "1.jpg", gpsItems("N", {{1, 1}, {0, 1}, {0, 1}}, "E", {{2, 1}, {0, 1}, {0, 1}}));
    const QString noLat =
        makeJpeg(dir.path(), "2.jpg",
                 {asciiItem(GpsLongitudeRef, "W"), rationalItem(GpsLongitude, {{99, 1}, {0, 1}, {0, 1}}),
                  byteItem(GpsAltitudeRef, {1}), rationalItem(GpsAltitude, {{9, 1}})});
    rebuild({first, noLat});
    ASSERT_EQ(state.PoiRowCount, 1);
    EXPECT_EQ(SG0.cell(PoiSignedLongitude, 1), "2,00000");
    EXPECT_EQ(SG0.cell(PoiAltitudeRef, 1), "");
    EXPECT_EQ(SG0.cell(PoiAltitude, 1), "");
    EXPECT_EQ(state.LongitudeRef, "W");
}

TEST_F(PoiTest, GeotaggedPictureThatIsNotAJpegKeepsItsRowWithoutSize) {
    const QString tif = makeGeotaggedTiff(dir.path(), "map.tif");
    rebuild({tif});
    ASSERT_EQ(state.PoiRowCount, 1);
    EXPECT_EQ(SG0.cell(PoiSignedLatitude, 1), "5,00000");
    EXPECT_EQ(SG0.cell(PoiWidth, 1), "");
    EXPECT_EQ(SG0.cell(PoiHeight, 1), "");
}

// Every real-camera sample: one row per photo that has a position, with the stored size and altitude.
// The streamed rows are the table's rows, one at a time: same cells, same numbers, the reference
// letters carried over from photo to photo, unreadable photos reported in order, empty paths skipped;
// a photo read by a short name is shown by the name shownPath gives.
TEST_F(PoiTest, StreamedRowsAreTheTablesRows) {
    const QString south = makeJpeg(dir.path(), "s.jpg",
                                   gpsItems("S", {{10, 1}, {0, 1}, {0, 1}}, "W", {{20, 1}, {0, 1}, {0, 1}}));
    const QString noRefs = makeJpeg(dir.path(), "n.jpg",
                                    {rationalItem(GpsLatitude, {{11, 1}, {0, 1}, {0, 1}}),
                                     rationalItem(GpsLongitude, {{21, 1}, {0, 1}, {0, 1}})});
    const QString noGps = makeJpeg(dir.path(), "b.jpg", {asciiItem(0x0110, "Cam")});
    QStringList paths = {south, QString(), noGps, dir.filePath("absent.jpg"), noRefs, dir.path()};
    for (const QString& name : QDir(samplePath("")).entryList({"*.jpg"}, QDir::Files, QDir::Name))
        paths << samplePath(name);
    rebuild(paths);

    // Each path shown with a mark, taken off before comparing.
    QStringList streamed;
    QStringList unreadable;
    int lastRow = 0;
    const int rows = streamPoiRows(
        paths, [](const QString& path) { return QStringLiteral("shown:") + path; },
        [&](const StringGrid& table, int row) {
            EXPECT_EQ(row, lastRow + 1);
            lastRow = row;
            ASSERT_EQ(table.rowCount(), 2);
            QStringList cells = table.row(1);
            EXPECT_TRUE(cells[PoiPath].startsWith("shown:"));
            cells[PoiPath].remove(0, 6);
            streamed << cells.join(u'\t');
        },
        [&](const UnreadablePhoto& photo) { unreadable << photo.path; });
    EXPECT_EQ(rows, state.PoiRowCount);
    QStringList built;
    for (int row = 1; row <= state.PoiRowCount; ++row) {
        built << SG0.row(row).join(u'\t');
    }
    EXPECT_EQ(streamed, built);
    EXPECT_EQ(unreadable, QStringList({"shown:" + dir.filePath("absent.jpg"), "shown:" + dir.path()}));
}

// A list longer than the names held at once is taken in pieces: no name lost or read twice where
// one piece ends, and a photo without reference letters still takes the previous photo's across it.
TEST_F(PoiTest, StreamedLongListIsTheTableAcrossPieces) {
    const QString south = makeJpeg(dir.path(), "s.jpg",
                                   gpsItems("S", {{10, 1}, {0, 1}, {0, 1}}, "W", {{20, 1}, {0, 1}, {0, 1}}));
    const QString north = makeJpeg(dir.path(), "n.jpg",
                                   gpsItems("N", {{12, 1}, {0, 1}, {0, 1}}, "E", {{22, 1}, {0, 1}, {0, 1}}));
    const QString noRefs = makeJpeg(dir.path(), "r.jpg",
                                    {rationalItem(GpsLatitude, {{11, 1}, {0, 1}, {0, 1}}),
                                     rationalItem(GpsLongitude, {{21, 1}, {0, 1}, {0, 1}})});
    const QString noGps = makeJpeg(dir.path(), "b.jpg", {asciiItem(0x0110, "Cam")});
    // The letters change just before each piece's end; the photo after it has none of its own.
    QStringList paths;
    const qsizetype count = 2 * kStreamedNamesAtOnce + 3;
    for (qsizetype i = 0; i < count; ++i) {
        const qsizetype inPiece = i % kStreamedNamesAtOnce;
        if (inPiece == kStreamedNamesAtOnce - 1)
            paths << ((i / kStreamedNamesAtOnce) % 2 ? north : south);
        else if (inPiece == 0)
            paths << noRefs;
        else
            paths << (i % 5 == 0 ? dir.filePath("absent.jpg") : i % 3 ? noGps : north);
    }
    rebuild(paths);
    QStringList built;
    for (int row = 1; row <= state.PoiRowCount; ++row)
        built << SG0.row(row).join(u'\t');

    QStringList streamed;
    qsizetype unreadable = 0;
    qsizetype asked = 0;
    const int rows = streamPoiRows(
        count,
        [&](qsizetype i) {
            EXPECT_EQ(i, asked++) << "names asked for in order, each once";
            return paths[i];
        },
        [](const QString& path) { return path; },
        [&](const StringGrid& table, int) { streamed << table.row(1).join(u'\t'); },
        [&](const UnreadablePhoto&) { ++unreadable; });
    EXPECT_EQ(asked, count);
    EXPECT_EQ(rows, state.PoiRowCount);
    EXPECT_EQ(unreadable, paths.count(dir.filePath("absent.jpg")));
    ASSERT_EQ(streamed.size(), built.size());
    EXPECT_EQ(streamed, built);
    // The photos read just after a piece's end took the letters of the photo before them: south
    // after the first piece, north after the second.
    const QStringList afterEnds = streamed.filter(QStringLiteral("r.jpg"));
    ASSERT_EQ(afterEnds.size(), 3);
    EXPECT_TRUE(afterEnds[1].contains(QStringLiteral("\t-11,"))) << afterEnds[1].toStdString();
    EXPECT_TRUE(afterEnds[2].contains(QStringLiteral("\t11,"))) << afterEnds[2].toStdString();
}

TEST(PoiSamples, AgreeWithAnotherReader) {
    QFile tsv(samplePath("expected.tsv"));
    ASSERT_TRUE(tsv.open(QIODevice::ReadOnly | QIODevice::Text));
    QTextStream in(&tsv);
    const QStringList header = in.readLine().split(u'\t');
    const int file = header.indexOf("file"), hasGps = header.indexOf("has_gps"),
              latCol = header.indexOf("lat"), altRef = header.indexOf("alt_ref"), alt = header.indexOf("alt"),
              width = header.indexOf("width"), height = header.indexOf("height");
    QStringList paths;
    QHash<QString, QStringList> expected;
    while (!in.atEnd()) {
        const QStringList f = in.readLine().split(u'\t');
        if (f.size() < header.size()) continue;
        paths << samplePath(f[file]);
        if (f[hasGps] == "1") expected.insert(samplePath(f[file]), f);
    }
    SharedState state;
    StringGrid SG0(PoiColumnCount, 2);
    rebuildPoiTable(
        runOf(state), SG0, paths, [](const QString&) {}, [] {});
    ASSERT_EQ(state.PoiRowCount, expected.size());
    for (int row = 1; row <= state.PoiRowCount; ++row) {
        const QString path = SG0.cell(PoiPath, row);
        ASSERT_TRUE(expected.contains(path)) << path.toStdString();
        const QStringList& e = expected[path];
        SCOPED_TRACE(path.toStdString());
        EXPECT_NEAR(SG0.cell(PoiSignedLatitude, row).replace(',', '.').toDouble(), e[latCol].toDouble(),
                    1.5e-5);
        EXPECT_EQ(SG0.cell(PoiWidth, row), e[width]);
        EXPECT_EQ(SG0.cell(PoiHeight, row), e[height]);
        EXPECT_EQ(SG0.cell(PoiAltitudeRef, row), e[altRef]);
        if (!e[alt].isEmpty() && !SG0.cell(PoiAltitude, row).isEmpty()) {
            EXPECT_NEAR(SG0.cell(PoiAltitude, row).replace(',', '.').toDouble(), e[alt].toDouble(), 0.006);
        }
    }
}

} // namespace
