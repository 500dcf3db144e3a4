// SPDX-License-Identifier: GPL-3.0-or-later
// The HEIF container (HEIC, AVIF): where its Exif and XMP items lie, and copies with them edited
// read back by exiftool, exiv2 and libheif, every other item's bytes kept. Fixtures are made here
// with heif-enc (and exiftool for the items); hostile files are cut, inflated and scrambled.
#include "files/jpegsegments.h"
#include "fixtures.h"
#include "geotag/geotagcopy.h"
#include "geotag/gpsdirectoryedit.h"
#include "geotag/locationedit.h"
#include "metadata/bmffboxes.h"
#include "metadata/metadataengine.h"
#include "metadata/photocontainer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <exiv2/exiv2.hpp>
#include <gtest/gtest.h>

#include <cmath>

using namespace vantorel;
using namespace vantorel::test;

namespace {

bool have(const char* tool) {
    return !QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty();
}

QString run(const QString& program, const QStringList& args, int* exitCode = nullptr) {
    QProcess process;
    process.start(program, args);
    process.waitForFinished(120000);
    if (exitCode) *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromUtf8(process.readAllStandardOutput());
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// A JPEG with a pattern, given exiftool's `tags`, encoded by heif-enc as HEIC or AVIF (heif-enc
// carries the JPEG's Exif and XMP over as items).
QString makeHeif(const QTemporaryDir& dir, const QString& name, bool avif, const QStringList& tags,
                 QSize size = QSize(64, 48)) {
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, qRgb((x * 7) & 255, (y * 11) & 255, (x ^ y) & 255));
    const QString jpeg = dir.filePath(name + QStringLiteral(".jpg"));
    if (!image.save(jpeg, "JPEG", 95)) return QString();
    if (!tags.isEmpty())
        run(QStringLiteral("exiftool"), QStringList{"-q", "-overwrite_original"} + tags + QStringList{jpeg});
    const QString out = dir.filePath(name + (avif ? QStringLiteral(".avif") : QStringLiteral(".heic")));
    QStringList args;
    if (avif) args << "-A";
    args << "-q"
         << "60" << jpeg << "-o" << out;
    int code = -1;
    run(QStringLiteral("heif-enc"), args, &code);
    return code == 0 ? out : QString();
}

const QStringList kCameraAndPosition{"-Make=Vantorel",    "-Model=Essai",       "-GPSLatitude=45.5",
                                     "-GPSLatitudeRef=N", "-GPSLongitude=6.25", "-GPSLongitudeRef=E"};
const QStringList kCameraOnly{"-Make=Vantorel", "-Model=Essai"};
const QStringList kXmpPosition{
    "-Make=Vantorel",     "-GPSLatitude=45.5",   "-GPSLatitudeRef=N",          "-GPSLongitude=6.25",
    "-GPSLongitudeRef=E", "-XMP-dc:Title=Essai", "-XMP-exif:GPSLatitude=45.5", "-XMP-exif:GPSLongitude=6.25"};

LocationEdit setEdit(double latitude, double longitude) {
    GpsPosition position;
    position.latitudeRef = latitude >= 0 ? QStringLiteral("N") : QStringLiteral("S");
    position.longitudeRef = longitude >= 0 ? QStringLiteral("E") : QStringLiteral("W");
    position.latitude = DegreesToRationals(std::fabs(latitude));
    position.longitude = DegreesToRationals(std::fabs(longitude));
    LocationEdit edit;
    edit.gpsItems = gpsPositionItems(position);
    edit.xmpLatitude = xmpCoordinate(position.latitude, position.latitudeRef);
    edit.xmpLongitude = xmpCoordinate(position.longitude, position.longitudeRef);
    return edit;
}

LocationEdit eraseEdit() {
    LocationEdit edit;
    edit.erase = LocationErase::Position;
    return edit;
}

// The program's own GPS directory and XMP editors.
BlockEditor editorFor(const LocationEdit& edit) {
    BlockEditor editor;
    editor.exif = [edit](const QByteArray& tiff, QString& error) -> std::optional<QByteArray> {
        if (tiff.isEmpty())
            return edit.erase == LocationErase::None && !edit.gpsItems.isEmpty() ? newGpsBlock(edit.gpsItems)
                                                                                 : QByteArray();
        GpsDirectoryEditResult result = editGpsDirectory(tiff, gpsDirectoryEditFor(edit));
        if (!result.block) error = result.error;
        return result.block;
    };
    editor.xmp = [edit](const QByteArray& packet, QString& error) -> std::optional<QByteArray> {
        MetadataBlockEdit result = editXmpPacket(packet, metadataEditFor(edit));
        if (!result.bytes) error = result.error;
        return result.bytes;
    };
    return editor;
}

// The copy `plan` gives of `file`.
QByteArray applied(const QByteArray& file, const ContainerPlan& plan) {
    return applySegmentChanges(file, plan.changes);
}

// exiftool's and exiv2's latitude and longitude ("" when absent), as numbers.
QString exiftoolPosition(const QString& path) {
    return run(QStringLiteral("exiftool"), {"-n", "-s3", "-GPSLatitude", "-GPSLongitude", path}).simplified();
}
// exiv2's command line leaves box files aside: its library, with them switched on. Degrees as
// exiftool -n prints them.
QString exiv2Position(const QString& path) {
    try {
        Exiv2::enableBMFF(true);
        auto image = Exiv2::ImageFactory::open(path.toStdString());
        image->readMetadata();
        const Exiv2::ExifData& exif = image->exifData();
        QStringList out;
        for (const char* name : {"Latitude", "Longitude"}) {
            const auto value = exif.findKey(Exiv2::ExifKey(std::string("Exif.GPSInfo.GPS") + name));
            const auto ref = exif.findKey(Exiv2::ExifKey(std::string("Exif.GPSInfo.GPS") + name + "Ref"));
            if (value == exif.end() || value->count() != 3) continue;
            double degrees = value->toFloat(0) + value->toFloat(1) / 60 + value->toFloat(2) / 3600;
            if (ref != exif.end() && (ref->toString() == "S" || ref->toString() == "W")) degrees = -degrees;
            out << QString::number(degrees);
        }
        return out.join(QLatin1Char(' '));
    } catch (const std::exception& e) {
        return QStringLiteral("error: ") + QString::fromUtf8(e.what());
    }
}

// The decoded pixels of the primary image.
QImage decoded(const QTemporaryDir& dir, const QString& path) {
    static int count = 0;
    const QString png = dir.filePath(QStringLiteral("decoded%1.png").arg(++count));
    int code = -1;
    run(QStringLiteral("heif-convert"), {path, png}, &code);
    return code == 0 ? QImage(png).convertToFormat(QImage::Format_RGB32) : QImage();
}

// Every item but `except`, its data compared; the top-level boxes other than meta and mdat, and
// meta's children other than iinf, iloc and iref, compared byte for byte.
void expectKept(const QByteArray& source, const QByteArray& copy, const QVector<quint32>& except) {
    const MemorySource a(source), b(copy);
    const BmffFile before = parseBmff(a), after = parseBmff(b);
    ASSERT_TRUE(before.error.isEmpty() && after.error.isEmpty()) << qPrintable(after.error);
    ASSERT_TRUE(before.meta && after.meta);
    for (const IlocItem& item : before.meta->iloc.items) {
        if (except.contains(item.id)) continue;
        auto bytesOf = [](const QByteArray& file, const BmffMeta& meta, quint32 id) {
            QByteArray out;
            const auto ranges = itemRanges(meta, id, file.size());
            if (!ranges) return QByteArray("absent");
            for (const ByteRange& r : *ranges)
                out += file.mid(r.offset, r.size);
            return out;
        };
        EXPECT_EQ(bytesOf(source, *before.meta, item.id), bytesOf(copy, *after.meta, item.id))
            << "item " << item.id;
    }
    auto kept = [](const QVector<BmffBox>& boxes, const QByteArray& file, const QSet<quint32>& skip) {
        QVector<QByteArray> out;
        for (const BmffBox& box : boxes)
            if (!skip.contains(box.type)) out.append(file.mid(box.offset, box.size));
        return out;
    };
    EXPECT_EQ(kept(before.boxes, source, {fourCC("meta"), fourCC("mdat")}),
              kept(after.boxes, copy, {fourCC("meta"), fourCC("mdat")}));
    // idat holds items' data: compared item by item above; a free box may take iloc's spare room.
    const QSet<quint32> rebuilt{fourCC("iinf"), fourCC("iloc"), fourCC("iref"), fourCC("idat"),
                                fourCC("free")};
    EXPECT_EQ(kept(before.meta->children, source, rebuilt), kept(after.meta->children, copy, rebuilt));
}

// ---- Layout ---------------------------------------------------------------------------------

// Counts what a reader reads.
class CountingSource final : public ByteSource {
public:
    explicit CountingSource(const QByteArray& bytes) : m_inner(bytes) {}
    qint64 size() const override { return m_inner.size(); }
    QByteArray read(qint64 offset, qint64 length) const override {
        const QByteArray out = m_inner.read(offset, length);
        m_read += out.size();
        return out;
    }
    qint64 bytesRead() const { return m_read; }

private:
    MemorySource m_inner;
    mutable qint64 m_read = 0;
};

struct LayoutCase {
    const char* name;
    bool avif;
    QStringList tags;
    bool exif, xmp;
};

TEST(BmffContainer, LayoutFindsTheExifTiffHeaderXmpAndPixelSize) {
    if (!have("heif-enc") || !have("exiftool")) GTEST_SKIP() << "heif-enc and exiftool needed";
    QTemporaryDir dir;
    const LayoutCase cases[] = {
        {"heic-exif", false, kCameraAndPosition, true, false},
        {"avif-exif", true, kCameraAndPosition, true, false},
        {"heic-xmp", false, kXmpPosition, true, true},
        {"avif-xmp", true, kXmpPosition, true, true},
        {"heic-none", false, {}, false, false},
        {"avif-none", true, {}, false, false},
    };
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = makeHeif(dir, QString::fromLatin1(c.name), c.avif, c.tags, QSize(70, 52));
        ASSERT_FALSE(path.isEmpty());
        const QByteArray bytes = readAll(path);
        ASSERT_EQ(sniffContainer(bytes.left(kSniffBytes)), ContainerKind::IsoBmff);
        const ContainerLayout layout = bmffContainer().layout(MemorySource(bytes));
        ASSERT_TRUE(layout.error.isEmpty()) << qPrintable(layout.error);
        ASSERT_TRUE(layout.pixelSize.has_value());
        EXPECT_EQ(*layout.pixelSize, QSize(70, 52));
        EXPECT_EQ(layout.exif.size(), c.exif ? 1 : 0);
        for (const ByteRange& r : layout.exif) {
            const QByteArray head = bytes.mid(r.offset, 4);
            EXPECT_TRUE(head == QByteArrayLiteral("II*\0") || head == QByteArrayLiteral("MM\0*"));
            EXPECT_LE(r.offset + r.size, bytes.size());
            EXPECT_TRUE(bytes.mid(r.offset, r.size).contains("Vantorel"));
        }
        EXPECT_EQ(layout.xmp.size(), c.xmp ? 1 : 0);
        for (const ByteRange& r : layout.xmp)
            EXPECT_TRUE(bytes.mid(r.offset, r.size).contains("x:xmpmeta"));
    }
}

