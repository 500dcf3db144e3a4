// SPDX-License-Identifier: GPL-3.0-or-later
// The overview map: zoom table, centre, markers in both libraries, hostile names, and the command.
#include "controller/maincontroller.h"
#include "doubles.h"
#include "fixtures.h"
#include "maps/mappagefile.h"
#include "maps/overviewpage.h"
#include "tables/gridcolumns.h"
#include "tables/stringgrid.h"
#include "text/escape.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>

using namespace vantorel;
using namespace vantorel::test;

namespace {

StringGrid poiGrid(const QList<std::tuple<QString, QString, QString>>& rows) {
    StringGrid SG0(PoiColumnCount, 2);
    SG0.setRowCount(int(rows.size()) + 1);
    int row = 1;
    for (const auto& [name, lat, lon] : rows) {
        SG0.setCell(PoiName, row, name);
        SG0.setCell(PoiSignedLatitude, row, lat);
        SG0.setCell(PoiSignedLongitude, row, lon);
        ++row;
    }
    return SG0;
}

TEST(Overview, ZoomFromTheLargerSpan) {
    const QList<std::tuple<QString, qint64, QString>> cases = {
        {"0,004", 4, "16"}, {"0,006", 6, "15"}, {"30", 30000, "4"}, {"60", 60000, "2"}, {"0", 0, "16"},
    };
    for (const auto& [lon, e, zoom] : cases) {
        const OverviewFrame f = overviewFrame(poiGrid({{"a", "0", "0"}, {"b", "0", lon}}));
        EXPECT_EQ(f.e, e) << lon.toStdString();
        EXPECT_EQ(f.zoom, zoom) << lon.toStdString();
    }
    const QList<std::pair<qint64, QString>> table = {
        {5, "16"},    {6, "15"},    {10, "15"},   {11, "14"},   {25, "14"},   {26, "13"},   {50, "13"},
        {51, "12"},   {100, "12"},  {101, "11"},  {200, "11"},  {201, "10"},  {500, "10"},  {501, "9"},
        {1000, "9"},  {1001, "8"},  {2000, "8"},  {2001, "7"},  {5000, "7"},  {5001, "6"},  {10000, "6"},
        {10001, "5"}, {20000, "5"}, {20001, "4"}, {50000, "4"}, {50001, "2"}, {360000, "2"}};
    for (const auto& [e, zoom] : table)
        EXPECT_EQ(overviewZoom(e), zoom) << e;
}

TEST(Overview, CentreIsTheSinglePrecisionAverageWithAPoint) {
    OverviewFrame f = overviewFrame(poiGrid({{"a", "48,12345", "2,5"}}));
    EXPECT_EQ(f.centreLatitude, "48.1234512329102");
    EXPECT_EQ(f.centreLongitude, "2.5");
    f = overviewFrame(poiGrid({{"a", "48", "-3"}, {"b", "49", "x"}}));
    EXPECT_EQ(f.centreLatitude, "48.5");
    EXPECT_EQ(f.centreLongitude, "-1.5"); // a cell that is no number counts as 0
}

TEST(Overview, MarkersColoursAndHostileNames) {
    MapSettings google;
    google.library = MapLibrary::Google;
    for (int n : {1, 2, 3, 5}) {
        QList<std::tuple<QString, QString, QString>> rows;
        for (int i = 0; i < n; ++i)
            rows.append({QString("p%1.jpg").arg(i), "48,1", QString("2,%1").arg(i)});
        const StringGrid SG0 = poiGrid(rows);
        const QByteArray page = buildOverviewPage(SG0, overviewFrame(SG0), google);
        EXPECT_EQ(page.count("icon: iconRed}"), 1);
        EXPECT_EQ(page.count("icon: iconGreen}"), n > 1 ? 1 : 0);
        EXPECT_EQ(page.count("icon: iconGrey}"), std::max(0, n - 2));
        EXPECT_EQ(page.count("new google.maps.Marker("), n);
        const QByteArray leaflet = buildOverviewPage(SG0, overviewFrame(SG0), MapSettings{});
        EXPECT_EQ(leaflet.count("\n[\"48.1\",\"2."), n);
    }
    const StringGrid SG0 = poiGrid({{QString::fromUtf8("l'été.jpg"), "48,5", "-2,25"},
                                    {"</script><img src=x onerror=alert(1)>", "0,1", "0,2"},
                                    {"", "1", "1"}});
    const QString g = QString::fromUtf8(buildOverviewPage(SG0, overviewFrame(SG0), google));
    EXPECT_TRUE(g.contains("\nmap: map,title: " + jsStringLiteral(QString::fromUtf8("'l été.jpg'")) + ","));
    EXPECT_TRUE(
        g.contains(QString::fromUtf8("infowindow.setContent(\"\\u003Cdiv\\u003E\\u003Cb\\u003El été.jpg")));
    EXPECT_TRUE(g.contains("new google.maps.LatLng(48.5, -2.25);"));
    EXPECT_TRUE(g.contains("Poi sans designation."));
    EXPECT_EQ(g.count("</script"), 2);
    EXPECT_FALSE(g.contains("<img"));
    // In the info content the name is HTML-escaped before it becomes a string literal.
    EXPECT_TRUE(g.contains("\\u0026lt;/script\\u0026gt;"));
    const QString l = QString::fromUtf8(buildOverviewPage(SG0, overviewFrame(SG0), MapSettings{}));
    EXPECT_EQ(l.count("</script"), 2);
    EXPECT_FALSE(l.contains("<img"));
    EXPECT_TRUE(l.contains(QString::fromUtf8("\n[\"48.5\",\"-2.25\",\"l été.jpg\"],")));
}

TEST(Overview, EveryPointPastTheRowLimit) {
    QList<std::tuple<QString, QString, QString>> rows;
    for (int i = 0; i < 60000; ++i)
        rows.append({QString("p%1.jpg").arg(i), "45", "5"});
    const StringGrid SG0 = poiGrid(rows);
    const QByteArray page = buildOverviewPage(SG0, overviewFrame(SG0), MapSettings{});
    EXPECT_EQ(page.count("\n[\"45\",\"5\","), 60000);
}

class OverviewCommand : public ::testing::Test {
protected:
    QTemporaryDir dir;
    FakePlatform fake;
    RecordingBrowser overviewBrowser;
    MainController c{fake.platform()};
    MainControls& m = c.controls();

