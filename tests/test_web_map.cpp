// SPDX-License-Identifier: GPL-3.0-or-later
// The map pages in the real web engine, offscreen: hostile file names run no script and read back
// as the marker's title, tile requests name the program and carry a referrer, a click on the map
// reaches the window. Tiles go to a local server of the test: nothing leaves the machine.
#include "doubles.h"
#include "fixtures.h"
#include "maps/mappage.h"
#include "maps/overviewpage.h"
#include "maps/photomappage.h"
#include "maps/placingmappage.h"
#include "pageserver.h"
#include "tables/gridcolumns.h"
#include "tables/stringgrid.h"
#include "webmapview.h"
#include "webtest.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QWebEnginePage>
#include <gtest/gtest.h>

using namespace vantorel;

namespace {

using test::evaluate;
using test::TileServer;

TEST(WebMap, HostileNamesTilesAndClicks) {
    TileServer tiles;
    QList<QUrl> outside;
    mapInterceptor()->observer = [&](const QUrl& url) {
        const bool remote = (url.scheme() == "http" || url.scheme() == "https") && url.host() != "127.0.0.1";
        if (remote) outside << url;
        return remote;
    };
    MapSettings settings;
    settings.tileUrl = tiles.urlTemplate();
    mapInterceptor()->setSettings(settings);

    QTemporaryDir temp;
    WebMapView view(QStringLiteral("CppWebBrowser1"), nullptr);
    view.resize(341, 341);
    view.show();
    test::RecordingBoxes unused;
    QStringList completed;
    view.CppWebBrowser1NavigateComplete2 = [&](const QString& url) { completed << url; };

    const QStringList names = {
        "</script><img src=x onerror=\"window.pwned=1\">.jpg",
        "l'église \"x\".jpg",
        "back\\",
        QString::fromUtf8("line\nbreak\u2028<b onmouseover=window.pwned=2>.jpg"),
    };
    int n = 0;
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        PhotoMapPage page;
        page.latitudeText = "48,2";
        page.longitudeText = "2,3";
        page.title = name;
        page.sector = PhotoMapPage::Corners{"47,4", "2,9", "47,5", "3,3"};
        const QString path = temp.filePath(QString::number(n++) + ".htm");
        QSignalSpy loaded(&view, &QWebEngineView::loadFinished);
        view.showPage(path, BuildPhotoMapPage(page, settings));
        ASSERT_TRUE(loaded.wait(30000));
        EXPECT_TRUE(loaded.first().first().toBool());
        QString title;
        for (int i = 0; i < 100 && title.isEmpty(); ++i) {
            title = evaluate(view, "var m = document.querySelector('.leaflet-marker-icon'); m ? m.title : ''")
                        .toString();
            if (title.isEmpty()) QTest::qWait(50);
        }
        EXPECT_EQ(title, blankQuotes(name));
        EXPECT_EQ(evaluate(view, "typeof window.pwned").toString(), "undefined");
        // The sector is drawn: the polygon's path is on the map's overlay.
        EXPECT_TRUE(evaluate(view, "document.querySelectorAll('.leaflet-overlay-pane canvas, "
                                   ".leaflet-overlay-pane path').length > 0")
                        .toBool());
    }
    EXPECT_EQ(completed.size(), names.size());
    EXPECT_EQ(completed.last(), temp.filePath(QString::number(n - 1) + ".htm"));

    // Tiles: asked of the configured server, with the program's user agent and a referrer.
    for (int i = 0; i < 200 && tiles.requests.isEmpty(); ++i)
        QTest::qWait(25);
    ASSERT_FALSE(tiles.requests.isEmpty());
    const QByteArray head = tiles.requests.first();
    EXPECT_TRUE(head.startsWith("GET /13/")) << head.constData();
    EXPECT_TRUE(head.contains("\r\nReferer: http://127.0.0.1:")) << head.constData();
    EXPECT_TRUE(head.contains("Vantorel/1.13")) << head.constData();
    EXPECT_TRUE(outside.isEmpty());

    // A click on the map hands its position to the window.
    QSignalSpy picked(view.bridge(), &MapPickBridge::picked);
    evaluate(view, "var c = document.getElementById('map-canvas'); var r = c.getBoundingClientRect();"
                   "c.dispatchEvent(new MouseEvent('click', {bubbles: true, clientX: r.left + r.width / 2,"
                   " clientY: r.top + r.height / 2}));");
    ASSERT_TRUE(picked.count() > 0 || picked.wait(5000));
    EXPECT_NEAR(picked.first()[0].toDouble(), 48.2, 0.01);
    EXPECT_NEAR(picked.first()[1].toDouble(), 2.3, 0.01);
    mapInterceptor()->observer = nullptr;
}

