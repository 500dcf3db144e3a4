// SPDX-License-Identifier: GPL-3.0-or-later
// A place for a photo without position: the placing map's frame and page, the command that shows
// it, and the coordinate fields filled from a pasted text or copied out of the grid.
#include "controller/maincontroller.h"
#include "doubles.h"
#include "fixtures.h"
#include "maps/mappagefile.h"
#include "maps/placingmappage.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace vantorel;
using namespace vantorel::test;

namespace {

TEST(PlacingMap, FrameFromTheLastPositionThePhotosOrTheWorld) {
    struct Case {
        const char* name;
        std::optional<QPointF> last;
        QList<QPointF> photos;
        double south, west, north, east;
        int zoom;
    };
    const Case cases[] = {
        {"world", std::nullopt, {}, 20, 0, 20, 0, 2},
        {"last position first", QPointF(2.5, 48.5), {QPointF(-70, -33)}, 48.5, 2.5, 48.5, 2.5, 13},
        {"one photo", std::nullopt, {QPointF(-2, 47)}, 47, -2, 47, -2, 13},
        {"several photos",
         std::nullopt,
         {QPointF(-2, 47), QPointF(3, 45), QPointF(1, 49)},
         45,
         -2,
         49,
         3,
         13},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        const PlacingFrame f = placingFrame(k.last, k.photos);
        EXPECT_EQ(f.south, k.south);
        EXPECT_EQ(f.west, k.west);
        EXPECT_EQ(f.north, k.north);
        EXPECT_EQ(f.east, k.east);
        EXPECT_EQ(f.zoom, k.zoom);
    }
}

TEST(PlacingMap, PageHasNoMarkerUntilAClick) {
    const QString point = QString::fromUtf8(BuildPlacingMapPage(placingFrame(QPointF(2.5, -48.25), {}), {}));
    EXPECT_TRUE(point.contains("\nvar map = vantorelBaseMap(L.latLng(-48.250000, 2.500000), 13);\n"
                               "vantorelPicks(map, null);\n}"));
    EXPECT_FALSE(point.contains("\nmap.fitBounds("));
    EXPECT_FALSE(point.contains("L.marker(myLatlng"));
    EXPECT_TRUE(point.endsWith("</body></html>"));
    const QString framed = QString::fromUtf8(
        BuildPlacingMapPage(placingFrame(std::nullopt, {QPointF(-2, 47), QPointF(3, 45)}), {}));
    EXPECT_TRUE(
        framed.contains("map.fitBounds([[45.000000, -2.000000], [47.000000, 3.000000]], {maxZoom: 13});"));
    MapSettings google;
    google.library = MapLibrary::Google;
    const QString g = QString::fromUtf8(BuildPlacingMapPage(placingFrame(std::nullopt, {}), google));
    EXPECT_TRUE(g.contains("{zoom: 2, center: new google.maps.LatLng(20.000000, 0.000000)"));
}

class PlacingCommand : public ::testing::Test {
protected:
    QTemporaryDir dir;
    FakePlatform fake;
    MainController c{fake.platform()};
    MainControls& m = c.controls();
    QString geotagged, plain;

    void SetUp() override {
        c.FormCreate();
        c.FormShow({});
        c.state().TempDir = dir.path();
        geotagged = makeJpeg(dir.path(), "a.jpg",
                             gpsItems("S", {{33, 1}, {30, 1}, {0, 1}}, "W", {{70, 1}, {45, 1}, {0, 1}}));
        plain = makeJpeg(dir.path(), "b.jpg", {asciiItem(0x0110, "Cam")});
        c.HandleDroppedFiles({geotagged, plain}); // b.jpg shown: it has no position
    }
    QString page() {
        return fake.browser.pages.isEmpty() ? QString() : QString::fromUtf8(fake.browser.pages.last());
    }
};

TEST_F(PlacingCommand, CentredOnTheListThenOnTheLastPositionInTheEmbeddedBrowser) {
    ASSERT_TRUE(c.canPlaceOnMap());
    fake.browser.navigations.clear();
    c.PlaceOnMap(); // the user's own browser is chosen (CheckBox4 off): the map still comes inside
    EXPECT_EQ(fake.browser.navigations, QStringList{c.mapPagePath()});
    EXPECT_TRUE(fake.externalBrowser.launches.isEmpty());
    EXPECT_TRUE(page().contains("vantorelBaseMap(L.latLng(-33.500000, -70.750000), 13)"))
        << page().right(300).toStdString();

    // A click on the map fills the fields and becomes the next map's centre.
    c.MapPositionPicked(48.5, 2.25);
    EXPECT_EQ(m.Edit7, "48,50000");
    EXPECT_EQ(m.Edit8, "2,25000");
    c.PlaceOnMap();
    EXPECT_TRUE(page().contains("vantorelBaseMap(L.latLng(48.500000, 2.250000), 13)"));
    // So does a position written.
    m.Edit7 = "-10,5";
    m.Edit8 = "20";
    c.BitBtn5Click();
    ASSERT_EQ(fake.boxes.confirmations.size(), 1);
    c.PlaceOnMap();
    EXPECT_TRUE(page().contains("vantorelBaseMap(L.latLng(-10.500000, 20.000000), 13)"));
    EXPECT_EQ(fake.boxes.beeps, 0);
}

TEST_F(PlacingCommand, OnlyForAPhotoWithoutPosition) {
    m.ListBox1Index = 0;
    c.ListBox1Click(); // a.jpg: it has a position
    EXPECT_FALSE(c.canPlaceOnMap());
    fake.browser.navigations.clear();
    c.PlaceOnMap();
    EXPECT_EQ(fake.boxes.beeps, 1);
    EXPECT_TRUE(fake.browser.navigations.isEmpty());
}

TEST_F(PlacingCommand, PastedTextsAndCopiedPositions) {
    const PositionReading refused = c.PastePosition("48,5");
    EXPECT_FALSE(refused.ok);
    EXPECT_TRUE(m.Edit7.isEmpty() && m.Edit8.isEmpty());
    EXPECT_TRUE(c.PastePosition(" geo:-33.5,151.25;u=5\n").ok);
    EXPECT_EQ(m.Edit7, "-33,50000");
    EXPECT_EQ(m.Edit8, "151,25000");

    // Nothing to copy for a photo without position; the pair and the URI for one with it.
    fake.clipboard.content.reset();
    c.CopyPosition(false);
    EXPECT_FALSE(fake.clipboard.content);
    m.ListBox1Index = 0;
    c.ListBox1Click();
    c.CopyPosition(false);
    EXPECT_EQ(fake.clipboard.content, "-33.50000, -70.75000");
    c.CopyPosition(true);
    EXPECT_EQ(fake.clipboard.content, "geo:-33.50000,-70.75000");
}

} // namespace
