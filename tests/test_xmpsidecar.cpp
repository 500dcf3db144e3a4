// SPDX-License-Identifier: GPL-3.0-or-later
// XMP sidecars: their names, the photos that take only a sidecar, a new sidecar read back by
// exiftool and exiv2 (odd file names escaped), an existing sidecar edited with its other
// properties kept, one that is no XMP never replaced unasked; the photo never touched.
#include "fixtures.h"
#include "geotag/xmpsidecar.h"
#include "tracks/trackcopies.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace vantorel;
using namespace vantorel::test;

namespace {

void writePlain(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// What exiftool reads in a file, every tag as text ("" when it cannot run).
QJsonObject exiftool(const QString& path) {
    QProcess p;
    p.start("exiftool", {"-j", "-n", "-XMP:all", path});
    if (!p.waitForFinished(60000) || p.exitCode() != 0) return {};
    return QJsonDocument::fromJson(p.readAllStandardOutput()).array().at(0).toObject();
}

// exiv2's reading of a sidecar: "Xmp.exif.GPSLatitude  XmpText  10  48,7.4069N" lines.
QString exiv2(const QString& path) {
    QProcess p;
    p.start("exiv2", {"-pa", path});
    return p.waitForFinished(60000) ? QString::fromUtf8(p.readAllStandardOutput()) : QString();
}

bool toolsThere() {
    return !QStandardPaths::findExecutable("exiftool").isEmpty() &&
           !QStandardPaths::findExecutable("exiv2").isEmpty();
}

// 48.12345 N, 2.56789 W, 35.5 m, 2026-12-11 09:13:05.25 UTC, as a track gives it.
GpsPosition trackPosition() {
    TrackPosition p;
    p.latitude = 48.12345;
    p.longitude = -2.56789;
    p.hasElevation = true;
    p.elevation = 35.5;
    return trackGpsPosition(p, 1796980385250, false);
}

TEST(XmpSidecar, NamesBesideThePhoto) {
    struct Case {
        const char* photo;
        const char* withExtension;
        const char* withoutExtension;
    } cases[] = {
        {"/p/IMG_1.CR3", "/p/IMG_1.CR3.xmp", "/p/IMG_1.xmp"},
        {"/p/a.b/IMG", "/p/a.b/IMG.xmp", "/p/a.b/IMG.xmp"},
        {"/p/.hidden", "/p/.hidden.xmp", "/p/.hidden.xmp"},
        {"/p/x.tar.raf", "/p/x.tar.raf.xmp", "/p/x.tar.xmp"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(sidecarPathFor(c.photo), c.withExtension);
        EXPECT_EQ(sidecarPathFor(c.photo, SidecarName::WithoutExtension), c.withoutExtension);
    }
}

TEST(XmpSidecar, OnlyRawFilesOfTheirOwnStructureAndCr3TakeSidecarsOnly) {
    QTemporaryDir dir;
    const auto ftyp = [](const char* major, const char* compatible) {
        return QByteArray("\0\0\0\x18"
                          "ftyp",
                          8) +
               major + QByteArray("\0\0\0\0", 4) + compatible + "mif1" + QByteArray(64, '\0');
    };
    struct Case {
        const char* name;
        QByteArray start;
        bool sidecarOnly;
    } cases[] = {
        {"a.raf", "FUJIFILMCCD-RAW 0201FF383501" + QByteArray(64, '\0'), true},
        {"a.mrw", QByteArray("\0MRM\0\0\0\0", 8) + QByteArray(64, '\0'), true},
        {"a.cr3", ftyp("crx ", "isom"), true},
        {"b.cr3", ftyp("isom", "crx "), true},
        {"a.heic", ftyp("heic", "heic"), false},
        {"a.jpg", QByteArray("\xFF\xD8\xFF\xE0", 4) + QByteArray(64, '\0'), false},
        {"a.tif", QByteArray("II*\0\x08\0\0\0", 8) + QByteArray(64, '\0'), false},
        {"empty.raf", QByteArray(), false},
    };
    for (const Case& c : cases) {
        writePlain(dir.filePath(c.name), c.start);
        EXPECT_EQ(photoTakesSidecarOnly(dir.filePath(c.name)), c.sidecarOnly) << c.name;
    }
    EXPECT_FALSE(photoTakesSidecarOnly(dir.filePath("missing.raf")));
    EXPECT_FALSE(photoTakesSidecarOnly(dir.path()));
}

TEST(XmpSidecar, NewSidecarReadsBackInBothReadersWithItsOddNameEscaped) {
    if (!toolsThere()) GTEST_SKIP() << "exiftool or exiv2 missing";
    QTemporaryDir dir;
    const QString photo = dir.filePath("Tom & Jerry <\"l'été\">.raf");
    const QByteArray raw = "FUJIFILMCCD-RAW 0201FF383501" + QByteArray(4000, '\x5A');
    writePlain(photo, raw);
    ASSERT_TRUE(QFile::setPermissions(photo, QFile::ReadOwner | QFile::WriteOwner));
    const QString sidecar = sidecarPathFor(photo);
    const CopyResult r = writeSidecar(photo, sidecar, trackPosition());
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_EQ(fileBytes(photo), raw) << "the photo is never touched";
    EXPECT_EQ(QFile::permissions(sidecar), QFile::permissions(photo))
        << "a private photo's sidecar is private";

    const QJsonObject tags = exiftool(sidecar);
    EXPECT_NEAR(tags["GPSLatitude"].toDouble(), 48.12345, 1e-6);
    EXPECT_NEAR(tags["GPSLongitude"].toDouble(), -2.56789, 1e-6);
    EXPECT_NEAR(tags["GPSAltitude"].toDouble(), 35.5, 1e-6);
    EXPECT_EQ(tags["GPSAltitudeRef"].toInt(-1), 0);
    EXPECT_EQ(tags["GPSVersionID"].toString(), "2.3.0.0");
    EXPECT_EQ(tags["GPSDateTime"].toString(), "2026:12:11 09:13:05.25Z");
    EXPECT_EQ(tags["DerivedFrom"].toString(), "Tom & Jerry <\"l'été\">.raf");

    const QString listing = exiv2(sidecar);
    EXPECT_TRUE(
        listing.contains(QRegularExpression("Xmp.exif.GPSLatitude\\s+XmpText\\s+\\d+\\s+48,7.407000N")))
        << listing.toStdString();
    EXPECT_TRUE(
        listing.contains(QRegularExpression("Xmp.exif.GPSLongitude\\s+XmpText\\s+\\d+\\s+2,34.073400W")))
        << listing.toStdString();
    EXPECT_TRUE(listing.contains("Xmp.exif.GPSTimeStamp")) << listing.toStdString();
    EXPECT_TRUE(fileBytes(sidecar).startsWith("<?xpacket begin=\"\xEF\xBB\xBF\" id="))
        << "the byte order mark in UTF-8";
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 2) << "no temporary left";
}

TEST(XmpSidecar, AnExistingSidecarKeepsItsOtherPropertiesAndLosesTheOldAltitudeAndTime) {
    if (!toolsThere()) GTEST_SKIP() << "exiftool or exiv2 missing";
    QTemporaryDir dir;
    const QString photo = dir.filePath("IMG_1.CR3");
    writePlain(photo, "not read");
    const QString sidecar = sidecarPathFor(photo);
    // A photo manager's sidecar: a rating, keywords, an edit history of its own namespace, and an
    // earlier position with altitude and time.
    writePlain(sidecar, R"(<?xpacket begin="" id="W5M0MpCehiHzreSzNTczkc9d"?>
<x:xmpmeta xmlns:x="adobe:ns:meta/">
 <rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#">
  <rdf:Description rdf:about=""
    xmlns:xmp="http://ns.adobe.com/xap/1.0/"
    xmlns:dc="http://purl.org/dc/elements/1.1/"
    xmlns:exif="http://ns.adobe.com/exif/1.0/"
    xmlns:darkroom="http://example.org/darkroom/1.0/"
   xmp:Rating="4"
   darkroom:history_end="3"
   exif:GPSLatitude="10,0.0N"
   exif:GPSLongitude="20,0.0E"
   exif:GPSAltitude="1000/1"
   exif:GPSAltitudeRef="0"
   exif:GPSTimeStamp="2020-01-01T00:00:00Z">
   <dc:subject>
    <rdf:Bag>
     <rdf:li>montagne</rdf:li>
     <rdf:li>été</rdf:li>
    </rdf:Bag>
   </dc:subject>
  </rdf:Description>
 </rdf:RDF>
</x:xmpmeta>
<?xpacket end="w"?>
)");
    const GpsPosition position{"S", "E", DegreesToRationals(33.5), DegreesToRationals(151.25), {}};
    const CopyResult r = writeSidecar(photo, sidecar, position);
    ASSERT_TRUE(r.ok) << r.error.toStdString();

    const QJsonObject tags = exiftool(sidecar);
    EXPECT_NEAR(tags["GPSLatitude"].toDouble(), -33.5, 1e-6);
    EXPECT_NEAR(tags["GPSLongitude"].toDouble(), 151.25, 1e-6);
    EXPECT_EQ(tags["Rating"].toInt(), 4);
    EXPECT_EQ(tags["Subject"].toArray(), QJsonArray({"montagne", "été"}));
    EXPECT_FALSE(tags.contains("GPSAltitude")) << "the old position's altitude went with it";
    EXPECT_FALSE(tags.contains("GPSDateTime"));
    const QString listing = exiv2(sidecar);
    EXPECT_TRUE(listing.contains(QRegularExpression("Xmp.darkroom.history_end\\s+XmpText\\s+1\\s+3")))
        << listing.toStdString();
}

TEST(XmpSidecar, AFileThatIsNoXmpIsReplacedOnlyWhenAsked) {
    QTemporaryDir dir;
    const QString photo = dir.filePath("IMG_2.RAF");
    writePlain(photo, "FUJIFILMCCD-RAW 0201");
    const QString sidecar = sidecarPathFor(photo);
    writePlain(sidecar, "<notes>mes réglages</not");
    const GpsPosition position{"N", "W", DegreesToRationals(1), DegreesToRationals(2), {}};
    const CopyResult refused = writeSidecar(photo, sidecar, position);
    EXPECT_FALSE(refused.ok);
    EXPECT_TRUE(refused.exists);
    EXPECT_TRUE(refused.error.contains(sidecar)) << refused.error.toStdString();
    EXPECT_EQ(fileBytes(sidecar), "<notes>mes réglages</not");

    const CopyResult replaced = writeSidecar(photo, sidecar, position, true);
    ASSERT_TRUE(replaced.ok) << replaced.error.toStdString();
    EXPECT_TRUE(fileBytes(sidecar).contains("exif:GPSLatitude=\"1,0.0000N\""));

    // A folder with the sidecar's name is never replaced, even when asked.
    const QString other = dir.filePath("IMG_3.RAF");
    writePlain(other, "FUJIFILMCCD-RAW 0201");
    ASSERT_TRUE(QDir(dir.path()).mkdir("IMG_3.RAF.xmp"));
    EXPECT_FALSE(writeSidecar(other, sidecarPathFor(other), position, true).ok);
    EXPECT_TRUE(QFileInfo(sidecarPathFor(other)).isDir());
}

} // namespace
