// SPDX-License-Identifier: GPL-3.0-or-later
// The maps' tiles in the real web engine: kept on disk between two runs of the program for as long
// as the server allows, and a notice inside the map when they cannot be had (refused by the
// server, or no server at all), with the markers and the sector still drawn.
#include "mapprofile.h"
#include "maps/mappagefile.h"
#include "maps/photomappage.h"
#include "webmapview.h"
#include "webtest.h"

#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QImage>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWebEngineProfile>
#include <gtest/gtest.h>

using namespace vantorel;
using test::evaluate;
using test::TileServer;

namespace {

const char kNotice[] = "Fond de carte indisponible : pas de réseau ou serveur de tuiles refusé";
// Where the map below is centred, said in the notice since no tile shows it.
const char kCentred[] = ". Carte centrée sur 48,20000 ; 2,30000";

// Shows the map of one photo with its sector, its tiles from `tileUrl`.
void showMap(WebMapView& view, const QString& folder, const QString& tileUrl) {
    MapSettings settings;
    settings.tileUrl = tileUrl;
    mapInterceptor()->setSettings(settings);
    PhotoMapPage page;
    page.latitudeText = "48,2";
    page.longitudeText = "2,3";
    page.title = "photo.jpg";
    page.sector = PhotoMapPage::Corners{"48,25", "2,25", "48,25", "2,35"};
    QSignalSpy loaded(&view, &QWebEngineView::loadFinished);
    view.showPage(QDir(folder).filePath(kMapPageName), BuildPhotoMapPage(page, settings));
    ASSERT_TRUE(loaded.wait(30000));
    ASSERT_TRUE(loaded.first().first().toBool());
}

// Waits until `condition` (a script) is true in the view.
bool waitFor(WebMapView& view, const QString& condition, int milliseconds = 15000) {
    for (int waited = 0; waited < milliseconds; waited += 50) {
        if (evaluate(view, condition).toBool()) return true;
        QTest::qWait(50);
    }
    return false;
}

const QString kTilesLoaded = QStringLiteral(
    "document.querySelectorAll('.leaflet-tile-loaded').length > 0 &&"
    " document.querySelectorAll('.leaflet-tile-container img:not(.leaflet-tile-loaded)').length === 0");

// A plain tile as a PNG.
QByteArray greenTile() {
    QImage tile(256, 256, QImage::Format_RGB32);
    tile.fill(Qt::darkGreen);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    tile.save(&buffer, "PNG");
    return png;
}

// The environment of a child run whose user's folders are in `home`, its tiles from `tiles`.
QProcessEnvironment runEnvironment(const QString& home, const TileServer& tiles) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_CACHE_HOME", home + "/cache");
    environment.insert("XDG_CONFIG_HOME", home + "/config");
    environment.insert("XDG_DATA_HOME", home + "/data");
    environment.insert("VANTOREL_TEST_TILE_URL", tiles.urlTemplate());
    return environment;
}

// One run of the program as a child process: shows the map, waits for its tiles, and ends (the
// application, and with it the maps' profile, closes as the program's does).
TEST(TileCacheRun, ShowsOneMap) {
    const QString tileUrl = qEnvironmentVariable("VANTOREL_TEST_TILE_URL");
    if (tileUrl.isEmpty()) GTEST_SKIP() << "run by TileCache.SecondRunFetchesNothing";
    QTemporaryDir temp;
    WebMapView view(QStringLiteral("CppWebBrowser1"), nullptr);
    view.resize(341, 341);
    view.show();
    showMap(view, temp.path(), tileUrl);
    EXPECT_TRUE(waitFor(view, kTilesLoaded));
    EXPECT_FALSE(evaluate(view, "!!document.getElementById('vantorel-tile-notice')").toBool());
}

