// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's commands without a window: the list, the selection pipeline, start and end.
#include "controller/copyworker.h"
#include "controller/maincontroller.h"
#include "doubles.h"
#include "fixtures.h"
#include "geotag/geotagcopy.h"
#include "maps/mappagefile.h"
#include "tables/gridcolumns.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <algorithm>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace vantorel;
using namespace vantorel::test;

namespace {

class ControllerTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    FakePlatform fake;
    MainController c{fake.platform()};
    MainControls& m = c.controls();
    SharedState& s = c.state();
    QString geoA, geoB, plain;

    void SetUp() override {
        c.FormCreate();
        c.FormShow({});
        geoA = makeJpeg(dir.path(), "a.jpg",
                        gpsItems("N", {{45, 1}, {12, 1}, {3050, 100}}, "E", {{2, 1}, {20, 1}, {14, 1}}));
        geoB = makeJpeg(dir.path(), "B.jpg",
                        gpsItems("S", {{1, 1}, {30, 1}, {0, 1}}, "W", {{2, 1}, {0, 1}, {0, 1}}));
        plain = makeJpeg(dir.path(), "c.jpg", {asciiItem(0x0110, "Cam")});
    }
    QString path(const char* name) { return dir.filePath(QString::fromLatin1(name)); }
};

TEST_F(ControllerTest, StartsCollapsedAndExpandsOnTheFirstPhoto) {
    EXPECT_EQ(m.geometry, QRect(0, 0, 210, 22));
    EXPECT_EQ(m.SG1.row(0), QStringList({QString::fromUtf8("Photo géocodée"), "Latitude", "Longitude", "Lati",
                                         "Longi", "File_name"}));
    EXPECT_EQ(m.SG2.row(0), QStringList({"Tag Exif", "Type", "Valeur"}));
    EXPECT_EQ(m.ComboBox1, "1/2.4\"");
    c.HandleDroppedFiles({geoA});
    EXPECT_EQ(m.geometry, QRect(0, 0, 986, 695));
    c.BitBtn9Click();
    EXPECT_EQ(m.geometry.size(), QSize(200, 22));
    c.ListBox1Click();
    EXPECT_EQ(m.geometry.size(), QSize(986, 695));
}

TEST_F(ControllerTest, DropAddsSortedEntriesAndShowsTheLastDropped) {
    m.CheckBox1 = true;
    c.HandleDroppedFiles({path("m.jpg"), path("z.jpg")});
    fake.boxes.messages.clear(); // z.jpg does not exist: "Erreur ret1"
    c.HandleDroppedFiles({plain, geoB, geoA});
    EXPECT_EQ(m.ListBox1, QStringList({geoA, geoB, plain, path("m.jpg"), path("z.jpg")}));
    EXPECT_EQ(m.Label8, "5");
    EXPECT_EQ(s.CurrentPhotoPath, geoA);
    EXPECT_EQ(m.caption, geoA);
    EXPECT_EQ(m.ListBox1Index, 0);
    EXPECT_EQ(m.Label1, "45,20847");
    EXPECT_EQ(m.Label2, "2,33722");
    EXPECT_EQ(m.Label3, QString::fromUtf8("N 45°    12,00'    30,50''  "));
    EXPECT_FALSE(m.Label11Visible);
    EXPECT_FALSE(m.Image1.isNull());
    EXPECT_TRUE(fake.boxes.messages.isEmpty());
}

// Photos of the other formats get their preview whatever their name; a JPEG picture only from a ".JPG"
// file, as ever.
TEST_F(ControllerTest, PreviewOfEveryFormatAndOfJpegPicturesOnlyFromDotJpg) {
    struct Case {
        const char* name;
        const char* format;
        bool shown;
    };
    const Case cases[] = {{"p.png", "PNG", true},    {"p.tif", "TIFF", true},  {"p.webp", "WEBP", true},
                          {"png.jpeg", "PNG", true}, {"j.jpeg", "JPG", false}, {"j.JPG", "JPG", true},
                          {"p.bmp", "BMP", false}};
    for (const Case& k : cases) {
        QImage image(QSize(300, 200), QImage::Format_RGB32);
        image.fill(QColor(40, 120, 200));
        const QString photo = path(k.name);
        ASSERT_TRUE(image.save(photo, k.format)) << k.name;
        c.HandleDroppedFiles({photo});
        EXPECT_EQ(m.Image1.isNull(), !k.shown) << k.name;
        if (k.shown) EXPECT_EQ(m.Image1.size(), QSize(272, 181)) << k.name;
    }
}

