// SPDX-License-Identifier: GPL-3.0-or-later
// "Géocodé" in the real window (offscreen) on many photos: how long the drop and the list-wide
// command take, and for each the longest stretch without a pass of the event loop (where the window
// repaints), from the start of the drop or the click to the end of the command.
//   geocode_bench [--entries N] PHOTO...   (e.g. the photos made by bench/poi_bench.sh)
//   --entries N   the photos repeated until the list has N entries (the list keeps duplicates)
#include "benchwindow.h"

#include <QDir>
#include <QFileInfo>
#include <QPushButton>
#include <QTemporaryDir>
#include <cstdio>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    qsizetype entries = 0;
    if (args.size() >= 2 && args[0] == QLatin1String("--entries")) {
        entries = args[1].toLongLong();
        args = args.mid(2);
    }
    QStringList photos;
    for (const QString& arg : args)
        photos << QFileInfo(arg).absoluteFilePath();
    if (photos.isEmpty()) {
        std::fprintf(stderr, "usage: geocode_bench [--entries N] PHOTO...\n");
        return 2;
    }
    for (qsizetype i = photos.size(); i < entries; ++i)
        photos << photos[i % args.size()];

    benchwindow::Services services;
    vantorel::MainWindow window(services.window());
    window.show();
    window.startUp({});
    benchwindow::GapMeter meter;
    auto data = benchwindow::dragData(photos);

    QElapsedTimer t;
    t.start();
    const qint64 dropGap = meter.measure([&] {
        benchwindow::drop(&window, data.get());
        QCoreApplication::processEvents();
    });
    const qint64 dropMs = t.restart();
    auto* geocode = window.findChild<QPushButton*>(QStringLiteral("BitBtn15"));
    const qint64 geocodeGap = meter.measure([&] {
        geocode->click();
        QCoreApplication::processEvents();
    });
    const qint64 geocodeMs = t.restart();
    std::printf(
        "entries: %lld\ndrop (list + pipeline on one photo): %lld ms, longest without repaint: %lld ms\n"
        "Géocodé: %lld ms, %lld kept, longest without repaint: %lld ms\n",
        qint64(photos.size()), dropMs, dropGap, geocodeMs,
        qint64(window.controller().controls().ListBox1.size()), geocodeGap);

    // The other list-wide commands on the list that is left: the GPX file written, and the overview map
    // page made and handed to the overview window.
    QTemporaryDir temp;
    services.dialogs.gpxTarget = temp.filePath(QStringLiteral("bench.gpx"));
    for (const char* name : {"BitBtn13", "BitBtn14"}) {
        auto* button = window.findChild<QPushButton*>(QString::fromLatin1(name));
        t.restart();
        const qint64 gap = meter.measure([&] {
            button->click();
            QCoreApplication::processEvents();
        });
        std::printf("%s: %lld ms, longest without repaint: %lld ms\n", qPrintable(button->text()),
                    t.elapsed(), gap);
    }
    return 0;
}
