// SPDX-License-Identifier: GPL-3.0-or-later
// XMP sidecars: a photo's position in a small XMP file beside it, named as photo managers look for
// it ("NAME.EXT.xmp", or "NAME.xmp"), for the photos whose own file cannot take a position safely
// (a RAW of a structure of its own, a CR3) and for any photo on request. The photo is never
// touched; an existing sidecar is edited, its other properties kept.
#pragma once

#include "geotagcopy.h"

#include <QString>

namespace vantorel {

enum class SidecarName {
    WithExtension,    // IMG_1234.CR3.xmp
    WithoutExtension, // IMG_1234.xmp
};

// The sidecar's path beside `photo`.
QString sidecarPathFor(const QString& photo, SidecarName naming = SidecarName::WithExtension);

// Whether `photo` is of a kind we read but whose file we never write: its position goes to a
// sidecar. False for a file that cannot be read (its copy fails with the reason).
bool photoTakesSidecarOnly(const QString& photo);

// Why a photo of that kind gets no copy without position.
inline const QString kSidecarCannotErase =
    QStringLiteral("une position ne peut pas être retirée de ce fichier : un fichier XMP annexe ne "
                   "peut qu'en ajouter une, et le fichier lui-même n'est jamais réécrit");

// The properties a sidecar is given for `position` (exiv2's keys, XMP's text values): version,
// latitude, longitude, and altitude and time when the position carries them (empty otherwise, so
// that an earlier position's altitude or time goes).
QVector<QPair<QByteArray, QString>> sidecarProperties(const GpsPosition& position);

// A new sidecar's text for `photo` (its file name as the source it was derived from).
QByteArray newSidecarText(const QString& photo, const GpsPosition& position);

// Writes the sidecar `sidecar` of `photo` with `position`: a new one, or the existing one with the
// position's properties set and every other kept. A file there that cannot be read as XMP is
// replaced only with `replaceUnreadable`; otherwise the write fails with the reason. The sidecar
// takes its name only once it reads back with the position. `extra` as for the copies (a batch).
CopyResult writeSidecar(const QString& photo, const QString& sidecar, const GpsPosition& position,
                        bool replaceUnreadable = false, const AtomicWriteOptions& extra = {});

} // namespace vantorel
