// SPDX-License-Identifier: GPL-3.0-or-later
// The columns of the three grids the commands fill and read back: SG0 (the POI table), SG1 (the
// selected photo's coordinates) and SG2 (its EXIF listing).
#pragma once

namespace vantorel {

// SG0: one row per geotagged photo of the list; row 0 is the header.
enum PoiColumn : int {
    PoiName = 0,            // "Photo géocodée": the file name
    PoiLatitudeText = 1,    // "N 48°  12,345'"
    PoiLongitudeText = 2,   // "E 2°  21,000'"
    PoiSignedLatitude = 3,  // signed decimal degrees, 5 decimals
    PoiSignedLongitude = 4, // signed decimal degrees, 5 decimals
    PoiPath = 5,            // the full path
    PoiAltitudeRef = 6,     // "0" above sea level, "1" below, empty without a reference byte
    PoiAltitude = 7,        // metres, 2 decimals; empty without an altitude
    PoiWidth = 8,           // picture width in pixels
    PoiHeight = 9,          // picture height in pixels
    PoiColumnCount = 10,
};

// Rows of SG0 a pass over the whole table (a GPX file, an overview page) goes through between two
// calls of its pump: a few milliseconds' work.
inline constexpr int kRowsBetweenPumps = 2048;

// SG1: row 0 the header (or the "not geotagged" notice), row 1 the selected photo.
enum CoordColumn : int {
    CoordName = 0,             // the file name
    CoordLatitudeText = 1,     // "N 48°  12,345'"
    CoordLongitudeText = 2,    // "E 2°  21,000'"
    CoordLatitudeDegrees = 3,  // unsigned decimal degrees
    CoordLongitudeDegrees = 4, // unsigned decimal degrees
    CoordPath = 5,             // the full path (a hidden column)
    CoordColumnCount = 6,
};

// SG2: row 0 the header, then one row per EXIF item.
enum ExifColumn : int {
    ExifName = 0,  // "Tag Exif"
    ExifType = 1,  // "Type"
    ExifValue = 2, // "Valeur"
    ExifColumnCount = 3,
};

} // namespace vantorel
