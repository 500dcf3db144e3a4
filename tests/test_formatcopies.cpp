// SPDX-License-Identifier: GPL-3.0-or-later
// The "#" and "~" copies of every photo format written, over files made here by ImageMagick and
// exiftool: each copy read back by exiftool and exiv2 with the position written or gone, the
// pixels decoded the same, every other tag kept, and a TIFF's bytes kept but for what was
// appended or pointed anew. One row per kind of file: a new format adds its rows to `rows()`.
#include "fixtures.h"
#include "geotag/geotagcopy.h"
#include "metadata/photocontainer.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

using namespace vantorel;
using namespace vantorel::test;

namespace {

struct Output {
    bool ok = false;
    QByteArray out;
    QByteArray err;
};

Output run(const QString& program, const QStringList& arguments) {
    QProcess p;
    p.start(program, arguments);
    Output o;
    o.ok = p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    o.out = p.readAllStandardOutput();
    o.err = p.readAllStandardError();
    return o;
}

bool have(const char* tool) {
    return !QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty();
}

// A row: how its source is made in `dir` (nothing on failure), and what it is.
struct Row {
    QString name;                                  // the file's name, extension included
    std::function<bool(const QString& path)> make; // makes the source at `path`
    bool hasPosition = true;                       // the source has a position
    bool wholeFileBlock = false;                   // TIFF: bytes kept but for what is appended
    bool decoded = true;                           // ImageMagick decodes it (a RAW file: not here)
};

enum class Tags {
    None,   // none
    Before, // put by exiftool in the JPEG the picture is converted from (ImageMagick carries them)
    After,  // put by exiftool in the converted file
};

// A 48 x 32 picture converted by ImageMagick to `path`'s format with `convertOptions`, with
// exiftool's items (a position, a camera, an artist; an XMP position and creator).
bool makePicture(const QString& path, const QStringList& convertOptions, Tags tags) {
    const QString jpeg = path + QStringLiteral(".src.jpg");
    if (!run(QStringLiteral("convert"),
             {QStringLiteral("-size"), QStringLiteral("48x32"), QStringLiteral("plasma:fractal"),
              QStringLiteral("-seed"), QStringLiteral("7"), jpeg})
             .ok)
        return false;
    const QStringList items{QStringLiteral("-q"),
                            QStringLiteral("-overwrite_original"),
                            QStringLiteral("-GPSLatitude=48.5"),
                            QStringLiteral("-GPSLatitudeRef=N"),
                            QStringLiteral("-GPSLongitude=2.25"),
                            QStringLiteral("-GPSLongitudeRef=E"),
                            QStringLiteral("-Make=Cam"),
                            QStringLiteral("-Model=Model 7"),
                            QStringLiteral("-Artist=Someone"),
                            QStringLiteral("-XMP:GPSLatitude=48.5"),
                            QStringLiteral("-XMP:GPSLongitude=2.25"),
                            QStringLiteral("-XMP:Creator=Someone")};
    if (tags == Tags::Before && !run(QStringLiteral("exiftool"), items + QStringList{jpeg}).ok) return false;
    if (!run(QStringLiteral("convert"), QStringList{jpeg} + convertOptions + QStringList{path}).ok)
        return false;
    QFile::remove(jpeg);
    if (tags == Tags::After && !run(QStringLiteral("exiftool"), items + QStringList{path}).ok) return false;
    return QFile::exists(path);
}

QByteArray le32(quint32 v) {
    const char b[4] = {char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF), char(v >> 24)};
    return QByteArray(b, 4);
}
QByteArray be32(quint32 v) {
    const char b[4] = {char(v >> 24), char((v >> 16) & 0xFF), char((v >> 8) & 0xFF), char(v & 0xFF)};
    return QByteArray(b, 4);
}

