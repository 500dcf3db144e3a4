// SPDX-License-Identifier: GPL-3.0-or-later
// The window's longest time without processing events while a photo's preview is decoded: each file is
// dropped on the real window (offscreen), which is watched until its preview shows or a few seconds pass.
//   preview_freeze_bench [--window-thread] [FILE...]
// Without FILE: the first hostile file of the decoder tests (80 KB progressive grey, 22600 x 22600, one
// scan repeated 5000 times). --window-thread decodes on the window's thread instead, as the window did
// before the worker (built with VANTOREL_FREEZE_BENCH_CORE_ONLY it needs only the core, so that it can be
// built against an older core for a figure from before).
#include "display/jpegdecoder.h"
#include "jpegbombs.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <functional>

#ifndef VANTOREL_FREEZE_BENCH_CORE_ONLY
#include "benchwindow.h"
#endif

namespace {

// Runs `work` from the event loop, then keeps the loop going until `done` or `settleMs`; returns the
// longest time between two beats of a 2 ms timer (a timer cannot fire while the thread is busy elsewhere)
// and when `done` first held (-1: never).
std::pair<qint64, qint64> watch(const std::function<void()>& work, const std::function<bool()>& done,
                                int settleMs) {
    QElapsedTimer sinceBeat, clock;
    qint64 longest = 0, doneAt = -1;
    QEventLoop loop;
    QTimer beat;
    QObject::connect(&beat, &QTimer::timeout, [&] {
        longest = std::max(longest, sinceBeat.restart());
        if (doneAt < 0 && done()) doneAt = clock.elapsed();
        if (doneAt >= 0 || clock.elapsed() > settleMs) loop.quit();
    });
    QTimer::singleShot(0, [&] {
        clock.start();
        sinceBeat.start();
        beat.start(2);
        work();
    });
    loop.exec();
    return {longest, doneAt};
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool windowThread = args.removeAll(QStringLiteral("--window-thread")) > 0;
    QTemporaryDir dir;
    QStringList files;
    for (const QString& arg : args)
        files << QFileInfo(arg).absoluteFilePath();
    if (files.isEmpty())
        files << vantorel::test::writeHostileJpeg(dir.path(), QStringLiteral("repeated-scans"));
    const QSize box(272, 353);
    constexpr int kSettleMs = 3000;

#ifdef VANTOREL_FREEZE_BENCH_CORE_ONLY
    if (!windowThread) {
        std::fprintf(stderr, "built with the core only: use --window-thread\n");
        return 2;
    }
#else
    benchwindow::Services services;
    vantorel::MainWindow window(services.window());
    window.show();
    window.startUp({});
#endif

    std::printf("%-48s %22s %18s\n", "file", "longest gap (ms)", "preview shown (ms)");
    for (const QString& file : files) {
        std::pair<qint64, qint64> r;
        if (windowThread) {
            QImage preview;
            r = watch([&] { preview = vantorel::decodePreview(file, box); }, [&] { return true; }, kSettleMs);
            r.second = preview.isNull() ? -1 : r.second;
        } else {
#ifndef VANTOREL_FREEZE_BENCH_CORE_ONLY
            r = watch([&] { window.openPaths({file}); },
                      [&] { return !window.controller().controls().Image1.isNull(); }, kSettleMs);
#endif
        }
        std::printf("%-48s %22lld %18s\n", qPrintable(QFileInfo(file).fileName()), r.first,
                    r.second < 0 ? "never" : qPrintable(QString::number(r.second)));
    }
    std::printf("(%s; a file whose preview never shows is watched for %d ms)\n",
                windowThread ? "decoded on the window's thread" : "the real window, decode on its worker",
                kSettleMs);
    return 0;
}
