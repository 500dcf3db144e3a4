// SPDX-License-Identifier: GPL-3.0-or-later
// The EXIF listing of a photo: every property item as a row of tag name, type name and value
// text, plus the values the view sector and the map page take from it. No widgets: the window
// copies the rows into its grid SG2 and reads the later passes back from that grid.
#pragma once

#include "files/regularfile.h"
#include "propertyitem.h"

#include <QString>
#include <QVector>

namespace vantorel {

class OpenedPhoto;
class StringGrid;

// Message shown when the picture cannot be opened.
inline constexpr char kErrorRet1[] = "Erreur ret1";

struct ExifRow {
    QString name, type, value;
};

struct ExifListing {
    bool opened = false; // false: the picture could not be opened; caller shows failureMessage()
    // Why it could not: UnsupportedFormat for a kind of photo no reader reads.
    FileOpenError error = FileOpenError::None;
    QVector<ExifRow> rows;     // one per property item, in ImageProperties::allItems() order
    float focalLength = 10.0f; // SharedState::FocalLength: "ExifFocalLength" of one unsigned rational, mm
    QString cameraModel;       // SharedState::CameraModel: the whole "EquipModel" text
    bool directionIsMagnetic = true; // SharedState::DirectionIsMagnetic: "GpsImgDirRef" is "M"
    // An ASCII "GpsImgDirRef" was met: the declination controls then follow directionIsMagnetic.
    bool directionRefSeen = false;
    bool landscape = true; // SharedState::Landscape: from "Orientation"

    // The message for a picture that could not be opened: "Erreur ret1", or « Format non pris en
    // charge » for a kind of photo no reader reads.
    QString failureMessage() const;
};

// The name of the row a photo that is no JPEG gets after its items, with its size in pixels from
// its format's header (a JPEG's is in its Exif items and the POI table).
inline constexpr char kPixelSizeRowName[] = "Taille en pixels";

// Lists every item of the photo at `path`. A photo that opens but yields no items (no metadata,
// or metadata that cannot be read) gives `opened` and no rows: the grid then shows its one empty
// row and no message. A photo that is no JPEG ends with its size row when its size is known.
ExifListing listExifItems(const QString& path);
// The same from a photo already opened.
ExifListing listExifItems(const OpenedPhoto& photo);

// The value cell of one item. When `shared` is given, the items with a meaning (GpsImgDirRef,
// EquipModel, ExifFocalLength, Orientation) update it.
QString formatPropertyValue(const PropertyItem& item, ExifListing* shared = nullptr);

// ViewDirection when the photo gives no direction of view.
inline constexpr float kNoViewDirection = 999.0f;
constexpr bool hasViewDirection(float viewDirection) {
    return viewDirection != kNoViewDirection;
}

// Direction pass over the data rows of SG2: the value of the last "GpsImgDir" row that holds one
// number, kNoViewDirection when there is none. A row that holds no number or several is passed over.
float viewDirectionFromRows(const StringGrid& sg2);

// Latitude and longitude passes: "GpsLatitudeRef" sets label3 to its value, "GpsLatitude" appends
// " " + its value; the same for the longitude rows and label4. Labels without rows are left as given.
void referenceLabelsFromRows(const StringGrid& sg2, QString& label3, QString& label4);

} // namespace vantorel