const QByteArray kXmpWithPosition =
    "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?>"
    "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF "
    "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
    "<rdf:Description rdf:about='' xmlns:exif='http://ns.adobe.com/exif/1.0/' "
    "xmlns:dc='http://purl.org/dc/elements/1.1/' exif:GPSLatitude='48,30.0N' "
    "exif:GPSLongitude='2,15.0E'><dc:creator><rdf:Seq><rdf:li>Someone</rdf:li>"
    "</rdf:Seq></dc:creator></rdf:Description></rdf:RDF></x:xmpmeta>"
    "<?xpacket end='w'?>";

// A WebP made by ImageMagick (extended header, EXIF chunk) given an XMP chunk with a position.
bool makeWebpWithXmp(const QString& path) {
    if (!makePicture(path, {}, Tags::Before)) return false;
    QByteArray bytes = fileBytes(path);
    if (bytes.mid(12, 4) != "VP8X") return false;
    bytes += "XMP " + le32(quint32(kXmpWithPosition.size())) + kXmpWithPosition;
    if (kXmpWithPosition.size() % 2) bytes += '\0';
    bytes[20] = char(bytes[20] | 0x04);
    bytes.replace(4, 4, le32(quint32(bytes.size() - 8)));
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// A PNG whose Exif and XMP are old-style hex profiles in compressed text chunks, as older
// converters wrote them, without an eXIf or XMP iTXt chunk.
bool makeLegacyPng(const QString& path) {
    const QString tagged = path + QStringLiteral(".tagged.png");
    if (!makePicture(tagged, {}, Tags::After) || !makePicture(path, {QStringLiteral("-strip")}, Tags::None))
        return false;
    const QByteArray source = fileBytes(tagged);
    const qint64 exif = source.indexOf("eXIf");
    if (exif < 4) return false;
    const qint64 length = (qint64(uchar(source[exif - 4])) << 24) | (uchar(source[exif - 3]) << 16) |
                          (uchar(source[exif - 2]) << 8) | uchar(source[exif - 1]);
    const QByteArray tiff = source.mid(exif + 4, length);
    QFile::remove(tagged);
    const auto profile = [](const char* name, const QByteArray& data) {
        QByteArray text =
            QByteArray("\n") + name + "\n" + QByteArray::number(data.size()).rightJustified(8, ' ') + "\n";
        const QByteArray hex = data.toHex();
        for (qsizetype at = 0; at < hex.size(); at += 72)
            text += hex.mid(at, 72) + "\n";
        return text;
    };
    const auto chunk = [](const QByteArray& type, const QByteArray& data) {
        // The CRC-32 of the type and data, bit by bit.
        const QByteArray body = type + data;
        quint32 crc = 0xFFFFFFFF;
        for (char c : body) {
            crc ^= uchar(c);
            for (int k = 0; k < 8; ++k)
                crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
        }
        return be32(quint32(data.size())) + body + be32(~crc);
    };
    const auto compressed = [](const QByteArray& text) { return qCompress(text).mid(4); };
    QByteArray png = fileBytes(path);
    const qint64 idat = png.indexOf("IDAT") - 4;
    if (idat < 8) return false;
    png.insert(
        idat, chunk("zTXt", QByteArray("Raw profile type exif\0\0", 23) +
                                compressed(profile("exif", QByteArray("Exif\0\0", 6) + tiff))) +
                  chunk("tEXt", QByteArray("Raw profile type xmp\0", 21) + profile("xmp", kXmpWithPosition)));
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(png) == png.size();
}

// A RAW file's shape, little-endian: a small RGB preview in the main directory, the sensor's
// 16-bit mosaic in a sub-directory, a maker note in the Exif directory; then exiftool's items.
bool makeRawLike(const QString& path) {
    struct Entry {
        quint16 tag, type;
        quint32 count;
        QByteArray value; // up to 4 bytes: in the entry
    };
    const auto le16 = [](quint16 v) {
        const char b[2] = {char(v & 0xFF), char(v >> 8)};
        return QByteArray(b, 2);
    };
    const auto shortValue = [&](quint16 v) { return le16(v) + le16(0); };
    QByteArray file(8192 + 64 * 48 * 2, '\0');
    const auto put = [&](qint64 at, const QByteArray& bytes) { file.replace(at, bytes.size(), bytes); };
    // Each directory at a place of its own, its values after its table.
    const auto directory = [&](qint64 at, const QVector<Entry>& entries) {
        QByteArray table = le16(quint16(entries.size()));
        qint64 values = at + 2 + 12 * entries.size() + 4;
        for (const Entry& e : entries) {
            table += le16(e.tag) + le16(e.type) + le32(e.count);
            if (e.value.size() <= 4) {
                table += e.value + QByteArray(4 - e.value.size(), '\0');
            } else {
                table += le32(quint32(values));
                put(values, e.value);
                values += e.value.size() + e.value.size() % 2;
            }
        }
        put(at, table + le32(0));
    };
    const qint64 ifd0 = 8, sub = 1024, exif = 2048, preview = 4096, raw = 8192;
    put(0, QByteArray("II*\0", 4) + le32(ifd0));
    directory(ifd0, {{0x00FE, TypeLong, 1, le32(1)},
                     {0x0100, TypeShort, 1, shortValue(16)},
                     {0x0101, TypeShort, 1, shortValue(8)},
                     {0x0102, TypeShort, 3, le16(8) + le16(8) + le16(8)},
                     {0x0103, TypeShort, 1, shortValue(1)},
                     {0x0106, TypeShort, 1, shortValue(2)},
                     {0x010F, TypeAscii, 4, QByteArray("Cam\0", 4)},
                     {0x0111, TypeLong, 1, le32(preview)},
                     {0x0115, TypeShort, 1, shortValue(3)},
                     {0x0116, TypeShort, 1, shortValue(8)},
                     {0x0117, TypeLong, 1, le32(16 * 8 * 3)},
                     {0x014A, TypeLong, 1, le32(sub)},
                     {0x8769, TypeLong, 1, le32(exif)},
                     {0xC612, TypeByte, 4, QByteArray("\x01\x04\x00\x00", 4)}});
    directory(sub, {{0x00FE, TypeLong, 1, le32(0)},
                    {0x0100, TypeShort, 1, shortValue(64)},
                    {0x0101, TypeShort, 1, shortValue(48)},
                    {0x0102, TypeShort, 1, shortValue(16)},
                    {0x0103, TypeShort, 1, shortValue(1)},
                    {0x0106, TypeShort, 1, shortValue(32803)},
                    {0x0111, TypeLong, 1, le32(raw)},
                    {0x0115, TypeShort, 1, shortValue(1)},
                    {0x0116, TypeShort, 1, shortValue(48)},
                    {0x0117, TypeLong, 1, le32(64 * 48 * 2)},
                    {0x828D, TypeShort, 2, le16(2) + le16(2)},
                    {0x828E, TypeByte, 4, QByteArray("\x00\x01\x01\x02", 4)}});
    // A maker note whose own offsets count from the file's start: it must not move.
    QByteArray note = QByteArray("MAKER\0", 6) + le32(quint32(raw)) + QByteArray(54, '\x5A');
    directory(exif, {{0x9003, TypeAscii, 20, QByteArray("2024:05:06 10:20:30\0", 20)},
                     {0x927C, TypeUndefined, quint32(note.size()), note}});
    for (qint64 k = 0; k < 16 * 8 * 3; ++k)
        file[preview + k] = char(k * 7);
    for (qint64 k = 0; k < 64 * 48 * 2; ++k)
        file[raw + k] = char((k * 13) ^ (k >> 5));
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(file) != file.size()) return false;
    out.close();
    return run(QStringLiteral("exiftool"),
               {QStringLiteral("-q"), QStringLiteral("-m"), QStringLiteral("-overwrite_original"),
                QStringLiteral("-GPSLatitude=48.5"), QStringLiteral("-GPSLatitudeRef=N"),
                QStringLiteral("-GPSLongitude=2.25"), QStringLiteral("-GPSLongitudeRef=E"),
                QStringLiteral("-Artist=Someone"), path})
        .ok;
}

