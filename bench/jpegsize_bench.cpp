// SPDX-License-Identifier: GPL-3.0-or-later
// Times jpegSize over many files, as the POI table reads them: jpegsize_bench FILE...
#include "display/jpegdecoder.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE...\n", argv[0]);
        return 2;
    }
    QElapsedTimer timer;
    timer.start();
    int read = 0;
    for (int i = 1; i < argc; ++i)
        if (vantorel::jpegSize(QString::fromLocal8Bit(argv[i]))) ++read;
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    std::printf("jpegSize: %d of %d files in %.1f ms (%.1f us per file)\n", read, argc - 1, ms,
                ms * 1000 / (argc - 1));
    return 0;
}
