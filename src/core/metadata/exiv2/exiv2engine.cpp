// SPDX-License-Identifier: GPL-3.0-or-later
// The full metadata reader and writer, on exiv2: built as a module of its own and loaded by the
// program the first time a picture needs it (see metadataengine.h). Everything exiv2 throws is
// caught here.
#include "metadata/metadataengine.h"
#include "text/escape.h"

#include <QCryptographicHash>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <mutex>
#include <optional>
#include <tuple>
#include <vector>

Q_LOGGING_CATEGORY(lcExiv2, "vantorel.exiv2", QtCriticalMsg)

namespace vantorel {
namespace {

void exiv2Log(int level, const char* message) {
    const QString text = QString::fromUtf8(message).trimmed();
    // exiv2's complaints about damaged files are routine here; they are shown only on request
    // (QT_LOGGING_RULES="vantorel.exiv2.debug=true").
    if (level >= Exiv2::LogMsg::warn)
        qCWarning(lcExiv2) << text;
    else
        qCDebug(lcExiv2) << text;
}

// The XMP toolkit is shared by every thread that writes copies: its set-up and its parses and
// serialisations are taken one at a time.
std::recursive_mutex xmpMutex;

void lockXmp(void*, bool lock) {
    lock ? xmpMutex.lock() : xmpMutex.unlock();
}

void initExiv2() {
    static std::once_flag once;
    std::call_once(once, [] {
        Exiv2::LogMsg::setHandler(exiv2Log);
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::warn);
        Exiv2::XmpParser::initialize(lockXmp, nullptr);
#if defined(EXV_ENABLE_BMFF) && EXIV2_TEST_VERSION(0, 27, 4)
        // The box files (HEIC, AVIF, CR3, JPEG XL) are read only when asked for.
        Exiv2::enableBMFF(true);
#endif
    });
}

// The directory an item set by id goes to: GPS ids to the GPS directory, ids that only the Exif
// directory knows (exposure, focal length...) to it, everything else to the main image's.
const char* groupForId(quint32 id) {
    if (isGpsId(id)) return "GPSInfo";
    static const auto inList = [](const Exiv2::TagInfo* list, quint32 tag) {
        for (; list && list->tag_ != 0xFFFF; ++list)
            if (list->tag_ == tag) return true;
        return false;
    };
    static const Exiv2::TagInfo* photo = Exiv2::ExifTags::tagList("Photo");
    // exiv2's main-image list also names the Exif tags (TIFF-EP shares them): the Exif
    // directory is where cameras put them.
    if (inList(photo, id)) return "Photo";
    return "Image";
}

ExifGroup groupOf(const Exiv2::Exifdatum& md) {
    const std::string g = md.groupName();
    if (g == "Image") return ExifGroup::Image;
    if (g == "Photo") return ExifGroup::Photo;
    if (g == "GPSInfo") return ExifGroup::Gps;
    if (g == "Thumbnail") return ExifGroup::Thumbnail;
    return ExifGroup::Other;
}

// Numbers come out little-endian; undefined bytes come out as stored (exiv2 would turn a Unicode
// user comment of a big-endian file into little-endian UCS-2 otherwise).
PropertyItem toItem(const Exiv2::Exifdatum& md, quint32 id, Exiv2::ByteOrder fileOrder) {
    PropertyItem item;
    item.id = id;
    item.type = quint16(md.typeId() > 0xFFFF ? 0 : md.typeId());
    const long size = md.size();
    if (size > 0) {
        item.value.resize(int(size));
        const bool stored = item.type == TypeUndefined && fileOrder != Exiv2::invalidByteOrder;
        md.copy(reinterpret_cast<Exiv2::byte*>(item.value.data()), stored ? fileOrder : Exiv2::littleEndian);
    }
    return item;
}

// exiv2's reading of a picture (from `bytes`, or from the file when there are none); nothing when
// it cannot read it.
Exiv2::Image::AutoPtr readWithExiv2(const QByteArray& path, const QByteArray& bytes) {
    try {
        auto opened = bytes.isEmpty()
                          ? Exiv2::ImageFactory::open(path.toStdString())
                          : Exiv2::ImageFactory::open(reinterpret_cast<const Exiv2::byte*>(bytes.constData()),
                                                      long(bytes.size()));
        if (opened.get()) {
            opened->readMetadata();
            return opened;
        }
    } catch (const std::exception& e) {
        qCDebug(lcExiv2) << path << e.what();
    } catch (...) {
    }
    return Exiv2::Image::AutoPtr();
}

class Exiv2Picture final : public ExifPicture {
public:
    explicit Exiv2Picture(Exiv2::Image::AutoPtr image) : m_image(std::move(image)) {}