TEST_F(ControllerTest, DropWithoutAddingReplacesAndSameFileTwiceSelectsTheFirst) {
    c.HandleDroppedFiles({plain});
    m.CheckBox1 = false;
    c.HandleDroppedFiles({geoA, geoA});
    EXPECT_EQ(m.ListBox1, QStringList({geoA, geoA}));
    EXPECT_EQ(m.Label8, "2");
    EXPECT_EQ(m.ListBox1Index, 0);
}

TEST_F(ControllerTest, DroppedFolderOrMissingFileIsListedAndShownAsNotGeotagged) {
    c.HandleDroppedFiles({dir.path(), path("missing.jpg")});
    EXPECT_EQ(m.ListBox1.size(), 2);
    EXPECT_TRUE(s.PhotoNotGeotagged);
    EXPECT_EQ(m.SG1.cell(CoordName, 0), QString::fromUtf8("Cette photo n'est pas géocodée"));
    EXPECT_EQ(m.SG1.fontColor, Qt::red);
    EXPECT_EQ(m.SG1.cell(CoordPath, 1), path("missing.jpg"));
    EXPECT_FALSE(m.BitBtn23Enabled);
    EXPECT_EQ(fake.boxes.messages, QStringList({"Erreur ret1"}));
    EXPECT_TRUE(m.Image1.isNull());
}

// A kind of photo that no reader can read is said so, not shown as a photo without position, and is
// not offered to be placed on the map.
TEST_F(ControllerTest, PhotoOfAFormatNotReadIsSaidSo) {
    const QString box = path("broken.heic");
    QFile file(box);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray("\0\0\0\x18"
                          "ftypheic\0\0\0\0mif1heic"
                          "\0\0\0\x10meta broken",
                          39));
    file.close();
    c.HandleDroppedFiles({box});
    EXPECT_EQ(m.SG1.cell(CoordName, 0), QString::fromUtf8("Format non pris en charge"));
    EXPECT_EQ(m.SG1.fontColor, Qt::red);
    EXPECT_EQ(fake.boxes.messages, QStringList({"Format non pris en charge"}));
    EXPECT_FALSE(c.canPlaceOnMap());
}

// « Placer sur la carte » is for a photo without position, not for a folder or a missing file.
TEST_F(ControllerTest, OnlyAPhotoThatOpensIsPlacedOnTheMap) {
    struct Case {
        QString shown;
        bool placeable;
    };
    for (const Case& k :
         {Case{plain, true}, Case{dir.path(), false}, Case{path("missing.jpg"), false}, Case{geoA, false}}) {
        c.HandleDroppedFiles({k.shown});
        EXPECT_EQ(c.canPlaceOnMap(), k.placeable) << k.shown.toStdString();
    }
    c.HandleDroppedFiles({path("missing.jpg")});
    const int beeps = fake.boxes.beeps;
    fake.browser.pages.clear();
    c.PlaceOnMap();
    EXPECT_EQ(fake.boxes.beeps, beeps + 1);
    EXPECT_TRUE(fake.browser.pages.isEmpty());
}

TEST_F(ControllerTest, NotGeotaggedPhotoShowsTheSignInTheInternalBrowser) {
    m.CheckBox4 = true;
    c.HandleDroppedFiles({plain});
    ASSERT_EQ(fake.browser.navigations.size(), 1);
    EXPECT_EQ(fake.browser.navigations[0], s.NoGeotagGifPath);
    EXPECT_TRUE(fake.boxes.messages.isEmpty());
    // A geotagged photo afterwards turns the header back and enables the eraser.
    c.HandleDroppedFiles({geoB});
    EXPECT_FALSE(s.PhotoNotGeotagged);
    EXPECT_TRUE(m.BitBtn23Enabled);
    EXPECT_EQ(m.SG1.fontColor, Qt::black);
    EXPECT_EQ(m.SG1.cell(CoordLatitudeText, 0), "Latitude");
    EXPECT_EQ(m.Edit7, "-1,50000");
    EXPECT_EQ(m.Edit8, "-2,00000");
}