TEST(BmffContainer, LayoutReadsTheBoxesNotThePictureData) {
    if (!have("heif-enc") || !have("exiftool")) GTEST_SKIP() << "heif-enc and exiftool needed";
    QTemporaryDir dir;
    const QString path = makeHeif(dir, QStringLiteral("big"), false, kCameraAndPosition, QSize(1200, 900));
    ASSERT_FALSE(path.isEmpty());
    const QByteArray bytes = readAll(path);
    const CountingSource source(bytes);
    const ContainerLayout layout = bmffContainer().layout(source);
    ASSERT_TRUE(layout.error.isEmpty());
    const BmffFile parsed = parseBmff(MemorySource(bytes));
    ASSERT_TRUE(parsed.meta);
    EXPECT_GT(bytes.size(), 20000);
    EXPECT_LT(source.bytesRead(), parsed.meta->box.size + 1024);
}

// ---- Copies ---------------------------------------------------------------------------------

struct CopyCase {
    const char* name;
    bool avif;
    QStringList tags; // the source's items
    bool erase;       // "~": no position; "#": 43.25, -1.5
    bool itemAdded;   // the source has no Exif item
};

TEST(BmffContainer, CopiesAreReadByExiftoolExiv2AndLibheifWithEveryOtherItemKept) {
    if (!have("heif-enc") || !have("exiftool") || !have("exiv2") || !have("heif-convert"))
        GTEST_SKIP() << "heif-enc, heif-convert, exiftool and exiv2 needed";
    QTemporaryDir dir;
    const CopyCase cases[] = {
        {"heic-replace", false, kCameraAndPosition, false, false},
        {"avif-replace", true, kCameraAndPosition, false, false},
        {"heic-add-gps", false, kCameraOnly, false, false},
        {"avif-add-gps", true, kCameraOnly, false, false},
        {"heic-new-item", false, {}, false, true},
        {"avif-new-item", true, {}, false, true},
        {"heic-erase", false, kXmpPosition, true, false},
        {"avif-erase", true, kXmpPosition, true, false},
        {"heic-xmp-set", false, kXmpPosition, false, false},
    };
    for (const CopyCase& c : cases) {
        SCOPED_TRACE(c.name);
        const QString source = makeHeif(dir, QString::fromLatin1(c.name), c.avif, c.tags);
        ASSERT_FALSE(source.isEmpty());
        const QByteArray bytes = readAll(source);
        const ContainerPlan plan =
            bmffContainer().plan(bytes, editorFor(c.erase ? eraseEdit() : setEdit(43.25, -1.5)));
        ASSERT_TRUE(plan.error.isEmpty()) << qPrintable(plan.error);
        ASSERT_FALSE(plan.changes.isEmpty());
        const QByteArray copyBytes = applied(bytes, plan);
        const QString copy =
            dir.filePath(QStringLiteral("#") + QString::fromLatin1(c.name) + (c.avif ? ".avif" : ".heic"));
        writeAll(copy, copyBytes);

        const QString expected = c.erase ? QString() : QStringLiteral("43.25 -1.5");
        EXPECT_EQ(exiftoolPosition(copy), expected);
        EXPECT_EQ(exiv2Position(copy), expected);
        if (!c.tags.isEmpty()) {
            EXPECT_EQ(run("exiftool", {"-s3", "-Make", copy}).trimmed(), QStringLiteral("Vantorel"));
        }
        if (c.tags.contains("-XMP-dc:Title=Essai")) {
            EXPECT_EQ(run("exiftool", {"-s3", "-XMP-dc:Title", copy}).trimmed(), QStringLiteral("Essai"));
            const QString xmpPosition =
                run("exiftool", {"-n", "-s3", "-XMP-exif:GPSLatitude", copy}).trimmed();
            EXPECT_EQ(xmpPosition, c.erase ? QString() : QStringLiteral("43.25"));
        }
        // The source's coordinates (45/1 30/1, big-endian) are nowhere in an erased copy.
        if (c.erase) {
            EXPECT_FALSE(copyBytes.contains(QByteArray::fromHex("0000002d000000010000001e00000001")));
        }
        EXPECT_FALSE(run("exiftool", {"-validate", "-warning", "-a", copy}).contains("Error"));

        const QImage before = decoded(dir, source), after = decoded(dir, copy);
        ASSERT_FALSE(before.isNull());
        EXPECT_EQ(before, after);

        const MemorySource sourceBytes(bytes);
        const BmffFile parsed = parseBmff(sourceBytes);
        ASSERT_TRUE(parsed.meta);
        expectKept(bytes, copyBytes, exifItems(*parsed.meta) + xmpItems(*parsed.meta));

        const ContainerLayout layout = bmffContainer().layout(MemorySource(copyBytes));
        EXPECT_TRUE(layout.error.isEmpty());
        EXPECT_EQ(layout.exif.size(), c.erase && c.itemAdded ? 0 : 1);
        if (c.itemAdded) {
            const MemorySource copySource(copyBytes);
            const BmffFile copyParsed = parseBmff(copySource);
            ASSERT_TRUE(copyParsed.meta);
            const QVector<quint32> exif = exifItems(*copyParsed.meta);
            ASSERT_EQ(exif.size(), 1);
            bool described = false;
            for (const ItemReference& r : copyParsed.meta->references)
                described = described || (r.type == fourCC("cdsc") && r.from == exif[0] &&
                                          r.to == QVector<quint32>{*copyParsed.meta->primary});
            EXPECT_TRUE(described);
        }
    }
}

