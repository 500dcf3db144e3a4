// SPDX-License-Identifier: GPL-3.0-or-later
// Edits the GPS directory of an Exif (TIFF) block without touching anything else: every other
// byte of the block keeps its place, so no offset of another directory, value or maker note moves.
#pragma once

#include "metadata/propertyitem.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVector>
#include <optional>

namespace vantorel {

struct GpsDirectoryEdit {
    QVector<PropertyItem> set;    // written (values little-endian, as PropertyItem holds them)
    QList<quint16> remove;        // taken out, every entry of each
    bool removeDirectory = false; // the whole directory and the main directory's pointer to it
    bool addDirectory = true;     // a block without a GPS directory is given one for `set`
};

struct GpsDirectoryEditResult {
    std::optional<QByteArray> block; // nothing when the block cannot be edited soundly (see error)
    QString error;
    int removedItems = 0; // entries taken out
    // The stored bytes of the positions (the photo's or the destination's) replaced or removed.
    QVector<QByteArray> oldPositions;
};

// Items whose type and count stay are rewritten where they are (every entry of a tag, should a
// damaged file hold several); a directory that loses entries is rewritten in its own place;
// otherwise a new directory (and, when the main directory has no GPS pointer, a copy of that
// directory with one) is appended to the block and the pointer to it changed. Entries the editor
// cannot interpret (an unknown type) are kept as they are. Entries and values no directory uses
// any more are zeroed, so no removed position stays readable.
GpsDirectoryEditResult editGpsDirectory(const QByteArray& tiff, const GpsDirectoryEdit& edit);

// A new little-endian TIFF block for a photo without one: a main directory with `mainItems` (the
// resolution readers require) and a GPS directory with `items`.
QByteArray newGpsBlock(const QVector<PropertyItem>& items, const QVector<PropertyItem>& mainItems = {});

} // namespace vantorel