TEST_F(ControllerTest, MissingReferenceGivesOneNotice) {
    const QString noRef =
        makeJpeg(dir.path(), "noref.jpg",
                 {rationalItem(GpsLatitude, {{1, 1}, {0, 1}, {0, 1}}), asciiItem(GpsLongitudeRef, "E"),
                  rationalItem(GpsLongitude, {{1, 1}, {0, 1}, {0, 1}})});
    c.HandleDroppedFiles({noRef});
    EXPECT_EQ(fake.boxes.messages,
              QStringList({QString::fromUtf8(
                  "Information Nord ou Sud non incluse dans la photo\nNord sera supposé")}));
}

TEST_F(ControllerTest, ChargerAddsOrReplacesAndCancelChangesNothing) {
    c.HandleDroppedFiles({plain});
    fake.dialogs.chosen = std::nullopt;
    c.BitBtn20Click();
    EXPECT_EQ(m.ListBox1, QStringList({plain}));

    fake.dialogs.chosen = QStringList({geoB, geoA});
    c.BitBtn20Click();
    EXPECT_EQ(m.ListBox1, QStringList({geoA, geoB, plain}));
    EXPECT_EQ(s.CurrentPhotoPath, geoA); // the dialog's last file

    m.CheckBox1 = false;
    fake.dialogs.chosen = QStringList({geoA, plain, geoB});
    c.BitBtn20Click();
    EXPECT_EQ(m.ListBox1, QStringList({geoA, geoB, plain}));
    EXPECT_EQ(m.Label8, "3");
    EXPECT_EQ(s.CurrentPhotoPath, plain); // the alphabetically last
    EXPECT_EQ(m.ListBox1Index, 2);
}

TEST_F(ControllerTest, ClipboardLinesBecomeEntries) {
    const QString longPath = dir.path() + "/" + QString(300, u'x') + ".jpg";
    fake.clipboard.content = geoB + "\r\n\r\n" + longPath + "\n" + geoA + "\n";
    c.BitBtn16Click();
    EXPECT_EQ(m.ListBox1, QStringList({"", geoA, geoB, longPath}));
    EXPECT_EQ(m.Label8, "4");
    EXPECT_EQ(s.CurrentPhotoPath, longPath);
    EXPECT_EQ(m.ListBox1Index, 3);
}

TEST_F(ControllerTest, ClipboardWithoutTextChangesNothing) {
    c.HandleDroppedFiles({geoA});
    m.CheckBox1 = false;
    fake.clipboard.content = std::nullopt;
    c.BitBtn16Click();
    EXPECT_EQ(fake.boxes.messages, QStringList({"Le Presse-papiers ne contient pas de texte."}));
    EXPECT_EQ(m.ListBox1, QStringList({geoA}));
    // Empty text leaves an empty list, and nothing to show.
    fake.clipboard.content = QString();
    c.BitBtn16Click();
    EXPECT_TRUE(m.ListBox1.isEmpty());
    EXPECT_EQ(m.Label8, "0");
}

TEST_F(ControllerTest, EffacerPoiRemovesTheSelectedEntry) {
    c.HandleDroppedFiles({geoA, geoB, plain});
    m.ListBox1Index = 2;
    c.BitBtn12Click();
    EXPECT_EQ(m.ListBox1, QStringList({geoA, geoB}));
    EXPECT_EQ(m.Label8, "2");
    EXPECT_EQ(s.CurrentPhotoPath, geoB);
    EXPECT_EQ(m.ListBox1Index, 1);
    // Nothing selected: nothing deleted, the last entry is shown again.
    m.ListBox1Index = -1;
    c.BitBtn12Click();
    EXPECT_EQ(m.ListBox1.size(), 2);
}

TEST_F(ControllerTest, EffacerPoiOnTheLastEntryEmptiesEverything) {
    m.CheckBox4 = true;
    c.HandleDroppedFiles({geoA});
    c.BitBtn12Click();
    EXPECT_TRUE(m.ListBox1.isEmpty());
    EXPECT_EQ(m.Label8, "0");
    EXPECT_EQ(fake.browser.navigations.last(), "about:blank");
    for (int col = 0; col < 5; ++col)
        EXPECT_TRUE(m.SG1.cell(col, 1).isEmpty());
    for (int row = 1; row < m.SG2.rowCount(); ++row)
        EXPECT_TRUE(m.SG2.cell(ExifName, row).isEmpty());
    EXPECT_TRUE(m.Label1.isEmpty() && m.Label3.isEmpty() && m.Edit7.isEmpty() && m.Edit8.isEmpty());
    EXPECT_TRUE(m.Image1.isNull());
    EXPECT_EQ(s.CurrentPhotoPath, geoA);
    // Leaving a setting field now has no photo to show and says nothing.
    c.ListBox1Click();
    EXPECT_TRUE(fake.boxes.messages.isEmpty());
}