    std::optional<PropertyItem> find(quint32 tag, ExifGroup group) const override {
        try {
            for (const auto& md : m_image->exifData())
                if (md.tag() == tag && groupOf(md) == group) return toItem(md, tag, m_image->byteOrder());
        } catch (const std::exception& e) {
            qCDebug(lcExiv2) << e.what();
        }
        return std::nullopt;
    }

    QVector<std::pair<ExifGroup, PropertyItem>> all() const override {
        QVector<std::pair<ExifGroup, PropertyItem>> items;
        try {
            for (const auto& md : m_image->exifData())
                items.append({groupOf(md), toItem(md, md.tag(), m_image->byteOrder())});
        } catch (const std::exception& e) {
            qCDebug(lcExiv2) << e.what();
            items.clear();
        }
        return items;
    }

    bool empty() const override { return m_image->exifData().empty(); }

    std::optional<std::pair<int, int>> pixelSize() const override {
        try {
            const int width = int(m_image->pixelWidth()), height = int(m_image->pixelHeight());
            if (width > 0 && height > 0) return std::make_pair(width, height);
        } catch (const std::exception& e) {
            qCDebug(lcExiv2) << e.what();
        }
        return std::nullopt;
    }

    bool set(const PropertyItem& item) override {
        try {
            Exiv2::ExifKey key(quint16(item.id), groupForId(item.id));
            auto value = Exiv2::Value::create(Exiv2::TypeId(item.type));
            if (value->read(reinterpret_cast<const Exiv2::byte*>(item.value.constData()),
                            long(item.value.size()), Exiv2::littleEndian) != 0)
                return false;
            Exiv2::ExifData& exif = m_image->exifData();
            auto pos = exif.findKey(key);
            if (pos != exif.end()) exif.erase(pos);
            exif.add(key, value.get());
            return true;
        } catch (const std::exception& e) {
            qCDebug(lcExiv2) << e.what();
        }
        return false;
    }

    void remove(quint32 id) override {
        try {
            Exiv2::ExifKey key(quint16(id), groupForId(id));
            Exiv2::ExifData& exif = m_image->exifData();
            auto pos = exif.findKey(key);
            if (pos != exif.end()) exif.erase(pos);
        } catch (const std::exception& e) {
            qCDebug(lcExiv2) << e.what();
        }
    }

