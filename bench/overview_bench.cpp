// SPDX-License-Identifier: GPL-3.0-or-later
// The overview page for many points: the default page (one data array) against the Google template
// (one block of script per point, the form the page has always had), built and written the same way.
//   build/bench/overview_bench [N...]   (10000 and 100000 by default)
#include "maps/mappagefile.h"
#include "maps/overviewpage.h"
#include "tables/gridcolumns.h"
#include "tables/stringgrid.h"
#include "text/numberformat.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>

using namespace vantorel;

namespace {

// Rows as the POI table holds them for photos spread over a region (the names poi_bench.sh gives).
StringGrid poiRows(int n) {
    StringGrid SG0(PoiColumnCount, n + 1);
    for (int i = 0; i < n; ++i) {
        SG0.setCell(PoiName, i + 1, QStringLiteral("photo-%1.jpg").arg(i, 6, 10, QLatin1Char('0')));
        SG0.setCell(PoiSignedLatitude, i + 1, FloatToStrF(45 + (i % 1000) * 0.001, 15, 5));
        SG0.setCell(PoiSignedLongitude, i + 1, FloatToStrF(-1 - (i / 1000) * 0.01, 15, 5));
    }
    return SG0;
}

double pageMs(const StringGrid& SG0, const MapSettings& settings, const QString& dir, qint64& bytes) {
    QElapsedTimer clock;
    clock.start();
    const QByteArray page = buildOverviewPage(SG0, overviewFrame(SG0), settings);
    MapPageFolder folder;
    folder.writePage(dir, page);
    bytes = page.size();
    return clock.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QList<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes << atoi(argv[i]);
    if (sizes.isEmpty()) sizes = {10000, 100000};
    QTemporaryDir temp;
    MapSettings google;
    google.library = MapLibrary::Google;
    for (int n : sizes) {
        const StringGrid SG0 = poiRows(n);
        qint64 leafletBytes = 0, googleBytes = 0;
        double leaflet = 1e9, template_ = 1e9;
        for (int run = 0; run < 3; ++run) {
            leaflet = std::min(leaflet, pageMs(SG0, MapSettings{}, temp.path(), leafletBytes));
            template_ = std::min(template_, pageMs(SG0, google, temp.path(), googleBytes));
        }
        std::printf("%d points: default page %.1f ms (%.1f MB); peer, Google template %.1f ms (%.1f MB); "
                    "%.1fx faster\n",
                    n, leaflet, leafletBytes / 1e6, template_, googleBytes / 1e6, template_ / leaflet);
    }
    return 0;
}