TEST_F(ControllerTest, GeocodeKeepsOnlyGeotaggedPhotos) {
    m.CheckBox4 = true;
    c.HandleDroppedFiles({geoA, plain, geoB, path("missing.jpg")});
    fake.boxes.messages.clear();
    m.Edit7 = "typed";
    c.BitBtn15Click();
    EXPECT_EQ(m.ListBox1, QStringList({geoA, geoB}));
    EXPECT_EQ(m.Label8, "2");
    EXPECT_EQ(s.PoiRowCount, 2);
    EXPECT_TRUE(fake.browser.navigations.contains("about:blank"));
    EXPECT_TRUE(fake.boxes.messages.isEmpty());
    // The last entry kept is shown and selected: caption, grids, labels and fields are its own.
    EXPECT_EQ(s.CurrentPhotoPath, geoB);
    EXPECT_EQ(m.caption, geoB);
    EXPECT_EQ(m.ListBox1Index, 1);
    EXPECT_EQ(m.SG1.cell(CoordPath, 1), geoB);
    EXPECT_EQ(m.SG1.cell(CoordName, 1), "B.jpg");
    EXPECT_GT(m.SG2.rowCount(), 2);
    EXPECT_EQ(m.Label1, "-1,50000");
    EXPECT_EQ(m.Edit7, "-1,50000");
    EXPECT_FALSE(m.Image1.isNull());
    EXPECT_FALSE(m.Label11Visible);

    c.HandleDroppedFiles({plain});
    m.CheckBox1 = false;
    c.HandleDroppedFiles({plain});
    c.BitBtn15Click();
    EXPECT_TRUE(m.ListBox1.isEmpty());
    EXPECT_EQ(m.Label8, "0");
    EXPECT_EQ(m.ListBox1Index, -1);
    EXPECT_TRUE(m.Label1.isEmpty());
    EXPECT_EQ(m.SG2.rowCount(), 2);
    EXPECT_TRUE(m.Image1.isNull());
}

TEST_F(ControllerTest, SelectingReRunsThePipelineOnTheEntry) {
    c.HandleDroppedFiles({geoA, geoB});
    m.ListBox1Index = 0;
    m.Edit7 = "typed";
    c.ListBox1Click();
    EXPECT_EQ(s.CurrentPhotoPath, geoA);
    EXPECT_EQ(m.caption, geoA);
    EXPECT_EQ(m.Edit7, "45,20847");
    EXPECT_EQ(m.SG1.cell(CoordName, 1), "a.jpg");
    EXPECT_GT(m.SG2.rowCount(), 2);
}

// Adding a batch must give the list and the selection that adding the same paths one at a time gives.
TEST_F(ControllerTest, ASelectionReadsTheFileItOpenedInEveryStep) {
    // Another program gives the selected name to another file while the window handles events
    // between the steps: the listing and the preview still show the photo whose position is shown.
    const QString other = makeJpeg(dir.path(), "other.jpg", {asciiItem(0x0110, "Other")}, QSize(100, 50));
    const QString selected =
        makeJpeg(dir.path(), "sel.jpg",
                 gpsItems("N", {{45, 1}, {12, 1}, {0, 1}}, "E", {{2, 1}, {20, 1}, {0, 1}}), QSize(400, 300));
    bool replaced = false;
    fake.pump.whileProcessing = [&] {
        // Once the position is shown.
        if (replaced || m.SG1.cell(CoordName, 1) != "sel.jpg") return;
        replaced = true;
        ASSERT_TRUE(QFile::remove(selected));
        ASSERT_TRUE(QFile::copy(other, selected));
    };
    c.HandleDroppedFiles({selected});
    ASSERT_TRUE(replaced);
    EXPECT_FALSE(s.PhotoNotGeotagged);
    EXPECT_TRUE(m.SG1.cell(CoordLatitudeDegrees, 1).startsWith("45"))
        << m.SG1.cell(CoordLatitudeDegrees, 1).toStdString();
    QStringList names;
    for (int r = 1; r < m.SG2.rowCount(); ++r)
        names << m.SG2.cell(ExifName, r);
    EXPECT_TRUE(names.contains("GpsLatitude")) << names.join(' ').toStdString();
    EXPECT_FALSE(names.contains("EquipModel")) << names.join(' ').toStdString();
    EXPECT_EQ(m.Image1.size(), QSize(272, 204));

    // The next selection opens the file the name now gives.
    fake.pump.whileProcessing = nullptr;
    c.ListBox1Click();
    EXPECT_EQ(m.Image1.size(), QSize(272, 136));
    EXPECT_TRUE(s.PhotoNotGeotagged);
}

