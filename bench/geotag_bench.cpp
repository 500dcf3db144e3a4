// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the geotagged copy ("#" + name) of every photo named on the command line, in one process,
// as the window's command does for one photo; prints the elapsed seconds.
//   geotag_bench LATITUDE LONGITUDE PHOTO...
#include "geotag/geotagcopy.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLocale>

#include <cstdio>

using namespace vantorel;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QLocale::setDefault(QLocale::c());
    const QStringList args = app.arguments().mid(1);
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: geotag_bench LATITUDE LONGITUDE PHOTO...\n");
        return 2;
    }
    const CoordinateFields fields = readCoordinateFields(args[0], args[1]);
    if (fields.status != CoordinateInput::Ok) return 2;
    QElapsedTimer timer;
    timer.start();
    int failures = 0;
    for (const QString& photo : args.mid(2)) {
        const CopyResult r = writeGeotagCopy(photo, copyPathFor(photo, kGeotaggedPrefix), fields.position);
        if (!r.ok) {
            ++failures;
            std::fprintf(stderr, "%s\n", qPrintable(r.error));
        }
    }
    std::printf("%.3f\n", timer.nsecsElapsed() / 1e9);
    return failures ? 1 : 0;
}