// exiftool's reading of a file: every tag by group, numbers as numbers.
QJsonObject exiftoolTags(const QString& path) {
    const QJsonArray all =
        QJsonDocument::fromJson(run(QStringLiteral("exiftool"), {"-j", "-G1", "-n", "-a", path}).toUtf8())
            .array();
    return all.isEmpty() ? QJsonObject() : all.first().toObject();
}

// The tags a location edit may change: positions, the file's own, exiftool's remarks, and where
// the media data lies (a grown or added mdat, a grown meta before it).
bool mayChange(const QString& key) {
    const QString group = key.section(u':', 0, 0), name = key.section(u':', 1);
    return key == u"SourceFile" || group == u"System" || group == u"File" || group == u"ExifTool" ||
           group == u"GPS" || group == u"Composite" || name.contains(u"GPS", Qt::CaseInsensitive) ||
           name.contains(u"Latitude") || name.contains(u"Longitude") || name == u"Warning" ||
           name == u"MediaDataSize" || name == u"MediaDataOffset";
}

// The program's writer over HEIC and AVIF: "#" with a position, with a time and altitude too, "~"
// and "~" of everything that locates; every other tag kept, the pixels the same.
TEST(BmffContainer, TheWriterMakesEveryKindOfCopy) {
    if (!have("heif-enc") || !have("exiftool") || !have("heif-convert"))
        GTEST_SKIP() << "heif-enc, heif-convert and exiftool needed";
    QTemporaryDir dir;
    GpsPosition position;
    position.latitudeRef = QStringLiteral("S");
    position.longitudeRef = QStringLiteral("E");
    position.latitude = DegreesToRationals(33.8568);
    position.longitude = DegreesToRationals(151.2153);
    GpsPosition timed = position;
    timed.extraItems = {rationalItem(GpsAltitude, {{120, 1}}), byteItem(GpsAltitudeRef, {0}),
                        rationalItem(GpsTimeStamp, {{10, 1}, {20, 1}, {30, 1}}),
                        asciiItem(GpsDateStamp, "2024:05:06")};
    enum class Operation { Write, WriteWithTime, Erase, EraseAll };
    const struct {
        const char* name;
        bool avif;
        QStringList tags;
    } sources[] = {{"xmp", false, kXmpPosition}, {"xmp", true, kXmpPosition}, {"none", false, {}}};
    for (const auto& s : sources) {
        const QString source = makeHeif(dir, QString::fromLatin1(s.name), s.avif, s.tags);
        SCOPED_TRACE(source.toStdString());
        ASSERT_FALSE(source.isEmpty());
        const QByteArray before = readAll(source);
        const QJsonObject sourceTags = exiftoolTags(source);
        const QImage pixels = decoded(dir, source);
        for (const Operation op :
             {Operation::Write, Operation::WriteWithTime, Operation::Erase, Operation::EraseAll}) {
            SCOPED_TRACE(int(op));
            const bool writes = op == Operation::Write || op == Operation::WriteWithTime;
            const QString target = copyPathFor(source, writes ? kGeotaggedPrefix : kErasedPrefix);
            QFile::remove(target);
            const CopyResult r = op == Operation::Write           ? writeGeotagCopy(source, target, position)
                                 : op == Operation::WriteWithTime ? writeGeotagCopy(source, target, timed)
                                 : op == Operation::Erase ? writeGeotagCopy(source, target, std::nullopt)
                                                          : writeCopyWithoutLocation(source, target);
            ASSERT_TRUE(r.ok) << r.error.toStdString();
            EXPECT_EQ(readAll(source), before);
            const QJsonObject tags = exiftoolTags(target);
            ASSERT_FALSE(tags.isEmpty());
            EXPECT_FALSE(tags.contains(QStringLiteral("ExifTool:Error")));
            if (writes) {
                EXPECT_NEAR(tags.value(QStringLiteral("GPS:GPSLatitude")).toDouble(), 33.8568, 1e-4);
                EXPECT_EQ(tags.value(QStringLiteral("GPS:GPSLatitudeRef")).toString(), QStringLiteral("S"));
                EXPECT_NEAR(tags.value(QStringLiteral("GPS:GPSLongitude")).toDouble(), 151.2153, 1e-4);
                if (op == Operation::WriteWithTime) {
                    EXPECT_EQ(tags.value(QStringLiteral("GPS:GPSDateStamp")).toString(),
                              QStringLiteral("2024:05:06"));
                }
                EXPECT_EQ(exiv2Position(target), QStringLiteral("-33.8568 151.215"));
            } else {
                for (auto it = tags.begin(); it != tags.end(); ++it) {
                    EXPECT_FALSE(it.key().contains(QStringLiteral("Latitude")) ||
                                 it.key().contains(QStringLiteral("Longitude")))
                        << it.key().toStdString();
                }
                EXPECT_EQ(exiv2Position(target), QString());
            }
            for (auto it = sourceTags.begin(); it != sourceTags.end(); ++it) {
                if (!mayChange(it.key())) {
                    EXPECT_EQ(tags.value(it.key()), it.value()) << it.key().toStdString();
                }
            }
            for (auto it = tags.begin(); it != tags.end(); ++it) {
                if (!mayChange(it.key())) {
                    EXPECT_TRUE(sourceTags.contains(it.key())) << it.key().toStdString();
                }
            }
            EXPECT_EQ(decoded(dir, target), pixels);
        }
    }
}