TEST(WebMap, OverviewMarkersTooltipsAndInfo) {
    TileServer tiles;
    mapInterceptor()->observer = [](const QUrl& url) {
        return (url.scheme() == "http" || url.scheme() == "https") && url.host() != "127.0.0.1";
    };
    MapSettings settings;
    settings.tileUrl = tiles.urlTemplate();
    mapInterceptor()->setSettings(settings);
    const QString hostile = "</script><img src=x onerror=\"window.pwned=1\"><b>x</b>'\\";
    StringGrid SG0(PoiColumnCount, 4);
    const QStringList names = {"first.jpg", hostile, "last.jpg"};
    for (int row = 1; row <= 3; ++row) {
        SG0.setCell(PoiName, row, names[row - 1]);
        SG0.setCell(PoiSignedLatitude, row, QString("48,%1").arg(row));
        SG0.setCell(PoiSignedLongitude, row, QString("-2,%1").arg(row));
    }
    WebMapView view(QStringLiteral("CppWebBrowser2"), nullptr);
    view.resize(947, 689);
    view.show();
    QSignalSpy loaded(&view, &QWebEngineView::loadFinished);
    view.showPage(QStringLiteral("/nowhere/Vantorel.htm"),
                  buildOverviewPage(SG0, overviewFrame(SG0), settings));
    ASSERT_TRUE(loaded.wait(30000));
    QString colours;
    for (int i = 0; i < 100 && colours.isEmpty(); ++i) {
        colours = evaluate(view, "window.vantorelOverview ? vantorelOverview.group.getLayers()"
                                 ".map(function (l) { return l.options.color; }).join(',') : ''")
                      .toString();
        if (colours.isEmpty()) QTest::qWait(50);
    }
    EXPECT_EQ(colours, "red,grey,green");
    evaluate(view, "vantorelOverview.group.getLayers()[1].fire('mouseover', {}, true); true");
    EXPECT_EQ(evaluate(view, "document.querySelector('.leaflet-tooltip').textContent").toString(),
              "'" + blankQuotes(hostile) + "'");
    evaluate(view, "vantorelOverview.group.getLayers()[1].fire('click', {}, true); true");
    EXPECT_EQ(evaluate(view, "document.querySelector('.leaflet-popup-content').textContent").toString(),
              blankQuotes(hostile) + QString::fromUtf8("Coordonnées : 48.2 / -2.2"));
    EXPECT_EQ(evaluate(view, "typeof window.pwned").toString(), "undefined");
    EXPECT_EQ(evaluate(view, "document.querySelectorAll('img[src=\"x\"], b').length").toInt(),
              1); // the popup's <b>
    mapInterceptor()->observer = nullptr;
}

// A page someone else put where the program keeps its page is never what the view shows, and a
// page the program did not serve in this run cannot hand a position to the window.
TEST(WebMap, OnlyTheProgramsOwnPageIsShownAndHeard) {
    mapInterceptor()->observer = [](const QUrl& url) {
        return (url.scheme() == "http" || url.scheme() == "https") && url.host() != "127.0.0.1";
    };
    QTemporaryDir temp;
    const QString planted = temp.filePath("Vantorel.htm");
    const QByteArray stranger =
        "<html><body><script>window.stranger = 1;"
        "new QWebChannel(qt.webChannelTransport, function (c) { c.objects.vantorelPick.pick(1.5, 2.5);"
        " window.called = 1; });</script></body></html>";
    QFile file(planted);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(stranger);
    file.close();

    WebMapView view(QStringLiteral("CppWebBrowser1"), nullptr);
    view.resize(341, 341);
    view.show();
    QSignalSpy picked(view.bridge(), &MapPickBridge::picked);
    QSignalSpy loaded(&view, &QWebEngineView::loadFinished);
    view.showPage(planted, "<html><body><script>window.ours = 1;"
                           "new QWebChannel(qt.webChannelTransport, function (c) {"
                           " c.objects.vantorelPick.pick(48.5, 2.5); });</script></body></html>");
    ASSERT_TRUE(loaded.wait(30000));
    EXPECT_EQ(evaluate(view, "typeof window.ours").toString(), "number");
    EXPECT_EQ(evaluate(view, "typeof window.stranger").toString(), "undefined");
    ASSERT_TRUE(picked.count() > 0 || picked.wait(5000));
    EXPECT_EQ(picked.first()[0].toDouble(), 48.5);

    // The stranger's page named by its path is never opened: the view shows a blank page.
    picked.clear();
    loaded.clear();
    for (const QString& address : {planted, QUrl::fromLocalFile(planted).toString()}) {
        SCOPED_TRACE(address.toStdString());
        view.navigate(address);
        ASSERT_TRUE(loaded.wait(30000));
        loaded.clear();
        EXPECT_EQ(view.page()->url(), QUrl("about:blank"));
        EXPECT_EQ(evaluate(view, "typeof window.stranger").toString(), "undefined");
    }
    QTest::qWait(200);
    EXPECT_EQ(picked.count(), 0);
    mapInterceptor()->observer = nullptr;
}

