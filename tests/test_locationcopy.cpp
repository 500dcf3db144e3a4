// SPDX-License-Identifier: GPL-3.0-or-later
// The copies as other programs read them: real samples whose position or place is stated outside
// the four GPS items (XMP, the destination, IPTC), and built files that hide a position where only
// some readers look (a second Exif segment, an odd GPS pointer, duplicate entries...).
#include "files/jpegsegments.h"
#include "fixtures.h"
#include "geotag/geotagcopy.h"
#include "geotag/positionscan.h"
#include "metadata/gpscoordinates.h"
#include "tiffbuilder.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <iostream>

using namespace vantorel;
using namespace vantorel::test;

namespace {

bool haveExiftool() {
    return !QStandardPaths::findExecutable("exiftool").isEmpty();
}

// exiftool's numeric reading of every tag of each file, keyed by file name then "Group:Tag".
std::map<QString, QJsonObject> exiftoolTags(const QStringList& files, const QStringList& options = {"-a"}) {
    QProcess p;
    p.start("exiftool",
            QStringList{"-q", "-q", "-j", "-G1", "-n", "-charset", "filename=utf8"} + options + files);
    p.waitForFinished(300000);
    std::map<QString, QJsonObject> out;
    for (const QJsonValue& v : QJsonDocument::fromJson(p.readAllStandardOutput()).array()) {
        const QJsonObject o = v.toObject();
        out[QFileInfo(o["SourceFile"].toString()).fileName()] = o;
    }
    return out;
}

const QRegularExpression kPosition("GPS(Dest)?(Latitude|Longitude)$");
// What --all-location takes out, as exiftool names it.
const QRegularExpression
    kPlace("^(GPS:|XMP-exif:GPS|XMP-photoshop:(City|State|Country)$|XMP-iptcCore:(Location|CountryCode)$|"
           "XMP-iptcExt:Location(Created|Shown)|IPTC:(City|Sub-location|Province-State|"
           "Country-PrimaryLocationCode|Country-PrimaryLocationName)$)");

// Tags that describe the file rather than the photo, or that a rewritten block states anew.
bool aboutTheFile(const QString& key) {
    return key == "SourceFile" || key.startsWith("System:") || key.startsWith("File:") ||
           key.startsWith("ExifTool:") || key.startsWith("Composite:") || key == "XMP-x:XMPToolkit" ||
           key == "Photoshop:IPTCDigest";
}

// Every tag of `before` is in `after` with its value, but those `gone` matches; `after` has no
// tag `before` lacks but those `added` matches.
void expectOtherTagsKept(const QJsonObject& before, const QJsonObject& after, const QRegularExpression& gone,
                         const QRegularExpression& added) {
    for (auto it = before.begin(); it != before.end(); ++it) {
        if (aboutTheFile(it.key()) || gone.match(it.key()).hasMatch()) continue;
        EXPECT_EQ(after.value(it.key()), it.value()) << it.key().toStdString();
    }
    for (auto it = after.begin(); it != after.end(); ++it)
        if (!aboutTheFile(it.key()) && !before.contains(it.key())) {
            EXPECT_TRUE(added.match(it.key()).hasMatch()) << "new " << it.key().toStdString();
        }
}

QString exiv2Listing(const QString& path) {
    QProcess p;
    p.start("exiv2", {"-q", "-pa", path});
    p.waitForFinished();
    return QString::fromUtf8(p.readAllStandardOutput());
}

TEST(LocationCopies, RealSamplesHoldNoOldPositionAnywhere) {
    if (!haveExiftool()) GTEST_SKIP() << "exiftool missing";
    QTemporaryDir dir;
    const QStringList all = QDir(samplePath("")).entryList({"*.jpg"}, QDir::Files);
    ASSERT_GT(all.size(), 90);
    QStringList paths;
    for (const QString& name : all)
        paths.append(samplePath(name));
    const auto sources = exiftoolTags(paths);

    // The samples stating a position or a place beyond GPS items 1 to 4.
    QStringList chosen;
    for (const auto& [name, tags] : sources)
        for (const QString& key : tags.keys())
            if (!aboutTheFile(key) && kPlace.match(key).hasMatch() &&
                (!key.startsWith("GPS:") || key.startsWith("GPS:GPSDest"))) {
                chosen.append(name);
                break;
            }
    ASSERT_GE(chosen.size(), 10) << chosen.join(' ').toStdString();

    const GpsPosition position = readCoordinateFields("48,5", "-2,25").position;
    QStringList copies;
    int written = 0;
    for (const QString& name : chosen) {
        SCOPED_TRACE(name.toStdString());
        const QString source = dir.filePath(name);
        ASSERT_TRUE(QFile::copy(samplePath(name), source));
        const bool e = writeGeotagCopy(source, copyPathFor(source, kErasedPrefix), std::nullopt).ok;
        const bool w = writeGeotagCopy(source, copyPathFor(source, kGeotaggedPrefix), position).ok;
        const bool a = writeCopyWithoutLocation(source, dir.filePath("all-" + name)).ok;
        // A file without a picture is refused by all three, and only such a file.
        EXPECT_EQ(e, w);
        EXPECT_EQ(e, a);
        if (!e) {
            EXPECT_TRUE(sources.at(name).value("File:ImageWidth").isUndefined()) << "refused";
            continue;
        }
        ++written;
        copies << copyPathFor(source, kErasedPrefix) << copyPathFor(source, kGeotaggedPrefix)
               << dir.filePath("all-" + name);
    }
    EXPECT_GE(written, chosen.size() - 1);
    const auto read = exiftoolTags(copies);
    for (const QString& name : chosen) {
        if (!read.count("~" + name)) continue;
        ASSERT_TRUE(read.count("#" + name) && read.count("all-" + name));
        SCOPED_TRACE(name.toStdString());
        const QJsonObject& before = sources.at(name);
        const QJsonObject& erased = read.at("~" + name);
        for (const QString& key : erased.keys())
            EXPECT_FALSE(kPosition.match(key).hasMatch()) << "~ keeps " << key.toStdString();
        expectOtherTagsKept(before, erased,
                            QRegularExpression(kPosition.pattern() + "|GPS(Dest)?(Latitude|Longitude)Ref$"),
                            QRegularExpression("^$"));
        if (!QStandardPaths::findExecutable("exiv2").isEmpty()) {
            EXPECT_FALSE(exiv2Listing(dir.filePath("~" + name))
                             .contains(QRegularExpression("GPS(Dest)?(Latitude|Longitude) ")));
        }

        const QJsonObject& geotagged = read.at("#" + name);
        for (const QString& key : geotagged.keys()) {
            // The GPS directory holds magnitudes (the sign is in the reference), XMP signed values.
            const double sign = key.startsWith("GPS:") ? 1 : -1;
            if (key.endsWith("GPSLatitude")) {
                EXPECT_EQ(geotagged[key].toDouble(), 48.5) << key.toStdString();
            }
            if (key.endsWith("GPSLongitude")) {
                EXPECT_EQ(geotagged[key].toDouble(), sign * 2.25) << key.toStdString();
            }
            if (key.endsWith("GPSLongitudeRef")) {
                EXPECT_EQ(geotagged[key].toString(), "W");
            }
        }
        const QRegularExpression newPosition(
            "GPS:GPS(Latitude|Longitude)(Ref)?$|XMP-exif:GPS(Latitude|Longitude)$");
        // A GPS directory made for the copy states its version; a new Exif block the resolution
        // and chroma positioning readers require.
        const QStringList keys = before.keys();
        const bool hadExif =
            std::any_of(keys.begin(), keys.end(), [](const QString& k) { return k.startsWith("IFD0:"); });
        expectOtherTagsKept(before, geotagged, newPosition,
                            QRegularExpression(newPosition.pattern() + "|^GPS:GPSVersionID$" +
                                               (hadExif ? ""
                                                        : "|^IFD0:(X|Y)Resolution$|^IFD0:ResolutionUnit$|"
                                                          "^IFD0:YCbCrPositioning$")));
        if (!std::any_of(keys.begin(), keys.end(), [](const QString& k) { return k.startsWith("GPS:"); })) {
            EXPECT_EQ(geotagged.value("GPS:GPSVersionID").toString(), "2 3 0 0");
        }

        const QJsonObject& none = read.at("all-" + name);
        for (const QString& key : none.keys())
            EXPECT_FALSE(kPlace.match(key).hasMatch()) << "--all-location keeps " << key.toStdString();
        // A packet of the first XMP toolkits names the photo in rdf:about; rewritten, it names it
        // as its instance id, the same text.
        const bool aboutMoved = before.contains("XMP-rdf:About") &&
                                none.value("XMP-xmpMM:InstanceID") == before.value("XMP-rdf:About");
        expectOtherTagsKept(before, none,
                            QRegularExpression(kPlace.pattern() + (aboutMoved ? "|^XMP-rdf:About$" : "")),
                            QRegularExpression(aboutMoved ? "^XMP-xmpMM:InstanceID$" : "^$"));
        // A rewritten IPTC block has its digest follow it.
        EXPECT_FALSE(none.value("ExifTool:Warning").toString().contains("IPTCDigest") &&
                     !before.value("ExifTool:Warning").toString().contains("IPTCDigest"));
    }
}

// ---- Built files that hide a position where only some readers look ----

// Every latitude and longitude exiftool finds in a file, the pictures after the first included
// ("Doc1:GPS:GPSLatitude=48.5").
QStringList exiftoolPositions(const QString& path) {
    QProcess p;
    p.start("exiftool",
            {"-q", "-q", "-a", "-n", "-ee3", "-G3:1", "-s", "-s", "-gps:GPSLatitude", "-gps:GPSLongitude",
             "-xmp-exif:GPSLatitude", "-xmp-exif:GPSLongitude", "-gps:GPSDestLatitude", path});
    p.waitForFinished();
    QStringList out = QString::fromUtf8(p.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    for (QString& line : out)
        line = line.simplified().replace(": ", "=");
    // The second picture of a multi-picture file, read as a file of its own.
    QProcess second;
    second.start("exiftool", {"-b", "-MPImage2", path});
    second.waitForFinished();
    const QByteArray picture = second.readAllStandardOutput();
    if (!picture.isEmpty()) {
        QProcess inner;
        inner.start("exiftool", {"-q", "-q", "-n", "-s", "-s", "-gps:GPSLatitude", "-gps:GPSLongitude", "-"});
        inner.write(picture);
        inner.closeWriteChannel();
        inner.waitForFinished();
        for (const QString& line :
             QString::fromUtf8(inner.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts))
            out.append("MPImage2:" + line.simplified().replace(": ", "="));
    }
    return out;
}

struct BuiltCase {
    const char* name;
    std::function<QByteArray()> file;
    bool writable = true; // false: both copies are refused, with a reason
};

TiffBuilder geotagged(bool big = false) {
    TiffBuilder b(big);
    b.ifd0 = {b.ascii(0x010F, "Maker"), b.ascii(0x0110, "Model 7")};
    b.exif = {b.ascii(0x9003, "2024:05:01 10:00:00")};
    b.gps = {TiffField{0, 1, 4, QByteArray("\x02\x03\x00\x00", 4)}};
    b.gps += b.position('N', 45, 33, 'E', 5, 55);
    return b;
}

const std::vector<BuiltCase> kBuiltCases = {
    {"plain, little-endian", [] { return withSegments(plainJpeg(), {exifSegment(geotagged().build())}); }},
    {"plain, big-endian", [] { return withSegments(plainJpeg(), {exifSegment(geotagged(true).build())}); }},
    {"a second Exif segment",
     [] {
         return withSegments(plainJpeg(),
                             {exifSegment(geotagged().build()), exifSegment(geotagged(true).build())});
     }},
    {"stray bytes between segments",
     [] {
         return withSegments(plainJpeg(), {exifSegment(geotagged().build())}, QByteArray("\x00\x0E?>", 4));
     }},
    {"a GPS pointer typed SHORT",
     [] {
         TiffBuilder b = geotagged();
         b.gpsPointerType = 3;
         return withSegments(plainJpeg(), {exifSegment(b.build())});
     }},
    {"duplicate latitude entries",
     [] {
         TiffBuilder b = geotagged();
         b.gps.insert(3, b.rationals(2, {{45, 1}, {33, 1}, {0, 1}}));
         return withSegments(plainJpeg(), {exifSegment(b.build())});
     }},
    {"an entry of type 0 in the main directory",
     [] {
         TiffBuilder b = geotagged();
         b.ifd0.append(TiffField{0x0131, 0, 3, QByteArray("abc\0", 4)});
         return withSegments(plainJpeg(), {exifSegment(b.build())});
     }},
    {"a destination and an XMP position",
     [] {
         TiffBuilder b = geotagged();
         b.gps += {b.ascii(0x13, "N"), b.rationals(0x14, {{45, 1}, {34, 1}, {0, 1}})};
         return withSegments(
             plainJpeg(),
             {exifSegment(b.build()),
              xmpSegment(xmpPacket("exif:GPSLatitude=\"45,33.0N\" exif:GPSLongitude=\"5,55.0E\""))});
     }},
    {"a JPEG after the end",
     [] {
         return withSegments(plainJpeg(), {exifSegment(geotagged().build())}) +
                withSegments(plainJpeg(), {exifSegment(geotagged(true).build())});
     }},
    {"a multi-picture file with a position in its second picture",
     [] {
         return multiPicture(withSegments(plainJpeg(), {exifSegment(geotagged().build())}),
                             withSegments(plainJpeg(), {exifSegment(geotagged(true).build())}));
     }},
};

// The built file of a case in `dir`, named after the case; empty when it cannot be written.
QString builtFile(const QTemporaryDir& dir, const char* name, const QByteArray& bytes) {
    const QString path = dir.filePath(QString::fromUtf8(name).replace(' ', '_') + ".jpg");
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() ? path : QString();
}

TEST(LocationCopies, BuiltFilesHoldNoOldPositionForAnyReader) {
    QTemporaryDir dir;
    const GpsPosition position = readCoordinateFields("48,5", "-2,25").position;
    for (const BuiltCase& c : kBuiltCases) {
        SCOPED_TRACE(c.name);
        const QString source = builtFile(dir, c.name, c.file());
        ASSERT_FALSE(source.isEmpty());
        const QByteArray before = fileBytes(source);
        QString latRef, lonRef;
        ASSERT_TRUE(ReadGpsCoordinates(source, latRef, lonRef).geotagged);

        const QString erased = copyPathFor(source, kErasedPrefix),
                      written = copyPathFor(source, kGeotaggedPrefix);
        const CopyResult e = writeGeotagCopy(source, erased, std::nullopt);
        const CopyResult w = writeGeotagCopy(source, written, position);
        ASSERT_TRUE(e.ok) << e.error.toStdString();
        ASSERT_TRUE(w.ok) << w.error.toStdString();
        EXPECT_EQ(fileBytes(source), before);
        EXPECT_FALSE(ReadGpsCoordinates(erased, latRef, lonRef).geotagged);
        const CoordinateReading r = ReadGpsCoordinates(written, latRef, lonRef);
        EXPECT_EQ(r.signedLatitude, "48,50000");
        EXPECT_EQ(r.signedLongitude, "-2,25000");
        // No byte of the old latitude (45° 33') anywhere, whatever the byte order.
        for (const QByteArray& copy : {fileBytes(erased), fileBytes(written)}) {
            for (bool big : {false, true})
                EXPECT_FALSE(copy.contains(TiffBuilder(big).rationals(2, {{45, 1}, {33, 1}, {0, 1}}).value));
            EXPECT_FALSE(copy.contains("45,33.0N"));
        }
        if (!haveExiftool()) continue;
        EXPECT_FALSE(exiftoolPositions(source).isEmpty());
        EXPECT_EQ(exiftoolPositions(erased), QStringList())
            << exiftoolPositions(erased).join(' ').toStdString();
        for (const QString& found : exiftoolPositions(written)) {
            if (found.contains("GPSDest")) continue; // the destination is not where the photo is
            const double value = found.section('=', 1).toDouble();
            EXPECT_TRUE(value == 48.5 || value == 2.25 || value == -2.25) << found.toStdString();
        }
        EXPECT_FALSE(exiftoolPositions(written).isEmpty());
    }
}

// A block that has no room left for a new GPS directory is refused with the reason, never written
// without its thumbnail; a damaged GPS directory is refused rather than reported erased.
TEST(LocationCopies, BlocksThatCannotBeEditedSoundlyAreRefused) {
    QTemporaryDir dir;
    const GpsPosition position = readCoordinateFields("48,5", "-2,25").position;
    TiffBuilder full;
    full.ifd0 = {full.ascii(0x010F, "Maker")};
    full.ifd1 = {full.shorts(0x0103, {6})};
    full.thumbnail = QByteArray(65400, 'T');
    TiffBuilder damaged = geotagged();
    damaged.padding = QByteArray(8, '\0');
    QByteArray damagedBlock = damaged.build();
    // The GPS pointer leads past the block's end.
    const qint64 pointer = damagedBlock.indexOf(QByteArray("\x25\x88\x04\x00\x01\x00\x00\x00", 8));
    ASSERT_GT(pointer, 0);
    damagedBlock.replace(pointer + 8, 4, QByteArray("\xF0\xFF\x00\x00", 4));

    struct Case {
        const char* name;
        QByteArray block;
        bool erase;
        const char* reason;
    };
    const Case cases[] = {
        {"no room for a GPS directory", full.build(), false, "ne tient plus"},
        {"a GPS pointer past the end", damagedBlock, true, "GPS"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString source = dir.filePath("photo.jpg");
        QFile f(source);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(withSegments(plainJpeg(), {exifSegment(c.block)}));
        f.close();
        const QString target = copyPathFor(source, c.erase ? kErasedPrefix : kGeotaggedPrefix);
        const CopyResult r =
            writeGeotagCopy(source, target, c.erase ? std::nullopt : std::optional(position));
        EXPECT_FALSE(r.ok);
        EXPECT_TRUE(r.error.contains(c.reason)) << r.error.toStdString();
        EXPECT_FALSE(QFile::exists(target));
    }
    // The same full block with a position already there is rewritten in place.
    full.gps = full.position('N', 1, 2, 'E', 3, 4);
    full.thumbnail.chop(200);
    const QString source = dir.filePath("full.jpg");
    QFile f(source);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(withSegments(plainJpeg(), {exifSegment(full.build())}));
    f.close();
    ASSERT_TRUE(writeGeotagCopy(source, copyPathFor(source, kGeotaggedPrefix), position).ok);
    EXPECT_TRUE(fileBytes(copyPathFor(source, kGeotaggedPrefix)).contains(full.thumbnail));
}

// A camera file with an entry of type 0 in its main directory keeps every item once erased, with
// everything that locates it too, or given a new position: the main directory is edited in place,
// never re-sorted (that entry moved first and readers abandoned the directory).
TEST(LocationCopies, AnEntryOfTypeZeroIsKeptAsItIs) {
    if (!haveExiftool()) GTEST_SKIP() << "exiftool missing";
    QTemporaryDir dir;
    const QString source = dir.filePath("sony.jpg");
    ASSERT_TRUE(QFile::copy(samplePath("mdextract_Sony_DSC-HX5V.jpg"), source));
    const QString erased = copyPathFor(source, kErasedPrefix), all = dir.filePath("all.jpg"),
                  written = copyPathFor(source, kGeotaggedPrefix);
    ASSERT_TRUE(writeGeotagCopy(source, erased, std::nullopt).ok);
    ASSERT_TRUE(writeCopyWithoutLocation(source, all).ok);
    ASSERT_TRUE(writeGeotagCopy(source, written, readCoordinateFields("48,5", "-2,25").position).ok);
    for (const QString& copy : {erased, all, written}) {
        SCOPED_TRACE(copy.toStdString());
        const QString name = QFileInfo(copy).fileName();
        const auto validated = exiftoolTags({source, copy}, {"-a", "-validate", "-warning"});
        EXPECT_EQ(validated.at(name).value("ExifTool:Warning"),
                  validated.at("sony.jpg").value("ExifTool:Warning"));
        const auto main =
            exiftoolTags({source, copy}, {"-a", "-IFD0:all", "-ExifIFD:all", "-MakerNotes:all"});
        QJsonObject before = main.at("sony.jpg"), after = main.at(name);
        before.remove("SourceFile");
        after.remove("SourceFile");
        EXPECT_GT(before.size(), 20);
        EXPECT_EQ(after, before);
    }
}

// ---- Places where a position survives unless it is looked for ----

QByteArray be16(quint16 v) {
    return QByteArray{char(v >> 8), char(v & 0xFF)};
}
QByteArray be32(quint32 v) {
    return be16(quint16(v >> 16)) + be16(quint16(v & 0xFFFF));
}

// A thermal camera's APP1 "FLIR" segment: FFF data (big-endian header and directory) with one GPS
// record (little-endian: valid flag, references, latitude and longitude as doubles).
QByteArray flirSegment(double latitude, double longitude) {
    QByteArray fff = QByteArray("FFF\0", 4) + QByteArray(16, '\0') + be32(100) + be32(0x40) + be32(1);
    fff += QByteArray(0x40 - fff.size(), '\0');
    fff += be16(0x2B) + be16(1) + be32(0x64) + be32(1) + be32(0x60) + be32(0x40) + QByteArray(12, '\0');
    QByteArray record(0x40, '\0');
    record[0] = 1;
    record.replace(8, 4, QByteArray("N\0E\0", 4));
    record.replace(0x10, 8, QByteArray(reinterpret_cast<const char*>(&latitude), 8));
    record.replace(0x18, 8, QByteArray(reinterpret_cast<const char*>(&longitude), 8));
    return segment(0xE1, QByteArray("FLIR\0\x01\x00\x00", 8) + fff + record);
}

// A Photoshop block (APP13) whose image resource 0x0424 is an XMP packet.
QByteArray photoshopXmpSegment(const QByteArray& packet) {
    QByteArray resource =
        QByteArray("8BIM") + be16(0x0424) + QByteArray(2, '\0') + be32(quint32(packet.size())) + packet;
    if (resource.size() % 2) resource += '\0';
    return segment(0xED, QByteArray("Photoshop 3.0\0", 14) + resource);
}

// The part of an XMP packet that does not fit in one segment, in an extended XMP segment.
QByteArray extendedXmpSegment(const QByteArray& packet) {
    return segment(0xE1, QByteArray("http://ns.adobe.com/xmp/extension/\0", 35) +
                             QByteArray("0123456789ABCDEF0123456789ABCDEF") +
                             QByteArray::fromHex(
                                 QByteArray::number(qulonglong(packet.size()), 16).rightJustified(8, '0')) +
                             QByteArray(4, '\0') + packet);
}

const QByteArray kOldXmp = "exif:GPSLatitude=\"45,33.0N\" exif:GPSLongitude=\"5,55.0E\"";

// A main directory whose GPS pointer moved to the thumbnail's directory.
QByteArray gpsFromIfd1() {
    TiffBuilder b = geotagged();
    b.exif.clear();
    b.ifd1 = {b.shorts(0x0103, {6})};
    // IFD0 (2 entries + the GPS pointer), then the GPS directory: its offset.
    const quint32 gpsAt = 8 + 2 + 3 * 12 + 4;
    b.ifd1.append(TiffField{0x8825, 4, 1, b.u32(gpsAt)});
    QByteArray block = b.build();
    const qint64 pointer = block.indexOf(QByteArray("\x25\x88\x04\x00\x01\x00\x00\x00", 8));
    block[pointer] = char(0xA5); // IFD0's own pointer becomes a private tag 0xC4A5
    block[pointer + 1] = char(0xC4);
    return block;
}

const std::vector<BuiltCase> kPlantedCases = {
    {"a thermal camera's GPS record",
     [] {
         return withSegments(plainJpeg(), {exifSegment(geotagged().build()), flirSegment(45.55, 5.9167)});
     }},
    {"a drone's XMP namespace",
     [] {
         return withSegments(plainJpeg(),
                             {exifSegment(geotagged().build()),
                              xmpSegment(xmpPacket("xmlns:drone-dji=\"http://www.dji.com/drone-dji/1.0/\" "
                                                   "drone-dji:GpsLatitude=\"+45.55000000\" "
                                                   "drone-dji:GpsLongitude=\"+5.91666667\" "
                                                   "drone-dji:AbsoluteAltitude=\"+512.5\""))});
     }},
    {"XMP inside the Photoshop block",
     [] {
         return withSegments(plainJpeg(),
                             {exifSegment(geotagged().build()), photoshopXmpSegment(xmpPacket(kOldXmp))});
     }},
    {"extended XMP",
     [] {
         return withSegments(plainJpeg(), {exifSegment(geotagged().build()), xmpSegment(xmpPacket("")),
                                           extendedXmpSegment(xmpPacket(kOldXmp))});
     }},
    {"the thumbnail's own Exif",
     [] {
         TiffBuilder b = geotagged();
         b.ifd1 = {b.shorts(0x0103, {6})};
         b.thumbnail = withSegments(plainJpeg(8, 8), {exifSegment(geotagged(true).build())});
         return withSegments(plainJpeg(), {exifSegment(b.build())});
     }},
    {"a GPS directory hanging from IFD1",
     [] { return withSegments(plainJpeg(), {exifSegment(gpsFromIfd1())}); }},
    {"the Exif pointer equal to the GPS pointer",
     [] {
         TiffBuilder b = geotagged();
         b.exif.clear();
         QByteArray block = b.build();
         const qint64 pointer = block.indexOf(QByteArray("\x25\x88\x04\x00\x01\x00\x00\x00", 8));
         // A second pointer, tagged as the Exif directory's, to the same place.
         block.replace(pointer - 12, 2, QByteArray("\x69\x87", 2));
         block.replace(pointer - 10, 10, block.mid(pointer + 2, 10));
         return withSegments(plainJpeg(), {exifSegment(block)});
     }},
    {"XMP text after the end of the picture",
     [] { return withSegments(plainJpeg(), {exifSegment(geotagged().build())}) + xmpPacket(kOldXmp); }},
};

// Every latitude or longitude exiftool reads in a file, its embedded documents, its thumbnail and
// its other pictures (read as files of their own).
QStringList everyPositionExiftoolReads(const QString& path) {
    static const QRegularExpression coordinate("(?i)(^|:)(gps)?(dest)?(latitude|longitude|longtitude)$");
    QStringList out;
    const auto collect = [&](const QByteArray& json, const QString& where) {
        for (const QJsonValue& v : QJsonDocument::fromJson(json).array()) {
            const QJsonObject o = v.toObject();
            for (auto it = o.begin(); it != o.end(); ++it)
                if (coordinate.match(it.key()).hasMatch() && !it.value().toVariant().toString().isEmpty())
                    out.append(where + it.key() + "=" + it.value().toVariant().toString());
        }
    };
    QProcess p;
    p.start("exiftool", {"-q", "-q", "-j", "-n", "-a", "-G1", "-ee", path});
    p.waitForFinished();
    collect(p.readAllStandardOutput(), "");
    for (const char* picture : {"-ThumbnailImage", "-PreviewImage", "-MPImage2"}) {
        QProcess extract;
        extract.start("exiftool", {"-b", picture, path});
        extract.waitForFinished();
        const QByteArray bytes = extract.readAllStandardOutput();
        if (!bytes.startsWith("\xFF\xD8")) continue;
        QProcess inner;
        inner.start("exiftool", {"-q", "-q", "-j", "-n", "-a", "-G1", "-ee", "-"});
        inner.write(bytes);
        inner.closeWriteChannel();
        inner.waitForFinished();
        collect(inner.readAllStandardOutput(), QString(picture).mid(1) + "/");
    }
    return out;
}

// Each planted position, through erase, erase of everything that locates the photo and write:
// the copy is clean (or holds the new position only), or it is refused with a reason and not
// written; never written with the old position left for a reader.
TEST(LocationCopies, PlantedPositionsAreCleanedOrRefused) {
    QTemporaryDir dir;
    const GpsPosition position = readCoordinateFields("48,5", "-2,25").position;
    for (const BuiltCase& c : kPlantedCases) {
        SCOPED_TRACE(c.name);
        const QString source = builtFile(dir, c.name, c.file());
        ASSERT_FALSE(source.isEmpty());
        ASSERT_FALSE(findPositions(fileBytes(source)).isEmpty());
        const QString erased = copyPathFor(source, kErasedPrefix),
                      all = dir.filePath("all-" + QFileInfo(source).fileName()),
                      written = copyPathFor(source, kGeotaggedPrefix);
        struct Run {
            const char* mode;
            QString copy;
            CopyResult result;
        };
        const Run runs[] = {{"erase", erased, writeGeotagCopy(source, erased, std::nullopt)},
                            {"erase --all-location", all, writeCopyWithoutLocation(source, all)},
                            {"write", written, writeGeotagCopy(source, written, position)}};
        for (const Run& r : runs) {
            SCOPED_TRACE(r.mode);
            if (!r.result.ok) {
                EXPECT_FALSE(r.result.error.isEmpty());
                EXPECT_FALSE(QFile::exists(r.copy));
                std::cout << c.name << " / " << r.mode << ": refused, " << r.result.error.toStdString()
                          << "\n";
                continue;
            }
            std::cout << c.name << " / " << r.mode << ": written\n";
            const bool geotagged = QString(r.mode) == "write";
            for (const FoundPosition& found : findPositions(fileBytes(r.copy))) {
                const double wanted = found.latitude ? 48.5 : 2.25;
                EXPECT_TRUE(geotagged && (found.destination || std::abs(found.degrees - wanted) < 1e-6))
                    << found.where.toStdString();
            }
            if (!haveExiftool()) continue;
            for (const QString& read : everyPositionExiftoolReads(r.copy)) {
                const double value = std::abs(read.section('=', 1).toDouble());
                EXPECT_TRUE(geotagged && (value == 48.5 || value == 2.25)) << read.toStdString();
            }
        }
    }
}

} // namespace

// The scan a copy's read-back relies on finds positions at the very edges of the bytes: a TIFF
// block of either byte order at the first byte or right at the end, and XMP coordinates in any
// case, as attributes or elements, the last one closing the bytes.
TEST(PositionScan, FindsPositionsAtTheEdgesInBothByteOrdersAndAnyCase) {
    const auto block = [](bool big) {
        TiffBuilder b(big);
        b.gps = b.position('N', 48, 30, 'W', 2, 15);
        return b.build();
    };
    struct Case {
        const char* name;
        QByteArray bytes;
        int found;
    } cases[] = {
        {"little-endian block first", block(false) + QByteArray(100, '*'), 2},
        {"big-endian block first", block(true) + "MM*", 2},
        {"both, behind data full of stars", QByteArray(5000, '*') + block(true) + "II*" + block(false), 4},
        {"a header cut at the end", "xxII*", 0},
        {"upper-case attributes", "<x exif:GPSLATITUDE=\"48,30.0N\" exif:GPSLONGITUDE='2,15.0W'/>", 2},
        {"elements, the last closing the bytes",
         "<exif:GPSLatitude>48,30.0N</exif:GPSLatitude><drone:Longtitude>2.25</drone:Longtitude>", 2},
        {"words that only end alike", "<x a:altitude=\"3\" b:gratitude=\"4\" c:itude=\"5\"/>", 0},
    };
    for (const Case& c : cases) {
        const QVector<FoundPosition> found = findPositions(c.bytes);
        EXPECT_EQ(found.size(), c.found) << c.name;
        for (const FoundPosition& f : found)
            EXPECT_NEAR(f.degrees, f.latitude ? 48.5 : 2.25, 1e-9) << c.name << " " << f.where.toStdString();
    }
}
