// SPDX-License-Identifier: GPL-3.0-or-later
// Input an attacker or an odd disk gives: names that are not UTF-8, files that cannot be read
// (told apart from photos without GPS), photos named like Qt's options, a file cut inside its
// XMP segment.
#include "controller/commandline.h"
#include "files/jpegsegments.h"
#include "files/pathnames.h"
#include "files/regularfile.h"
#include "fixtures.h"
#include "metadata/exiflisting.h"
#include "metadata/gpscoordinates.h"
#include "metadata/imageproperties.h"
#include "metadata/poitable.h"
#include "metadata/unreadablephoto.h"
#include "text/escape.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace vantorel;
using namespace vantorel::test;

namespace {

const QByteArray kLatin1Name("\xE9t\xE9.jpg"); // "été.jpg" in Latin-1

QVector<PropertyItem> parisItems() {
    return gpsItems("N", {{48, 1}, {51, 1}, {30, 1}}, "E", {{2, 1}, {21, 1}, {0, 1}});
}

TEST(PathNames, BytesGoBackAsTheyCame) {
    const QByteArray cases[] = {
        "plain/ascii.jpg",
        "\xC3\xA9t\xC3\xA9.jpg", // UTF-8
        kLatin1Name,             // Latin-1
        "\xEE\xBE\x80",          // UTF-8 for U+EF80, one of the characters that stand for a byte
        "\xC0\xAF",              // overlong "/"
        "\xED\xA0\x80",          // a surrogate in UTF-8 form
        "\xF4\x90\x80\x80",      // above U+10FFFF
        "cut \xE2\x82",          // a sequence cut short
        "\xF0\x9F\x93\xB7 ok",   // outside the BMP
        QByteArray("\x80\xFF\x7F", 3),
    };
    for (const QByteArray& bytes : cases) {
        const QString name = decodePath(bytes);
        EXPECT_EQ(encodePath(name), bytes) << bytes.toHex().constData();
    }
    EXPECT_EQ(decodePath("\xC3\xA9t\xC3\xA9"), QStringLiteral("été"));
    EXPECT_EQ(decodePath(kLatin1Name).size(), 7);
    EXPECT_FALSE(decodePath(kLatin1Name).contains(QChar::ReplacementCharacter));
    EXPECT_EQ(escapeCell(decodePath(kLatin1Name)), QStringLiteral("\\xE9t\\xE9.jpg"));
}

TEST(PathNames, Latin1PhotoOpensFromArgumentDropAndDialog) {
    QTemporaryDir dir;
    const QString plain = makeJpeg(dir.path(), "plain.jpg", parisItems());
    const QByteArray folder = QFile::encodeName(dir.path());
    const QByteArray raw = folder + '/' + kLatin1Name;
    ASSERT_EQ(::rename(QFile::encodeName(plain).constData(), raw.constData()), 0);

    // The command line: bytes as given.
    const QString fromArgument = decodePath(raw);
    // A drop: a file URL with the byte percent-encoded.
    const QString fromDrop = localPathOfUrl(QUrl(QString::fromLatin1("file://" + folder + "/%E9t%E9.jpg")));
    // Qt's dialog: the name decoded with U+FFFD for each byte that is not UTF-8.
    const QString fromDialog = recoverLossyPath(QFile::decodeName(raw));
    for (const QString& path : {fromArgument, fromDrop, fromDialog}) {
        EXPECT_EQ(path, fromArgument);
        QString latRef, lonRef;
        const CoordinateReading r = ReadGpsCoordinates(path, latRef, lonRef);
        EXPECT_TRUE(r.geotagged) << escapeCell(path).toStdString();
        EXPECT_EQ(r.readError, FileOpenError::None);
    }

    // A lossy name that matches nothing is said to be unreadable, not a photo without GPS.
    QString latRef, lonRef;
    const CoordinateReading lost =
        ReadGpsCoordinates(dir.filePath(QStringLiteral("\uFFFDt\uFFFD2.jpg")), latRef, lonRef);
    EXPECT_EQ(lost.readError, FileOpenError::NameUnreadable);
    EXPECT_TRUE(fileOpenErrorText(lost.readError).contains(QStringLiteral("nom")));
}

TEST(UnreadablePhotos, AreToldFromPhotosWithoutGps) {
    QTemporaryDir dir;
    const QString geotagged = makeJpeg(dir.path(), "geo.jpg", parisItems());
    const QString bare = makeJpeg(dir.path(), "bare.jpg");
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath("fifo.jpg")).constData(), 0600), 0);
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.jpg"));
    ASSERT_EQ(::symlink("nowhere.jpg", QFile::encodeName(dir.filePath("broken.jpg")).constData()), 0);
    const QString tooLong = QStringLiteral("/") + QString(5000, u'a') + QStringLiteral(".jpg");

    const struct {
        QString path;
        FileOpenError error;
    } cases[] = {
        {geotagged, FileOpenError::None},
        {bare, FileOpenError::None},
        {dir.filePath("missing.jpg"), FileOpenError::Missing},
        {dir.filePath("fifo.jpg"), FileOpenError::NotRegular},
        {dir.filePath("folder.jpg"), FileOpenError::NotRegular},
        {dir.filePath("broken.jpg"), FileOpenError::Missing},
        {tooLong, FileOpenError::NameTooLong},
    };
    QStringList paths;
    for (const auto& c : cases) {
        QString latRef, lonRef;
        const CoordinateReading r = ReadGpsCoordinates(c.path, latRef, lonRef);
        EXPECT_EQ(r.readError, c.error) << c.path.left(80).toStdString();
        EXPECT_EQ(r.geotagged, c.path == geotagged);
        paths << c.path;
    }

    // The POI rebuild keeps the readable photos and names the others.
    QString latRef, lonRef;
    int rows = 0;
    StringGrid SG0(PoiColumnCount, 2);
    const QVector<UnreadablePhoto> unreadable = rebuildPoiTable(
        {latRef, lonRef, rows}, SG0, paths, [](const QString&) {}, [] {});
    EXPECT_EQ(rows, 1);
    ASSERT_EQ(unreadable.size(), 5);
    EXPECT_EQ(unreadable[0].path, dir.filePath("missing.jpg"));
    EXPECT_EQ(unreadable[1].error, FileOpenError::NotRegular);

    // The message names the photo on one line, escaped.
    const QString message =
        unreadablePhotoMessage(QStringLiteral("/tmp/a\x1B[2Jb\nc.jpg"), FileOpenError::Missing);
    EXPECT_EQ(message, QStringLiteral("Photo illisible « /tmp/a\\x1B[2Jb\\nc.jpg » : fichier introuvable"));
}