TEST(BmffContainer, AnEditThatFitsStaysInPlaceAndOneThatGrowsEndsTheFile) {
    if (!have("heif-enc") || !have("exiftool")) GTEST_SKIP() << "heif-enc and exiftool needed";
    QTemporaryDir dir;
    const QString source = makeHeif(dir, QStringLiteral("grow"), false, kCameraOnly);
    ASSERT_FALSE(source.isEmpty());
    const QByteArray bytes = readAll(source);
    // The first copy gains a GPS directory: the item moves to the end of the file.
    const ContainerPlan first = bmffContainer().plan(bytes, editorFor(setEdit(43.25, -1.5)));
    ASSERT_TRUE(first.error.isEmpty()) << qPrintable(first.error);
    const QByteArray once = applied(bytes, first);
    EXPECT_GT(once.size(), bytes.size());
    // A new position of the same size is written where the old one was: same size, only the
    // Exif item's bytes differ.
    const ContainerPlan second = bmffContainer().plan(once, editorFor(setEdit(-12.5, 100.75)));
    ASSERT_TRUE(second.error.isEmpty()) << qPrintable(second.error);
    const QByteArray twice = applied(once, second);
    ASSERT_EQ(twice.size(), once.size());
    const ContainerLayout layout = bmffContainer().layout(MemorySource(once));
    ASSERT_EQ(layout.exif.size(), 1);
    for (qint64 i = 0; i < once.size(); ++i)
        if (once[i] != twice[i]) {
            EXPECT_GE(i, layout.exif[0].offset);
            EXPECT_LT(i, layout.exif[0].offset + layout.exif[0].size);
        }
    const QString copy = dir.filePath(QStringLiteral("twice.heic"));
    writeAll(copy, twice);
    EXPECT_EQ(exiftoolPosition(copy), QStringLiteral("-12.5 100.75"));
    // The same position again: nothing to change.
    const ContainerPlan third = bmffContainer().plan(twice, editorFor(setEdit(-12.5, 100.75)));
    EXPECT_TRUE(third.error.isEmpty());
    EXPECT_TRUE(third.changes.isEmpty());
}

