// The state the main window's commands share, one instance for the whole run.
#pragma once

#include <QString>

namespace vantorel {

struct SharedState {
    QString CurrentPhotoPath;
    QString TempDir;
    QString AppDir;
    QString BusyGifPath;
    QString NoGeotagGifPath;
    bool InternetAvailable = false;
    QString DefaultBrowserName;
    QString LatitudeRef;
    QString LongitudeRef;
    bool PhotoNotGeotagged = false;
    int PoiRowCount = 0;
    int CoordRowCount = 0;

    // Left by the EXIF listing for the maps.
    float ViewDirection = 999;
    float FocalLength = 10.0f;
    QString CameraModel;
    bool DirectionIsMagnetic = true;
    bool Landscape = true;
};

} // namespace vantorel
