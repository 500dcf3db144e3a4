// SPDX-License-Identifier: GPL-3.0-or-later
// HEIC and AVIF pictures through libheif.
#pragma once

#include "jpegdecoder.h"

#include <QImage>

namespace vantorel {

// The primary picture of the HEIF file open on `fd` (left open), whole, turned, mirrored and cropped as
// the file says, in Format_RGB32; null when the file does not decode, when its picture is over the
// budgets of picturedecoder.h (checked before any pixel is decoded) or once `cancel` is set (seen
// between the tiles of a picture made of tiles).
QImage decodeHeif(int fd, const CancelFlag* cancel = nullptr);

} // namespace vantorel
