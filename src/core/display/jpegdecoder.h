// SPDX-License-Identifier: GPL-3.0-or-later
// JPEG decoding for the preview and the full-size viewer, straight through libjpeg-turbo: a preview costs
// a DCT-scaled decode and a picture's size costs its header, never a full decode.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>

namespace vantorel {

class OpenedPhoto;

// Budgets that keep a small hostile file from costing seconds or gigabytes. A file over any of them is
// refused (the decode gives a null picture), as a file that does not decode.
//
// Pictures declaring more pixels than this are refused without decoding: no camera comes near it.
inline constexpr std::int64_t kMaxSourcePixels = 512LL * 1000 * 1000;
// The largest picture handed back (4 bytes a pixel), whatever the caller asks for.
inline constexpr std::int64_t kMaxOutputPixels = 32LL * 1000 * 1000;
// Memory libjpeg may take for whole-picture buffers: progressive and multi-scan files keep every
// coefficient of the picture (128 bytes an 8x8 block) until the last scan. A 24-megapixel progressive
// photo needs 72 MB in 4:2:0, 144 MB without subsampling.
inline constexpr long kMaxDecoderMemory = 200L * 1024 * 1024;
// Scans after which a file is refused: real encoders write about ten.
inline constexpr int kMaxScans = 1000;
// Decoding work, in weighted 8x8 blocks (each scan over each block it covers, weighted by what the
// decoder spends on it; see jpegdecoder.cpp). A 24-megapixel photo needs 3 to 23 million, whatever its
// coding; the budget holds any file to well under a second.
inline constexpr std::int64_t kMaxDecodeWork = 40LL * 1000 * 1000;
// Bytes read without the decoder moving on (before the first scan, or between two rows of blocks): what
// comes after them (padding, garbage between markers) is taken as the end of the image data.
inline constexpr std::int64_t kMaxBytesWithoutProgress = 32LL * 1024 * 1024;

// Set from another thread to stop a decode between rows of blocks or scans; the decode then gives null.
using CancelFlag = std::atomic<bool>;

// The picture fitted into `box` keeping its proportions (scaled up or down), as the file stores it
// (no rotation from the EXIF orientation). Decoded at the smallest DCT scale whose output still covers
// the fitted size, then scaled smoothly. Null on any failure.
// A truncated file gives what could be decoded; libjpeg fills the missing part from the last data read.
QImage decodePreview(const QString& path, QSize box, const CancelFlag* cancel = nullptr);
// The same from a photo already opened: its descriptor (shared, left open) and the head already read.
QImage decodePreview(const OpenedPhoto& photo, QSize box, const CancelFlag* cancel = nullptr);

// A picture decoded for showing, with the size its file declares.
struct DecodedPicture {
    QImage image;
    QSize natural;
};

// The picture at exactly `shownSize(natural size)` pixels, for painting without another rescale:
// decoded at the smallest of the scales libjpeg-turbo has SIMD code for (1/8, 1/4, 1/2, 1) whose output
// covers that size, then scaled once. Null image on any failure.
DecodedPicture decodeForShowing(const QString& path, const std::function<QSize(QSize natural)>& shownSize,
                                const CancelFlag* cancel = nullptr);

// The DCT scale, in eighths (1 to 16), at which a preview of a `natural`-sized picture for `box` is decoded:
// the smallest whose output still covers the picture fitted into the box; 16 when none does.
int previewScaleEighths(QSize natural, QSize box);

// The scale, in eighths (1, 2, 4 or 8), at which a picture is decoded for showing at `shown` pixels: the
// smallest whose output covers it; 8 when none does.
int showingScaleEighths(QSize natural, QSize shown);

// The same from a JPEG file's bytes in memory (a RAW file's embedded preview).
QImage decodePreviewOfBytes(const QByteArray& jpeg, QSize box, const CancelFlag* cancel = nullptr);
DecodedPicture decodeBytesForShowing(const QByteArray& jpeg,
                                     const std::function<QSize(QSize natural)>& shownSize,
                                     const CancelFlag* cancel = nullptr);

// Shared with the decoders of the other formats, which decode a picture whole:
// `natural` fitted into `box` keeping its proportions, never thinner than one pixel;
QSize fittedSize(QSize natural, QSize box);
// `image` (Format_RGB32) at exactly `target` pixels, scaled as a JPEG picture decoded larger is: halved
// by 2x2 averages while that stays at or above the target, then filtered bilinearly; null when the
// memory for it cannot be had.
QImage scaledPicture(QImage image, QSize target);

// Width and height from the frame header only. None when the file is not a JPEG picture libjpeg accepts,
// including a height of 0 (left to a DNL marker, which libjpeg does not support).
std::optional<QSize> jpegSize(const QString& path);

// True when the file name's extension (from its last dot) upper-cased is ".JPG".
bool isJpgExtension(const QString& path);

} // namespace vantorel
