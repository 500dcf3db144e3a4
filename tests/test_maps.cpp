// SPDX-License-Identifier: GPL-3.0-or-later
// The maps room: view sector geometry, the photo map page, browser codes and the page's file, and
// the map step of the selection with recorded browsers.
#include "controller/maincontroller.h"
#include "doubles.h"
#include "files/atomicfile.h"
#include "fixtures.h"
#include "maps/browsercodes.h"
#include "maps/mapnavigation.h"
#include "maps/mappage.h"
#include "maps/mappagefile.h"
#include "maps/photomappage.h"
#include "maps/viewsector.h"
#include "tables/gridcolumns.h"
#include "tables/stringgrid.h"
#include "text/escape.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QUrl>
#include <cmath>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace vantorel;
using namespace vantorel::test;

namespace {

constexpr quint32 kGpsImgDirRef = 0x10, kGpsImgDir = 0x11, kModel = 0x0110, kFocalLength = 0x920A;

// Great-circle distance in kilometres on the sector's sphere.
double distanceKm(double lat1, double lon1, double lat2, double lon2) {
    const double r = M_PI / 180;
    const double a = std::sin((lat2 - lat1) * r / 2), b = std::sin((lon2 - lon1) * r / 2);
    return 2 * EarthRadius / 1000 *
           std::asin(std::sqrt(a * a + std::cos(lat1 * r) * std::cos(lat2 * r) * b * b));
}

struct SectorCase {
    const char* name;
    QString lat, lon;
    ViewSectorInputs in;
    float sensor, angle, heading, bearing1, bearing2;
    QString declinationText;
};

TEST(ViewSector, EdgeCasesOfTheGeometry) {
    const auto inputs = [](float dir, bool magnetic, bool landscape, float focal, QString model,
                           bool autoDecl = true, QString edit1 = "-1,0", QString edit2 = "0",
                           bool autoSensor = true, QString combo = "1/2.4\"") {
        return ViewSectorInputs{dir,      magnetic, landscape, focal,      model,
                                autoDecl, edit1,    edit2,     autoSensor, combo};
    };
    const float tan30Focal = float(5.92 / (2 * std::tan(M_PI / 6)));
    const QList<SectorCase> cases = {
        {"unknown camera: no sensor, no angle", "48,2", "2,3", inputs(120, true, true, 10, "Canon"), 0, 0,
         122, 122, 122, "2"},
        {"HX5V landscape", "48,2", "2,3", inputs(0, true, true, 4.25f, "DSC-HX5V"), 5.92f, 69.71f, 2, -32.86f,
         36.86f, "2"},
        {"HX5V portrait uses the height", "48,2", "2,3", inputs(0, true, false, 4.25f, "DSC-HX5V"), 4.57f,
         56.53f, 2, -26.27f, 30.27f, "2"},
        {"latitude 90 in the last band", "90", "0", inputs(0, true, true, 10, ""), 0, 0, 6, 6, 6, "6"},
        {"latitude -60 in -60..-30", "-60", "0", inputs(0, true, true, 10, ""), 0, 0, -24, -24, -24, "-24"},
        {"longitude 180 in the last band", "0", "180", inputs(0, true, true, 10, ""), 0, 0, 6, 6, 6, "6"},
        {"outside the grid", "91", "0", inputs(0, true, true, 10, ""), 0, 0, 0, 0, 0, ""},
        {"true north ignores the declination, keeps the correction", "48,2", "2,3",
         inputs(10, false, true, 10, "", true, "-1,0", "3"), 0, 0, 13, 13, 13, "2"},
        {"manual -1.0 with a comma locale counts as 0", "48,2", "2,3",
         inputs(10, true, true, 10, "", false, "-1.0"), 0, 0, 10, 10, 10, "-1.0"},
        {"manual declination", "48,2", "2,3", inputs(10, true, true, 10, "", false, "-3,5"), 0, 0, 6.5f, 6.5f,
         6.5f, "-3,5"},
        {"true north, 60 degree view", "48,2", "2,3",
         inputs(0, false, true, tan30Focal, "", true, "-1,0", "0", false, "1/2.4\""), 5.92f, 60, 0, -30, 30,
         "2"},
        {"no wrap at 360", "48,2", "2,3", inputs(359, true, true, 10, ""), 0, 0, 361, 361, 361, "2"},
        {"focal length 0 gives no angle", "48,2", "2,3", inputs(0, true, true, 0, "DSC-HX5V"), 5.92f, 0, 2, 2,
         2, "2"},
        {"manual sensor not in the table", "48,2", "2,3",
         inputs(0, true, true, 10, "", true, "", "0", false, "1/9\""), 0, 0, 2, 2, 2, "2"},
        {"text that is no number is 0", "abc", "2,3", inputs(0, true, true, 10, ""), 0, 0, 0, 0, 0, "0"},
    };
    for (const SectorCase& t : cases) {
        SCOPED_TRACE(t.name);
        const ViewSector s = ComputeViewSector(t.lat, t.lon, t.in);
        EXPECT_FLOAT_EQ(s.SensorSize, t.sensor);
        EXPECT_NEAR(s.AngleOfView, t.angle, 0.01);
        EXPECT_NEAR(s.Heading, t.heading, 0.01);
        EXPECT_NEAR(s.Bearing1, t.bearing1, 0.01);
        EXPECT_NEAR(s.Bearing2, t.bearing2, 0.01);
        EXPECT_EQ(s.DeclinationText, t.declinationText);
        EXPECT_TRUE(std::isfinite(s.Edge1Latitude) && std::isfinite(s.Edge2Longitude));
    }
}

TEST(ViewSector, CornersLie100KmAwayWrittenWithSixDecimals) {
    ViewSectorInputs in;
    in.ViewDirection = 120;
    in.automaticSensorSize = false;
    in.manualSensorSizeText = "1/2.4\"";
    const ViewSector s = ComputeViewSector("48,2", "2,3", in);
    EXPECT_NEAR(s.AngleOfView, 2 * std::atan(5.92 / 20) * 180 / M_PI, 1e-4);
    EXPECT_NEAR(distanceKm(48.2, 2.3, s.Edge1Latitude, s.Edge1Longitude), 100, 0.01);
    EXPECT_NEAR(distanceKm(48.2, 2.3, s.Edge2Latitude, s.Edge2Longitude), 100, 0.01);
    // The corner lies on its bearing: south-east for 120 + 2 - 16,5.
    EXPECT_LT(s.Edge1Latitude, 48.2f);
    EXPECT_GT(s.Edge1Longitude, 2.3f);
    for (const QString& text :
         {s.edge1LatitudeText, s.edge1LongitudeText, s.edge2LatitudeText, s.edge2LongitudeText})
        EXPECT_TRUE(QRegularExpression("^-?[0-9]+,[0-9]{6}$").match(text).hasMatch()) << text.toStdString();
    EXPECT_EQ(sectorCaption(s, true), QString::fromUtf8("Cap visé : 122°   Angle : 33°   Déclinaison : 2°   "
                                                        "Capteur : 5,92 mm"));
}

TEST(ViewSector, CaptionInItsFourForms) {
    ViewSector s;
    s.Heading = 122.4f;
    s.AngleOfView = 33.03f;
    s.DeclinationText = "2";
    s.SensorSize = 5.92f;
    EXPECT_EQ(sectorCaption(s, true),
              QString::fromUtf8("Cap visé : 122°   Angle : 33°   Déclinaison : 2°   Capteur : 5,92 mm"));
    EXPECT_EQ(sectorCaption(s, false),
              QString::fromUtf8("Cap visé : 122°   Angle : 33°   Nord géographique    Capteur : 5,92 mm"));
    s.SensorSize = 0;
    s.AngleOfView = 0;
    EXPECT_EQ(sectorCaption(s, true),
              QString::fromUtf8("Cap visé : 122°   Angle : 0°   Déclinaison : 2°   Capteur inconnu"));
    EXPECT_EQ(sectorCaption(s, false),
              QString::fromUtf8("Cap visé : 122°   Angle : 0°   Nord géographique    Capteur inconnu"));
}

TEST(ViewSector, SensorTableIsTheComboList) {
    const QStringList items = sensorSizeItems();
    ASSERT_EQ(items.size(), 18);
    EXPECT_EQ(items.first(), "1/6\"");
    EXPECT_EQ(items.last(), "4/3\"");
    EXPECT_EQ(items.indexOf("1/2.33\""), 9);
    EXPECT_EQ(items.indexOf("1/1.75\""), 12);
    EXPECT_EQ(items.indexOf("1/2.4\""), 7);
}

StringGrid coordinateGrid(const QString& name, const QString& latText, const QString& lonText,
                          const QString& lat, const QString& lon) {
    StringGrid SG1(CoordColumnCount, 2);
    SG1.setRowCommaText(0, QString::fromUtf8("\"Photo géocodée\",Latitude,Longitude,Lati,Longi,File_name"));
    SG1.setCell(CoordName, 1, name);
    SG1.setCell(CoordLatitudeText, 1, latText);
    SG1.setCell(CoordLongitudeText, 1, lonText);
    SG1.setCell(CoordLatitudeDegrees, 1, lat);
    SG1.setCell(CoordLongitudeDegrees, 1, lon);
    return SG1;
}

TEST(PhotoMapPage, SouthWestPhotoWithAndWithoutDirection) {
    const StringGrid SG1 =
        coordinateGrid("l'église.jpg", "S 33°  52,071'", "W 151°  12,439'", "33,86785", "151,20732");
    std::optional<PhotoMapPage> page = photoMapPageFromGrid(SG1);
    ASSERT_TRUE(page);
    MapSettings google;
    google.library = MapLibrary::Google;
    const QString g = QString::fromUtf8(BuildPhotoMapPage(*page, google));
    EXPECT_TRUE(g.contains("\nvar myLatlng = new google.maps.LatLng(-33.86785, -151.20732);"));
    EXPECT_TRUE(g.contains(QString::fromUtf8("\ntitle: \"l église.jpg\"\n")));
    EXPECT_TRUE(g.startsWith("<html><head>\n<meta charset=\"utf-8\">"));
    EXPECT_TRUE(g.endsWith("</html>"));
    EXPECT_EQ(g.count('\n') + 1, 24); // the 23 lines of the template and the charset line
    EXPECT_FALSE(g.contains("Polygon"));
    EXPECT_TRUE(g.contains("maps/api/js?v=3.exp&sensor=false\""));
    google.googleMapsKey = "k&y\"";
    EXPECT_TRUE(BuildPhotoMapPage(*page, google).contains("sensor=false&key=k%26y%22\""));

    page->sector = PhotoMapPage::Corners{"-34,761000", "-150,900000", "-34,700000", "-151,5"};
    const QString withSector = QString::fromUtf8(BuildPhotoMapPage(*page, google));
    EXPECT_TRUE(
        withSector.contains("\nvar tableauPointsPolygone = [\nnew google.maps.LatLng(-33.86785, -151.20732),"
                            "\nnew google.maps.LatLng(-34.761000, -150.900000),"
                            "\nnew google.maps.LatLng(-34.700000, -151.5),"
                            "\nnew google.maps.LatLng(-33.86785, -151.20732)\n];"));
    EXPECT_EQ(withSector.count('\n') + 1, 35);

    const QString leaflet = QString::fromUtf8(BuildPhotoMapPage(*page, MapSettings{}));
    EXPECT_TRUE(leaflet.contains("\nvar myLatlng = L.latLng(-33.86785, -151.20732);"));
    EXPECT_TRUE(leaflet.contains("L.polygon(tableauPointsPolygone)"));
    EXPECT_TRUE(leaflet.contains("L.latLng(-34.761000, -150.900000)"));
    EXPECT_TRUE(leaflet.contains("vantorelBaseMap(myLatlng, 13)"));
    EXPECT_TRUE(leaflet.contains("https://tile.openstreetmap.org/{z}/{x}/{y}.png"));
    EXPECT_TRUE(leaflet.contains("OpenStreetMap"));
    EXPECT_FALSE(leaflet.contains("googleapis"));
    EXPECT_FALSE(leafletAssets().script.isEmpty()) << "libjs-leaflet missing";
    EXPECT_TRUE(leaflet.contains(QString::fromUtf8(leafletAssets().script.left(200))));

    EXPECT_FALSE(photoMapPageFromGrid(coordinateGrid("a.jpg", "", "", "", "")) == std::nullopt);
    StringGrid notGeotagged = SG1;
    notGeotagged.setRowCommaText(0, "\"Cette photo n'est pas géocodée\",,,Lati,Longi,File_name");
    EXPECT_EQ(photoMapPageFromGrid(notGeotagged), std::nullopt);
}

TEST(PhotoMapPage, HostileNamesStayOneStringAndNumbersStayNumbers) {
    const QStringList names = {
        "</script><img src=x onerror=alert(1)>.jpg",
        "back\\",
        "line\nbreak\r.jpg",
        QString::fromUtf8("sep\u2028arator\u2029.jpg"),
        "quote\"'.jpg",
        "<!--<script>.jpg",
        "",
    };
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        PhotoMapPage page;
        page.latitudeText = "48,1";
        page.longitudeText = "2,5);alert(1";
        page.title = name;
        for (MapLibrary library : {MapLibrary::Leaflet, MapLibrary::Google}) {
            MapSettings settings;
            settings.library = library;
            const QByteArray bytes = BuildPhotoMapPage(page, settings);
            const QString expected = jsStringLiteral(blankQuotes(name.isEmpty() ? kNoDesignation : name));
            EXPECT_TRUE(QString::fromUtf8(bytes).contains("title: " + expected));
            // Only the page's own script blocks close; nothing of the name reads as markup.
            EXPECT_EQ(bytes.count("</script"), library == MapLibrary::Leaflet ? 2 : 2);
            EXPECT_FALSE(bytes.contains("<img"));
            EXPECT_FALSE(bytes.contains(");alert"));
            EXPECT_FALSE(bytes.contains("\xe2\x80\xa8"));
        }
    }
    EXPECT_EQ(pageNumber("48,5"), "48.5");
    EXPECT_EQ(pageNumber("-151,20732"), "-151.20732");
    EXPECT_EQ(pageNumber("1,5E-5"), "1.5E-5");
    EXPECT_EQ(pageNumber("12345,6"), "0"); // the comma beyond the fifth character stays: no number
    EXPECT_EQ(pageNumber("0);alert(1"), "0");
}