TEST(UnreadablePhotos, WithoutReadPermission) {
    if (::geteuid() == 0) GTEST_SKIP() << "root reads every file; check_cli.py drops to an unprivileged user";
    QTemporaryDir dir;
    const QString locked = makeJpeg(dir.path(), "locked.jpg", parisItems());
    ASSERT_EQ(::chmod(QFile::encodeName(locked).constData(), 0), 0);
    FileOpenError error = FileOpenError::None;
    EXPECT_EQ(openRegularFile(locked, &error), -1);
    EXPECT_EQ(error, FileOpenError::Denied);
}

// A JPEG whose whole Exif segment is followed by an XMP segment cut in its middle.
QByteArray cutInsideXmp(const QByteArray& jpeg) {
    const auto exif = findExifBlock(jpeg);
    if (!exif || exif->tiffOffset < 0) return {};
    QByteArray xmp("http://ns.adobe.com/xap/1.0/");
    xmp += '\0';
    xmp += QByteArray("<x:xmpmeta xmlns:x='adobe:ns:meta/'>") + QByteArray(2000, ' ') + "</x:xmpmeta>";
    QByteArray segment("\xFF\xE1", 2);
    segment += char((xmp.size() + 2) >> 8);
    segment += char((xmp.size() + 2) & 0xFF);
    segment += xmp;
    const qint64 end = exif->segment.end();
    return jpeg.left(end) + segment.left(segment.size() / 2);
}

TEST(CutXmp, ExifBlockBeforeItIsStillRead) {
    QTemporaryDir dir;
    QVector<PropertyItem> items = parisItems();
    items << asciiItem(0x0110, "Cut Camera"); // EquipModel
    const QString whole = makeJpeg(dir.path(), "whole.jpg", items);
    const QByteArray cut = cutInsideXmp(fileBytes(whole));
    ASSERT_FALSE(cut.isEmpty());
    const QString path = dir.filePath("cut.jpg");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(cut);
    f.close();

    QString latRef, lonRef;
    const CoordinateReading r = ReadGpsCoordinates(path, latRef, lonRef);
    EXPECT_TRUE(r.geotagged);
    EXPECT_TRUE(r.signedLatitude.startsWith(QStringLiteral("48")) &&
                r.signedLatitude.endsWith(QStringLiteral("85833")));

    const ExifListing listing = listExifItems(path);
    EXPECT_TRUE(listing.opened);
    EXPECT_EQ(listing.cameraModel, QStringLiteral("Cut Camera"));
    bool latitudeRow = false;
    for (const ExifRow& row : listing.rows)
        latitudeRow |= row.name == QStringLiteral("GpsLatitude");
    EXPECT_TRUE(latitudeRow);

    int rows = 0;
    StringGrid SG0(PoiColumnCount, 2);
    rebuildPoiTable(
        {latRef, lonRef, rows}, SG0, {path}, [](const QString&) {}, [] {});
    EXPECT_EQ(rows, 1);
}

