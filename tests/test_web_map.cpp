// The map pages in the real web engine, offscreen: hostile file names run no script and read back
// as the marker's title, tile requests name the program and carry a referrer, a click on the map
// reaches the window. Tiles go to a local server of the test: nothing leaves the machine.
#include "doubles.h"
#include "fixtures.h"
#include "maps/mappage.h"
#include "maps/mappagefile.h"
#include "maps/overviewpage.h"
#include "maps/photomappage.h"
#include "tables/gridcolumns.h"
#include "tables/stringgrid.h"
#include "webmapview.h"

#include <QDir>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEnginePage>
#include <gtest/gtest.h>

using namespace vantorel;

namespace {

// Answers every request with 404 and keeps its head.
struct TileServer {
    QTcpServer server;
    QList<QByteArray> requests;
    TileServer() {
        server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* s = server.nextPendingConnection()) {
                QObject::connect(s, &QTcpSocket::readyRead, s, [this, s] {
                    const QByteArray head = s->readAll();
                    requests << head;
                    s->write("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
                    s->disconnectFromHost();
                });
            }
        });
    }
    QString urlTemplate() const {
        return QStringLiteral("http://127.0.0.1:%1/{z}/{x}/{y}.png").arg(server.serverPort());
    }
};

QVariant evaluate(QWebEngineView& view, const QString& code) {
    QVariant result;
    bool done = false;
    view.page()->runJavaScript(code, [&](const QVariant& v) {
        result = v;
        done = true;
    });
    for (int i = 0; i < 200 && !done; ++i)
        QTest::qWait(25);
    return result;
}

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
        const QString folder = temp.filePath(QString::number(n++));
        QDir().mkpath(folder);
        ASSERT_TRUE(writeMapPage(folder, BuildPhotoMapPage(page, settings)));
        QSignalSpy loaded(&view, &QWebEngineView::loadFinished);
        view.navigate(mapPagePath(folder));
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
    EXPECT_EQ(completed.last(), mapPagePath(temp.filePath(QString::number(n - 1))));

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
    const QString hostile = "</script><img src=x onerror=\"window.pwned=1\"><b>x</b>'\\";
    StringGrid SG0(PoiColumnCount, 4);
    const QStringList names = {"first.jpg", hostile, "last.jpg"};
    for (int row = 1; row <= 3; ++row) {
        SG0.setCell(PoiName, row, names[row - 1]);
        SG0.setCell(PoiSignedLatitude, row, QString("48,%1").arg(row));
        SG0.setCell(PoiSignedLongitude, row, QString("-2,%1").arg(row));
    }
    QTemporaryDir temp;
    ASSERT_TRUE(writeMapPage(temp.path(), buildOverviewPage(SG0, overviewFrame(SG0), settings)));
    WebMapView view(QStringLiteral("CppWebBrowser2"), nullptr);
    view.resize(947, 689);
    view.show();
    QSignalSpy loaded(&view, &QWebEngineView::loadFinished);
    view.navigate(mapPagePath(temp.path()));
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

} // namespace
