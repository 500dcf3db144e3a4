// SPDX-License-Identifier: GPL-3.0-or-later
// The map page of the selected photo: centred on it, one marker titled with its file name, and
// the camera's view sector as a closed triangle when the photo records its direction.
#pragma once

#include "mapsettings.h"

#include <QByteArray>
#include <QString>
#include <optional>

namespace vantorel {

class StringGrid;

inline const QString kNoDesignation = QStringLiteral("Poi sans designation.");

struct PhotoMapPage {
    QString latitudeText, longitudeText; // signed decimal degrees (locale's separator or a point)
    QString zoomText = QStringLiteral("13");
    QString title; // the file name as read
    struct Corners {
        QString latitude1, longitude1, latitude2, longitude2;
    };
    std::optional<Corners> sector; // only when the photo records a direction
};

// The page of the photo in the coordinate grid: nothing when the grid's header does not read
// "Latitude" (no geotag). The signed texts take a "-" unless the reference letter is "N" or "E".
std::optional<PhotoMapPage> photoMapPageFromGrid(const StringGrid& SG1);

// The page's bytes (UTF-8). Every text from a file is a script string literal; every number is
// one the program wrote itself.
QByteArray BuildPhotoMapPage(const PhotoMapPage& page, const MapSettings& settings);

} // namespace vantorel
