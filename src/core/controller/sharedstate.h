// SPDX-License-Identifier: GPL-3.0-or-later
// The state the main window's commands share, one instance for the whole run.
#pragma once

#include "metadata/exiflisting.h"

#include <QString>

namespace vantorel {

struct SharedState {
    QString CurrentPhotoPath;       // the photo the commands work on
    QString TempDir;                // where the map page is written
    QString BusyGifPath;            // the "map being made" picture
    QString NoGeotagGifPath;        // the "photo not geotagged" picture
    bool InternetAvailable = false; // the start-up connectivity check's verdict
    QString DefaultBrowserName;     // the user's browser code ("FF", "CH", "OP"), empty when unknown
    QString LatitudeRef;            // reference letters carried from photo to photo ("N"/"S")
    QString LongitudeRef;           // ("E"/"W")
    bool PhotoNotGeotagged = false; // the selected photo has no usable position
    int PoiRowCount = 0;            // data rows of SG0

    // Left by the EXIF listing for the maps.
    float ViewDirection = kNoViewDirection;
    float FocalLength = 10.0f;
    QString CameraModel;
    bool DirectionIsMagnetic = true;
    bool Landscape = true;
};

} // namespace vantorel
