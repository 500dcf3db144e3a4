// SPDX-License-Identifier: GPL-3.0-or-later
// The names photo files are given, for the open dialog's filters: the JPEG ones and every other
// kind of photo the program reads.
#pragma once

#include <QString>
#include <QStringList>

namespace vantorel {

// Every extension read, lower case, without the dot: JPEG, HEIF and AVIF, camera RAW and DNG, TIFF,
// PNG and WebP.
const QStringList& photoExtensions();

// The open dialog's filter of every photo read: « Toutes les photos (*.jpg *.JPG ...) », each
// extension in lower and upper case.
QString allPhotosFilter();

} // namespace vantorel
