// SPDX-License-Identifier: GPL-3.0-or-later
// What a copy changes in a photo's head: the GPS directory of every Exif segment, the XMP
// packets and, when everything that locates the photo goes, the IPTC places; every other segment
// stays byte for byte.
#pragma once

#include "files/jpegsegments.h"
#include "geotag/gpsdirectoryedit.h"
#include "metadata/imageproperties.h"
#include "metadata/propertyitem.h"

#include <QString>
#include <QVector>

namespace vantorel {

using LocationErase = LocationMetadataEdit::Erase;

struct LocationEdit {
    LocationErase erase = LocationErase::None;
    QVector<PropertyItem> gpsItems;    // written into every GPS directory (when erase is None)
    QString xmpLatitude, xmpLongitude; // the same position in XMP's form, for packets that hold one
    bool addPosition = true;           // a picture without a GPS directory is given one
    // Names of the position's place for the XMP packet (a JPEG without one is given one) and the
    // IPTC block that the photo has; empty: none written.
    LocationMetadataEdit::Place place;
};

// What was taken out, by kind.
struct LocationRemovals {
    int exifGps = 0; // GPS directory entries
    int xmp = 0;     // XMP properties
    int iptc = 0;    // IPTC datasets
};
// "Retirés : 4 éléments GPS Exif, 2 propriétés XMP, 1 champ IPTC" (the kinds with none left out).
QString removalsSummary(const LocationRemovals& removed);

// What a location edit makes of a GPS directory, and of an XMP packet or IPTC block: the same
// for every kind of photo file.
GpsDirectoryEdit gpsDirectoryEditFor(const LocationEdit& edit);
LocationMetadataEdit metadataEditFor(const LocationEdit& edit);

struct LocationPlan {
    QString error; // not empty: the copy cannot be written (why)
    QVector<SegmentChange> changes;
    LocationRemovals removed;
    QVector<QByteArray> oldPositions; // bytes of the old positions, to be found nowhere in the copy
    bool otherPictures = false;       // pictures after the first were changed
};
// The changes in one picture's head (its segments up to the first scan).
LocationPlan planLocationEdit(const QByteArray& head, const LocationEdit& edit);
// The changes in a whole file: its first picture, given its `head`, then every other picture a
// reader may find in it (those its multi-picture index declares, a JPEG appended after the end of
// the first), each keeping its own Exif; the index follows the pictures when they move.
LocationPlan planFileLocationEdit(const QByteArray& file, const QByteArray& head, const LocationEdit& edit);

// GPS ids that state a place: the photo's position and its destination's.
inline constexpr quint16 kPositionIds[] = {1, 2, 3, 4, 0x13, 0x14, 0x15, 0x16};

} // namespace vantorel