// A page in the view (here ours, standing for any script that got in) reads no local file, cannot
// take the view to a file or elsewhere, and reaches no other server of this machine (where a
// listener would collect what it read).
TEST(WebMap, APageReadsNoFileAndReachesNoOtherServer) {
    TileServer listener;
    listener.response = "HTTP/1.1 200 OK\r\nAccess-Control-Allow-Origin: *\r\nContent-Length: 2\r\n"
                        "Connection: close\r\n\r\nok";
    QTemporaryDir temp;
    const QString secret = temp.filePath("secret.txt");
    QFile file(secret);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("secret");
    file.close();
    const QString secretUrl = QUrl::fromLocalFile(secret).toString();
    const QString leak = QStringLiteral("http://127.0.0.1:%1/leak").arg(listener.server.serverPort());

    WebMapView view(QStringLiteral("CppWebBrowser1"), nullptr);
    view.resize(341, 341);
    view.show();
    auto* page = qobject_cast<MapWebPage*>(view.page());
    ASSERT_TRUE(page);
    QSignalSpy refused(page, &MapWebPage::navigationRefused);
    QSignalSpy loaded(&view, &QWebEngineView::loadFinished);
    const QString script =
        "window.results = {};"
        "fetch('%1').then(function (r) { return r.text(); }).then(function (t) { results.fetch = t; },"
        " function () { results.fetch = 'refused'; });"
        "try { var x = new XMLHttpRequest(); x.open('GET', '%1', false); x.send(); results.xhr = "
        "x.responseText; }"
        " catch (e) { results.xhr = 'refused'; }"
        "fetch('%2?fetch').then(function () { results.leak = 'sent'; }, function () { results.leak = "
        "'refused'; });"
        "new Image().src = '%2?image';"
        "var f = document.createElement('iframe'); f.src = '%1'; document.body.appendChild(f);";
    view.showPage(
        temp.filePath("Vantorel.htm"),
        ("<html><body><script>" + script.arg(secretUrl, leak) + "</script></body></html>").toUtf8());
    ASSERT_TRUE(loaded.wait(30000));
    const QUrl ours = view.page()->url();
    ASSERT_TRUE(sharedPageServer().serves(ours));
    for (int i = 0; i < 200 && !evaluate(view, "!!(results.fetch && results.xhr && results.leak)").toBool();
         ++i)
        QTest::qWait(25);
    EXPECT_NE(evaluate(view, "results.fetch").toString(), "secret");
    EXPECT_NE(evaluate(view, "results.xhr").toString(), "secret");
    EXPECT_EQ(evaluate(view, "results.leak").toString(), "refused");

    // The page sends the view to the file, then to the listener: both refused, ours stays.
    evaluate(view, "location.href = '" + secretUrl + "'; true");
    QTest::qWait(300);
    evaluate(view, "location.href = '" + leak + "?navigation'; true");
    QTest::qWait(500);
    EXPECT_EQ(view.page()->url(), ours);
    QStringList refusedUrls;
    for (const QList<QVariant>& r : std::as_const(refused))
        refusedUrls << r[0].toUrl().toString();
    // (The file is stopped by the engine itself for a page of the server, before the view is asked.)
    EXPECT_TRUE(refusedUrls.contains(leak + "?navigation")) << refusedUrls.join(' ').toStdString();
    EXPECT_TRUE(listener.requests.isEmpty()) << listener.requests.value(0).constData();

    // Without the server, the program's own page shown from memory as a "data:" address still
    // shows; a page cannot send the view to such an address.
    loaded.clear();
    view.setContent("<p id=own>own</p>", "text/html;charset=UTF-8");
    ASSERT_TRUE(loaded.wait(30000));
    EXPECT_EQ(evaluate(view, "document.getElementById('own') ? 'shown' : ''").toString(), "shown");
    evaluate(view, "location.href = 'data:text/html,<p id=theirs>x</p>'; true");
    QTest::qWait(500);
    EXPECT_EQ(evaluate(view, "document.getElementById('own') ? 'shown' : ''").toString(), "shown");
}

} // namespace

