// SPDX-License-Identifier: GPL-3.0-or-later
// The photo list at scale in the real window (offscreen): adding shuffled paths, dropping them, one
// removal and one more drop, with the longest time the window went without a pass of its event loop;
// each beside the way it was done before, in the same run (one sorted insert per path; a list widget
// cleared and refilled on every change).
//   list_bench [N...]     entries, 10000 and 200000 by default (the paths need not exist)
#include "benchwindow.h"

#include <QAbstractItemView>
#include <QDir>
#include <QListWidget>
#include <QPushButton>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <random>

namespace {

double cpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

QStringList shuffledPaths(int n) {
    QStringList paths;
    paths.reserve(n);
    for (int i = 0; i < n; ++i)
        paths << QStringLiteral("/home/user/Photos/%1 Voyage %2/%3_%4.%5")
                     .arg(2000 + i % 25)
                     .arg(i % 7 ? QStringLiteral("été") : QStringLiteral("Été"))
                     .arg(i % 3 ? QStringLiteral("IMG") : QStringLiteral("img"))
                     .arg(i, 6, 10, QLatin1Char('0'))
                     .arg(i % 5 ? QStringLiteral("jpg") : QStringLiteral("JPG"));
    std::shuffle(paths.begin(), paths.end(), std::mt19937(12345));
    return paths;
}

void run(int n) {
    benchwindow::Services services;
    const QStringList paths = shuffledPaths(n);

    // The controller alone: one batch against one sorted insert per path.
    vantorel::MainWindow byBatch(services.window()), byOne(services.window());
    for (vantorel::MainWindow* window : {&byBatch, &byOne})
        window->findChild<QAbstractItemView*>(QStringLiteral("ListBox1"))->setModel(nullptr);
    double t = cpuMs();
    byBatch.controller().addManyToList(paths);
    const double batchMs = cpuMs() - t;
    t = cpuMs();
    for (const QString& p : paths)
        byOne.controller().addToList(p);
    const double oneMs = cpuMs() - t;
    const bool same = byBatch.controller().controls().ListBox1 == byOne.controller().controls().ListBox1;

    // The window: a drop of every path, one removal, one more drop.
    vantorel::MainWindow window(services.window());
    window.show();
    window.startUp({});
    benchwindow::GapMeter meter;
    auto data = benchwindow::dragData(paths);
    QElapsedTimer wall;
    wall.start();
    t = cpuMs();
    const qint64 dropGap = meter.measure([&] {
        benchwindow::drop(&window, data.get());
        QCoreApplication::processEvents();
    });
    const double dropCpu = cpuMs() - t;
    const qint64 dropWall = wall.elapsed();

    auto* view = window.findChild<QAbstractItemView*>(QStringLiteral("ListBox1"));
    view->setCurrentIndex(view->model()->index(n / 2, 0));
    QCoreApplication::processEvents();
    auto* effacer = window.findChild<QPushButton*>(QStringLiteral("BitBtn12"));
    wall.restart();
    const qint64 removeGap = meter.measure([&] {
        effacer->click();
        QCoreApplication::processEvents();
    });
    const double removeMs = wall.nsecsElapsed() / 1e6;

    // The removal alone: the list, the view's rows and a repaint.
    wall.restart();
    const qint64 rowGap = meter.measure([&] {
        window.controller().removeFromList(n / 3);
        window.sync();
        QCoreApplication::processEvents();
    });
    const double rowMs = wall.nsecsElapsed() / 1e6;

    auto one = benchwindow::dragData({QStringLiteral("/home/user/Photos/2010 Voyage été/new.jpg")});
    wall.restart();
    const qint64 oneGap = meter.measure([&] {
        benchwindow::drop(&window, one.get());
        QCoreApplication::processEvents();
    });
    const double oneDropMs = wall.nsecsElapsed() / 1e6;

    // What every change cost before: the list widget emptied and filled again.
    QListWidget widget;
    widget.setUniformItemSizes(true);
    widget.addItems(window.controller().controls().ListBox1);
    widget.show();
    QCoreApplication::processEvents();
    wall.restart();
    widget.clear();
    widget.addItems(window.controller().controls().ListBox1);
    QCoreApplication::processEvents();
    const double rebuildMs = wall.nsecsElapsed() / 1e6;

    std::printf("%d entries\n", n);
    std::printf("  add %d shuffled paths (controller, CPU): batch %.0f ms, one sorted insert each %.0f ms "
                "(%.1fx)%s\n",
                n, batchMs, oneMs, oneMs / std::max(batchMs, 0.01), same ? "" : "  ORDER DIFFERS");
    std::printf("  drop on the window: %lld ms wall, %.0f ms CPU, longest without repaint %lld ms\n",
                dropWall, dropCpu, dropGap);
    std::printf("  Effacer Poi in the middle (command, repaint): %.2f ms, longest without repaint %lld ms;"
                " widget refill before: %.1f ms\n",
                removeMs, removeGap, rebuildMs);
    std::printf("  one removal alone (list, view rows, repaint): %.2f ms, longest without repaint %lld ms\n",
                rowMs, rowGap);
    std::printf("  drop of one more photo: %.2f ms, longest without repaint %lld ms\n", oneDropMs, oneGap);
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QList<int> sizes;
    for (const QString& arg : app.arguments().mid(1))
        sizes << arg.toInt();
    if (sizes.isEmpty()) sizes = {10000, 200000};
    for (int n : sizes)
        run(n);
    return 0;
}