    std::optional<QByteArray> encode(const QByteArray& source, QString* error) const override {
        try {
            Exiv2::ByteOrder order = m_image->byteOrder();
            if (order == Exiv2::invalidByteOrder) order = Exiv2::littleEndian;
            // exiv2 edits this copy of the source's block in place when everything fits.
            QByteArray edited = source;
            Exiv2::Blob rebuilt;
            const Exiv2::WriteMethod method =
                Exiv2::ExifParser::encode(rebuilt, reinterpret_cast<const Exiv2::byte*>(edited.constData()),
                                          uint32_t(edited.size()), order, m_image->exifData());
            if (method == Exiv2::wmNonIntrusive) return edited;
            return QByteArray(reinterpret_cast<const char*>(rebuilt.data()), qsizetype(rebuilt.size()));
        } catch (const std::exception& e) {
            if (error) *error = QString::fromUtf8(e.what());
            return std::nullopt;
        }
    }

private:
    Exiv2::Image::AutoPtr m_image;
};

// The property at the end of an XMP key's path: "Xmp.exif.GPSLatitude" and
// "Xmp.iptcExt.LocationCreated[1]/exif:GPSLatitude" both end with exif:GPSLatitude.
bool endsWithProperty(const std::string& key, const char* prefix, const char* name) {
    const std::string top = std::string("Xmp.") + prefix + "." + name;
    const std::string nested = std::string("/") + prefix + ":" + name;
    return key == top || (key.size() > nested.size() &&
                          key.compare(key.size() - nested.size(), nested.size(), nested) == 0);
}

// A key or anything below it (a structure's fields, an array's items).
bool underProperty(const std::string& key, const std::string& top) {
    return key == top || (key.size() > top.size() && key.compare(0, top.size(), top) == 0 &&
                          (key[top.size()] == '[' || key[top.size()] == '/'));
}

// A property of any namespace whose local name is a latitude or a longitude (a drone's
// drone-dji:GpsLatitude, a maker's Latitude...): readers take it as a position.
bool namedAsCoordinate(const std::string& key) {
    static const QRegularExpression coordinate(
        QStringLiteral("^(gps)?(dest)?(latitude|longitude|longtitude)$"),
        QRegularExpression::CaseInsensitiveOption);
    const size_t last = key.find_last_of(".:/");
    const std::string local = key.substr(last == std::string::npos ? 0 : last + 1);
    return coordinate.match(QString::fromStdString(local.substr(0, local.find('[')))).hasMatch();
}

bool locatesPhoto(const std::string& key, LocationMetadataEdit::Erase erase) {
    for (const char* name : {"GPSLatitude", "GPSLongitude", "GPSDestLatitude", "GPSDestLongitude"})
        if (endsWithProperty(key, "exif", name)) return true;
    if (namedAsCoordinate(key)) return true;
    if (erase != LocationMetadataEdit::Erase::Everything) return false;
    if (key.rfind("Xmp.exif.GPS", 0) == 0 || key.find("/exif:GPS") != std::string::npos) return true;
    for (const char* top :
         {"Xmp.photoshop.City", "Xmp.photoshop.State", "Xmp.photoshop.Country", "Xmp.iptc.Location",
          "Xmp.iptc.CountryCode", "Xmp.iptcExt.LocationCreated", "Xmp.iptcExt.LocationShown"})
        if (underProperty(key, top)) return true;
    return false;
}

// The property a key belongs to, for counting: "Xmp.iptcExt.LocationCreated[1]/..." is one.
std::string topProperty(const std::string& key) {
    return key.substr(0, key.find_first_of("[/"));
}

// The place's names as attributes of the packet's first rdf:Description, with the namespaces that
// element does not declare yet; false for a packet without one.
bool insertPlace(QString& text, const LocationMetadataEdit::Place& place) {
    static const QRegularExpression description(QStringLiteral("<rdf:Description\\b"));
    const QRegularExpressionMatch found = description.match(text);
    if (!found.hasMatch()) return false;
    const qsizetype at = found.capturedEnd();
    const QString startTag = text.mid(at, text.indexOf(u'>', at) - at);
    QString attributes;
    for (const auto& [prefix, uri] :
         {std::pair{"photoshop", "http://ns.adobe.com/photoshop/1.0/"},
          std::pair{"Iptc4xmpCore", "http://iptc.org/std/Iptc4xmpCore/1.0/xmlns/"}})
        if (!startTag.contains(QStringLiteral("xmlns:%1=").arg(QLatin1String(prefix))))
            attributes += QStringLiteral(" xmlns:%1=\"%2\"").arg(QLatin1String(prefix), QLatin1String(uri));
    for (const auto& [name, value] :
         {std::pair{"photoshop:City", &place.city}, std::pair{"photoshop:State", &place.state},
          std::pair{"photoshop:Country", &place.country},
          std::pair{"Iptc4xmpCore:CountryCode", &place.countryCode}})
        if (!value->isEmpty())
            attributes += QStringLiteral(" %1=\"%2\"").arg(QLatin1String(name), xmlEscape(*value));
    text.insert(at, attributes);
    return true;
}

// The packet with the plain forms of the properties to change (an attribute
// exif:GPSLatitude="..." or an element <exif:GPSLatitude>...</exif:GPSLatitude>) taken out or given
// the new value as text, every other byte kept; the XMP toolkit would otherwise rewrite the whole
// packet in its own way (and change some values as it goes). Nothing for a packet that is not
// plain UTF-8. `removed` counts the properties taken out.
std::optional<QByteArray> editedAsText(const QByteArray& packet, const LocationMetadataEdit& edit,
                                       int* removed = nullptr) {
    QString text = QString::fromUtf8(packet);
    if (text.toUtf8() != packet) return std::nullopt;
    using Erase = LocationMetadataEdit::Erase;
    if (edit.erase == Erase::None) {
        for (const QString& name : {QStringLiteral("GPSLatitude"), QStringLiteral("GPSLongitude")}) {
            const QString value = name == QLatin1String("GPSLatitude") ? edit.latitude : edit.longitude;
            text.replace(
                QRegularExpression(QStringLiteral("(\\s+exif:%1\\s*=\\s*)([\"'])[^\"'<>]*\\2").arg(name)),
                QStringLiteral("\\1\\2") + value + QStringLiteral("\\2"));
            text.replace(QRegularExpression(QStringLiteral("<exif:%1>[^<]*</exif:%1>").arg(name)),
                         QStringLiteral("<exif:%1>%2</exif:%1>").arg(name, value));
        }
    }
    // A coordinate in any namespace: exif:GPSLatitude, drone-dji:GpsLongitude, a maker's Latitude.
    const QString coordinate = QStringLiteral("[A-Za-z][\\w.-]*:(?:[Gg][Pp][Ss])?(?:Dest)?"
                                              "(?:[Ll]atitude|[Ll]ongitude|[Ll]ongtitude)");
    // A new position: the photo's coordinates of other namespaces would still state the old one.
    const QString makers = QStringLiteral("(?!exif:)[A-Za-z][\\w.-]*:(?:[Gg][Pp][Ss])?"
                                          "(?:[Ll]atitude|[Ll]ongitude|[Ll]ongtitude)");
    const bool writingPlace = edit.erase == Erase::None && !edit.place.isEmpty();
    QString names = edit.erase == Erase::None ? makers
                    : edit.erase == Erase::Position
                        ? coordinate
                        : coordinate + QStringLiteral("|exif:GPS\\w+|photoshop:(?:City|State|Country)|"
                                                      "Iptc4xmpCore:(?:Location|CountryCode)");
    // New place names replace the packet's own.
    if (writingPlace) names += QStringLiteral("|photoshop:(?:City|State|Country)|Iptc4xmpCore:CountryCode");
    int count = 0;
    for (const QRegularExpression& form :
         {QRegularExpression(QStringLiteral("\\s+(%1)\\s*=\\s*([\"'])[^\"'<>]*\\2").arg(names)),
          QRegularExpression(QStringLiteral("[ \\t]*<(%1)>[^<]*</\\1>([ \\t]*\\r?\\n)?").arg(names))}) {
        for (auto it = form.globalMatch(text); it.hasNext(); it.next())
            ++count;
        text.replace(form, QString());
    }
    if (removed) *removed = count;
    if (writingPlace && !insertPlace(text, edit.place)) return std::nullopt;
    return text.toUtf8();
}

// A packet the XMP toolkit cannot read is edited as text only when what remains states no place.
MetadataBlockEdit editedUnreadable(const QByteArray& packet, const LocationMetadataEdit& edit) {
    MetadataBlockEdit result;
    const QRegularExpression place(
        edit.erase == LocationMetadataEdit::Erase::Position
            ? QStringLiteral(":(GPS|Gps|gps)?(Dest)?([Ll]atitude|[Ll]ongitude|[Ll]ongtitude)\\b")
            : QStringLiteral(":(GPS|Gps|gps)?(Dest)?([Ll]atitude|[Ll]ongitude|[Ll]ongtitude)\\b|"
                             "GPS[A-Z]|photoshop:(City|State|Country)\\b|"
                             "Iptc4xmpCore:(Location|CountryCode)\\b|LocationCreated|LocationShown"));
    const auto text = edit.erase == LocationMetadataEdit::Erase::None
                          ? std::nullopt
                          : editedAsText(packet, edit, &result.removed);
    if (!text || QString::fromUtf8(*text).contains(place)) {
        result.error = QStringLiteral("paquet XMP illisible");
        return result;
    }
    result.bytes = *text;
    result.changed = *text != packet;
    return result;
}

// Every property with its value, for comparing two readings of a packet.
std::vector<std::string> propertiesOf(const Exiv2::XmpData& xmp) {
    std::vector<std::string> out;
    for (const auto& md : xmp)
        out.push_back(md.key() + '\n' + md.toString());
    std::sort(out.begin(), out.end());
    return out;
}

MetadataBlockEdit refusedEdit(const QString& why) {
    MetadataBlockEdit r;
    r.error = why;
    return r;
}

// The place's names in the packet, each replacing the property of that name (an empty name takes
// it out); whether anything changed.
bool setPlace(Exiv2::XmpData& xmp, const LocationMetadataEdit::Place& place) {
    bool changed = false;
    for (const auto& [key, value] :
         {std::pair{"Xmp.photoshop.City", &place.city}, std::pair{"Xmp.photoshop.State", &place.state},
          std::pair{"Xmp.photoshop.Country", &place.country},
          std::pair{"Xmp.iptc.CountryCode", &place.countryCode}}) {
        const auto old = xmp.findKey(Exiv2::XmpKey(key));
        const std::string wanted = value->toStdString();
        if (old != xmp.end() && (wanted.empty() || old->toString() != wanted)) {
            xmp.erase(old);
            changed = true;
        }
        if (!wanted.empty() && xmp.findKey(Exiv2::XmpKey(key)) == xmp.end()) {
            xmp[key] = wanted;
            changed = true;
        }
    }
    return changed;
}

MetadataBlockEdit editXmp(const QByteArray& packet, const LocationMetadataEdit& edit) {
    MetadataBlockEdit result;
    result.bytes = packet;
    const bool writing = !edit.latitude.isEmpty() && !edit.longitude.isEmpty();
    static std::mutex editing; // one packet at a time (see xmpMutex)
    const std::lock_guard oneAtATime(editing);
    try {
        Exiv2::XmpData xmp;
        if (Exiv2::XmpParser::decode(xmp, std::string(packet.constData(), size_t(packet.size()))) != 0) {
            // Names alone are not written into a packet that cannot be read (IPTC may take them).
            const QByteArray lower = packet.toLower();
            if (edit.erase == LocationMetadataEdit::Erase::None && !lower.contains("latitude") &&
                !lower.contains("longitude") && !lower.contains("longtitude"))
                return result;
            return editedUnreadable(packet, edit);
        }
        bool changed = false;
        std::vector<std::string> removedTops;
        const auto noteOld = [&](const Exiv2::Xmpdatum& md) {
            const std::string v = md.toString();
            if (v.size() >= 4 && (md.key().find("Latitude") != std::string::npos ||
                                  md.key().find("Longitude") != std::string::npos))
                result.oldValues.append(QByteArray::fromStdString(v));
        };
        if (edit.erase != LocationMetadataEdit::Erase::None) {
            for (auto md = xmp.begin(); md != xmp.end();) {
                if (!locatesPhoto(md->key(), edit.erase)) {
                    ++md;
                    continue;
                }
                noteOld(*md);
                const std::string top = topProperty(md->key());
                if (std::find(removedTops.begin(), removedTops.end(), top) == removedTops.end())
                    removedTops.push_back(top);
                md = xmp.erase(md);
                changed = true;
            }
        } else if (writing) {
            // A maker's coordinates (drone-dji:GpsLatitude...) would state the old position
            // beside the new one: they go.
            for (auto md = xmp.begin(); md != xmp.end();) {
                const std::string& key = md->key();
                if (!namedAsCoordinate(key) || key.find("Dest") != std::string::npos ||
                    endsWithProperty(key, "exif", "GPSLatitude") ||
                    endsWithProperty(key, "exif", "GPSLongitude")) {
                    ++md;
                    continue;
                }
                noteOld(*md);
                removedTops.push_back(topProperty(key));
                md = xmp.erase(md);
                changed = true;
            }
            const Exiv2::XmpKey lat("Xmp.exif.GPSLatitude"), lon("Xmp.exif.GPSLongitude");
            const auto oldLat = xmp.findKey(lat), oldLon = xmp.findKey(lon);
            // A packet without a position is not given one: the Exif position is the photo's.
            if (oldLat != xmp.end() || oldLon != xmp.end()) {
                if (oldLat != xmp.end()) noteOld(*oldLat);
                if (oldLon != xmp.end()) noteOld(*oldLon);
                xmp["Xmp.exif.GPSLatitude"] = edit.latitude.toStdString();
                xmp["Xmp.exif.GPSLongitude"] = edit.longitude.toStdString();
                changed = true;
            }
        }
        if (edit.erase == LocationMetadataEdit::Erase::None && !edit.place.isEmpty())
            changed = setPlace(xmp, edit.place) || changed;
        result.removed = int(removedTops.size());
        if (!changed) {
            result.oldValues.clear();
            return result;
        }
        result.changed = true;
        const auto text = editedAsText(packet, edit);
        Exiv2::XmpData reread;
        if (text && Exiv2::XmpParser::decode(reread, text->toStdString()) == 0 &&
            propertiesOf(reread) == propertiesOf(xmp)) {
            result.bytes = *text;
        } else {
            std::string out;
            if (Exiv2::XmpParser::encode(out, xmp, Exiv2::XmpParser::useCompactFormat) != 0)
                return refusedEdit(QStringLiteral("paquet XMP impossible à réécrire"));
            result.bytes = QByteArray::fromStdString(out);
        }
        // The new position is no old one, whatever its text.
        if (writing)
            result.oldValues.removeIf([&](const QByteArray& v) {
                return v == edit.latitude.toUtf8() || v == edit.longitude.toUtf8();
            });
        return result;
    } catch (const std::exception& e) {
        return refusedEdit(QStringLiteral("paquet XMP illisible : ") + QString::fromUtf8(e.what()));
    }
}

// An IPTC dataset's bytes for a name: UTF-8 where the block says so (1:90), else Latin-1; cut to
// the dataset's largest size on a character's boundary. Nothing for a name Latin-1 cannot hold.
std::optional<std::string> iimText(const QString& name, bool utf8, int largest) {
    QByteArray bytes;
    for (const QChar c : name) {
        const QByteArray one = utf8 ? QString(c).toUtf8() : QByteArray(1, char(c.unicode()));
        if (!utf8 && c.unicode() > 0xff) return std::nullopt;
        if (bytes.size() + one.size() > largest) break;
        bytes += one;
    }
    return bytes.toStdString();
}

// The place's names written into the IPTC datasets, each replacing those of its number; whether
// anything changed.
bool setIptcPlace(Exiv2::IptcData& iptc, const LocationMetadataEdit::Place& place) {
    const auto charset = iptc.findKey(Exiv2::IptcKey("Iptc.Envelope.CharacterSet"));
    const bool utf8 = charset != iptc.end() && charset->toString() == "\x1b%G";
    bool changed = false;
    const std::tuple<uint16_t, const QString*, int> datasets[] = {{90, &place.city, 32},
                                                                  {95, &place.state, 32},
                                                                  {101, &place.country, 64},
                                                                  {100, &place.countryCode, 3}};
    for (const auto& [tag, name, largest] : datasets) {
        // A name the block's character set cannot hold is left out (the XMP packet names it), and
        // the old one goes with the others.
        const std::optional<std::string> wanted = iimText(*name, utf8, largest).value_or(std::string());
        std::vector<std::string> old;
        for (auto md = iptc.begin(); md != iptc.end();) {
            if (md->record() == Exiv2::IptcDataSets::application2 && md->tag() == tag) {
                old.push_back(md->toString());
                md = iptc.erase(md);
            } else {
                ++md;
            }
        }
        if (!wanted->empty()) {
            Exiv2::Iptcdatum datum(Exiv2::IptcKey(tag, Exiv2::IptcDataSets::application2));
            datum.setValue(*wanted);
            iptc.add(datum);
        }
        changed = changed || old != (wanted->empty() ? std::vector<std::string>{} : std::vector{*wanted});
    }
    return changed;
}

// Asked when everything that locates the photo goes, or with a place's names to write (see
// editPhotoshopBlock).
MetadataBlockEdit editPhotoshop(const QByteArray& resources, const LocationMetadataEdit& edit) {
    MetadataBlockEdit result;
    result.bytes = resources;
    const auto* data = reinterpret_cast<const Exiv2::byte*>(resources.constData());
    const long size = long(resources.size());
    try {
        const Exiv2::byte* record = nullptr;
        uint32_t headerSize = 0, dataSize = 0;
        if (Exiv2::Photoshop::locateIptcIrb(data, size, &record, &headerSize, &dataSize) != 0) return result;
        Exiv2::IptcData iptc;
        if (Exiv2::IptcParser::decode(iptc, record + headerSize, dataSize) != 0)
            return refusedEdit(QStringLiteral("bloc IPTC illisible"));
        if (edit.erase == LocationMetadataEdit::Erase::Everything) {
            // City, sub-location, province or state, country code, country name.
            static const uint16_t kPlaces[] = {90, 92, 95, 100, 101};
            for (auto md = iptc.begin(); md != iptc.end();) {
                if (md->record() == Exiv2::IptcDataSets::application2 &&
                    std::find(std::begin(kPlaces), std::end(kPlaces), md->tag()) != std::end(kPlaces)) {
                    md = iptc.erase(md);
                    ++result.removed;
                } else {
                    ++md;
                }
            }
            if (result.removed == 0) return result;
        } else if (edit.place.isEmpty() || !setIptcPlace(iptc, edit.place)) {
            return result;
        }
        const Exiv2::DataBuf rebuilt = Exiv2::Photoshop::setIptcIrb(data, size, iptc);
        QByteArray out(reinterpret_cast<const char*>(rebuilt.pData_), int(rebuilt.size_));
        // The digest of the IPTC data follows it, so readers do not take the block for stale.
        const Exiv2::byte* digest = nullptr;
        if (Exiv2::Photoshop::locateIrb(reinterpret_cast<const Exiv2::byte*>(out.constData()),
                                        long(out.size()), 0x0425, &digest, &headerSize, &dataSize) == 0 &&
            dataSize == 16) {
            const Exiv2::DataBuf iim = Exiv2::IptcParser::encode(iptc);
            const QByteArray md5 = QCryptographicHash::hash(
                QByteArray(reinterpret_cast<const char*>(iim.pData_), int(iim.size_)),
                QCryptographicHash::Md5);
            out.replace(
                qsizetype(digest - reinterpret_cast<const Exiv2::byte*>(out.constData()) + headerSize), 16,
                md5);
        }
        result.bytes = out;
        result.changed = true;
        return result;
    } catch (const std::exception& e) {
        return refusedEdit(QStringLiteral("bloc IPTC illisible : ") + QString::fromUtf8(e.what()));
    }
}

// See MetadataEngine::largestJpegPreview. The pictures are measured from their listing; only the
// one chosen is copied out of the file.
QByteArray largestJpeg(const QByteArray& path, qint64 maxBytes) {
    try {
        auto image = Exiv2::ImageFactory::open(path.toStdString());
        if (!image.get()) return {};
        image->readMetadata();
        const Exiv2::PreviewManager previews(*image);
        const Exiv2::PreviewPropertiesList list = previews.getPreviewProperties();
        const Exiv2::PreviewProperties* best = nullptr;
        const auto pixels = [](const Exiv2::PreviewProperties& p) { return quint64(p.width_) * p.height_; };
        for (const Exiv2::PreviewProperties& p : list) {
            if (p.mimeType_ != "image/jpeg" || p.size_ == 0 || qint64(p.size_) > maxBytes) continue;
            if (!best || pixels(p) > pixels(*best) || (pixels(p) == pixels(*best) && p.size_ > best->size_))
                best = &p;
        }
        if (!best) return {};
        const Exiv2::PreviewImage preview = previews.getPreviewImage(*best);
        return QByteArray(reinterpret_cast<const char*>(preview.pData()), qsizetype(preview.size()));
    } catch (const std::exception& e) {
        qCDebug(lcExiv2) << path << e.what();
    } catch (...) {
    }
    return {};
}

MetadataBlockEdit setXmp(const QByteArray& packet, const QVector<QPair<QByteArray, QString>>& properties) {
    MetadataBlockEdit result;
    static std::mutex editing; // one packet at a time (see xmpMutex)
    const std::lock_guard oneAtATime(editing);
    try {
        Exiv2::XmpData xmp;
        if (!packet.isEmpty() &&
            Exiv2::XmpParser::decode(xmp, std::string(packet.constData(), size_t(packet.size()))) != 0)
            return refusedEdit(QStringLiteral("paquet XMP illisible"));
        for (const auto& [key, value] : properties) {
            const Exiv2::XmpKey xmpKey(key.toStdString());
            if (const auto old = xmp.findKey(xmpKey); old != xmp.end()) {
                result.oldValues.append(QByteArray::fromStdString(old->toString()));
                xmp.erase(old);
                ++result.removed;
            }
            if (!value.isEmpty()) xmp[key.toStdString()] = value.toStdString();
        }
        std::string out;
        if (Exiv2::XmpParser::encode(out, xmp, Exiv2::XmpParser::useCompactFormat) != 0)
            return refusedEdit(QStringLiteral("paquet XMP impossible à réécrire"));
        result.bytes = QByteArray::fromStdString(out);
        result.changed = *result.bytes != packet;
        return result;
    } catch (const std::exception& e) {
        return refusedEdit(QStringLiteral("paquet XMP illisible : ") + QString::fromUtf8(e.what()));
    }
}

class Exiv2Engine final : public MetadataEngine {
public:
    std::unique_ptr<ExifPicture> read(const QByteArray& localPath, const QByteArray& bytes) const override {
        auto image = readWithExiv2(localPath, bytes);
        if (!image.get()) return nullptr;
        return std::make_unique<Exiv2Picture>(std::move(image));
    }
    MetadataBlockEdit editXmpPacket(const QByteArray& packet,
                                    const LocationMetadataEdit& edit) const override {
        return editXmp(packet, edit);
    }
    MetadataBlockEdit editPhotoshopBlock(const QByteArray& resources,
                                         const LocationMetadataEdit& edit) const override {
        return editPhotoshop(resources, edit);
    }
    QByteArray largestJpegPreview(const QByteArray& localPath, qint64 maxBytes) const override {
        return largestJpeg(localPath, maxBytes);
    }
    MetadataBlockEdit setXmpProperties(const QByteArray& packet,
                                       const QVector<QPair<QByteArray, QString>>& properties) const override {
        return setXmp(packet, properties);
    }
};

} // namespace
} // namespace vantorel

extern "C" __attribute__((visibility("default"))) const vantorel::MetadataEngine*
vantorel_metadata_engine(int interfaceVersion) {
    if (interfaceVersion != vantorel::kMetadataEngineInterface) return nullptr;
    vantorel::initExiv2();
    static const vantorel::Exiv2Engine engine;
    return &engine;
}