namespace {

// A mouse event of `type` at `dx`, `dy` from the map's centre, as the page receives it.
QString mouseAt(const char* type, int dx, int dy, const char* target = "c") {
    return QStringLiteral("var c = document.getElementById('map-canvas'); var r = c.getBoundingClientRect();"
                          "%4.dispatchEvent(new MouseEvent('%1', {bubbles: true, button: 0, buttons: %5,"
                          " clientX: r.left + r.width / 2 + %2, clientY: r.top + r.height / 2 + %3})); true")
        .arg(QLatin1String(type))
        .arg(dx)
        .arg(dy)
        .arg(QLatin1String(target))
        .arg(QLatin1String(type) == QLatin1String("mousemove") ? 1 : 0);
}

TEST(WebMap, PlacingClicksPutAndMoveTheMarkerAndADragIsNoClick) {
    TileServer tiles;
    mapInterceptor()->observer = [](const QUrl& url) {
        return (url.scheme() == "http" || url.scheme() == "https") && url.host() != "127.0.0.1";
    };
    MapSettings settings;
    settings.tileUrl = tiles.urlTemplate();
    mapInterceptor()->setSettings(settings);
    WebMapView view(QStringLiteral("CppWebBrowser1"), nullptr);
    view.resize(341, 341);
    view.show();
    QSignalSpy loaded(&view, &QWebEngineView::loadFinished);
    view.showPage(QStringLiteral("/nowhere/Vantorel.htm"),
                  BuildPlacingMapPage(placingFrame(QPointF(2.3, 48.2), {}), settings));
    ASSERT_TRUE(loaded.wait(30000));
    QSignalSpy picked(view.bridge(), &MapPickBridge::picked);
    const auto marker = [&] {
        return evaluate(view, "window.vantorelMarker ? vantorelMarker.getLatLng().lat + ',' + "
                              "vantorelMarker.getLatLng().lng : ''")
            .toString();
    };
    EXPECT_EQ(marker(), "") << "no marker before a click";

    // The first click puts the marker where the position handed to the window is.
    for (int i = 0; i < 100 && picked.isEmpty(); ++i) {
        evaluate(view, mouseAt("click", 0, 0));
        if (picked.isEmpty()) picked.wait(100);
    }
    ASSERT_EQ(picked.size(), 1);
    EXPECT_NEAR(picked[0][0].toDouble(), 48.2, 0.01);
    EXPECT_NEAR(picked[0][1].toDouble(), 2.3, 0.01);
    EXPECT_EQ(marker(), picked[0][0].toString() + "," + picked[0][1].toString());

    // A second click moves it.
    evaluate(view, mouseAt("click", 60, -40));
    ASSERT_TRUE(picked.size() == 2 || picked.wait(5000));
    EXPECT_GT(picked[1][1].toDouble(), picked[0][1].toDouble());
    EXPECT_GT(picked[1][0].toDouble(), picked[0][0].toDouble());
    EXPECT_EQ(marker(), picked[1][0].toString() + "," + picked[1][1].toString());

    // A drag of the map ends with a click event that is no click: nothing picked, the marker stays.
    const QString before = marker();
    const auto centre = [&] { return evaluate(view, "vantorelMarker._map.getCenter().lng").toDouble(); };
    const double centreBefore = centre();
    evaluate(view, mouseAt("mousedown", -50, 30));
    for (int step = 1; step <= 5; ++step)
        evaluate(view, mouseAt("mousemove", -50 + 20 * step, 30, "document"));
    evaluate(view, mouseAt("mouseup", 50, 30, "document"));
    evaluate(view, mouseAt("click", 50, 30));
    EXPECT_FALSE(picked.wait(500));
    EXPECT_EQ(picked.size(), 2);
    EXPECT_EQ(marker(), before);
    EXPECT_LT(centre(), centreBefore) << "the map was dragged";
    mapInterceptor()->observer = nullptr;
}

} // namespace
