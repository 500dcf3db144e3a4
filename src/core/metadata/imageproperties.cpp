// SPDX-License-Identifier: GPL-3.0-or-later
#include "imageproperties.h"

#include "files/atomicfile.h"
#include "files/jpeghead.h"
#include "files/jpegsegments.h"
#include "files/pathnames.h"
#include "files/regularfile.h"
#include "gpsdirectory.h"
#include "metadataengine.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantorel {

quint32 thumbnailPropertyId(quint32 tiffId) {
    static const std::pair<quint32, quint32> map[] = {
        {0x0100, 0x5020}, {0x0101, 0x5021}, {0x0102, 0x5022}, {0x0103, 0x5023}, {0x0106, 0x5024},
        {0x010E, 0x5025}, {0x010F, 0x5026}, {0x0110, 0x5027}, {0x0111, 0x5028}, {0x0112, 0x5029},
        {0x0115, 0x502A}, {0x0116, 0x502B}, {0x0117, 0x502C}, {0x011A, 0x502D}, {0x011B, 0x502E},
        {0x011C, 0x502F}, {0x0128, 0x5030}, {0x012D, 0x5031}, {0x0131, 0x5032}, {0x0132, 0x5033},
        {0x013B, 0x5034}, {0x013E, 0x5035}, {0x013F, 0x5036}, {0x0211, 0x5037}, {0x0212, 0x5038},
        {0x0213, 0x5039}, {0x0214, 0x503A}, {0x8298, 0x503B},
    };
    for (const auto& [from, to] : map)
        if (from == tiffId) return to;
    return tiffId;
}

namespace {

// How much of a large TIFF block (a TIFF or RAW file is one) the quick GPS reader reads: cameras put
// their directories before the picture data; a file that keeps them further is read in full by
// the full reader.
constexpr qint64 kGpsWindow = 256 * 1024;
// The largest Exif block read into memory for the full reader.
constexpr qint64 kMaxExifBlock = 16 * 1024 * 1024;

// A file whose first bytes were read already: what lies within them is not read again.
class StartedSource final : public ByteSource {
public:
    StartedSource(int fd, const QByteArray& start) : m_file(fd), m_start(start) {}
    qint64 size() const override { return m_file.size(); }
    QByteArray read(qint64 offset, qint64 length) const override {
        if (offset >= 0 && length > 0 && offset + length <= m_start.size())
            return m_start.mid(offset, length);
        return m_file.read(offset, length);
    }

private:
    FileSource m_file;
    const QByteArray& m_start;
};

} // namespace

struct ImageProperties::Impl {
    QString path;
    ContainerKind kind = ContainerKind::Unknown;
    // A photo of another kind than JPEG, kept open: the full reader reads it through its descriptor.
    std::shared_ptr<const OpenedPhoto> other;
    int fd = -1;
    std::optional<QSize> pixelSize;
    ByteRange exifBlock;         // its first Exif block, when its container could be walked
    bool imageFromBlock = false; // the full reader read that block alone
    QByteArray head;
    QByteArray exifAlone; // the Exif segment as a JPEG of its own, when the whole file cannot be read
    QVector<std::pair<qint64, qint64>> unread; // parts of the head not read (Scope::Gps)
    FileOpenError openError = FileOpenError::None;
    std::unique_ptr<ExifPicture> image;
    // Read directly when only GPS items were asked for; the full reader then loads on first other need.
    std::optional<QVector<PropertyItem>> gpsItems;
    bool loadFailed = false;

    bool loadFully();
    bool loadExifAlone();
    bool full() {
        if (image) return true;
        if (!gpsItems || loadFailed) return false;
        return loadFully();
    }
    std::unique_ptr<ExifPicture> read(const QByteArray& bytes) const {
        const MetadataEngine* engine = metadataEngine();
        if (!engine) return nullptr;
        // The file opened, even when its name has been given to another file since.
        if (bytes.isEmpty() && fd >= 0)
            return engine->read(QByteArray("/proc/self/fd/") + QByteArray::number(fd), {});
        return engine->read(encodePath(path), bytes);
    }
    void closeFile() {
        other.reset();
        fd = -1;
    }
    bool openOther(const OpenedPhoto& photo, Scope scope);
};

bool ImageProperties::Impl::openOther(const OpenedPhoto& photo, Scope scope) {
    other = photo.shared_from_this();
    fd = photo.fd();
    if (const PhotoContainer* container = photoContainer(kind)) {
        const StartedSource source(fd, photo.head().otherStart);
        const ContainerLayout layout = container->layout(source);
        if (layout.error.isEmpty()) {
            pixelSize = layout.pixelSize;
            if (!layout.exif.isEmpty()) exifBlock = layout.exif.first();
            if (scope == Scope::Gps && !layout.exif.isEmpty()) {
                const ByteRange first = layout.exif.first();
                const bool whole = first.size <= kGpsWindow;
                const QByteArray block = source.read(first.offset, std::min(first.size, kGpsWindow));
                auto items = readTiffGpsDirectory(block);
                // No GPS directory in a block read in part, or in the first of several blocks (a CR3
                // keeps its GPS directory in a block of its own), is left to the full reader.
                if (items && (!items->isEmpty() || (whole && layout.exif.size() == 1)))
                    gpsItems = std::move(items);
            } else if (scope == Scope::Gps && kind != ContainerKind::Png) {
                // No Exif block: no GPS items (a PNG may also keep its Exif in a text chunk, which
                // the full reader finds).
                gpsItems = QVector<PropertyItem>();
            }
            if (gpsItems) return true;
        }
    }
    if (loadFully()) return true;
    openError = FileOpenError::UnsupportedFormat;
    return false;
}