QVector<Row> rows() {
    const QStringList strip{QStringLiteral("-strip")};
    const QStringList msb{QStringLiteral("-endian"), QStringLiteral("MSB")};
    const QStringList lossless{QStringLiteral("-define"), QStringLiteral("webp:lossless=true")};
    const auto made = [](const QStringList& options, Tags tags) {
        return [=](const QString& p) { return makePicture(p, options, tags); };
    };
    return {
        {QStringLiteral("little.tif"), made({}, Tags::After), true, true},
        {QStringLiteral("big.tif"), made(msb, Tags::After), true, true},
        {QStringLiteral("plain.tif"), made(strip, Tags::None), false, true},
        {QStringLiteral("camera.dng"), makeRawLike, true, true, false},
        {QStringLiteral("photo.png"), made({}, Tags::After)},
        // eXIf after the picture data, the converter's text copies of the GPS items, XMP as a hex profile.
        {QStringLiteral("magick.png"), made({}, Tags::Before)},
        {QStringLiteral("legacy.png"), makeLegacyPng},
        {QStringLiteral("plain.png"), made(strip, Tags::None), false},
        {QStringLiteral("lossy.webp"), made({}, Tags::Before)},
        {QStringLiteral("lossless.webp"), made(lossless, Tags::Before)},
        {QStringLiteral("xmp.webp"), makeWebpWithXmp},
        {QStringLiteral("plain.webp"), made(strip, Tags::None), false},
        {QStringLiteral("plain-lossless.webp"), made(strip + lossless, Tags::None), false},
    };
}

