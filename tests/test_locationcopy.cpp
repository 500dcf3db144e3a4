// The copies as other programs read them: real samples whose position or place is stated outside
// the four GPS items (XMP, the destination, IPTC), and built files that hide a position where only
// some readers look (a second Exif segment, an odd GPS pointer, duplicate entries...).
#include "files/jpegsegments.h"
#include "fixtures.h"
#include "geotag/geotagcopy.h"
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
            if (key.endsWith("GPSLatitude")) EXPECT_EQ(geotagged[key].toDouble(), 48.5) << key.toStdString();
            if (key.endsWith("GPSLongitude"))
                EXPECT_EQ(geotagged[key].toDouble(), sign * 2.25) << key.toStdString();
            if (key.endsWith("GPSLongitudeRef")) EXPECT_EQ(geotagged[key].toString(), "W");
        }
        const QRegularExpression newPosition(
            "GPS:GPS(Latitude|Longitude)(Ref)?$|XMP-exif:GPS(Latitude|Longitude)$");
        expectOtherTagsKept(before, geotagged, newPosition, newPosition);

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

} // namespace