TEST(BrowserCodes, DesktopEntriesAndLaunchLists) {
    const QList<QPair<QString, QString>> entries = {
        {"firefox.desktop", "FF"},  {"firefox-esr.desktop", "FF"},   {"org.mozilla.firefox.desktop", "FF"},
        {"chromium.desktop", "CH"}, {"google-chrome.desktop", "CH"}, {"com.google.Chrome.desktop", "CH"},
        {"opera.desktop", "OP"},    {"epiphany.desktop", ""},        {"", ""},
    };
    for (const auto& [entry, code] : entries)
        EXPECT_EQ(browserCodeFor(entry), code) << entry.toStdString();

    const QString page = "/tmp/my folder/vantorel-1000/Vantorel.htm";
    const BrowserLaunch ch = browserLaunchFor("CH", page);
    EXPECT_EQ(ch.programs, QStringList({"chromium", "google-chrome", "chromium-browser"}));
    EXPECT_EQ(ch.arguments,
              QStringList({"--start", "--window-position=0,0", "--window-size=800,600", "--app=" + page}));
    const BrowserLaunch ff = browserLaunchFor("FF", page);
    EXPECT_EQ(ff.programs, QStringList({"firefox"}));
    EXPECT_EQ(ff.arguments, QStringList({"-url", page, "-fullscreen"}));
    EXPECT_TRUE(browserLaunchFor("OP", page).programs.isEmpty());
    EXPECT_TRUE(browserLaunchFor("", page).programs.isEmpty());
}