enum class Operation { Write, WriteWithTime, Erase, EraseAll };

// exiftool's reading of a file: every tag by group, numbers as numbers.
QJsonObject exiftoolTags(const QString& path) {
    const Output o = run(QStringLiteral("exiftool"), {QStringLiteral("-j"), QStringLiteral("-G1"),
                                                      QStringLiteral("-n"), QStringLiteral("-a"), path});
    const QJsonArray all = QJsonDocument::fromJson(o.out).array();
    return all.isEmpty() ? QJsonObject() : all.first().toObject();
}

// The tags a location edit may change: positions, the file's own, exiftool's remarks, and the
// flags of the extended header a simple WebP gains with its metadata.
bool mayChange(const QString& key) {
    const QString group = key.section(u':', 0, 0), name = key.section(u':', 1);
    return key == u"SourceFile" || group == u"System" || group == u"File" || group == u"ExifTool" ||
           group == u"GPS" || group == u"Composite" || name.contains(u"GPS", Qt::CaseInsensitive) ||
           name.contains(u"Latitude") || name.contains(u"Longitude") || name == u"Warning" ||
           name == u"WebP_Flags";
}

QByteArray pixelDifference(const QString& a, const QString& b) {
    const Output o = run(QStringLiteral("compare"),
                         {QStringLiteral("-metric"), QStringLiteral("AE"), a, b, QStringLiteral("null:")});
    return o.err.trimmed();
}

