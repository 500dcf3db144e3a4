// SPDX-License-Identifier: GPL-3.0-or-later
// The overview page shown with all its markers in the offscreen web engine: from navigation to the
// last marker on the map, for many points against a page of one point (the engine's own start).
//   QTWEBENGINE_DISABLE_SANDBOX=1 QT_QPA_PLATFORM=offscreen build/bench/overview_show_bench [N]
#include "maps/mappagefile.h"
#include "maps/overviewpage.h"
#include "tables/gridcolumns.h"
#include "tables/stringgrid.h"
#include "text/numberformat.h"
#include "webmapview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QWebEnginePage>
#include <cstdio>

using namespace vantorel;

namespace {

StringGrid poiRows(int n) {
    StringGrid SG0(PoiColumnCount, n + 1);
    for (int i = 0; i < n; ++i) {
        SG0.setCell(PoiName, i + 1, QStringLiteral("photo-%1.jpg").arg(i, 6, 10, QLatin1Char('0')));
        SG0.setCell(PoiSignedLatitude, i + 1, FloatToStrF(45 + (i % 1000) * 0.001, 15, 5));
        SG0.setCell(PoiSignedLongitude, i + 1, FloatToStrF(-1 - (i / 1000) * 0.01, 15, 5));
    }
    return SG0;
}

// Milliseconds from navigation until the page reports every marker drawn.
double showMs(WebMapView& view, int n, const QString& dir) {
    const StringGrid SG0 = poiRows(n);
    MapPageFolder folder;
    const QByteArray page = buildOverviewPage(SG0, overviewFrame(SG0), MapSettings{});
    folder.writePage(dir, page);
    QElapsedTimer clock;
    clock.start();
    view.showPage(folder.pagePath(dir), page);
    bool done = false;
    while (!done && clock.elapsed() < 60000) {
        bool answered = false;
        view.page()->runJavaScript(
            QStringLiteral("window.vantorelOverview && vantorelOverview.count === %1 && "
                           "vantorelOverview.group.getLayers().length === %1")
                .arg(n),
            [&](const QVariant& v) {
                done = v.toBool();
                answered = true;
            });
        while (!answered)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return done ? clock.nsecsElapsed() / 1e6 : -1;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    const int n = argc > 1 ? atoi(argv[1]) : 100000;
    mapInterceptor()->observer = [](const QUrl& url) {
        return url.scheme().startsWith(QLatin1String("http")) && url.host() != QLatin1String("127.0.0.1");
    };
    QTemporaryDir temp;
    WebMapView view(QStringLiteral("CppWebBrowser2"), nullptr);
    view.resize(947, 689);
    view.show();
    showMs(view, 1, temp.path()); // the engine's first start is not part of either figure
    const double one = showMs(view, 1, temp.path());
    const double many = showMs(view, n, temp.path());
    std::printf("overview shown with all markers, offscreen: %d points %.0f ms; peer, 1 point %.0f ms\n", n,
                many, one);
    return 0;
}