TEST(ControllerList, BatchAddMatchesOneAtATime) {
    struct Case {
        const char* name;
        QStringList start;
        int selected;
        QStringList added;
    };
    const QList<Case> cases = {
        {"into empty", {}, -1, {"b", "A", "a", "B", "c", "a"}},
        {"equal entries go after the existing ones", {"a", "B", "c"}, 1, {"b", "A", "b", "C", "a"}},
        {"selection moves past smaller entries", {"m", "M", "z"}, 1, {"a", "M", "m", "y", "Z", "0"}},
        {"selection on the first entry", {"x", "y"}, 0, {"X", "w", "x"}},
        {"selection on the last entry", {"x", "y"}, 1, {"Y", "z", "y"}},
        {"selection beyond the list", {"x"}, 5, {"a", "z"}},
        {"accents and empty entries",
         {"", QString::fromUtf8("é"), "e"},
         2,
         {QString::fromUtf8("É"), "", "E", "f", QString::fromUtf8("ê")}},
        {"folders and files", {"/p/B/x.jpg", "/p/a/y.jpg"}, 0, {"/p/b/X.JPG", "/p/A/y.jpg", "/p/b/x.jpg"}},
        // Letters whose folding is special (sharp s, final sigma, dotted I, a pair beyond the BMP).
        {"other scripts",
         {QString::fromUtf8("straße"), QString::fromUtf8("Σ")},
         1,
         {QString::fromUtf8("STRASSE"), QString::fromUtf8("ς"), QString::fromUtf8("σ"),
          QString::fromUtf8("İ"), QString::fromUtf8("i"), QString::fromUtf8("𐐀"), QString::fromUtf8("𐐨"),
          QString::fromUtf8("ﬃ")}},
        // Entries sorted a few units at a time: prefixes of each other, long shared starts, units of 0.
        {"prefixes and shared starts",
         {"/photos/abcd", "/photos/abcdefgh1"},
         1,
         {"/photos/abcdefgh", "/photos/a", "/PHOTOS/ABCDEFGH0", "/photos/abc", "/photos/abcde",
          "/photos/abcd", QString::fromLatin1("/photos/ab\0", 11), QString::fromLatin1("/photos/ab\0\0", 12),
          "/photos/ab", "/photos/abcdefgh1", "/photos/abcdefgh10"}},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.name);
        FakePlatform one, batch;
        MainController byOne(one.platform()), byBatch(batch.platform());
        for (MainController* c : {&byOne, &byBatch}) {
            for (const QString& s : t.start)
                c->addToList(s);
            c->controls().ListBox1Index = t.selected;
        }
        for (const QString& s : t.added)
            byOne.addToList(s);
        byBatch.addManyToList(t.added);
        EXPECT_EQ(byBatch.controls().ListBox1, byOne.controls().ListBox1);
        EXPECT_EQ(byBatch.controls().ListBox1Index, byOne.controls().ListBox1Index);
    }
}

// A batch larger than one sorting slice is sorted in slices merged stably, with repaints between them.
TEST(ControllerList, LargeBatchKeepsArrivalOrderOfEqualEntries) {
    QStringList added;
    for (int i = 0; i < 50000; ++i) {
        const int k = (i * 7919) % 997;
        added << (i % 2 ? QStringLiteral("/P/IMG_%1.jpg") : QStringLiteral("/p/img_%1.JPG")).arg(k);
    }
    QStringList expected = added;
    std::stable_sort(expected.begin(), expected.end(), entryLess); // one at a time into an empty list
    FakePlatform fake;
    MainController c(fake.platform());
    c.addManyToList(added);
    EXPECT_EQ(c.controls().ListBox1, expected);
    EXPECT_GE(fake.pump.count, 3);
}