// ---- Synthetic files: the iloc forms heif-enc does not write --------------------------------

QByteArray be(quint64 value, int size) {
    QByteArray out;
    for (int i = size - 1; i >= 0; --i)
        out.append(char((value >> (8 * i)) & 0xFF));
    return out;
}
QByteArray box(const char* type, const QByteArray& payload) {
    return be(quint64(payload.size()) + 8, 4) + type + payload;
}
QByteArray fullBox(const char* type, int version, quint32 flags, const QByteArray& payload) {
    return box(type, be(quint64(version), 1) + be(flags, 3) + payload);
}
QByteArray infe(quint16 id, const char* type, const QByteArray& contentType = {}) {
    QByteArray payload = be(id, 2) + be(0, 2) + type + QByteArray(1, '\0');
    if (!contentType.isEmpty()) payload += contentType + QByteArray(1, '\0');
    return fullBox("infe", 2, 0, payload);
}

// A small TIFF block with a GPS directory holding 45/1 30/1 0/1 N.
QByteArray sampleTiff() {
    LocationEdit edit = setEdit(45.5, 6.25);
    return newGpsBlock(edit.gpsItems);
}

enum class ExifForm { FileOffset, Idat, TwoExtents, BaseOnly };

// ftyp, meta (hdlr, pitm, [idat], iloc v1, iinf, iref), mdat with the picture item "PIXELS..."
// then the Exif item (whose data lies as `form` says).
QByteArray syntheticHeif(ExifForm form) {
    const QByteArray ftyp = box("ftyp", QByteArray("heic") + be(0, 4) + "mif1heic");
    const QByteArray exifData = be(6, 4) + QByteArray("Exif\0\0", 6) + sampleTiff();
    const QByteArray pixels = QByteArray("PIXELS").repeated(20);
    const QByteArray hdlr =
        fullBox("hdlr", 0, 0, be(0, 4) + "pict" + QByteArray(12, '\0') + QByteArray(1, '\0'));
    const QByteArray pitm = fullBox("pitm", 0, 0, be(1, 2));
    const QByteArray iinf = fullBox("iinf", 0, 0, be(2, 2) + infe(1, "hvc1") + infe(2, "Exif"));
    const QByteArray iref = fullBox("iref", 0, 0, box("cdsc", be(2, 2) + be(1, 2) + be(1, 2)));
    const QByteArray idat = form == ExifForm::Idat ? box("idat", exifData) : QByteArray();
    // iloc sizes: offset 4, length 4, base 4 (BaseOnly: offset 0), index 0.
    const int offsetSize = form == ExifForm::BaseOnly ? 0 : 4;
    auto iloc = [&](qint64 mdatPayload) {
        QByteArray p = be(quint64((offsetSize << 4) | 4), 1) + be(4 << 4, 1) + be(2, 2);
        const qint64 pixelsAt = mdatPayload;
        const qint64 exifAt = mdatPayload + pixels.size();
        // The picture.
        p += be(1, 2) + be(0, 2) + be(0, 2);
        p += form == ExifForm::BaseOnly ? be(quint64(pixelsAt), 4) : be(0, 4);
        p +=
            be(1, 2) + (offsetSize ? be(quint64(pixelsAt), 4) : QByteArray()) + be(quint64(pixels.size()), 4);
        // The Exif item.
        p += be(2, 2);
        if (form == ExifForm::Idat) {
            p += be(1, 2) + be(0, 2) + be(0, 4) + be(1, 2) + be(0, 4) + be(quint64(exifData.size()), 4);
        } else if (form == ExifForm::TwoExtents) {
            const qint64 half = 10;
            p += be(0, 2) + be(0, 2) + be(0, 4) + be(2, 2);
            p += be(quint64(exifAt), 4) + be(half, 4) + be(quint64(exifAt + half), 4) +
                 be(quint64(exifData.size() - half), 4);
        } else if (form == ExifForm::BaseOnly) {
            p += be(0, 2) + be(0, 2) + be(quint64(exifAt), 4) + be(1, 2) + be(quint64(exifData.size()), 4);
        } else {
            p += be(0, 2) + be(0, 2) + be(0, 4) + be(1, 2) + be(quint64(exifAt), 4) +
                 be(quint64(exifData.size()), 4);
        }
        return fullBox("iloc", 1, 0, p);
    };
    const qint64 metaSize =
        12 + hdlr.size() + pitm.size() + idat.size() + iloc(0).size() + iinf.size() + iref.size();
    const qint64 mdatPayload = ftyp.size() + metaSize + 8;
    const QByteArray meta = fullBox("meta", 0, 0, hdlr + pitm + idat + iloc(mdatPayload) + iinf + iref);
    const QByteArray mdat = box("mdat", form == ExifForm::Idat ? pixels : pixels + exifData);
    return ftyp + meta + mdat;
}

