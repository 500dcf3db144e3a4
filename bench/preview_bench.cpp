// Times the preview decode of one file in this process: preview_bench FILE [REPEAT].
// Prints one line per measure and a last line "mean_ms=... median_ms=... min_ms=..." for scripts.
#include "display/jpegdecoder.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE [REPEAT]\n", argv[0]);
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
    const int repeat = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;
    const QSize box(272, 353); // the main window's preview

    const QImage first = vantorel::decodePreview(path, box); // warms the page cache and the allocator
    if (first.isNull()) {
        std::fprintf(stderr, "cannot decode %s\n", argv[1]);
        return 1;
    }
    std::vector<double> ms;
    QElapsedTimer timer;
    for (int i = 0; i < repeat; ++i) {
        timer.start();
        const QImage image = vantorel::decodePreview(path, box);
        ms.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    double sum = 0;
    for (double v : ms)
        sum += v;
    const double mean = sum / double(ms.size());
    std::sort(ms.begin(), ms.end());
    const double median = ms.size() % 2 ? ms[ms.size() / 2] : (ms[ms.size() / 2 - 1] + ms[ms.size() / 2]) / 2;
    std::printf("decodePreview to %dx%d: mean %.2f ms, median %.2f ms, min %.2f ms over %d runs\n",
                first.width(), first.height(), mean, median, ms.front(), repeat);
    std::printf("mean_ms=%.3f median_ms=%.3f min_ms=%.3f\n", mean, median, ms.front());
    return 0;
}
