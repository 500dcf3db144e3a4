// SPDX-License-Identifier: GPL-3.0-or-later
// The time from a process's start to the first paint of its window, and to the first map page
// loaded, for three windows in the same run, each started as its own process with the same photo
// on its command line (offscreen):
//   bare  - the main window's controls with the plain stand-in browser: no web engine at all;
//   lazy  - the program's window: the web view made after the first paint (or at the first map);
//   eager - the same window with its views made at construction, as before the change.
// Usage: firstpaint_bench [RUNS] [PHOTO]; medians of RUNS runs (7 by default), the windows in turn.
#include "benchwindow.h"
#include "lazybrowser.h"
#include "overviewwindow.h"
#include "pageserver.h"
#include "webmapview.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>
#include <QWebEnginePage>
#include <cstdio>
#include <map>

using namespace vantorel;

namespace {

void say(const char* what) {
    std::printf("%s\n", what);
    std::fflush(stdout);
}

// Reports, on stdout, the window's first paint once it is flushed, and the first map page loaded.
int child(int argc, char** argv, const QString& mode, const QString& photo) {
    const bool webEngine = mode != QLatin1String("bare");
    if (webEngine) QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    benchwindow::Services services;
    WindowServices window = services.window();
    window.webEngine = webEngine;
    MainWindow w(window);
    auto* lazy = w.findChild<LazyBrowser*>();
    const auto watchLoads = [](WebMapView* view) {
        QObject::connect(view, &QWebEngineView::loadFinished, view, [view](bool) {
            static bool once = false;
            if (!once && sharedPageServer().serves(view->page()->url())) {
                once = true;
                say("map");
            }
        });
    };
    if (lazy) {
        QObject::connect(lazy, &LazyBrowser::viewCreated, lazy, watchLoads);
        if (mode == QLatin1String("eager")) {
            lazy->ensureView();
            w.overview()->findChild<LazyBrowser*>()->ensureView();
        }
    }
    struct PaintWatch : QObject {
        bool seen = false;
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Paint && !seen) {
                seen = true;
                // Once this paint is over and flushed.
                QTimer::singleShot(0, [] { say("paint"); });
            }
            return false;
        }
    } paints;
    w.installEventFilter(&paints);
    w.showThen([&w, photo] {
        w.startUp({QStringLiteral(VANTOREL_SOURCE_DATADIR)});
        // The maps in the window's own browser.
        auto* internal = w.findChild<QCheckBox*>(QStringLiteral("CheckBox4"));
        if (!internal->isChecked()) internal->click();
        w.openPaths({photo});
    });
    return app.exec();
}

struct Times {
    double paint = -1, map = -1;
};

Times runOnce(const QString& self, const QString& mode, const QString& photo) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    Times t;
    QElapsedTimer clock;
    clock.start();
    p.start(self, {QStringLiteral("--child"), mode, photo});
    const bool wantMap = mode != QLatin1String("bare");
    while (clock.elapsed() < 30000 && (t.paint < 0 || (wantMap && t.map < 0))) {
        if (!p.canReadLine() && !p.waitForReadyRead(100)) continue;
        while (p.canReadLine()) {
            const QByteArray line = p.readLine().trimmed();
            const double ms = double(clock.nsecsElapsed()) / 1e6;
            if (line == "paint" && t.paint < 0) t.paint = ms;
            if (line == "map" && t.map < 0) t.map = ms;
        }
    }
    p.kill();
    p.waitForFinished();
    return t;
}

double median(std::vector<double> v) {
    std::erase_if(v, [](double x) { return x < 0; });
    if (v.empty()) return -1;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 4 && std::string(argv[1]) == "--child")
        return child(argc, argv, QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    const QString photo =
        QFileInfo(argc > 2 ? QString::fromLocal8Bit(argv[2])
                           : QStringLiteral(VANTOREL_SAMPLES_DIR "/exifsamples_Kodak_CX7530.jpg"))
            .absoluteFilePath();
    const QStringList modes = {QStringLiteral("bare"), QStringLiteral("lazy"), QStringLiteral("eager")};
    std::map<QString, std::vector<double>> paints, maps;
    // One run of each first, not counted: the disk cache warmed alike for all.
    for (const QString& mode : modes)
        runOnce(app.applicationFilePath(), mode, photo);
    for (int i = 0; i < runs; ++i)
        for (const QString& mode : modes) {
            const Times t = runOnce(app.applicationFilePath(), mode, photo);
            paints[mode].push_back(t.paint);
            maps[mode].push_back(t.map);
        }
    std::printf("photo: %s, %d runs, medians (ms from process start)\n", qPrintable(photo), runs);
    std::printf("%-6s %12s %12s\n", "window", "first paint", "first map");
    for (const QString& mode : modes)
        std::printf("%-6s %12.0f %12.0f\n", qPrintable(mode), median(paints[mode]), median(maps[mode]));
    const double bare = median(paints[QStringLiteral("bare")]);
    std::printf("first paint lazy / bare:  %.2f\n", median(paints[QStringLiteral("lazy")]) / bare);
    std::printf("first paint eager / bare: %.2f\n", median(paints[QStringLiteral("eager")]) / bare);
    std::printf("first map lazy / eager:   %.2f\n",
                median(maps[QStringLiteral("lazy")]) / median(maps[QStringLiteral("eager")]));
    return 0;
}