TEST(BmffContainer, EveryIlocFormMovesTheExifItemAndKeepsThePicture) {
    const struct {
        const char* name;
        ExifForm form;
    } forms[] = {{"file offset", ExifForm::FileOffset},
                 {"idat", ExifForm::Idat},
                 {"two extents", ExifForm::TwoExtents},
                 {"base offset only", ExifForm::BaseOnly}};
    for (const auto& f : forms) {
        SCOPED_TRACE(f.name);
        const QByteArray bytes = syntheticHeif(f.form);
        const ContainerLayout layout = bmffContainer().layout(MemorySource(bytes));
        ASSERT_TRUE(layout.error.isEmpty()) << qPrintable(layout.error);
        ASSERT_EQ(layout.exif.size(), 1);
        EXPECT_EQ(bytes.mid(layout.exif[0].offset, layout.exif[0].size), sampleTiff());

        // A bigger block (a new position and more): the item moves.
        LocationEdit edit = setEdit(-33.875, 151.25);
        edit.gpsItems.append(PropertyItem{0x1B, 7, QByteArray("ASCII\0\0\0GPS", 11)}); // processing method
        const ContainerPlan plan = bmffContainer().plan(bytes, editorFor(edit));
        ASSERT_TRUE(plan.error.isEmpty()) << qPrintable(plan.error);
        const QByteArray copy = applied(bytes, plan);
        expectKept(bytes, copy, {2});
        const ContainerLayout after = bmffContainer().layout(MemorySource(copy));
        ASSERT_EQ(after.exif.size(), 1);
        const QByteArray tiff = copy.mid(after.exif[0].offset, after.exif[0].size);
        EXPECT_TRUE(tiff.contains(QByteArray::fromHex("2100000001000000"))); // 33/1
        // The old block is gone from the copy: zeroed where it was.
        EXPECT_FALSE(copy.contains(sampleTiff()));
        if (have("exiftool")) {
            QTemporaryDir dir;
            const QString path = dir.filePath("synthetic.heic");
            writeAll(path, copy);
            EXPECT_EQ(exiftoolPosition(path), QStringLiteral("-33.875 151.25"));
        }
    }
}

