// SPDX-License-Identifier: GPL-3.0-or-later
// vantorel-cli place: the town nearest a position or each photo's position, without a network.
#include "commands.h"

#include "metadata/gpscoordinates.h"
#include "metadata/unreadablephoto.h"
#include "places/placeindex.h"
#include "places/placetext.h"
#include "text/numberformat.h"

#include <QFileInfo>
#include <cmath>

namespace vantorel::cli {
namespace {

constexpr int kBadCoordinates = 4;

// A number with a point or the locale's separator.
std::optional<double> number(QString text) {
    return StrToFloat(text.replace(u'.', decimalSeparator()).replace(u',', decimalSeparator()));
}

void printPlace(const places::Place& place, QTextStream& out) {
    const QStringList fields = places::placeFields(place);
    for (qsizetype i = 0; i < fields.size(); ++i)
        out << (i ? QStringLiteral("\t") : QString()) << escapeCell(fields[i]);
    out << u'\n';
}

bool townsKnown(QTextStream& err) {
    if (places::townCount() > 0) return true;
    err << QStringLiteral("place : aucune ville connue (données de libgeonames absentes)\n");
    return false;
}

} // namespace

int runPlace(const Arguments& words, QTextStream& out, QTextStream& err) {
    const Arguments args = words.afterEndOfOptions();
    if (args.isEmpty()) {
        err << QStringLiteral("place : indiquer LATITUDE LONGITUDE ou des photos\n");
        return 2;
    }
    // Two numbers that name no file are a position.
    if (args.size() == 2) {
        const QString a = args.at(0), b = args.at(1);
        const auto latitude = number(a), longitude = number(b);
        if (latitude && longitude && !QFileInfo::exists(a) && !QFileInfo::exists(b)) {
            if (std::abs(*latitude) > 90 || std::abs(*longitude) > 180) {
                err << QStringLiteral("place : latitude entre -90 et 90, longitude entre -180 et 180\n");
                return kBadCoordinates;
            }
            if (!townsKnown(err)) return 1;
            printPlace(*places::nearestPlace(*latitude, *longitude), out);
            return 0;
        }
    }
    if (!townsKnown(err)) return 1;
    QString latitudeRef, longitudeRef;
    int exitCode = 0;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString path = QFileInfo(args.at(i)).absoluteFilePath();
        const CoordinateReading r = ReadGpsCoordinates(path, latitudeRef, longitudeRef);
        const auto latitude = StrToFloat(r.signedLatitude), longitude = StrToFloat(r.signedLongitude);
        const auto place =
            r.geotagged && latitude && longitude ? places::nearestPlace(*latitude, *longitude) : std::nullopt;
        if (!place) {
            out.flush();
            if (r.readError != FileOpenError::None)
                err << unreadablePhotoMessage(path, r.readError) << u'\n';
            else
                err << QStringLiteral("place : photo non géocodée : ") << escapeCell(path) << u'\n';
            err.flush();
            exitCode = kExitUnreadable;
            continue;
        }
        out << escapeCell(path) << u'\t';
        printPlace(*place, out);
    }
    return exitCode;
}

} // namespace vantorel::cli
