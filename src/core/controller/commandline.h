// SPDX-License-Identifier: GPL-3.0-or-later
// The window's command line split before Qt sees it: Qt's own options for QApplication, photos for
// the program. A photo named "-reverse" or "-style" must never reach Qt's option parser.
#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <optional>

namespace vantorel {

struct GeoPosition {
    double latitude = 0, longitude = 0;
};

struct WindowCommandLine {
    QList<QByteArray> qtArguments;          // the program's name first, then Qt's options and their values
    QStringList photos;                     // names as given (bytes kept, see files/pathnames.h)
    std::optional<GeoPosition> mapPosition; // from a "geo:" link: the window starts with the map there
    QStringList refusedLinks;               // "geo:" arguments not taken, each with why, for the user
};

// Every argument after "--" is a photo. Before it, an argument starting with "-" is one of Qt's
// options (with the next argument as its value for those that take one); any other is a photo.
// The desktop hands its files as "file://" URLs (their bytes percent-encoded) and its position
// links as "geo:" URIs; a "geo:" argument that names no position (or a second link) is refused
// with the reason and becomes nothing.
WindowCommandLine splitWindowCommandLine(int argc, const char* const* argv);

// A "geo:LATITUDE,LONGITUDE[,ALTITUDE][;PARAMETERS]" link, read by the one position reader
// (text/positiontext.h); nothing when it names no position on Earth.
std::optional<GeoPosition> parseGeoLink(const QString& link);

// What the window says of a refused link: its beginning and why.
QString refusedLinkMessage(const QString& link, const QString& reason);

} // namespace vantorel
