// SPDX-License-Identifier: GPL-3.0-or-later
// The camera's horizontal field of view as a triangle on the map: sensor size, angle of view,
// magnetic declination, corrected heading and the two far corners 100 km away.
#pragma once

#include "metadata/exiflisting.h"

#include <QString>
#include <QStringList>
#include <array>

namespace vantorel {

// Length of each side of the drawn view, metres.
inline constexpr double SectorLength = 100000;
// The radius the sector has always been drawn with (one metre above the usual equatorial value).
inline constexpr double EarthRadius = 6378138;

struct SensorDimensions {
    const char* item; // the text shown in ComboBox1
    float width;      // millimetres, across a landscape picture
    float height;     // millimetres, across a portrait picture
};

// The manual sensor sizes' texts, in the order ComboBox1 lists them.
QStringList sensorSizeItems();

// Declination text of the grid cell holding a position; empty outside the grid.
QString declinationCell(float latitude, float longitude);

// What the sector depends on: the values left by the EXIF listing and the five settings, each
// with the control the window takes it from.
struct ViewSectorInputs {
    float ViewDirection = kNoViewDirection;
    bool DirectionIsMagnetic = true;
    bool Landscape = true;
    float FocalLength = 10.0f;
    QString CameraModel;
    bool automaticDeclination = true; // CheckBox2
    QString manualDeclinationText;    // Edit1
    QString compassCorrectionText;    // Edit2: the camera compass's fixed correction
    bool automaticSensorSize = true;  // CheckBox3
    QString manualSensorSizeText;     // ComboBox1

    bool hasViewDirection() const { return vantorel::hasViewDirection(ViewDirection); }
};

// Every number is kept as a 32-bit float, as the page and the caption have always shown them.
struct ViewSector {
    float SensorSize = 0; // 0 = unknown
    float AngleOfView = 0;
    float Declination = 0;
    QString DeclinationText;
    float Correction = 0;
    float Heading = 0;
    float Bearing1 = 0, Bearing2 = 0;
    float Edge1Latitude = 0, Edge1Longitude = 0, Edge2Latitude = 0, Edge2Longitude = 0;
    QString edge1LatitudeText, edge1LongitudeText, edge2LatitudeText, edge2LongitudeText;
};

// latitudeText/longitudeText: signed decimal degrees with the locale's separator; a text that is
// not a number counts as 0, as do the settings' texts.
ViewSector ComputeViewSector(const QString& latitudeText, const QString& longitudeText,
                             const ViewSectorInputs& in);

// The caption under the map (Label7) for a sector.
QString sectorCaption(const ViewSector& sector, bool directionIsMagnetic);

} // namespace vantorel
