// SPDX-License-Identifier: GPL-3.0-or-later
// The picture of every photo format the program shows, for the preview and the full-size viewer: JPEG
// through libjpeg-turbo (jpegdecoder.h), HEIC and AVIF through libheif, camera RAW files (DNG included)
// through the largest JPEG picture they embed, never a development of their raw data, and TIFF, PNG
// and WebP through Qt's image plugins. Every decoder keeps to budgets of pixels, memory and time, and
// stops when its request is cancelled.
#pragma once

#include "jpegdecoder.h"

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include <cstdint>
#include <functional>

namespace vantorel {

class OpenedPhoto;

// Formats without scaled decoding (all but JPEG) hold the whole picture in memory while it is decoded,
// and their decoding costs every pixel: a picture of more pixels than this is refused without decoding.
// A 48-megapixel phone photo is not; 200 kB of PNG declaring this many pixels cost about 1.3 s of CPU
// and 250 MB for one decode.
inline constexpr std::int64_t kMaxWholePicturePixels = 50LL * 1000 * 1000;
// The memory the whole decoded picture may take in the decoder's own form (16-bit TIFF and PNG take
// 8 bytes a pixel): Qt's allocation limit, and libheif's planes and their RGB conversion.
inline constexpr std::int64_t kMaxWholePictureMemory = 512LL * 1024 * 1024;
// The largest embedded JPEG taken from a RAW file: cameras embed a few megabytes.
inline constexpr std::int64_t kMaxEmbeddedJpegBytes = 64LL * 1024 * 1024;

enum class PictureFormat {
    None,       // nothing shown
    Jpeg,       // a JPEG picture, shown from a file named ".JPG" only, as ever
    Heif,       // HEIC, AVIF: the primary picture, turned and mirrored as the file says
    RawPreview, // a camera RAW file, DNG and CR3 included: the largest JPEG picture it embeds
    Plugin,     // TIFF, PNG, WebP through Qt's image plugins
};

// How the picture of the file named `path` whose first bytes (kSniffBytes of them when the file has
// them) are `start` is decoded, from those bytes: a JPEG picture (or a file of an unknown kind) named
// ".JPG" goes to the JPEG decoder as before, the other formats whatever their name. A TIFF-based file
// is a camera's RAW file when its name says so (".dng", ".nef"...) or its header is a RAW variant.
PictureFormat pictureFormat(const QString& path, const QByteArray& start);
// The same, reading the first bytes of the file; a file that cannot be read named ".JPG" is Jpeg
// (its decode fails as before), any other None.
PictureFormat pictureFormatOf(const QString& path);
// The same for a photo opened for a selection, from its descriptor.
PictureFormat pictureFormatOf(const OpenedPhoto& photo);

// The picture of the photo fitted into `box` keeping its proportions, as decodePreview does for a JPEG
// picture; null on any failure or when the photo shows no picture.
QImage decodePicturePreview(const OpenedPhoto& photo, QSize box, const CancelFlag* cancel = nullptr);
// The picture at exactly `shownSize(natural size)` pixels, as decodeForShowing does for a JPEG picture.
// The natural size is the picture's as shown: a HEIF picture's after its turn, a RAW file's embedded
// picture's.
DecodedPicture decodePictureForShowing(const QString& path,
                                       const std::function<QSize(QSize natural)>& shownSize,
                                       const CancelFlag* cancel = nullptr);

} // namespace vantorel
