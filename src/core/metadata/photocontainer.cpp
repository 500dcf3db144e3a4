// SPDX-License-Identifier: GPL-3.0-or-later
#include "photocontainer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace vantorel {

namespace {

bool startsAt(const QByteArray& bytes, qint64 at, const char* text, qint64 length) {
    return bytes.size() >= at + length && std::equal(text, text + length, bytes.constData() + at);
}

// A box file's brands (major and compatible) name a still picture.
bool stillPictureBrands(const QByteArray& start) {
    if (!startsAt(start, 4, "ftyp", 4)) return false;
    static const char* const kBrands[] = {"heic", "heix", "heim", "heis", "hevc", "hevx", "mif1",
                                          "msf1", "avif", "avis", "crx ", "jxl ", "mif2"};
    const qint64 boxSize = (quint32(uchar(start[0])) << 24) | (quint32(uchar(start[1])) << 16) |
                           (quint32(uchar(start[2])) << 8) | quint32(uchar(start[3]));
    const qint64 end = std::min<qint64>(start.size(), std::max<qint64>(boxSize, 16));
    for (qint64 at = 8; at + 4 <= end; at += 4) {
        if (at == 12) continue; // the minor version
        for (const char* brand : kBrands)
            if (startsAt(start, at, brand, 4)) return true;
    }
    return false;
}

} // namespace

ContainerKind sniffContainer(const QByteArray& start) {
    if (startsAt(start, 0, "\xFF\xD8\xFF", 3)) return ContainerKind::Jpeg;
    if (startsAt(start, 0, "II*\0", 4) || startsAt(start, 0, "MM\0*", 4) || startsAt(start, 0, "II+\0", 4) ||
        startsAt(start, 0, "MM\0+", 4) || startsAt(start, 0, "IIRO", 4) || startsAt(start, 0, "IIRS", 4) ||
        startsAt(start, 0, "IIU\0", 4) || startsAt(start, 0, "MMOR", 4))
        return ContainerKind::Tiff;
    if (startsAt(start, 0, "\x89PNG\r\n\x1A\n", 8)) return ContainerKind::Png;
    if (startsAt(start, 0, "RIFF", 4) && startsAt(start, 8, "WEBP", 4)) return ContainerKind::WebP;
    if (stillPictureBrands(start)) return ContainerKind::IsoBmff;
    if (startsAt(start, 0, "FUJIFILMCCD-RAW", 15) || startsAt(start, 0, "II\x1A\0\0\0HEAPCCDR", 14) ||
        startsAt(start, 0, "\0MRM", 4) || startsAt(start, 0, "FOVb", 4))
        return ContainerKind::OtherRaw;
    return ContainerKind::Unknown;
}

QString containerName(ContainerKind kind) {
    switch (kind) {
    case ContainerKind::Jpeg:
        return QStringLiteral("JPEG");
    case ContainerKind::Tiff:
        return QStringLiteral("TIFF");
    case ContainerKind::Png:
        return QStringLiteral("PNG");
    case ContainerKind::WebP:
        return QStringLiteral("WebP");
    case ContainerKind::IsoBmff:
        return QStringLiteral("HEIF");
    case ContainerKind::OtherRaw:
        return QStringLiteral("RAW");
    case ContainerKind::Unknown:
        break;
    }
    return QString();
}

QByteArray MemorySource::read(qint64 offset, qint64 length) const {
    if (offset < 0 || length <= 0 || offset >= m_bytes.size()) return {};
    return m_bytes.mid(offset, std::min(length, m_bytes.size() - offset));
}

FileSource::FileSource(int fd) : m_fd(fd) {
    struct stat st {};
    if (::fstat(fd, &st) == 0) m_size = st.st_size;
}

QByteArray FileSource::read(qint64 offset, qint64 length) const {
    if (offset < 0 || length <= 0 || offset >= m_size) return {};
    QByteArray out(std::min(length, m_size - offset), Qt::Uninitialized);
    qint64 done = 0;
    while (done < out.size()) {
        const ssize_t n = ::pread(m_fd, out.data() + done, size_t(out.size() - done), offset + done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += n;
    }
    out.truncate(done);
    return out;
}

const PhotoContainer* photoContainer(ContainerKind kind) {
    switch (kind) {
    case ContainerKind::Jpeg:
        return &jpegContainer();
    case ContainerKind::Tiff:
        return &tiffContainer();
    case ContainerKind::Png:
        return &pngContainer();
    case ContainerKind::WebP:
        return &webpContainer();
    case ContainerKind::IsoBmff:
        return &bmffContainer();
    case ContainerKind::Unknown:
    case ContainerKind::OtherRaw:
        break;
    }
    return nullptr;
}

} // namespace vantorel
