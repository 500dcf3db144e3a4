// Edits the GPS directory of an Exif (TIFF) block without touching anything else: every other
// byte of the block keeps its place, so no offset of another directory, value or maker note moves.
#pragma once

#include "metadata/propertyitem.h"

#include <QByteArray>
#include <QList>
#include <QVector>
#include <optional>

namespace vantorel {

// The block with the GPS items `set` written (values little-endian, as PropertyItem holds them)
// and the items `remove` taken out. Items are rewritten in place when their type and count stay;
// otherwise a new GPS directory (and, when the main directory has no GPS pointer, a copy of that
// directory with one) is appended to the block and the pointer to it changed. Entries and values
// that no directory uses any more are zeroed, so no removed position stays readable.
// Nothing when the block is not a plain, sound TIFF structure: the caller then rebuilds it.
std::optional<QByteArray> editGpsDirectory(const QByteArray& tiff, const QVector<PropertyItem>& set,
                                           const QList<quint16>& remove);

} // namespace vantorel