TEST(TileCache, SecondRunFetchesNothing) {
    TileServer tiles;
    tiles.serveTiles(greenTile(), 3600);

    QTemporaryDir home;
    QDir().mkpath(home.filePath("temp"));
    QProcessEnvironment environment = runEnvironment(home.path(), tiles);
    environment.insert("TEMP", home.filePath("temp"));
    auto runProgram = [&] {
        QProcess program;
        program.setProcessEnvironment(environment);
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        program.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=TileCacheRun.ShowsOneMap"});
        // The child's requests are answered by this process's event loop.
        for (int i = 0; i < 1200 && !program.waitForFinished(50); ++i)
            QCoreApplication::processEvents();
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 0);
    };

    runProgram();
    const qsizetype first = tiles.requests.size();
    ASSERT_GT(first, 0);
    EXPECT_TRUE(tiles.requests.first().contains("Vantorel/")) << tiles.requests.first().constData();
    EXPECT_TRUE(QDir(home.filePath("cache/vantorel")).exists());

    runProgram();
    EXPECT_EQ(tiles.requests.size(), first) << "the second run fetched tiles again";

    // Nothing but the HTTP cache is kept: no history, page storage, visited links or preferences,
    // in the cache folder or the data folder; the run's page storage went with the run.
    QStringList kept;
    for (const QString& folder :
         {home.filePath("cache/vantorel"), home.filePath("data"), home.filePath("temp")}) {
        QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            const QString name = it.fileName();
            if (name.contains("History") || name.contains("Storage") || name.contains("Visited Links") ||
                name == "user_prefs.json" || path.startsWith(home.filePath("temp")))
                kept << path;
        }
    }
    EXPECT_TRUE(kept.isEmpty()) << kept.join('\n').toStdString();
}

// A tile cache folder that is a link to another user's folder (or theirs) is not used: the maps
// still show, their tiles kept in memory only, and the folder gets nothing.
TEST(TileCache, ALinkedCacheFolderGetsNothing) {
    TileServer tiles;
    tiles.serveTiles(greenTile(), 3600);

    QTemporaryDir home;
    ASSERT_TRUE(QDir().mkpath(home.filePath("theirs")));
    ASSERT_TRUE(QDir().mkpath(home.filePath("cache")));
    ASSERT_TRUE(QFile::link(home.filePath("theirs"), home.filePath("cache/vantorel")));
    const QProcessEnvironment environment = runEnvironment(home.path(), tiles);
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=TileCacheRun.ShowsOneMap"});
    for (int i = 0; i < 1200 && !program.waitForFinished(50); ++i)
        QCoreApplication::processEvents();
    EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardOutput().constData();
    EXPECT_GT(tiles.requests.size(), 0);
    EXPECT_TRUE(program.readAllStandardError().contains("Cache des tuiles refus"));
    EXPECT_EQ(QDir(home.filePath("theirs")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList());
}

// A map whose tiles cannot be had says so inside the map and keeps its marker and sector.
TEST(TileNotice, RefusedOrNoServer) {
    TileServer refusing;
    refusing.refuse(403, "Forbidden");
    QTcpServer closed; // a port nobody answers on
    closed.listen(QHostAddress::LocalHost, 0);
    const QString nowhere = QStringLiteral("http://127.0.0.1:%1/{z}/{x}/{y}.png").arg(closed.serverPort());
    closed.close();

    const struct {
        QString tileUrl;
        QString expected;
    } cases[] = {
        {refusing.urlTemplate(), QString::fromUtf8(kNotice) + " (HTTP 403)" + QString::fromUtf8(kCentred)},
        {nowhere, QString::fromUtf8(kNotice) + QString::fromUtf8(kCentred)},
    };
    QTemporaryDir temp;
    WebMapView view(QStringLiteral("CppWebBrowser1"), nullptr);
    view.resize(341, 341);
    view.show();
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tileUrl.toStdString());
        const QString folder = temp.filePath(QString::number(n++));
        QDir().mkpath(folder);
        showMap(view, folder, c.tileUrl);
        const QString text =
            "(document.getElementById('vantorel-tile-notice') || {textContent: ''}).textContent";
        ASSERT_TRUE(waitFor(view, text + " !== ''"));
        // The status arrives a moment after the notice.
        waitFor(view, "(" + text + ").indexOf('HTTP') >= 0", c.expected.contains("HTTP") ? 5000 : 500);
        EXPECT_EQ(evaluate(view, text).toString(), c.expected);
        EXPECT_TRUE(
            evaluate(view, "document.querySelectorAll('.leaflet-marker-icon').length === 1").toBool());
        EXPECT_TRUE(evaluate(view, "document.querySelectorAll('.leaflet-overlay-pane canvas, "
                                   ".leaflet-overlay-pane path').length > 0")
                        .toBool());
    }
}

} // namespace
