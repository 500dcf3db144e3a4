// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a 1,000,000-point GPX track, against gpsbabel reading the same file in the same run
// (gpsbabel -i gpx -f T -o unicsv -F /dev/null). Wall time and CPU time, best of three each.
// Usage: trackparse_bench [points]
//        trackparse_bench --write FILE [points]   only writes the track
//        trackparse_bench --read FILE             only reads it, as the command line does (one
//                                                 process per reading: bench/trackparse_bench.sh)
#include "tracks/trackfiles.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <sys/resource.h>

using namespace vantorel;

namespace {

double cpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Timing {
    double wall = 1e9, cpu = 1e9;
};

bool writeTrack(const QString& path, int points) {
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly)) return false;
        file.write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<gpx version=\"1.1\" creator=\"bench\" "
                   "xmlns=\"http://www.topografix.com/GPX/1/1\">\n<trk><trkseg>\n");
        char line[200];
        for (int i = 0; i < points; ++i) {
            const int s = i % 86400, day = 1 + i / 86400;
            const int n = std::snprintf(line, sizeof line,
                                        "<trkpt lat=\"%.7f\" lon=\"%.7f\"><ele>%.1f</ele>"
                                        "<time>2024-01-%02dT%02d:%02d:%02dZ</time></trkpt>\n",
                                        45 + 0.3 * std::sin(i / 5000.0), 5 + 0.4 * std::cos(i / 7000.0),
                                        300 + 100 * std::sin(i / 3000.0), day, s / 3600, s / 60 % 60, s % 60);
            file.write(line, n);
        }
        file.write("</trkseg></trk>\n</gpx>\n");
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (mode == u"--write" && argc > 2)
        return writeTrack(QString::fromLocal8Bit(argv[2]), argc > 3 ? std::atoi(argv[3]) : 1000000) ? 0 : 1;
    if (mode == u"--read" && argc > 2) {
        const TrackReading r = loadTracks({QString::fromLocal8Bit(argv[2])});
        std::printf("%zu fixes\n", r.fixes.size());
        return r.ok() ? 0 : 1;
    }
    const int points = argc > 1 ? std::atoi(argv[1]) : 1000000;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("track.gpx"));
    if (!writeTrack(path, points)) return 1;
    const double megabytes = double(QFile(path).size()) / 1e6;

    Timing ours;
    size_t fixes = 0;
    for (int run = 0; run < 3; ++run) {
        QElapsedTimer wall;
        const double cpu = cpuSeconds(RUSAGE_SELF);
        wall.start();
        const TrackReading r = loadTracks({path});
        ours.wall = std::min(ours.wall, wall.nsecsElapsed() / 1e9);
        ours.cpu = std::min(ours.cpu, cpuSeconds(RUSAGE_SELF) - cpu);
        fixes = r.fixes.size();
    }
    std::printf("%d points, %.0f MB\n", points, megabytes);
    std::printf("%-48s wall %6.3f s  cpu %6.3f s  (%zu fixes)\n", "vantorel loadTracks (QXmlStreamReader)",
                ours.wall, ours.cpu, fixes);

    const QString gpsbabel = QStandardPaths::findExecutable(QStringLiteral("gpsbabel"));
    if (gpsbabel.isEmpty()) {
        std::printf("gpsbabel is not installed: no peer figure\n");
        return 0;
    }
    Timing peer;
    for (int run = 0; run < 3; ++run) {
        QElapsedTimer wall;
        const double cpu = cpuSeconds(RUSAGE_CHILDREN);
        wall.start();
        QProcess::execute(gpsbabel, {QStringLiteral("-i"), QStringLiteral("gpx"), QStringLiteral("-f"), path,
                                     QStringLiteral("-o"), QStringLiteral("unicsv"), QStringLiteral("-F"),
                                     QStringLiteral("/dev/null")});
        peer.wall = std::min(peer.wall, wall.nsecsElapsed() / 1e9);
        peer.cpu = std::min(peer.cpu, cpuSeconds(RUSAGE_CHILDREN) - cpu);
    }
    std::printf("%-48s wall %6.3f s  cpu %6.3f s\n", "gpsbabel -i gpx -o unicsv -F /dev/null", peer.wall,
                peer.cpu);
    std::printf("ours / gpsbabel: wall %.2f, cpu %.2f\n", ours.wall / peer.wall, ours.cpu / peer.cpu);
    return 0;
}
