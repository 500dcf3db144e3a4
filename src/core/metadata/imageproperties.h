// SPDX-License-Identifier: GPL-3.0-or-later
// Access to a picture's metadata as property items: open, read one or all items, set and remove
// items, save a copy. The full reader (exiv2) is reached from here alone, through metadataengine.h.
#pragma once

#include "files/atomicfile.h"
#include "files/jpeghead.h"
#include "files/regularfile.h"
#include "metadataengine.h"
#include "photocontainer.h"
#include "propertyitem.h"

#include <QSize>
#include <QString>
#include <QVector>
#include <memory>
#include <optional>

namespace vantorel {

class ImageProperties {
public:
    ImageProperties();
    ~ImageProperties();
    ImageProperties(const ImageProperties&) = delete;
    ImageProperties& operator=(const ImageProperties&) = delete;

    // What a caller is going to read: everything, or only GPS items (a JPEG's GPS directory is then
    // read directly, the rest only if asked for after all).
    enum class Scope { All, Gps };

    // Opens the picture and reads its metadata. False when the file cannot be read as a picture
    // (or is not a regular file: a pipe or a device named like a photo is never read);
    // every later read then finds no items.
    // A JPEG cut short after its whole Exif segment (inside a later XMP segment, say), or whose
    // metadata exiv2 refuses, is read from its Exif segment alone.
    // A photo of another kind (TIFF, RAW, PNG, WebP, HEIF) is read by the full reader; with
    // Scope::Gps its GPS items come from its first Exif block when its container can be walked.
    // One that no reader can read fails with FileOpenError::UnsupportedFormat.
    bool open(const QString& path, Scope scope = Scope::All);
    // The same from a photo already opened, its head already read: nothing is read from disk.
    bool open(const OpenedPhoto& photo, Scope scope = Scope::All);

    // Why the last open could not read the file at all; None when it was read, a picture or not
    // (a photo that could not be read is not a photo without GPS).
    FileOpenError openError() const;

    // The kind of file that was opened: Jpeg for a file that starts as one (read as always, even
    // when its head cannot be walked), Unknown for a file no reader knows of by its first bytes.
    ContainerKind kind() const;

    // The picture's width and height for a file that is no JPEG, from its format's own header (or
    // as the full reader found it); nothing for a JPEG, whose size is its frame header's
    // (jpegFrameSize of jpegHead()), and when it is not known.
    std::optional<QSize> pixelSize() const;

    // For a JPEG file: its bytes up to and including the header of the first scan, read once for
    // the metadata and enough for the picture's size. Empty otherwise. With Scope::Gps the payloads
    // of application segments and comments other than the Exif one are zeros where they reach
    // beyond the first small read: nothing reads them then, and a cold photo is read only where needed.
    const QByteArray& jpegHead() const;

    // One item by id: GPS ids (below 0x20) come from the GPS directory, other ids from the main
    // image's directory, then the Exif directory.
    std::optional<PropertyItem> item(quint32 id) const;

    // Every item a user expects in a listing, in file order: main image, Exif and GPS directories,
    // then the thumbnail directory under the thumbnail ids (0x5020...).
    QVector<PropertyItem> allItems() const;

    // Adds or replaces an item of the picture to be saved (GPS ids go to the GPS directory, ids
    // only the Exif directory knows to it, other ids to the main image's). False when the bytes
    // do not make a value of that type.
    bool setItem(const PropertyItem& item);
    // Removes an item; an absent item is no error.
    void removeItem(quint32 id);

    // The TIFF block of the Exif segment (what follows "Exif\0\0") with the current items, in the
    // source's byte order. exiv2 edits the source's block in place when the new values fit where
    // the old ones were, and rebuilds it otherwise. Empty (with a reason) for a picture that is no
    // JPEG, or when the block would not fit in one segment; an empty block when no item is left.
    std::optional<QByteArray> encodedExifBlock(QString* error = nullptr) const;

    // Writes the picture with its current items to `target`: the source's bytes with only the
    // Exif segment replaced (inserted after JFIF when there was none); every other byte, the image
    // data included, is copied through. The file is completed beside `target` and then renamed
    // over it, so it appears whole or not at all; `options` add checks, permissions and times.
    // A picture that is no JPEG is not written (false, with the reason).
    bool saveTo(const QString& target, QString* error = nullptr, AtomicWriteOptions options = {}) const;

private:
    bool saveWithExifBlock(const QByteArray& tiffBlock, const QString& target, QString* error,
                           AtomicWriteOptions options) const;
    struct Impl;
    std::unique_ptr<Impl> d;
};

// An XMP packet (what follows the XMP segment's namespace), rewritten only when it changes.
MetadataBlockEdit editXmpPacket(const QByteArray& packet, const LocationMetadataEdit& edit);
// An XMP packet (a sidecar's whole text; empty: a new one) with each of `properties` set to its
// text (keys as "Xmp.exif.GPSLatitude"), or taken out where the text is empty; every other
// property is kept. Nothing (with the reason) when the packet cannot be read as XMP.
MetadataBlockEdit setXmpProperties(const QByteArray& packet,
                                   const QVector<QPair<QByteArray, QString>>& properties);
// A Photoshop block (what follows "Photoshop 3.0\0"): with Erase::Everything its IPTC places go,
// the IPTC digest following the new data; otherwise it stays.
MetadataBlockEdit editPhotoshopBlock(const QByteArray& resources, const LocationMetadataEdit& edit);

// Maps an id of the thumbnail directory to the id it is listed under (0x0100 -> 0x5020...);
// ids without a thumbnail counterpart are returned unchanged.
quint32 thumbnailPropertyId(quint32 tiffId);

} // namespace vantorel