TEST(BmffContainer, AddingAnItemMovesEveryOffsetBehindMeta) {
    // The synthetic file without its Exif item, iloc with 4-byte offsets.
    QByteArray bytes = syntheticHeif(ExifForm::FileOffset);
    const MemorySource source(bytes);
    BmffFile parsed = parseBmff(source);
    ASSERT_TRUE(parsed.meta);
    // Turn the Exif item into an unknown one.
    const qint64 at = bytes.indexOf("Exif", parsed.meta->box.offset);
    ASSERT_GT(at, 0);
    bytes.replace(at, 4, "xxxx");
    const ContainerPlan plan = bmffContainer().plan(bytes, editorFor(setEdit(10.5, 20.25)));
    ASSERT_TRUE(plan.error.isEmpty()) << qPrintable(plan.error);
    const QByteArray copy = applied(bytes, plan);
    expectKept(bytes, copy, {});
    const ContainerLayout after = bmffContainer().layout(MemorySource(copy));
    ASSERT_EQ(after.exif.size(), 1);
    const MemorySource copySource(copy);
    const BmffFile copyParsed = parseBmff(copySource);
    ASSERT_TRUE(copyParsed.meta);
    EXPECT_EQ(copyParsed.meta->infos.size(), 3);
    EXPECT_EQ(copyParsed.meta->iinfCount, 3u);
    EXPECT_GT(copyParsed.meta->box.size, parsed.meta->box.size);
}

