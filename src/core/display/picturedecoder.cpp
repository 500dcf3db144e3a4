// SPDX-License-Identifier: GPL-3.0-or-later
// Each format's decoder reads the file through the descriptor it was opened with, so that the picture
// shown is the file the selection read even when its name is given to another file meanwhile; the
// descriptor's own offset is never used (it may be shared), every read says where it reads.
#include "picturedecoder.h"
#include "files/jpeghead.h"
#include "files/regularfile.h"
#include "heifpicture.h"
#include "metadata/metadataengine.h"
#include "metadata/photocontainer.h"

#include <QFile>
#include <QIODevice>
#include <QImageReader>
#include <QPainter>

#include <algorithm>
#include <cerrno>

#include <unistd.h>

namespace vantorel {

namespace {

std::int64_t pixelsOf(QSize s) {
    return std::int64_t(s.width()) * s.height();
}

QString extensionOf(const QString& path) {
    const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot + 1).toLower();
}

// The names cameras give their TIFF-based RAW files.
bool rawExtension(const QString& path) {
    static const char* const kRaw[] = {"dng", "cr2", "nef", "nrw", "arw", "srf", "sr2", "orf", "rw2", "pef",
                                       "srw", "3fr", "erf", "kdc", "dcr", "mef", "mos", "iiq", "rwl", "raw"};
    const QString extension = extensionOf(path);
    return std::any_of(std::begin(kRaw), std::end(kRaw),
                       [&](const char* raw) { return extension == QLatin1String(raw); });
}

// A TIFF variant only cameras write: Olympus ("IIRO", "IIRS", "MMOR"), Panasonic ("IIU\0").
bool rawTiffHeader(const QByteArray& start) {
    return start.startsWith("IIRO") || start.startsWith("IIRS") || start.startsWith("MMOR") ||
           start.startsWith(QByteArray("IIU\0", 4));
}

// A descriptor read for Qt's image plugins at the device's own offset, which fails every read once the
// request is cancelled: the plugin then gives up as on a damaged file.
class DescriptorDevice final : public QIODevice {
public:
    DescriptorDevice(int fd, const CancelFlag* cancel) : m_fd(fd), m_cancel(cancel) {
        const off_t end = ::lseek(fd, 0, SEEK_END);
        m_size = end < 0 ? 0 : qint64(end);
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return false; }
    qint64 size() const override { return m_size; }
    bool seek(qint64 pos) override {
        if (pos < 0 || !QIODevice::seek(pos)) return false;
        m_at = pos;
        return true;
    }

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        if (m_cancel && m_cancel->load(std::memory_order_relaxed)) return -1;
        if (m_at >= m_size || maxSize <= 0) return 0;
        ssize_t n = 0;
        do
            n = ::pread(m_fd, data, std::size_t(std::min(maxSize, m_size - m_at)), off_t(m_at));
        while (n < 0 && errno == EINTR);
        if (n < 0) return -1;
        m_at += n;
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    int m_fd;
    const CancelFlag* m_cancel;
    qint64 m_size = 0;
    qint64 m_at = 0;
};

bool isCancelled(const CancelFlag* cancel) {
    return cancel && cancel->load(std::memory_order_relaxed);
}

// The picture as Format_RGB32, what is transparent laid on white.
QImage opaque(QImage image) {
    if (image.isNull() || image.format() == QImage::Format_RGB32) return image;
    if (!image.hasAlphaChannel()) return image.convertToFormat(QImage::Format_RGB32);
    QImage out(image.size(), QImage::Format_RGB32);
    if (out.isNull()) return {};
    out.fill(Qt::white);
    QPainter painter(&out);
    painter.drawImage(0, 0, image);
    return out;
}

// TIFF, PNG, WebP: the first picture of the file, as stored (no turn from its orientation, as for JPEG
// pictures). The size is read from the header and checked before any pixel is decoded.
QImage decodeWithPlugin(int fd, const CancelFlag* cancel) {
    // Only the plugin of the format the file's first bytes name, never another that would take it.
    QByteArray format;
    switch (sniffContainer(FileSource(fd).read(0, kSniffBytes))) {
    case ContainerKind::Tiff:
        format = "tiff";
        break;
    case ContainerKind::Png:
        format = "png";
        break;
    case ContainerKind::WebP:
        format = "webp";
        break;
    default:
        return {};
    }
    DescriptorDevice device(fd, cancel);
    QImageReader reader(&device, format);
    reader.setDecideFormatFromContent(false);
    reader.setAutoTransform(false);
    reader.setAllocationLimit(int(kMaxWholePictureMemory / (1024 * 1024)));
    const QSize natural = reader.size();
    if (natural.isEmpty() || pixelsOf(natural) > kMaxWholePicturePixels) return {};
    QImage image;
    if (!reader.read(&image) || isCancelled(cancel) || image.size() != natural) return {};
    return opaque(std::move(image));
}

// What a whole picture becomes: scaled to the size the caller asks for its natural size.
DecodedPicture fittedTo(QImage whole, const std::function<QSize(QSize natural)>& targetFor) {
    if (whole.isNull()) return {};
    const QSize natural = whole.size();
    const QSize target = targetFor(natural);
    if (target.isEmpty()) return {};
    QImage image = scaledPicture(std::move(whole), target);
    if (image.isNull()) return {};
    return {std::move(image), natural};
}

// The bytes of the largest JPEG picture a RAW file embeds, read by the metadata engine from the same
// file as the descriptor's.
QByteArray embeddedJpeg(int fd) {
    const MetadataEngine* engine = metadataEngine();
    if (!engine || fd < 0) return {};
    return engine->largestJpegPreview(QByteArray("/proc/self/fd/") + QByteArray::number(fd),
                                      kMaxEmbeddedJpegBytes);
}

// A whole-picture format, a RAW file's embedded picture or a JPEG picture, from a descriptor.
DecodedPicture decodeFormat(PictureFormat format, int fd,
                            const std::function<QSize(QSize natural)>& targetFor, const CancelFlag* cancel) {
    switch (format) {
    case PictureFormat::Heif:
        return fittedTo(decodeHeif(fd, cancel), targetFor);
    case PictureFormat::Plugin:
        return fittedTo(decodeWithPlugin(fd, cancel), targetFor);
    case PictureFormat::RawPreview: {
        const QByteArray jpeg = embeddedJpeg(fd);
        if (jpeg.isEmpty() || isCancelled(cancel)) return {};
        return decodeBytesForShowing(jpeg, targetFor, cancel);
    }
    case PictureFormat::Jpeg:
    case PictureFormat::None:
        break;
    }
    return {};
}

} // namespace