TEST(WindowCommandLine, PhotosNeverReachQt) {
    const struct {
        std::vector<const char*> argv;
        QList<QByteArray> qt;
        QStringList photos;
    } cases[] = {
        {{"vantorel", "a.jpg", "b.jpg"}, {"vantorel"}, {"a.jpg", "b.jpg"}},
        {{"vantorel", "--", "-reverse", "-style", "x"}, {"vantorel"}, {"-reverse", "-style", "x"}},
        {{"vantorel", "-platform", "offscreen", "a.jpg", "--", "--"},
         {"vantorel", "-platform", "offscreen"},
         {"a.jpg", "--"}},
        {{"vantorel", "-reverse", "-style=fusion", "-", "a.jpg"},
         {"vantorel", "-reverse", "-style=fusion"},
         {"-", "a.jpg"}},
    };
    for (const auto& c : cases) {
        const WindowCommandLine line = splitWindowCommandLine(int(c.argv.size()), c.argv.data());
        EXPECT_EQ(line.qtArguments, c.qt);
        EXPECT_EQ(line.photos, c.photos);
    }
    const char* latin1[] = {"vantorel", "--", "\xE9t\xE9.jpg"};
    EXPECT_EQ(encodePath(splitWindowCommandLine(3, latin1).photos.value(0)), kLatin1Name);

    // The desktop entry passes the file manager's photos (as URLs) after "--".
    const QByteArray desktop =
        fileBytes(QStringLiteral(VANTOREL_SOURCE_DIR "/packaging/vantorel.desktop.in"));
    EXPECT_TRUE(desktop.contains("\nExec=vantorel -- %U\n"));
}

TEST(WindowCommandLine, DesktopUrlsAndGeoLinks) {
    // File URLs give back their bytes, a name that is not UTF-8 included.
    const char* urls[] = {"vantorel",
                          "--",
                          "file:///photos/%E9t%E9%20%231.jpg",
                          "file://localhost/a%2Fb.jpg",
                          "file://elsewhere/c.jpg",
                          "-reverse"};
    const WindowCommandLine fromUrls = splitWindowCommandLine(6, urls);
    ASSERT_EQ(fromUrls.photos.size(), 4);
    EXPECT_EQ(encodePath(fromUrls.photos[0]), QByteArray("/photos/\xE9t\xE9 #1.jpg"));
    EXPECT_EQ(fromUrls.photos[1], QStringLiteral("/a/b.jpg"));
    EXPECT_EQ(fromUrls.photos[2], QStringLiteral("file://elsewhere/c.jpg")); // not this machine's: unreadable
    EXPECT_EQ(fromUrls.photos[3], QStringLiteral("-reverse"));
    EXPECT_FALSE(fromUrls.mapPosition);

    const struct {
        const char* link;
        bool valid;
        double latitude, longitude;
    } links[] = {
        {"geo:48.8584,2.2945", true, 48.8584, 2.2945},
        {"GEO:-33.85,151.2,40;u=35", true, -33.85, 151.2},
        {"geo:48.1,2.2;crs=wgs84", true, 48.1, 2.2},
        {"geo:48,2;crs=moon-2011", false, 0, 0},
        {"geo:91,0", false, 0, 0},
        {"geo:0,181", false, 0, 0},
        {"geo:nan,2", false, 0, 0},
        {"geo:48;2", false, 0, 0},
        {"geo:", false, 0, 0},
        {"geography.jpg", false, 0, 0},
    };
    for (const auto& l : links) {
        SCOPED_TRACE(l.link);
        const auto position = parseGeoLink(QString::fromUtf8(l.link));
        ASSERT_EQ(position.has_value(), l.valid);
        if (!position) continue;
        EXPECT_DOUBLE_EQ(position->latitude, l.latitude);
        EXPECT_DOUBLE_EQ(position->longitude, l.longitude);
    }

    // The first position link opens the map; any other link is refused with why, and is no photo.
    const QByteArray huge = "geo:48.1," + QByteArray(120 * 1024, '2');
    const char* withLinks[] = {"vantorel", "--",        "geo:1,2",  "a.jpg",         "geo:3,4",
                               "geo:x",    "geo:NaN,2", "geo:91,2", huge.constData()};
    const WindowCommandLine line = splitWindowCommandLine(9, withLinks);
    ASSERT_TRUE(line.mapPosition);
    EXPECT_EQ(line.mapPosition->latitude, 1);
    EXPECT_EQ(line.photos, (QStringList{"a.jpg"}));
    ASSERT_EQ(line.refusedLinks.size(), 5);
    const QStringList refused = {"geo:3,4", "geo:x", "geo:NaN,2", "geo:91,2",
                                 QString::fromLatin1(huge.left(60))};
    for (int i = 0; i < refused.size(); ++i) {
        SCOPED_TRACE(line.refusedLinks[i].left(200).toStdString());
        EXPECT_TRUE(line.refusedLinks[i].startsWith(QString::fromUtf8("Lien « ") + refused[i]));
        const QString why = line.refusedLinks[i].section(QString::fromUtf8(" refusé : "), 1);
        EXPECT_GT(why.size(), 5);
        EXPECT_LT(line.refusedLinks[i].size(), 300);
    }
}

} // namespace