TEST(ControllerStart, ConnectivityWarningAndMapPageCleanup) {
    const QString warning =
        QString::fromUtf8("Pas de connexion internet détectée\nLes cartes GoogleMaps ne s'afficheront pas.");
    for (int result : {0, 1, 2, 3}) {
        FakePlatform fake;
        fake.connectivity.result = ConnectionState(result);
        MainController c(fake.platform());
        c.FormCreate();
        c.FormShow({});
        EXPECT_EQ(c.state().InternetAvailable, result == 0);
        EXPECT_EQ(fake.boxes.warnings, result == 0 ? QStringList() : QStringList({warning}));
    }

    // Where the run's folder goes: TEMP when set, else the session's runtime folder when it is
    // private, else the temporary directory.
    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    QTemporaryDir temp, runtime, shared;
    ASSERT_EQ(::chmod(QFile::encodeName(shared.path()).constData(), 0755), 0);
    const struct {
        QString temp, runtime, expected;
    } places[] = {
        {temp.path(), runtime.path(), temp.path()},
        {{}, runtime.path(), runtime.path()},
        {{}, shared.path(), QDir::tempPath()},
        {{}, {}, QDir::tempPath()},
    };
    for (const auto& place : places) {
        qputenv("TEMP", place.temp.toUtf8());
        qputenv("XDG_RUNTIME_DIR", place.runtime.toUtf8());
        FakePlatform fake;
        MainController c(fake.platform());
        c.FormCreate();
        EXPECT_EQ(c.state().TempDir, place.expected) << place.runtime.toStdString();
    }
    qputenv("XDG_RUNTIME_DIR", savedRuntime);

    // The page's folder is made at the first map, fresh for each run, and goes at the end.
    qputenv("TEMP", temp.path().toUtf8());
    QStringList folders;
    for (int run = 0; run < 2; ++run) {
        FakePlatform fake;
        MainController c(fake.platform());
        c.FormCreate();
        c.FormShow({});
        c.FormClose(); // nothing shown yet: nothing to delete
        c.HandleDroppedFiles(
            {makeJpeg(temp.path(), "geo.jpg",
                      gpsItems("N", {{48, 1}, {0, 1}, {0, 1}}, "E", {{2, 1}, {0, 1}, {0, 1}}))});
        const QFileInfo page(c.mapPagePath());
        ASSERT_TRUE(page.exists());
        EXPECT_EQ(page.fileName(), "Vantorel.htm");
        EXPECT_EQ(page.dir().absolutePath(), QDir(temp.path()).absoluteFilePath(page.dir().dirName()));
        EXPECT_TRUE(page.dir().dirName().startsWith("vantorel-"));
        folders << page.absolutePath();
        c.FormClose();
        EXPECT_FALSE(QFileInfo::exists(page.absolutePath()));
    }
    EXPECT_NE(folders[0], folders[1]);
    qunsetenv("TEMP");
}

// The program's pictures come from its data folder only. A folder the program is started from may
// hold files of the same names (an unpacked archive: a photo, a hidden page, a link named like the
// picture): they are never read, and what the view gets is the data folder's bytes.
TEST(ControllerStart, PicturesComeFromTheDataFolderNeverTheWorkingFolder) {
    QTemporaryDir work, data;
    const QString noGeotag = QString::fromUtf8("PhotoPasGeocodée.gif");
    const auto write = [](const QString& path, const QByteArray& bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    };
    write(data.filePath("GeolocEnCours.gif"), "GIF89a busy");
    write(data.filePath(noGeotag), "GIF89a no position");
    write(work.filePath(".p.htm"), "<script>fetch('file:///etc/shadow')</script>");
    ASSERT_TRUE(QFile::link(work.filePath(".p.htm"), work.filePath(noGeotag)));
    ASSERT_TRUE(QFile::link(work.filePath(".p.htm"), work.filePath("GeolocEnCours.gif")));
    const QString photo = makeJpeg(work.path(), "vacances.jpg");
    const QString saved = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(work.path()));

    for (const bool withData : {true, false}) {
        SCOPED_TRACE(withData);
        FakePlatform fake;
        MainController c(fake.platform());
        c.FormCreate();
        c.FormShow(withData ? QStringList{data.path()} : QStringList{});
        EXPECT_EQ(c.state().BusyGifPath, withData ? data.filePath("GeolocEnCours.gif") : QString());
        EXPECT_EQ(c.state().NoGeotagGifPath, withData ? data.filePath(noGeotag) : QString());
        c.controls().CheckBox4 = true;
        c.HandleDroppedFiles({photo});
        ASSERT_EQ(fake.browser.pictures.size(), 1);
        EXPECT_EQ(fake.browser.pictures[0], withData ? QByteArray("GIF89a no position") : QByteArray());
        for (const QString& shown : std::as_const(fake.browser.navigations))
            EXPECT_FALSE(shown.startsWith(work.path())) << shown.toStdString();
    }
    QDir::setCurrent(saved);
}

} // namespace

