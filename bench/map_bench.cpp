// SPDX-License-Identifier: GPL-3.0-or-later
// From the selection of a photo to its map page handed to the view: the selection pipeline with the
// map step, against the same pipeline without it (no connection: the map step stops at once).
//   build/bench/map_bench [PHOTO] [RUNS]   (a geotagged photo with a direction; a real sample by default)
#include "controller/maincontroller.h"
#include "controller/platform.h"
#include "doubles.h" // the tests' recording services: nothing is shown or launched
#include "maps/mappagefile.h"
#include "maps/photomappage.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

using namespace vantorel;

namespace {

// Notes when a page is handed over; nothing loads it.
struct TimedView : BrowserView {
    QElapsedTimer* clock = nullptr;
    qint64 handedAt = -1;
    void navigate(const QString& url) override {
        if (url.endsWith(QLatin1String(".htm"))) handedAt = clock->nsecsElapsed();
    }
};
double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QString photo = argc > 1 ? QString::fromLocal8Bit(argv[1])
                                   : QStringLiteral(VANTOREL_SAMPLES_DIR "/mdextract_Sony_DSC-HX5V.jpg");
    const int runs = argc > 2 ? std::max(1, atoi(argv[2])) : 300;
    QTemporaryDir temp;
    vantorel::test::FakePlatform fake;
    TimedView view;
    QElapsedTimer clock;
    view.clock = &clock;
    Platform platform = fake.platform();
    MainController c(Platform{platform.boxes, platform.clipboard, platform.dialogs, platform.connectivity,
                              view, platform.pump, platform.externalBrowser, platform.progress});
    // As in the window: the preview is decoded on another thread, the selection does not wait for it.
    c.setPreviewDecoder([](quint64, std::shared_ptr<const vantorel::OpenedPhoto>, QSize) {});
    c.FormCreate();
    c.FormShow({});
    c.state().TempDir = temp.path();
    c.controls().CheckBox4 = true;
    clock.start();
    c.HandleDroppedFiles({photo});
    if (view.handedAt < 0) {
        std::fprintf(stderr, "no page was made for %s (not geotagged?)\n", qPrintable(photo));
        return 1;
    }
    std::vector<double> withMap, withoutMap;
    // Interleaved, each first in turn, so that the machine's drift weighs on both alike.
    for (int i = 0; i < runs; ++i) {
        for (bool internet : {i % 2 == 0, i % 2 != 0}) {
            c.state().InternetAvailable = internet;
            view.handedAt = -1;
            clock.start();
            c.ListBox1Click();
            const double ms = (internet ? view.handedAt : clock.nsecsElapsed()) / 1e6;
            (internet ? withMap : withoutMap).push_back(ms);
        }
    }
    const double a = median(withMap), b = median(withoutMap);
    std::printf("photo: %s (%d runs, median)\n", qPrintable(photo), runs);
    std::printf("selection -> page handed to the view: %.3f ms\n", a);
    std::printf("peer, the same selection without the map step: %.3f ms\n", b);
    std::printf("map step (view sector, page, atomic write): %.3f ms (%.2fx the pipeline without it)\n",
                a - b, a / b);
    // Where the map step's time goes.
    PhotoMapPage page;
    page.latitudeText = QStringLiteral("48,2");
    page.longitudeText = QStringLiteral("2,3");
    page.title = QStringLiteral("photo.jpg");
    page.sector = PhotoMapPage::Corners{"47,4", "2,9", "47,5", "3,3"};
    std::vector<double> build, write, sector, step;
    MapPageFolder folder;
    c.state().InternetAvailable = true;
    for (int i = 0; i < runs; ++i) {
        clock.start();
        c.BitBtn6Click();
        step.push_back(clock.nsecsElapsed() / 1e6);
    }
    for (int i = 0; i < runs; ++i) {
        clock.start();
        const ViewSector s = ComputeViewSector(page.latitudeText, page.longitudeText, c.sectorInputs());
        sector.push_back(clock.nsecsElapsed() / 1e6);
        clock.start();
        const QByteArray bytes = BuildPhotoMapPage(page, c.mapSettings());
        build.push_back(clock.nsecsElapsed() / 1e6);
        clock.start();
        folder.writePage(temp.path(), bytes);
        write.push_back(clock.nsecsElapsed() / 1e6);
    }
    std::printf("map step alone %.3f ms; of which view sector %.3f ms, page %.3f ms, write %.3f ms\n",
                median(step), median(sector), median(build), median(write));
    return 0;
}