TEST(BmffContainer, FilesThatCannotBeEditedSafelyAreRefusedWithAReason) {
    const QByteArray good = syntheticHeif(ExifForm::FileOffset);
    const QByteArray moov = box("moov", box("mvhd", QByteArray(100, '\0')));
    QByteArray noExif = good;
    noExif.replace(noExif.indexOf("Exif", 40), 4, "xxxx");
    // The last item info sized "to the end of iinf": an info added after it would be taken in.
    QByteArray openInfo = noExif;
    openInfo.replace(openInfo.lastIndexOf("infe") - 4, 4, be(0, 4));
    struct {
        const char* name;
        QByteArray bytes;
    } cases[] = {
        {"truncated", good.left(good.size() - 3)},
        {"an item to add after an item info sized to the end", openInfo},
        {"an image sequence behind meta, meta must grow", noExif + moov},
        {"not a picture handler", QByteArray(good).replace("pict", "vide")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ContainerPlan plan = bmffContainer().plan(c.bytes, editorFor(setEdit(1, 2)));
        EXPECT_FALSE(plan.error.isEmpty());
        EXPECT_TRUE(plan.changes.isEmpty());
    }
    // A sequence is no obstacle when nothing moves.
    const ContainerPlan plan = bmffContainer().plan(good + moov, editorFor(setEdit(44.5, 7.25)));
    EXPECT_TRUE(plan.error.isEmpty()) << qPrintable(plan.error);
    EXPECT_FALSE(plan.changes.isEmpty());
}

TEST(BmffContainer, ACr3GivesItsThreeTiffBlocksAndItsXmpAndIsNeverWritten) {
    const QByteArray tiff = sampleTiff();
    auto uuid = [](const char* hex, const QByteArray& payload) {
        return box("uuid", QByteArray::fromHex(hex) + payload);
    };
    const QByteArray canon =
        uuid("85c0b687820f11e08111f4ce462b6a48", box("CNCV", "CanonCR3_001/01.09.00/00.00.00") +
                                                     box("CMT1", tiff + "1") + box("CMT2", tiff + "2") +
                                                     box("CMT3", tiff + "3") + box("CMT4", tiff + "4"));
    const QByteArray xmp("<x:xmpmeta xmlns:x='adobe:ns:meta/'/>");
    const QByteArray bytes = box("ftyp", QByteArray("crx ") + be(1, 4) + "crx isom") +
                             box("moov", canon + box("mvhd", QByteArray(100, '\0'))) +
                             uuid("be7acfcb97a942e89c71999491e3afac", xmp) + box("mdat", QByteArray(64, 'R'));
    ASSERT_EQ(sniffContainer(bytes.left(kSniffBytes)), ContainerKind::IsoBmff);
    const ContainerLayout layout = bmffContainer().layout(MemorySource(bytes));
    ASSERT_TRUE(layout.error.isEmpty()) << qPrintable(layout.error);
    ASSERT_EQ(layout.exif.size(), 3);
    EXPECT_EQ(bytes.mid(layout.exif[0].offset, layout.exif[0].size), tiff + "1");
    EXPECT_EQ(bytes.mid(layout.exif[1].offset, layout.exif[1].size), tiff + "2");
    EXPECT_EQ(bytes.mid(layout.exif[2].offset, layout.exif[2].size), tiff + "4");
    ASSERT_EQ(layout.xmp.size(), 1);
    EXPECT_EQ(bytes.mid(layout.xmp[0].offset, layout.xmp[0].size), xmp);
    EXPECT_FALSE(layout.pixelSize.has_value());
    const ContainerPlan plan = bmffContainer().plan(bytes, editorFor(setEdit(1, 2)));
    EXPECT_FALSE(plan.error.isEmpty());
    EXPECT_TRUE(plan.changes.isEmpty());
    // A Canon box cut short is said so.
    QByteArray cut = bytes;
    cut.replace(cut.indexOf("CMT4") - 4, 4, be(0x7FFF, 4));
    EXPECT_FALSE(bmffContainer().layout(MemorySource(cut)).error.isEmpty());
}

// ---- Hostile files --------------------------------------------------------------------------

void survives(const QByteArray& bytes) {
    QElapsedTimer timer;
    timer.start();
    const ContainerLayout layout = bmffContainer().layout(MemorySource(bytes));
    for (const ByteRange& r : layout.exif)
        EXPECT_LE(r.offset + r.size, bytes.size());
    for (const ByteRange& r : layout.xmp)
        EXPECT_LE(r.offset + r.size, bytes.size());
    const ContainerPlan plan = bmffContainer().plan(bytes, editorFor(setEdit(1, 2)));
    qint64 last = 0;
    for (const SegmentChange& c : plan.changes) {
        EXPECT_GE(c.offset, last);
        EXPECT_LE(c.offset + c.replacedSize, bytes.size());
        last = c.offset + c.replacedSize;
    }
    EXPECT_LT(timer.elapsed(), 2000);
}

TEST(BmffContainer, HostileFilesNeverCrashHangOrReachOutside) {
    const QByteArray good = syntheticHeif(ExifForm::FileOffset);
    const qint64 metaAt = good.indexOf("meta") - 4;
    const qint64 ilocAt = good.indexOf("iloc") - 4;
    auto patched = [&](qint64 at, const QByteArray& with) {
        return QByteArray(good).replace(at, with.size(), with);
    };
    const struct {
        const char* name;
        QByteArray bytes;
    } cases[] = {
        {"empty", QByteArray()},
        {"ftyp alone", good.left(24)},
        {"cut in meta", good.left(metaAt + 40)},
        {"meta of 4 GiB", patched(metaAt, be(0xFFFFFFFF, 4))},
        {"meta smaller than its header", patched(metaAt, be(9, 4))},
        {"meta with a 64-bit size past the end",
         patched(metaAt, be(1, 4) + "meta" + be(0x7FFFFFFFFFFFFFFF, 8))},
        {"meta to the end", patched(metaAt, be(0, 4))},
        {"iloc of 65535 items", patched(ilocAt + 14, be(0xFFFF, 2))},
        {"iloc sizes 3", patched(ilocAt + 12, be(0x33, 1))},
        {"extent past the end",
         patched(good.indexOf(be(2, 2) + be(0, 2) + be(0, 2) + be(0, 4) + be(1, 2), ilocAt) + 12,
                 be(0xFFFFFF00, 4))},
        {"box of size 3", good.left(28) + be(3, 4) + "free" + good.mid(28)},
        {"zero-size boxes", good + QByteArray(64, '\0')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        survives(c.bytes);
    }
    // Scrambled bytes in meta, many times.
    QRandomGenerator random(33);
    const qint64 metaEnd = good.indexOf("mdat") - 4;
    for (int round = 0; round < 3000; ++round) {
        QByteArray bytes = good;
        const int flips = 1 + int(random.bounded(4));
        for (int i = 0; i < flips; ++i)
            bytes[int(metaAt + random.bounded(int(metaEnd - metaAt)))] = char(random.bounded(256));
        survives(bytes);
        if (HasFailure()) {
            ADD_FAILURE() << "round " << round << ": " << bytes.toHex().constData();
            break;
        }
    }
}

} // namespace