PictureFormat pictureFormat(const QString& path, const QByteArray& start) {
    switch (sniffContainer(start)) {
    case ContainerKind::Png:
    case ContainerKind::WebP:
        return PictureFormat::Plugin;
    case ContainerKind::Tiff:
        return rawTiffHeader(start) || rawExtension(path) ? PictureFormat::RawPreview : PictureFormat::Plugin;
    case ContainerKind::IsoBmff:
        // The major brand: Canon's CR3 embeds JPEG pictures; libheif decodes no JPEG XL.
        if (start.mid(8, 4) == "crx ") return PictureFormat::RawPreview;
        if (start.mid(8, 4) == "jxl ") return PictureFormat::None;
        return PictureFormat::Heif;
    case ContainerKind::OtherRaw:
        return PictureFormat::RawPreview;
    case ContainerKind::Jpeg:
    case ContainerKind::Unknown:
        break;
    }
    return isJpgExtension(path) ? PictureFormat::Jpeg : PictureFormat::None;
}

PictureFormat pictureFormatOf(const QString& path) {
    const int fd = openRegularFile(path);
    if (fd < 0) return isJpgExtension(path) ? PictureFormat::Jpeg : PictureFormat::None;
    const QByteArray start = FileSource(fd).read(0, kSniffBytes);
    ::close(fd);
    return pictureFormat(path, start);
}

PictureFormat pictureFormatOf(const OpenedPhoto& photo) {
    if (!photo.head().bytes.isEmpty())
        return pictureFormat(photo.path(), photo.head().bytes.left(kSniffBytes));
    if (!photo.head().otherStart.isEmpty())
        return pictureFormat(photo.path(), photo.head().otherStart.left(kSniffBytes));
    if (photo.fd() < 0) return isJpgExtension(photo.path()) ? PictureFormat::Jpeg : PictureFormat::None;
    return pictureFormat(photo.path(), FileSource(photo.fd()).read(0, kSniffBytes));
}

QImage decodePicturePreview(const OpenedPhoto& photo, QSize box, const CancelFlag* cancel) {
    if (box.isEmpty()) return {};
    const PictureFormat format = pictureFormatOf(photo);
    if (format == PictureFormat::Jpeg) return decodePreview(photo, box, cancel);
    return decodeFormat(
               format, photo.fd(), [box](QSize natural) { return fittedSize(natural, box); }, cancel)
        .image;
}

DecodedPicture decodePictureForShowing(const QString& path,
                                       const std::function<QSize(QSize natural)>& shownSize,
                                       const CancelFlag* cancel) {
    const int fd = openRegularFile(path);
    if (fd < 0) return {};
    const PictureFormat format = pictureFormat(path, FileSource(fd).read(0, kSniffBytes));
    DecodedPicture picture;
    if (format == PictureFormat::Jpeg) {
        ::close(fd);
        return decodeForShowing(path, shownSize, cancel);
    }
    picture = decodeFormat(format, fd, shownSize, cancel);
    ::close(fd);
    return picture;
}

} // namespace vantorel
