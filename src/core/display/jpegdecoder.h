// JPEG decoding for the preview and the full-size viewer, straight through libjpeg-turbo: a preview costs
// a DCT-scaled decode and a picture's size costs its header, never a full decode.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include <cstdint>
#include <optional>

namespace vantorel {

// Pictures declaring more pixels than this are refused without decoding: no camera comes near it, and a
// corrupt header claiming 65535 x 65535 would otherwise cost seconds of work on invented data.
inline constexpr std::int64_t kMaxSourcePixels = 512LL * 1000 * 1000;
// The largest picture handed back (4 bytes a pixel), whatever the caller asks for.
inline constexpr std::int64_t kMaxOutputPixels = 128LL * 1000 * 1000;
// Memory libjpeg may take for whole-picture buffers (progressive and multi-scan files keep every
// coefficient of the picture until the last scan).
inline constexpr long kMaxDecoderMemory = 1024L * 1024 * 1024;
// Progressive files with more scans than this are refused: a crafted file can repeat scans to keep
// the decoder busy for minutes, and real encoders write about ten.
inline constexpr int kMaxScans = 1000;

// The picture fitted into `box` keeping its proportions (scaled up or down), as the file stores it
// (no rotation from the EXIF orientation). Decoded at the smallest DCT scale whose output still covers
// the fitted size, then scaled smoothly. Null on any failure.
// A truncated file gives what could be decoded; libjpeg fills the missing part from the last data read.
QImage decodePreview(const QString& path, QSize box);

// The picture at its own size, or fitted into `limit` keeping its proportions when it is larger in either
// direction. An empty `limit` means no limit. Null on any failure, including a picture above
// kMaxOutputPixels.
QImage decodeFull(const QString& path, QSize limit);

// The DCT scale, in eighths (1 to 16), at which a preview of a `natural`-sized picture for `box` is decoded:
// the smallest whose output still covers the picture fitted into the box; 16 when none does.
int previewScaleEighths(QSize natural, QSize box);

// Width and height from the frame header only. None when the file is not a JPEG picture libjpeg accepts,
// including a height of 0 (left to a DNL marker, which libjpeg does not support).
std::optional<QSize> jpegSize(const QString& path);

// The same from the bytes of a file up to its first scan, already in memory.
std::optional<QSize> jpegSizeOfHeader(const QByteArray& head);

// True when the file name's extension (from its last dot) upper-cased is ".JPG".
bool isJpgExtension(const QString& path);

} // namespace vantorel
