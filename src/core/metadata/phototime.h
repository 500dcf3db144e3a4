// SPDX-License-Identifier: GPL-3.0-or-later
// When a photo was taken, as its camera's clock said: the date and time items with their fractions
// and offsets, for placing the photo on a GPS track.
#pragma once

#include "files/regularfile.h"

#include <QString>
#include <optional>

namespace vantorel {

class ImageProperties;

// Which item gave the time: the first of these the photo has with a readable date.
enum class PhotoTimeSource { None, Original, Digitized, Modified };

struct PhotoTimeReading {
    FileOpenError readError = FileOpenError::None; // the photo could not be read at all
    bool readable = false;                         // opened as a picture
    PhotoTimeSource source = PhotoTimeSource::None;
    // The camera's wall-clock time, counted in milliseconds from 1970-01-01 00:00 as if it were UTC.
    qint64 cameraMs = 0;
    // The offset from UTC the camera recorded with that time (OffsetTimeOriginal...), in seconds.
    std::optional<int> offsetSeconds;
    bool geotagged = false;     // has a usable latitude and longitude
    bool hasGpsVersion = false; // has GPSVersionID

    bool hasTime() const { return source != PhotoTimeSource::None; }
};

PhotoTimeReading ReadPhotoTime(const QString& path);
PhotoTimeReading ReadPhotoTime(const ImageProperties& photo);

// "2024:06:01 10:00:00", or "YYYY:MM:DD HH:MM:SS" from milliseconds; nothing when it is no date.
std::optional<qint64> parseExifDateTime(const QString& text);
// "+02:00", "-05:30" in seconds; nothing for anything else.
std::optional<int> parseExifOffset(const QString& text);
// The camera's time as shown in the table: "2024-06-01 10:00:00" (with ".250" for a fraction).
QString formatCameraTime(qint64 cameraMs);
// The item the time came from, named for the user.
QString photoTimeSourceName(PhotoTimeSource source);

} // namespace vantorel