// A "geo:" link the program starts with opens the window on the map at that position, which
// becomes the new latitude and longitude; offline, the fields are filled and no page is shown.
TEST(ControllerStart, GeoLinkShowsTheMapThere) {
    QTemporaryDir temp;
    qputenv("TEMP", temp.path().toUtf8());
    for (const bool online : {true, false}) {
        FakePlatform fake;
        fake.connectivity.result = online ? ConnectionState::Online : ConnectionState::Offline;
        MainController c(fake.platform());
        c.FormCreate();
        c.FormShow({});
        c.controls().CheckBox4 = true;
        c.ShowMapAt(-33.8568, 151.2153);
        EXPECT_EQ(c.controls().geometry.size(), QSize(986, 695));
        EXPECT_EQ(c.controls().Edit7, "-33,85680");
        EXPECT_EQ(c.controls().Edit8, "151,21530");
        if (!online) {
            EXPECT_TRUE(fake.browser.pages.isEmpty());
            continue;
        }
        ASSERT_EQ(fake.browser.pages.size(), 1);
        const QByteArray bytes = fake.browser.pages[0];
        EXPECT_TRUE(bytes.contains("-33.856800") && bytes.contains("151.215300"))
            << "the page is not centred on the link's position";
        c.FormClose();
    }
    qunsetenv("TEMP");
}

// A copy that cannot be written says why on the message's second line: the photo gone, a folder
// or a pipe in its place, not a picture, or what the system refused (here a file size limit).
TEST(CopyFailure, TheReasonReachesTheMessage) {
    QTemporaryDir dir;
    const QString photo = makeJpeg(dir.path(), "IMG.jpg",
                                   gpsItems("N", {{45, 1}, {0, 1}, {0, 1}}, "E", {{2, 1}, {0, 1}, {0, 1}}));
    ASSERT_TRUE(QDir().mkpath(dir.filePath("album.jpg")));
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath("pipe.jpg")).constData(), 0600), 0);
    QFile text(dir.filePath("notes.jpg"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly) && text.write("not a picture") > 0);
    text.close();
    rlimit savedLimit{};
    ::getrlimit(RLIMIT_FSIZE, &savedLimit);

    const struct {
        QString photo;
        QString reason;
        bool fileSizeLimit;
    } cases[] = {
        {dir.filePath("gone.jpg"), dir.filePath("gone.jpg") + " : fichier introuvable", false},
        {dir.filePath("album.jpg"),
         dir.filePath("album.jpg") + " : ce n'est pas un fichier ordinaire (dossier, tube ou périphérique)",
         false},
        {dir.filePath("pipe.jpg"),
         dir.filePath("pipe.jpg") + " : ce n'est pas un fichier ordinaire (dossier, tube ou périphérique)",
         false},
        {dir.filePath("notes.jpg"), dir.filePath("notes.jpg"), false},
        {photo, "fichier trop grand", true},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.photo.toStdString());
        FakePlatform fake;
        MainController c(fake.platform());
        c.FormCreate();
        c.controls().caption = k.photo;
        c.controls().Edit7 = "1";
        c.controls().Edit8 = "2";
        if (k.fileSizeLimit) {
            ::signal(SIGXFSZ, SIG_IGN);
            rlimit small = savedLimit;
            small.rlim_cur = 512;
            ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
        }
        c.BitBtn5Click();
        if (k.fileSizeLimit) ::setrlimit(RLIMIT_FSIZE, &savedLimit);
        ASSERT_EQ(fake.boxes.errors.size(), 1);
        const QStringList lines = fake.boxes.errors[0].split('\n');
        ASSERT_EQ(lines.size(), 2);
        EXPECT_EQ(lines[0], kCoordinatesNotWritten);
        EXPECT_TRUE(lines[1].contains(k.reason)) << lines[1].toStdString();
        EXPECT_FALSE(QFileInfo::exists(copyPathFor(k.photo, kGeotaggedPrefix)));
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::System).filter(".part"), QStringList());
}