bool ImageProperties::Impl::loadFully() {
    // A JPEG is parsed from the bytes already read; other pictures from the file.
    image = read(head);
    // A photo of another kind whose Exif block the full reader did not find in the file (exiv2
    // 0.27 misreads the item locations of many HEIF files) is read from that block.
    if (fd >= 0 && exifBlock.valid() && (!image || image->empty()) && exifBlock.size <= kMaxExifBlock) {
        const QByteArray block = FileSource(fd).read(exifBlock.offset, exifBlock.size);
        if (block.size() == exifBlock.size) {
            if (auto fromBlock = read(block)) {
                image = std::move(fromBlock);
                imageFromBlock = true;
            }
        }
    }
    if (image || loadExifAlone()) return true;
    loadFailed = true;
    return false;
}

bool ImageProperties::Impl::loadExifAlone() {
    if (exifAlone.isEmpty() && !head.isEmpty()) exifAlone = exifSegmentAlone(head);
    if (exifAlone.isEmpty()) return false;
    image = read(exifAlone);
    return image != nullptr;
}

ImageProperties::ImageProperties() : d(std::make_unique<Impl>()) {}
ImageProperties::~ImageProperties() = default;

bool ImageProperties::open(const QString& path, Scope scope) {
    return open(*OpenedPhoto::open(path, scope == Scope::Gps ? OpenedPhoto::Reading::GpsItems
                                                             : OpenedPhoto::Reading::Whole),
                scope);
}

bool ImageProperties::open(const OpenedPhoto& photo, Scope scope) {
    d->image.reset();
    d->gpsItems.reset();
    d->loadFailed = false;
    d->closeFile();
    d->pixelSize.reset();
    d->exifBlock = ByteRange();
    d->imageFromBlock = false;
    d->path = photo.path();
    d->openError = photo.openError();
    d->head = photo.head().bytes;
    d->exifAlone = photo.head().exifAlone;
    d->unread = photo.head().unread;
    // A file that starts as a JPEG is read as one, even when its head cannot be walked.
    const QByteArray& start = photo.head().otherStart;
    d->kind = start.isEmpty() ? ContainerKind::Jpeg : sniffContainer(start);
    if (!photo.opened()) return false;
    if (d->kind != ContainerKind::Jpeg && d->kind != ContainerKind::Unknown && photo.fd() >= 0)
        return d->openOther(photo, scope);
    if (scope == Scope::Gps && !(d->head.isEmpty() && d->exifAlone.isEmpty())) {
        d->gpsItems = readGpsDirectory(d->head.isEmpty() ? d->exifAlone : d->head);
        if (d->gpsItems) return true;
    }
    return d->loadFully();
}

FileOpenError ImageProperties::openError() const {
    return d->openError;
}

ContainerKind ImageProperties::kind() const {
    return d->kind;
}

std::optional<QSize> ImageProperties::pixelSize() const {
    if (d->kind == ContainerKind::Jpeg) return std::nullopt;
    if (d->pixelSize) return d->pixelSize;
    // The full reader's size of a HEIF file is often a tile's, and that of a block read alone no picture's.
    if (d->kind == ContainerKind::IsoBmff || !d->full() || d->imageFromBlock) return std::nullopt;
    if (const auto size = d->image->pixelSize()) return QSize(size->first, size->second);
    return std::nullopt;
}

const QByteArray& ImageProperties::jpegHead() const {
    return d->head;
}

std::optional<PropertyItem> ImageProperties::item(quint32 id) const {
    if (d->gpsItems && isGpsId(id)) {
        for (const PropertyItem& item : *d->gpsItems)
            if (item.id == id) return item;
        return std::nullopt;
    }
    if (!d->full()) return std::nullopt;
    if (isGpsId(id)) return d->image->find(id, ExifGroup::Gps);
    if (auto item = d->image->find(id, ExifGroup::Image)) return item;
    return d->image->find(id, ExifGroup::Photo);
}