TEST(FormatCopies, EveryFormatWrittenAndErasedLosslessly) {
    if (!have("convert") || !have("exiftool") || !have("exiv2") || !have("compare"))
        GTEST_SKIP() << "ImageMagick, exiftool or exiv2 missing";
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

    for (const Row& row : rows()) {
        SCOPED_TRACE(row.name.toStdString());
        const QString source = dir.filePath(row.name);
        ASSERT_TRUE(row.make(source));
        const QByteArray before = fileBytes(source);
        const QJsonObject sourceTags = exiftoolTags(source);
        ASSERT_FALSE(sourceTags.isEmpty());
        EXPECT_EQ(sourceTags.contains(QStringLiteral("GPS:GPSLatitude")), row.hasPosition);

        for (const Operation op :
             {Operation::Write, Operation::WriteWithTime, Operation::Erase, Operation::EraseAll}) {
            const bool writes = op == Operation::Write || op == Operation::WriteWithTime;
            SCOPED_TRACE(int(op));
            const QString target = copyPathFor(source, writes ? kGeotaggedPrefix : kErasedPrefix);
            QFile::remove(target);
            const CopyResult r = op == Operation::Write           ? writeGeotagCopy(source, target, position)
                                 : op == Operation::WriteWithTime ? writeGeotagCopy(source, target, timed)
                                 : op == Operation::Erase ? writeGeotagCopy(source, target, std::nullopt)
                                                          : writeCopyWithoutLocation(source, target);
            ASSERT_TRUE(r.ok) << r.error.toStdString();
            EXPECT_EQ(fileBytes(source), before);
            const QByteArray copy = fileBytes(target);
            EXPECT_EQ(sniffContainer(copy.left(kSniffBytes)), sniffContainer(before.left(kSniffBytes)));
            // exiftool: the position written or gone, every other tag as it was.
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
                if (tags.contains(QStringLiteral("XMP-exif:GPSLatitude"))) {
                    EXPECT_NEAR(tags.value(QStringLiteral("XMP-exif:GPSLatitude")).toDouble(), -33.8568,
                                1e-4);
                }
            } else {
                for (auto it = tags.begin(); it != tags.end(); ++it) {
                    EXPECT_FALSE(it.key().contains(QStringLiteral("Latitude")) ||
                                 it.key().contains(QStringLiteral("Longitude")))
                        << it.key().toStdString();
                }
            }
            for (auto it = sourceTags.begin(); it != sourceTags.end(); ++it) {
                if (mayChange(it.key())) continue;
                EXPECT_EQ(tags.value(it.key()), it.value()) << it.key().toStdString();
            }
            for (auto it = tags.begin(); it != tags.end(); ++it) {
                if (mayChange(it.key())) continue;
                EXPECT_TRUE(sourceTags.contains(it.key())) << "new tag " << it.key().toStdString();
            }

            // exiv2 reads the same.
            const Output exiv2 = run(QStringLiteral("exiv2"), {QStringLiteral("-Pkv"), target});
            QMap<QByteArray, QByteArray> exiv2Values;
            for (const QByteArray& line : exiv2.out.split('\n')) {
                const QByteArray simple = line.simplified();
                exiv2Values.insert(simple.left(simple.indexOf(' ')), simple.mid(simple.indexOf(' ') + 1));
            }
            if (writes) {
                EXPECT_EQ(exiv2Values.value("Exif.GPSInfo.GPSLatitude"), "33/1 514080/10000 0/1");
                EXPECT_EQ(exiv2Values.value("Exif.GPSInfo.GPSLongitude"), "151/1 129180/10000 0/1");
            } else {
                for (auto it = exiv2Values.begin(); it != exiv2Values.end(); ++it)
                    EXPECT_FALSE(it.key().contains("Latitude") || it.key().contains("Longitude"))
                        << it.key().data();
            }
            EXPECT_FALSE(exiv2.err.contains("Error")) << exiv2.err.toStdString();

            // The same pixels.
            if (row.decoded) {
                EXPECT_EQ(pixelDifference(source, target), QByteArray("0"));
            }

            // A TIFF keeps its bytes but for pointers and directories changed in place (and its
            // XMP packet, rewritten in its place), and only grows at its end.
            if (row.wholeFileBlock) {
                ASSERT_GE(copy.size(), before.size());
                const MemorySource bytes(before);
                const QVector<ByteRange> xmp = tiffContainer().layout(bytes).xmp;
                const auto inXmp = [&](qint64 k) {
                    return std::any_of(xmp.begin(), xmp.end(), [&](const ByteRange& r) {
                        return k >= r.offset && k < r.offset + r.size;
                    });
                };
                qint64 changed = 0;
                for (qint64 k = 0; k < before.size(); ++k)
                    changed += copy[k] != before[k] && !inXmp(k);
                EXPECT_LE(changed, 400);
            }
        }
    }
}

} // namespace