// The copy of one photo runs beside the window, which goes on repainting, and shows no progress box:
// its result box comes at once, with nothing over it. A second write replaces the first copy.
TEST(CopyProgress, OnePhotoShowsNoProgressBox) {
    QTemporaryDir dir;
    const QString photo = makeJpeg(dir.path(), "IMG.jpg",
                                   gpsItems("N", {{45, 1}, {0, 1}, {0, 1}}, "E", {{2, 1}, {0, 1}, {0, 1}}));
    ASSERT_TRUE(QFile::resize(photo, qint64(40) << 20)); // data after the picture, as a hole
    FakePlatform fake;
    MainController c(fake.platform());
    c.FormCreate();
    c.controls().caption = photo;
    c.controls().Edit7 = "1";
    c.controls().Edit8 = "2";
    c.BitBtn5Click();
    const QString copy = copyPathFor(photo, kGeotaggedPrefix);
    ASSERT_EQ(fake.boxes.confirmations.size(), 1);
    EXPECT_EQ(QFileInfo(copy).size(), qint64(40) << 20);
    EXPECT_TRUE(fake.progress.labels.isEmpty());
    EXPECT_TRUE(fake.progress.advances.isEmpty());

    c.controls().Edit7 = "3";
    fake.boxes.answerYes = true;
    c.controls().eraseAllLocation = true;
    c.BitBtn23Click();
    EXPECT_EQ(fake.boxes.confirmations.size(), 2);
    EXPECT_TRUE(fake.boxes.confirmations[1].contains("Retirés : "))
        << fake.boxes.confirmations[1].toStdString();
    EXPECT_TRUE(fake.progress.labels.isEmpty());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList({"#IMG.jpg", "IMG.jpg", "~IMG.jpg"}));
}

// The list's model tells its views exactly which rows each change inserted or removed (a batch into
// a non-empty list starts over), and stays consistent for a view at every step.
TEST(ControllerList, ModelTellsTheRowsThatChanged) {
    FakePlatform fake;
    MainController c(fake.platform());
    EntryListModel& model = c.listModel();
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    struct Step {
        const char* name;
        std::function<void()> change;
        char told; // '+' rows inserted, '-' rows removed, 'r' reset, 0 nothing
        int first, last;
        QStringList list;
    };
    const std::vector<Step> steps = {
        {"many into the empty list",
         [&] {
             c.addManyToList({"/p/d", "/p/B", "/p/a"});
         },
         '+',
         0,
         2,
         {"/p/a", "/p/B", "/p/d"}},
        {"one at the front", [&] { c.addToList("/p/0"); }, '+', 0, 0, {"/p/0", "/p/a", "/p/B", "/p/d"}},
        {"one after its equal",
         [&] { c.addToList("/p/b"); },
         '+',
         3,
         3,
         {"/p/0", "/p/a", "/p/B", "/p/b", "/p/d"}},
        {"one at the end",
         [&] { c.addToList("/p/e"); },
         '+',
         5,
         5,
         {"/p/0", "/p/a", "/p/B", "/p/b", "/p/d", "/p/e"}},
        {"one removed", [&] { c.removeFromList(2); }, '-', 2, 2, {"/p/0", "/p/a", "/p/b", "/p/d", "/p/e"}},
        {"none removed outside",
         [&] { c.removeFromList(5); },
         0,
         0,
         0,
         {"/p/0", "/p/a", "/p/b", "/p/d", "/p/e"}},
        {"many among others",
         [&] {
             c.addManyToList({"/p/f", "/p/c"});
         },
         'r',
         0,
         0,
         {"/p/0", "/p/a", "/p/b", "/p/c", "/p/d", "/p/e", "/p/f"}},
        {"the last removed",
         [&] { c.removeFromList(6); },
         '-',
         6,
         6,
         {"/p/0", "/p/a", "/p/b", "/p/c", "/p/d", "/p/e"}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        inserted.clear();
        removed.clear();
        reset.clear();
        step.change();
        EXPECT_EQ(inserted.size(), step.told == '+' ? 1 : 0);
        EXPECT_EQ(removed.size(), step.told == '-' ? 1 : 0);
        EXPECT_EQ(reset.size(), step.told == 'r' ? 1 : 0);
        QSignalSpy& spy = step.told == '+' ? inserted : removed;
        if ((step.told == '+' || step.told == '-') && spy.size() == 1) {
            EXPECT_EQ(spy[0][1].toInt(), step.first);
            EXPECT_EQ(spy[0][2].toInt(), step.last);
        }
        EXPECT_EQ(c.controls().ListBox1, step.list);
        EXPECT_EQ(model.rowCount(), step.list.size());
        for (int row = 0; row < step.list.size(); ++row)
            EXPECT_EQ(model.data(model.index(row)).toString(), step.list[row]);
    }
}