TEST(MapPageFile, FreshPrivateFolderForEachRun) {
    QTemporaryDir temp;
    MapPageFolder run;
    EXPECT_TRUE(run.folder().isEmpty());
    ASSERT_TRUE(run.writePage(temp.path(), "one"));
    const QString page = run.pagePath(temp.path());
    EXPECT_EQ(QFileInfo(page).fileName(), "Vantorel.htm");
    EXPECT_EQ(QFileInfo(page).absolutePath(), run.folder());
    EXPECT_TRUE(QFileInfo(run.folder()).fileName().startsWith("vantorel-"));
    struct stat st {};
    ASSERT_EQ(lstat(QFile::encodeName(run.folder()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(fileBytes(page), "one");
    ASSERT_TRUE(run.writePage(temp.path(), "two")); // the same folder for the whole run
    EXPECT_EQ(run.pagePath(temp.path()), page);
    EXPECT_EQ(fileBytes(page), "two");

    // Another run gets another folder; the end of a run removes its own only.
    {
        MapPageFolder other;
        ASSERT_TRUE(other.writePage(temp.path(), "other"));
        EXPECT_NE(other.folder(), run.folder());
    }
    EXPECT_EQ(fileBytes(page), "two");
    run.remove();
    EXPECT_FALSE(QFileInfo::exists(QFileInfo(page).absolutePath()));
    EXPECT_EQ(QDir(temp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
              QStringList());

    // No folder can be made: an error, and the page's name stays in the folder asked for.
    QString why;
    MapPageFolder nowhere;
    EXPECT_FALSE(nowhere.writePage(temp.filePath("missing/deeper"), "three", &why));
    EXPECT_FALSE(why.isEmpty());
    EXPECT_EQ(nowhere.pagePath(temp.filePath("missing")), temp.filePath("missing/Vantorel.htm"));
}

// Someone who may write in the temporary folder's parent renames the run's folder away and puts
// theirs, with their page, in its place: the program still writes into the folder it made, never
// into theirs, and at the end removes only what it made.
TEST(MapPageFile, ASwappedFolderIsNeverUsed) {
    QTemporaryDir temp;
    MapPageFolder run;
    ASSERT_TRUE(run.writePage(temp.path(), "ours"));
    const QString folder = run.folder();
    const QString movedAway = temp.filePath("moved");
    ASSERT_EQ(::rename(QFile::encodeName(folder).constData(), QFile::encodeName(movedAway).constData()), 0);
    ASSERT_TRUE(QDir().mkdir(folder));
    QFile planted(QDir(folder).filePath("Vantorel.htm"));
    ASSERT_TRUE(planted.open(QIODevice::WriteOnly));
    planted.write("theirs");
    planted.close();

    EXPECT_FALSE(run.stillAtItsPath());
    ASSERT_TRUE(run.writePage(temp.path(), "ours again"));
    EXPECT_EQ(fileBytes(QDir(folder).filePath("Vantorel.htm")), "theirs");
    EXPECT_EQ(fileBytes(QDir(movedAway).filePath("Vantorel.htm")), "ours again");
    run.remove();
    // Theirs is left as it is; ours lost its page (its name is someone else's now, so it stays).
    EXPECT_EQ(fileBytes(QDir(folder).filePath("Vantorel.htm")), "theirs");
    EXPECT_FALSE(QFileInfo::exists(QDir(movedAway).filePath("Vantorel.htm")));
}

// Folders that killed runs left are removed at the next start: only this user's, only those whose
// process is gone, and only the files the program writes there.
TEST(MapPageFile, StaleFoldersOfDeadRunsAreRemoved) {
    QTemporaryDir temp;
    const pid_t dead = fork();
    if (dead == 0) _exit(0);
    ASSERT_GT(dead, 0);
    waitpid(dead, nullptr, 0);
    const auto folderOf = [&](pid_t pid, const char* suffix, const QStringList& files) {
        const QString path = temp.filePath(QStringLiteral("vantorel-%1-%2").arg(pid).arg(suffix));
        EXPECT_TRUE(QDir().mkdir(path));
        for (const QString& file : files) {
            QFile f(QDir(path).filePath(file));
            EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        }
        return path;
    };
    const QString stale = folderOf(dead, "abc", {"Vantorel.htm", "Vantorel-navigateur.htm"});
    const QString staleWithOther = folderOf(dead, "def", {"Vantorel.htm", "notes.txt"});
    const QString alive = folderOf(getppid(), "ghi", {"Vantorel.htm"});
    const QString notOurs = folderOf(dead, "Not-Ours", {"Vantorel.htm"});
    const QString webStorage = temp.filePath(QStringLiteral("vantorel-web-%1-jkl").arg(dead));
    ASSERT_TRUE(QDir().mkpath(webStorage + "/Local Storage/leveldb"));
    QFile(webStorage + "/Local Storage/leveldb/000003.log").open(QIODevice::WriteOnly);

    EXPECT_EQ(MapPageFolder::removeStaleFolders(temp.path()), 2);
    EXPECT_FALSE(QFileInfo::exists(stale));
    EXPECT_FALSE(QFileInfo::exists(webStorage));
    EXPECT_EQ(QDir(staleWithOther).entryList(QDir::Files), QStringList{"notes.txt"});
    EXPECT_TRUE(QFileInfo::exists(QDir(alive).filePath("Vantorel.htm")));
    EXPECT_TRUE(QFileInfo::exists(QDir(notOurs).filePath("Vantorel.htm")));
}

// What a map view may open: the program's server, the map hosts in frames of a map and for the
// page's requests; never a local file, never another server of this machine.
TEST(MapNavigation, OnlyTheServerAndTheMapHosts) {
    MapSettings osm;
    MapSettings subdomains;
    subdomains.tileUrl = "https://{s}.tiles.example.org/{z}/{x}/{y}.png";
    MapSettings google;
    google.library = MapLibrary::Google;
    const QString server = "http://127.0.0.1:4242";
    const struct {
        const MapSettings& settings;
        QString url;
        bool mainFrame, subFrame, request;
    } cases[] = {
        {osm, server + "/token/CppWebBrowser1/Vantorel.htm", true, true, true},
        {osm, "about:blank", true, true, false},
        {osm, "file:///etc/shadow", false, false, false},
        {osm, "file:///tmp/work/PhotoPasGeocod%C3%A9e.gif", false, false, false},
        {osm, "http://127.0.0.1:4243/leak", false, false, false},
        {osm, "http://localhost:4242/token/CppWebBrowser1/Vantorel.htm", false, false, false},
        {osm, "https://127.0.0.1:4242/x", false, false, false},
        {osm, "https://tile.openstreetmap.org/13/4150/2818.png", false, true, true},
        {osm, "http://tile.openstreetmap.org/13/4150/2818.png", false, false, false},
        {osm, "https://www.openstreetmap.org/copyright", false, false, false},
        {osm, "https://maps.googleapis.com/maps/api/js", false, false, false},
        {osm, "data:image/png;base64,AAAA", false, false, true},
        {osm, "javascript:alert(1)", false, false, false},
        {subdomains, "https://b.tiles.example.org/1/0/0.png", false, true, true},
        {subdomains, "https://tiles.example.org/1/0/0.png", false, true, true},
        {subdomains, "https://a.b.tiles.example.org/1/0/0.png", false, false, false},
        {subdomains, "https://eviltiles.example.org/1/0/0.png", false, false, false},
        {google, "https://maps.googleapis.com/maps/api/js", false, true, true},
        {google, "https://khms0.google.com/kh/v=1", false, true, true},
        {google, "https://google.com.evil.example/x", false, false, false},
        {google, "http://maps.googleapis.com/maps/api/js", false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url.toStdString());
        const MapHosts hosts(server, c.settings);
        const QUrl url(c.url);
        EXPECT_EQ(hosts.navigationAllowed(url, true, false), c.mainFrame);
        EXPECT_EQ(hosts.navigationAllowed(url, false, false), c.subFrame);
        EXPECT_EQ(hosts.requestAllowed(url), c.request);
    }
    // The program's own page shown as a data: address (no server) is the only data: a view goes to.
    const MapHosts hosts(server, osm);
    EXPECT_TRUE(hosts.navigationAllowed(QUrl("data:text/html,<p>"), true, true));
    EXPECT_FALSE(hosts.navigationAllowed(QUrl("data:text/html,<p>"), true, false));
    // Before the server serves, nothing of 127.0.0.1 is.
    EXPECT_FALSE(MapHosts(QString(), osm).navigationAllowed(QUrl(server + "/x"), true, false));
}

// The tile cache folder is used only when it is this user's, private, and not a link.
TEST(MapCache, ForeignOrLinkedCacheFolderIsRefused) {
    QTemporaryDir home;
    const QByteArray saved = qgetenv("XDG_CACHE_HOME");
    qputenv("XDG_CACHE_HOME", home.filePath("cache").toUtf8());
    const QString folder = home.filePath("cache/vantorel");
    struct stat st {};

    // Fresh: made private.
    EXPECT_EQ(checkedMapCacheFolder(), folder);
    ASSERT_EQ(lstat(QFile::encodeName(folder).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    // Ours but open to others: closed again.
    ASSERT_EQ(chmod(QFile::encodeName(folder).constData(), 0777), 0);
    EXPECT_EQ(checkedMapCacheFolder(), folder);
    ASSERT_EQ(lstat(QFile::encodeName(folder).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    // A link to someone's folder.
    ASSERT_TRUE(QDir(folder).removeRecursively());
    ASSERT_TRUE(QDir().mkdir(home.filePath("theirs")));
    ASSERT_TRUE(QFile::link(home.filePath("theirs"), folder));
    QString why;
    EXPECT_TRUE(checkedMapCacheFolder(&why).isEmpty());
    EXPECT_FALSE(why.isEmpty());
    // Another user's folder.
    ASSERT_TRUE(QFile::remove(folder));
    ASSERT_TRUE(QDir().mkdir(folder));
    if (geteuid() == 0) {
        ASSERT_EQ(chown(QFile::encodeName(folder).constData(), 65534, 65534), 0);
        EXPECT_TRUE(checkedMapCacheFolder().isEmpty());
    }
    qputenv("XDG_CACHE_HOME", saved);
}

class MapStepTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    FakePlatform fake;
    MainController c{fake.platform()};
    MainControls& m = c.controls();
    SharedState& s = c.state();

    void SetUp() override {
        c.FormCreate();
        c.FormShow({});
        s.TempDir = dir.path();
    }
    QString photo(const char* name, bool withDirection, const char* ref = "M") {
        QVector<PropertyItem> items =
            gpsItems("N", {{48, 1}, {12, 1}, {0, 1}}, "E", {{2, 1}, {18, 1}, {0, 1}});
        if (withDirection) {
            items << asciiItem(kGpsImgDirRef, ref) << rationalItem(kGpsImgDir, {{120, 1}})
                  << asciiItem(kModel, "DSC-HX5V") << rationalItem(kFocalLength, {{10, 1}});
        }
        return makeJpeg(dir.path(), name, items);
    }
};

TEST_F(MapStepTest, PageWrittenShownAndCaptioned) {
    m.CheckBox4 = true;
    c.HandleDroppedFiles({photo("dir.jpg", true)});
    ASSERT_EQ(fake.browser.navigations.size(), 2);
    EXPECT_EQ(fake.browser.navigations[0], s.BusyGifPath);
    EXPECT_EQ(fake.browser.navigations[1], c.mapPagePath());
    EXPECT_TRUE(c.mapPagePath().startsWith(dir.path()));
    const QByteArray page = fileBytes(c.mapPagePath());
    EXPECT_TRUE(page.contains("L.latLng(48.20000, 2.30000)"));
    EXPECT_TRUE(page.contains("L.polygon"));
    EXPECT_TRUE(m.Label7Visible);
    EXPECT_EQ(m.Label7,
              QString::fromUtf8("Cap visé : 122°   Angle : 33°   Déclinaison : 2°   Capteur : 5,92 mm"));

    // The view reports the load: the busy sign goes.
    m.Label11Visible = true;
    fake.browser.finishLoading(c.mapPagePath());
    EXPECT_FALSE(m.Label11Visible);

    // Manual settings redraw the photo with a direction.
    m.CheckBox3 = false;
    m.ComboBox1 = "1\"";
    c.CheckBox3Click();
    EXPECT_TRUE(m.manualSensorVisible);
    EXPECT_TRUE(m.Label7.endsWith("Capteur : 12,80 mm"));
    m.CheckBox2 = false;
    c.CheckBox2Click();
    EXPECT_TRUE(m.manualDeclinationVisible);
    EXPECT_TRUE(m.Label7.contains(QString::fromUtf8("Déclinaison : -1,0°")));

    // True north, then a photo without direction: no polygon, caption hidden.
    c.HandleDroppedFiles({photo("true.jpg", true, "T")});
    EXPECT_TRUE(m.Label7.contains(QString::fromUtf8("Nord géographique")));
    c.HandleDroppedFiles({photo("plain.jpg", false)});
    EXPECT_FALSE(m.Label7Visible);
    EXPECT_FALSE(fileBytes(c.mapPagePath()).contains("tableauPointsPolygone"));

    fake.browser.navigations.clear();
    c.CheckBox4Click();
    EXPECT_EQ(fake.browser.navigations, QStringList({"about:blank"}));
}

// What another account put at a name in the temporary folder (a folder open to all with a page of
// its own, or a link to its folder) is never written to nor shown: the page shown is the program's.
TEST_F(MapStepTest, PlantedFoldersAreNeitherUsedNorShown) {
    QTemporaryDir strangers;
    const QString strangerPage = "<script>qt.webChannelTransport</script>";
    const QString folder = dir.filePath(QStringLiteral("vantorel-%1").arg(getuid()));
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(writeFileAtomically(folder + "/Vantorel.htm", strangerPage.toUtf8()));
    ::chmod(QFile::encodeName(folder).constData(), 0755);
    if (getuid() == 0) { // as root the folder can really belong to someone else
        ASSERT_EQ(::chown(QFile::encodeName(folder + "/Vantorel.htm").constData(), 65534, 65534), 0);
        ASSERT_EQ(::chown(QFile::encodeName(folder).constData(), 65534, 65534), 0);
    }
    ASSERT_TRUE(QFile::link(strangers.path(), dir.filePath("Vantorel.htm")));
    m.CheckBox4 = true;
    c.HandleDroppedFiles({photo("dir.jpg", true)});
    ASSERT_EQ(fake.browser.pages.size(), 1);
    EXPECT_TRUE(fake.browser.pages[0].contains("L.latLng(48.20000, 2.30000)"));
    EXPECT_EQ(fake.browser.navigations.last(), c.mapPagePath());
    EXPECT_NE(QFileInfo(c.mapPagePath()).absolutePath(), folder);
    EXPECT_EQ(fileBytes(c.mapPagePath()), fake.browser.pages[0]);
    EXPECT_EQ(fileBytes(folder + "/Vantorel.htm"), strangerPage.toUtf8());
    EXPECT_TRUE(QDir(strangers.path()).isEmpty());
    EXPECT_TRUE(fake.boxes.messages.isEmpty());
}

TEST_F(MapStepTest, NoInternetOrNoGeotagWritesNothing) {
    s.InternetAvailable = false;
    c.HandleDroppedFiles({photo("dir.jpg", true)});
    EXPECT_FALSE(QFileInfo::exists(c.mapPagePath()));
    EXPECT_FALSE(m.Label7Visible);
    s.InternetAvailable = true;
    c.HandleDroppedFiles({makeJpeg(dir.path(), "none.jpg")});
    EXPECT_FALSE(QFileInfo::exists(c.mapPagePath()));
}

TEST_F(MapStepTest, ExternalBrowserLaunchAndUnwritableFolder) {
    s.DefaultBrowserName = "CH";
    fake.externalBrowser.programsOnPath = {"/usr/bin/google-chrome"};
    c.HandleDroppedFiles({photo("dir.jpg", false)});
    ASSERT_EQ(fake.externalBrowser.launches.size(), 1);
    EXPECT_EQ(fake.externalBrowser.launches[0].program, "/usr/bin/google-chrome");
    EXPECT_EQ(fake.externalBrowser.launches[0].arguments.last(),
              "--app=" + QUrl::fromLocalFile(c.mapPagePath()).toString(QUrl::FullyEncoded));

    s.DefaultBrowserName = "OP";
    c.ListBox1Click();
    EXPECT_EQ(fake.boxes.messages, QStringList({QString::fromUtf8("Navigateur non identifié")}));

    // A folder that cannot be written: the message, and the browser is still told to show the page.
    fake.boxes.messages.clear();
    s.TempDir = dir.filePath("missing/deeper");
    m.CheckBox4 = true;
    c.ListBox1Click();
    EXPECT_EQ(fake.boxes.messages,
              QStringList({QString::fromUtf8("Impossible de créer le fichier temporaire \"Vantorel.htm\"")}));
    EXPECT_EQ(fake.browser.navigations.last(), c.mapPagePath());
    ASSERT_FALSE(fake.browser.pages.isEmpty());
    EXPECT_TRUE(fake.browser.pages.last().contains("L.latLng(48.20000, 2.30000)"));
}

TEST(DefaultBrowser, DetectionMessages) {
    struct Case {
        QString entry;
        QString code;
        QStringList messages, yesWarnings;
    };
    const QList<Case> cases = {
        {"firefox.desktop", "FF", {}, {}},
        {"chromium.desktop", "CH", {}, {}},
        {"opera.desktop", "OP", {}, {}},
        {"epiphany.desktop", "", {"Browser inconnu"}, {}},
        {"",
         "",
         {},
         {QString::fromUtf8("Le réglage  \"xdg-settings get default-web-browser\"  n'existe pas")}},
    };
    QTemporaryDir temp;
    qputenv("TEMP", temp.path().toUtf8());
    for (const Case& t : cases) {
        SCOPED_TRACE(t.entry.toStdString());
        FakePlatform fake;
        fake.externalBrowser.answer = {t.entry, "xdg-settings get default-web-browser"};
        fake.externalBrowser.programsOnPath = {"/usr/bin/firefox"};
        MainController c(fake.platform());
        c.FormCreate();
        c.FormShow({});
        // The start does not wait for the desktop's answer: it is asked when a map first goes to
        // the user's browser, and once only.
        EXPECT_EQ(fake.externalBrowser.asked, 0);
        EXPECT_TRUE(fake.boxes.messages.isEmpty());
        const QString photo = makeJpeg(
            temp.path(), "geo.jpg", gpsItems("N", {{48, 1}, {0, 1}, {0, 1}}, "E", {{2, 1}, {0, 1}, {0, 1}}));
        c.HandleDroppedFiles({photo});
        EXPECT_EQ(fake.externalBrowser.asked, 1);
        EXPECT_EQ(c.state().DefaultBrowserName, t.code);
        EXPECT_EQ(fake.boxes.messages.mid(0, t.messages.size()), t.messages);
        EXPECT_EQ(fake.boxes.yesWarnings, t.yesWarnings);
        EXPECT_TRUE(fake.boxes.warnings.isEmpty());
        c.ListBox1Click();
        EXPECT_EQ(fake.externalBrowser.asked, 1);
        EXPECT_EQ(fake.externalBrowser.launches.size(), t.code == "FF" ? 2 : 0);
        c.FormClose();
    }
    qunsetenv("TEMP");
}

// The user's browser is given a file of the run's private folder that sends it to the served page:
// its command line, which every local user can read, shows no address and no token.
TEST_F(MapStepTest, ExternalBrowserGetsAPrivateFileNotTheAddress) {
    const QString address = "http://127.0.0.1:4242/0123456789abcdef0123456789abcdef/navigateur/Vantorel.htm";
    fake.externalBrowser.served = address;
    s.DefaultBrowserName = "FF";
    fake.externalBrowser.programsOnPath = {"/usr/bin/firefox"};
    c.HandleDroppedFiles({photo("dir.jpg", false)});
    ASSERT_EQ(fake.externalBrowser.launches.size(), 1);
    const QStringList arguments = fake.externalBrowser.launches[0].arguments;
    for (const QString& argument : arguments)
        EXPECT_FALSE(argument.contains("0123456789abcdef")) << argument.toStdString();
    const QString file = QUrl(arguments[1]).toLocalFile();
    EXPECT_EQ(QFileInfo(file).fileName(), kBrowserPageName);
    EXPECT_EQ(QFileInfo(file).absolutePath(), QFileInfo(c.mapPagePath()).absolutePath());
    struct stat st {};
    ASSERT_EQ(lstat(QFile::encodeName(file).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(lstat(QFile::encodeName(QFileInfo(file).absolutePath()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    const QByteArray redirect = fileBytes(file);
    EXPECT_TRUE(redirect.contains("url=" + address.toUtf8())) << redirect.constData();
    EXPECT_TRUE(redirect.contains("location.replace(" + jsStringLiteral(address).toUtf8() + ")"))
        << redirect.constData();
    // Gone with the run's folder.
    c.FormClose();
    EXPECT_FALSE(QFileInfo::exists(file));
}

TEST(MapPick, ClickedPositionBecomesTheNewCoordinates) {
    FakePlatform fake;
    MainController c(fake.platform());
    c.MapPositionPicked(48.123456, -2.5);
    EXPECT_EQ(c.controls().Edit7, "48,12346");
    EXPECT_EQ(c.controls().Edit8, "-2,50000");
    c.MapPositionPicked(10, 362.25);
    EXPECT_EQ(c.controls().Edit8, "2,25000");
    c.MapPositionPicked(NAN, 1);
    EXPECT_EQ(c.controls().Edit7, "10,00000");
}

// The tile cache's bound from vantorel.ini, and its folder from XDG_CACHE_HOME.
TEST(MapSettings, TileCacheSizeAndFolder) {
    QTemporaryDir config;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, config.path());
    const struct {
        const char* value;
        int megabytes;
    } sizes[] = {
        {nullptr, 200}, {"50", 50}, {"2047", 2047}, {"0", 200}, {"-5", 200}, {"5000", 200}, {"beaucoup", 200},
    };
    for (const auto& c : sizes) {
        SCOPED_TRACE(c.value ? c.value : "(absent)");
        {
            QSettings file(QSettings::IniFormat, QSettings::UserScope, "vantorel", "vantorel");
            file.clear();
            if (c.value) file.setValue("maps/tileCacheSize", c.value);
        }
        EXPECT_EQ(loadMapSettings().tileCacheMegabytes, c.megabytes);
    }

    const bool wasSet = qEnvironmentVariableIsSet("XDG_CACHE_HOME");
    const QByteArray saved = qgetenv("XDG_CACHE_HOME");
    qputenv("XDG_CACHE_HOME", "/srv/cache");
    EXPECT_EQ(mapCacheFolder(), "/srv/cache/vantorel");
    for (const char* unusable : {"", "relative/cache"}) {
        qputenv("XDG_CACHE_HOME", unusable);
        EXPECT_EQ(mapCacheFolder(), QDir::homePath() + "/.cache/vantorel");
    }
    if (wasSet)
        qputenv("XDG_CACHE_HOME", saved);
    else
        qunsetenv("XDG_CACHE_HOME");
}

} // namespace