QVector<PropertyItem> ImageProperties::allItems() const {
    QVector<PropertyItem> items;
    if (!d->full()) return items;
    QVector<PropertyItem> thumbnail;
    for (auto& [group, item] : d->image->all()) {
        switch (group) {
        case ExifGroup::Image:
        case ExifGroup::Photo:
        case ExifGroup::Gps:
            items.append(std::move(item));
            break;
        case ExifGroup::Thumbnail:
            item.id = thumbnailPropertyId(item.id);
            thumbnail.append(std::move(item));
            break;
        case ExifGroup::Other:
            break;
        }
    }
    items += thumbnail;
    return items;
}

bool ImageProperties::setItem(const PropertyItem& item) {
    if (!d->full()) return false;
    // Only the TIFF types can be written into a directory.
    if (item.type < TypeByte || item.type > TypeDouble) return false;
    return d->image->set(item);
}

void ImageProperties::removeItem(quint32 id) {
    if (d->full()) d->image->remove(id);
}

std::optional<QByteArray> ImageProperties::encodedExifBlock(QString* error) const {
    auto fail = [&](const QString& why) -> std::optional<QByteArray> {
        if (error) *error = why;
        return std::nullopt;
    };
    if (!d->full()) return fail(QStringLiteral("image non ouverte"));
    const auto block = findExifBlock(d->head);
    if (!block) return fail(QStringLiteral("%1 n'est pas un fichier JPEG lisible").arg(d->path));
    // Nothing to write into a file that had no Exif segment: it gets none.
    if (block->tiffOffset < 0 && d->image->empty()) return QByteArray();
    QString why;
    const auto out = d->image->encode(
        block->tiffOffset >= 0 ? d->head.mid(block->tiffOffset, block->tiffSize) : QByteArray(), &why);
    if (!out) return fail(why);
    // Empty when no item is left (a GPS pointer alone is not written): the segment goes.
    if (out->size() > kMaxExifTiffSize) return fail(QStringLiteral("bloc Exif trop grand"));
    return out;
}

bool ImageProperties::saveTo(const QString& target, QString* error, AtomicWriteOptions options) const {
    auto fail = [&](const QString& why) {
        if (error) *error = why;
        return false;
    };
    if (!d->full()) return fail(QStringLiteral("image non ouverte"));
    const auto tiff = encodedExifBlock(error);
    if (!tiff) return false;
    return saveWithExifBlock(*tiff, target, error, std::move(options));
}

bool ImageProperties::saveWithExifBlock(const QByteArray& tiff, const QString& target, QString* error,
                                        AtomicWriteOptions options) const {
    auto fail = [&](const QString& why) {
        if (error) *error = why;
        return false;
    };
    const int fd = openRegularFile(d->path);
    if (fd < 0) return fail(QStringLiteral("impossible de lire ") + d->path);
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0) return fail(QStringLiteral("impossible de lire ") + d->path);
    // The block was built from the head read at open(): the file must not have changed since.
    QByteArray sourceHead(d->head.size(), Qt::Uninitialized);
    if (::pread(fd, sourceHead.data(), size_t(sourceHead.size()), 0) != sourceHead.size())
        return fail(QStringLiteral("impossible de lire ") + d->path);
    QByteArray compared = sourceHead;
    for (const auto& [offset, length] : d->unread)
        compared.replace(offset, length, QByteArray(length, '\0'));
    if (compared != d->head) return fail(d->path + QStringLiteral(" a changé pendant l'écriture"));
    const auto splice = planExifSplice(d->head, tiff);
    if (!splice) return fail(QStringLiteral("bloc Exif trop grand"));
    AtomicFileWriter writer(target, std::move(options));
    if (!writeSplicedJpeg(writer, fd, st.st_size, sourceHead, {*splice})) return fail(writer.error());
    return true;
}

namespace {

MetadataBlockEdit unchanged(const QByteArray& block) {
    MetadataBlockEdit result;
    result.bytes = block;
    return result;
}

MetadataBlockEdit withoutEngine() {
    MetadataBlockEdit result;
    result.error = QStringLiteral("lecteur de métadonnées absent");
    return result;
}

} // namespace

MetadataBlockEdit editXmpPacket(const QByteArray& packet, const LocationMetadataEdit& edit) {
    // Most packets never mention a position: they stay as they are without a parse.
    // A coordinate may be in any namespace under any case (drone-dji:GpsLatitude).
    const QByteArray lower = packet.toLower();
    const bool anyCoordinate =
        lower.contains("latitude") || lower.contains("longitude") || lower.contains("longtitude");
    if (edit.erase != LocationMetadataEdit::Erase::Everything && !anyCoordinate) return unchanged(packet);
    const MetadataEngine* engine = metadataEngine();
    return engine ? engine->editXmpPacket(packet, edit) : withoutEngine();
}

MetadataBlockEdit editPhotoshopBlock(const QByteArray& resources, const LocationMetadataEdit& edit) {
    // Only places are taken out of a Photoshop block, and only when everything that locates goes.
    if (edit.erase != LocationMetadataEdit::Erase::Everything) return unchanged(resources);
    const MetadataEngine* engine = metadataEngine();
    return engine ? engine->editPhotoshopBlock(resources, edit) : withoutEngine();
}

} // namespace vantorel
