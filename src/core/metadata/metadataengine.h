// SPDX-License-Identifier: GPL-3.0-or-later
// The full metadata reader and writer (exiv2), kept in a module of its own that is loaded the
// first time a picture needs it: most commands read positions with the program's own GPS reader,
// and a program that never needs exiv2 does not pay for loading it at start-up.
// Only types of this header and Qt Core's cross between the program and the module.
#pragma once

#include "propertyitem.h"

#include <QByteArray>
#include <QPair>
#include <QString>
#include <QVector>
#include <memory>
#include <optional>
#include <utility>

namespace vantorel {

// How a copy's XMP packet or IPTC block changes: the position taken out (the photo's and the
// destination's, wherever a property holds one), or everything that locates the photo; or a new
// position written where the packet already holds one.
struct LocationMetadataEdit {
    enum class Erase { None, Position, Everything };
    Erase erase = Erase::None;
    QString latitude, longitude; // XMP's own form ("48,7.4069N"); empty: no new position
    // The place's names written with a new position (XMP photoshop:City, photoshop:State,
    // photoshop:Country, Iptc4xmpCore:CountryCode; IPTC 2:90, 2:95, 2:101, 2:100), replacing the
    // packet's or block's own; empty: the names are left as they are.
    struct Place {
        QString city, state, country, countryCode;
        bool isEmpty() const { return city.isEmpty() && countryCode.isEmpty(); }
    } place;
};
struct MetadataBlockEdit {
    std::optional<QByteArray> bytes; // the block to write; nothing when it cannot be edited (see error)
    bool changed = false;            // false: the block stays byte for byte
    int removed = 0;                 // properties or datasets taken out
    QVector<QByteArray> oldValues;   // the texts of the positions replaced or removed
    QString error;
};

// The directory an Exif item was read from.
enum class ExifGroup { Image, Photo, Gps, Thumbnail, Other };

// One picture's Exif items as the full reader read them, which can be changed and encoded again.
class ExifPicture {
public:
    virtual ~ExifPicture() = default;
    // The first item with this tag in that directory; numbers little-endian, undefined bytes as
    // stored.
    virtual std::optional<PropertyItem> find(quint32 tag, ExifGroup group) const = 0;
    // Every item in file order with its directory; ids are the tags as stored.
    virtual QVector<std::pair<ExifGroup, PropertyItem>> all() const = 0;
    virtual bool empty() const = 0;
    // The picture's width and height as the file's own header gives them, when known.
    virtual std::optional<std::pair<int, int>> pixelSize() const = 0;
    // Adds or replaces an item (GPS ids to the GPS directory, ids only the Exif directory knows to
    // it, others to the main image's). False when the bytes make no value of that type.
    virtual bool set(const PropertyItem& item) = 0;
    virtual void remove(quint32 id) = 0;
    // The TIFF block with the current items: `source` (the picture's block, possibly empty) edited
    // in place when everything fits, rebuilt otherwise. Nothing, with the reason, when it fails.
    virtual std::optional<QByteArray> encode(const QByteArray& source, QString* error) const = 0;
};

class MetadataEngine {
public:
    virtual ~MetadataEngine() = default;
    // Reads a picture from `bytes`, or from the file at `localPath` (bytes as the system names it)
    // when there are none; nothing when it cannot be read.
    virtual std::unique_ptr<ExifPicture> read(const QByteArray& localPath, const QByteArray& bytes) const = 0;
    // See editXmpPacket and editPhotoshopBlock in imageproperties.h.
    virtual MetadataBlockEdit editXmpPacket(const QByteArray& packet,
                                            const LocationMetadataEdit& edit) const = 0;
    virtual MetadataBlockEdit editPhotoshopBlock(const QByteArray& resources,
                                                 const LocationMetadataEdit& edit) const = 0;
    // The bytes of the largest JPEG picture the file at `localPath` embeds (a camera RAW file's
    // preview, a thumbnail): the one with the most pixels, then the most bytes. Empty when it
    // embeds none, cannot be read, or when that picture takes more than `maxBytes`.
    virtual QByteArray largestJpegPreview(const QByteArray& localPath, qint64 maxBytes) const = 0;
    // See setXmpProperties in imageproperties.h.
    virtual MetadataBlockEdit
    setXmpProperties(const QByteArray& packet,
                     const QVector<QPair<QByteArray, QString>>& properties) const = 0;
};

// Changed whenever the classes above change: a module built from other sources is not used.
constexpr int kMetadataEngineInterface = 4;

// The engine, the module loaded on the first call (from any thread); nullptr, with a warning
// naming the module once, when it cannot be loaded.
const MetadataEngine* metadataEngine();

} // namespace vantorel

// What the module exports.
extern "C" {
using VantorelMetadataEngineEntry = const vantorel::MetadataEngine* (*)(int interfaceVersion);
}