    void SetUp() override {
        c.FormCreate();
        c.FormShow({});
        c.state().TempDir = dir.path();
        c.setOverviewBrowser(overviewBrowser);
    }
    QString geo(const char* name, qint64 lat) {
        return makeJpeg(dir.path(), name,
                        gpsItems("N", {{lat, 1}, {0, 1}, {0, 1}}, "W", {{3, 1}, {0, 1}, {0, 1}}));
    }
};

TEST_F(OverviewCommand, NoGeotaggedPhotoWarnsAndWritesNothing) {
    m.ListBox1 = {makeJpeg(dir.path(), "plain.jpg")};
    c.BitBtn14Click();
    EXPECT_EQ(fake.boxes.warnings, QStringList({kNoGeotaggedPhotoForMap}));
    EXPECT_FALSE(m.Label11Visible);
    EXPECT_FALSE(QFileInfo::exists(c.mapPagePath()));
    EXPECT_FALSE(m.Form3Visible);
}

TEST_F(OverviewCommand, InternalBrowserShowsForm3BesideTheWindow) {
    m.ListBox1 = {geo("a.jpg", 40), makeJpeg(dir.path(), "plain.jpg"), geo("b.jpg", 42)};
    m.geometry = QRect(100, 50, 986, 695);
    m.CheckBox4 = true;
    c.BitBtn14Click();
    EXPECT_TRUE(m.Form3Visible);
    EXPECT_EQ(m.Form3Geometry, QRect(118, 58, 973, 723));
    EXPECT_EQ(overviewBrowser.navigations, QStringList({c.mapPagePath()}));
    EXPECT_TRUE(fake.browser.navigations.isEmpty());
    EXPECT_EQ(c.state().CurrentPhotoPath, m.ListBox1.last());
    EXPECT_EQ(c.state().PoiRowCount, 2);
    const QByteArray page = fileBytes(c.mapPagePath());
    EXPECT_TRUE(page.contains("L.latLng(41, -3)"));
    EXPECT_TRUE(page.contains("vantorelBaseMap(myLatlng, 8)")); // 2 degrees: e = 2000
    EXPECT_FALSE(m.Label11Visible);
    EXPECT_TRUE(fake.boxes.messages.isEmpty());
}

TEST_F(OverviewCommand, ExternalBrowserGetsTheSamePage) {
    m.ListBox1 = {geo("a.jpg", 40)};
    c.state().DefaultBrowserName = "FF";
    fake.externalBrowser.programsOnPath = {"/usr/bin/firefox"};
    c.BitBtn14Click();
    ASSERT_EQ(fake.externalBrowser.launches.size(), 1);
    EXPECT_EQ(fake.externalBrowser.launches[0].arguments,
              QStringList({"-url", QUrl::fromLocalFile(c.mapPagePath()).toString(QUrl::FullyEncoded),
                           "-fullscreen"}));
    EXPECT_FALSE(m.Form3Visible);
}

} // namespace
