// SPDX-License-Identifier: GPL-3.0-or-later
// A quick reader of the GPS directory of a JPEG's Exif segment (or of another file's TIFF block), for the
// commands that only need a photo's position and read thousands of photos: it walks the TIFF structure to the
// GPS items and decodes nothing else.
#pragma once

#include "propertyitem.h"

#include <QByteArray>
#include <QVector>
#include <optional>

namespace vantorel {

// The items of the GPS directory in file order (values little-endian), an empty list when the
// photo has no GPS directory, or nothing when the Exif segment cannot be walked safely (the
// caller then asks the full reader).
std::optional<QVector<PropertyItem>> readGpsDirectory(const QByteArray& jpegHead);
// The same from a TIFF block (from its "II*\0" or "MM\0*" header), or from its first bytes: what
// lies beyond them counts as a structure that cannot be walked.
std::optional<QVector<PropertyItem>> readTiffGpsDirectory(const QByteArray& tiffBlock);

} // namespace vantorel
