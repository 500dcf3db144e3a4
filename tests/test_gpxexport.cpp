// SPDX-License-Identifier: GPL-3.0-or-later
// The GPX export: the file built from the POI table (valid GPX 1.0, read back by XML and the
// published schema), the GPS time, and the command's dialogs, messages and safe writes.
#include "controller/maincontroller.h"
#include "doubles.h"
#include "export/gpxwriter.h"
#include "fixtures.h"
#include "tables/gridcolumns.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace vantorel;
using namespace vantorel::test;

namespace {

const QString kSchema = QStringLiteral(VANTOREL_REFERENCE_DIR "/gpx10.xsd");

// xmllint's verdict on `path` against the GPX 1.0 schema: empty when valid.
QString schemaErrors(const QString& path) {
    QProcess p;
    p.start(QStringLiteral("xmllint"),
            {QStringLiteral("--noout"), QStringLiteral("--schema"), kSchema, path});
    if (!p.waitForFinished(30000)) return QStringLiteral("xmllint did not run");
    if (p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0) return {};
    return QString::fromLocal8Bit(p.readAllStandardError());
}

struct ReadWaypoint {
    QString lat, lon, ele, time, name, desc;
};

// The waypoints as an XML reader sees them; a parse error fails the test.
QList<ReadWaypoint> readBack(const QByteArray& bytes) {
    QList<ReadWaypoint> out;
    QXmlStreamReader xml(bytes);
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement()) continue;
        if (xml.name() == u"wpt") {
            ReadWaypoint w;
            w.lat = xml.attributes().value("lat").toString();
            w.lon = xml.attributes().value("lon").toString();
            out.append(w);
        } else if (!out.isEmpty()) {
            ReadWaypoint& w = out.last();
            QString* field = xml.name() == u"ele"    ? &w.ele
                             : xml.name() == u"time" ? &w.time
                             : xml.name() == u"name" ? &w.name
                             : xml.name() == u"desc" ? &w.desc
                                                     : nullptr;
            if (field) *field = xml.readElementText();
        }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    return out;
}

// A POI table with the given data rows (cells in column order).
StringGrid tableOf(const QList<QStringList>& rows) {
    StringGrid grid(PoiColumnCount, int(rows.size()) + 1);
    for (int r = 0; r < rows.size(); ++r)
        for (int col = 0; col < rows[r].size(); ++col)
            grid.setCell(col, r + 1, rows[r][col]);
    return grid;
}

QStringList row(const QString& name, const QString& lat, const QString& lon, const QString& altRef = {},
                const QString& alt = {}, const QString& path = QStringLiteral("/p/x.jpg")) {
    return {name, QStringLiteral("N 1°  0,000'"), QStringLiteral("E 1°  0,000'"), lat, lon, path, altRef,
            alt};
}

QVector<PropertyItem> stamped(QVector<PropertyItem> items, const QByteArray& date,
                              std::initializer_list<std::pair<qint64, qint64>> time) {
    items << asciiItem(GpsDateStamp, date) << rationalItem(GpsTimeStamp, time);
    return items;
}

TEST(GpsUtcTime, FromTheDateAndTimeStamps) {
    struct Case {
        const char* what;
        std::optional<PropertyItem> date, time;
        const char* expected;
    };
    const auto date = [](const QByteArray& text) { return std::optional(asciiItem(GpsDateStamp, text)); };
    const auto time = [](std::initializer_list<std::pair<qint64, qint64>> parts) {
        return std::optional(rationalItem(GpsTimeStamp, parts));
    };
    const auto noon = time({{12, 1}, {0, 1}, {0, 1}});
    const Case cases[] = {
        {"plain", date("2023:06:14"), time({{10, 1}, {21, 1}, {3350, 100}}), "2023-06-14T10:21:33Z"},
        {"dashes", date("2023-06-14"), noon, "2023-06-14T12:00:00Z"},
        {"time after the date", date("2008:05:08 09:54:28"), time({{9, 1}, {54, 1}, {28, 1}}),
         "2008-05-08T09:54:28Z"},
        {"last second of a day", date("2020:02:29"), time({{23, 1}, {59, 1}, {59999, 1000}}),
         "2020-02-29T23:59:59Z"},
        {"no date", std::nullopt, noon, ""},
        {"no time", date("2023:06:14"), std::nullopt, ""},
        {"no such day", date("2023:02:29"), noon, ""},
        {"day 259", date("2014:09:259"), noon, ""},
        {"zeros of a camera without fix", date("0000:00:00"), noon, ""},
        {"blank date", date("    :  :  "), noon, ""},
        {"date not ASCII", rawItem(GpsDateStamp, TypeUndefined, "2023:06:14"), noon, ""},
        {"hour 24", date("2023:06:14"), time({{24, 1}, {0, 1}, {0, 1}}), ""},
        {"minute 60", date("2023:06:14"), time({{1, 1}, {60, 1}, {0, 1}}), ""},
        {"second 60", date("2023:06:14"), time({{1, 1}, {0, 1}, {60, 1}}), ""},
        {"zero denominator", date("2023:06:14"), time({{1, 1}, {0, 0}, {0, 1}}), ""},
        {"two rationals", date("2023:06:14"), time({{1, 1}, {0, 1}}), ""},
        {"signed rationals", date("2023:06:14"),
         rationalItem(GpsTimeStamp, {{1, 1}, {0, 1}, {0, 1}}, TypeSRational), ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(gpsUtcTime(c.date, c.time), QString::fromLatin1(c.expected)) << c.what;
}

TEST(BuildGpx, ElevationOnlyFromANumberAndSignedByTheReference) {
    struct Case {
        const char *ref, *alt, *expected; // expected nullptr: no ele element
    };
    const Case cases[] = {
        {"0", "58,00", "58.00"},           {"1", "12,50", "-12.50"}, {"", "7,25", "7.25"},
        {"1", "-3,00", "-3.00"},           {"0", "", nullptr},       {"1", "", nullptr},
        {"0", "1,2E10", "12000000000.00"}, {"0", "NAN", nullptr},    {"0", "INF", nullptr},
    };
    for (const Case& c : cases) {
        const StringGrid grid = tableOf({row("a.jpg", "1,00000", "2,00000", c.ref, c.alt)});
        const GpxFile file = buildGpx(grid, 1, GpxTimes());
        const auto read = readBack(file.bytes);
        ASSERT_EQ(read.size(), 1) << c.alt;
        EXPECT_EQ(read[0].ele, c.expected ? QString::fromLatin1(c.expected) : QString())
            << c.ref << " " << c.alt;
        EXPECT_EQ(file.bytes.contains("<ele>"), c.expected != nullptr) << c.alt;
    }
}

TEST(BuildGpx, OnlyRowsWithAPositionOnTheGlobeAreWaypoints) {
    const StringGrid grid = tableOf({
        row("in.jpg", "-33,86667", "151,20000"),
        row("edge.jpg", "90,00000", "-180,00000"),
        row("north.jpg", "95,00000", "2,00000"),
        row("east.jpg", "1,00000", "181,00000"),
        row("nan.jpg", "NAN", "2,00000"),
        {QStringLiteral("nolon.jpg"), QStringLiteral("N"), QString(), QStringLiteral("1,00000")},
    });
    GpxTimes times;
    times.set(1, QStringLiteral("2023-06-14T10:21:33Z"));
    const GpxFile file = buildGpx(grid, 6, times);
    EXPECT_EQ(file.waypoints, 2);
    const auto read = readBack(file.bytes);
    ASSERT_EQ(read.size(), 2);
    EXPECT_EQ(read[0].lat, "-33.86667");
    EXPECT_EQ(read[0].lon, "151.20000");
    EXPECT_EQ(read[0].time, "2023-06-14T10:21:33Z");
    EXPECT_EQ(read[1].name, "edge");
    EXPECT_EQ(read[1].time, "");
    EXPECT_FALSE(file.bytes.contains("<time></time>"));
}

TEST(BuildGpx, HostileNamesAreEscapedAndTheFileStaysValid) {
    QTemporaryDir dir;
    const QString hostile = QString::fromUtf8("a&b<c>\"d'</name><x>\x01\x1b été 東京.jpg");
    const QString path = QStringLiteral("/tmp/]]><!--&amp;/") + hostile;
    const StringGrid grid = tableOf({row(hostile, "1,00000", "2,00000", "0", "3,00", path),
                                     row("a.j", "1,00000", "2,00000"), row(".jpg", "1,00000", "2,00000")});
    const GpxFile file = buildGpx(grid, 3, GpxTimes());
    EXPECT_FALSE(file.bytes.contains("<x>"));
    const auto read = readBack(file.bytes);
    ASSERT_EQ(read.size(), 3);
    // What XML 1.0 cannot hold (ESC, U+0001) is dropped; everything else reads back as it was.
    const QString clean = QString::fromUtf8("a&b<c>\"d'</name><x> été 東京");
    EXPECT_EQ(read[0].name, clean);
    EXPECT_EQ(read[0].desc, QStringLiteral("/tmp/]]><!--&amp;/") + clean + QStringLiteral(".jpg"));
    EXPECT_EQ(read[1].name, "");
    EXPECT_EQ(read[2].name, "");
    const QString out = dir.filePath(QStringLiteral("hostile.gpx"));
    QFile f(out);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(file.bytes);
    f.close();
    EXPECT_EQ(schemaErrors(out), "");
}

// A waypoint is named by its file without the extension: the last four characters (".jpeg" keeps
// its dot), and a whole four-letter extension of the other photos read.
TEST(BuildGpx, WaypointNamesDropTheExtension) {
    const struct {
        const char* file;
        const char* name;
    } cases[] = {{"a.jpg", "a"},  {"b.JPG", "b"},   {"c.jpeg", "c."},       {"d.heic", "d"}, {"e.HEIF", "e"},
                 {"f.avif", "f"}, {"g.webp", "g"},  {"h.tiff", "h"},        {"i.png", "i"},  {"j.cr3", "j"},
                 {"k.dng", "k"},  {"l.text", "l."}, {"m.tar.heic", "m.tar"}};
    QList<QStringList> rows;
    for (const auto& c : cases)
        rows.append(row(QString::fromUtf8(c.file), "1,00000", "2,00000"));
    const auto read = readBack(buildGpx(tableOf(rows), int(rows.size()), GpxTimes()).bytes);
    ASSERT_EQ(read.size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(read[i].name, QString::fromUtf8(cases[i].name)) << cases[i].file;
}

class GpxExportTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    FakePlatform fake;
    MainController c{fake.platform()};
    MainControls& m = c.controls();
    QString south, paris, latOnly, plain;

    void SetUp() override {
        c.FormCreate();
        c.FormShow({});
        // 33°52'S 151°12'E (-33,86666 in 32-bit floats), 12,50 m below sea level; 48°51'24"N 2°21'3"E at 35
        // m.
        auto southItems = gpsItems("S", {{33, 1}, {52, 1}, {0, 1}}, "E", {{151, 1}, {12, 1}, {0, 1}});
        southItems << byteItem(GpsAltitudeRef, {1}) << rationalItem(GpsAltitude, {{1250, 100}});
        south =
            makeJpeg(dir.path(), "a.jpg", stamped(southItems, "2023:06:14", {{10, 1}, {21, 1}, {3350, 100}}));
        auto parisItems = gpsItems("N", {{48, 1}, {51, 1}, {24, 1}}, "E", {{2, 1}, {21, 1}, {3, 1}});
        parisItems << byteItem(GpsAltitudeRef, {0}) << rationalItem(GpsAltitude, {{35, 1}});
        paris = makeJpeg(dir.path(), "b.jpg", stamped(parisItems, "2019:12:31", {{23, 1}, {59, 1}, {59, 1}}));
        latOnly =
            makeJpeg(dir.path(), "c.jpg",
                     {asciiItem(GpsLatitudeRef, "N"), rationalItem(GpsLatitude, {{1, 1}, {0, 1}, {0, 1}})});
        plain = makeJpeg(dir.path(), "d.jpg", {asciiItem(0x0110, "Cam")});
        m.ListBox1 = {south, paris, latOnly, plain, dir.filePath(QStringLiteral("e.jpg"))};
    }
    QString target() const { return dir.filePath(kGpxDefaultName); }
};

// Two geotagged photos among five entries (one more has a latitude but no longitude): fifteen
// lines, each one a valid GPX 1.0 line, and a count of the waypoints really written.
TEST_F(GpxExportTest, TwoGeotaggedPhotosAmongFiveEntries) {
    m.ListBox1Index = 1;
    fake.dialogs.savePath = target();
    c.BitBtn13Click();
    EXPECT_EQ(fake.dialogs.saveOpened, 1);
    EXPECT_EQ(fake.dialogs.saveFolder, dir.path());
    EXPECT_EQ(fake.dialogs.saveName, "WP_photos.gpx");
    const QByteArray folder = dir.path().toUtf8();
    const QByteArray expected =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
        "<gpx xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
        "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
        "version=\"1.0\" creator=\"Vantorel\" xmlns=\"http://www.topografix.com/GPX/1/0\">\r\n"
        "<wpt lat=\"-33.86666\" lon=\"151.20000\">\r\n"
        "\t<ele>-12.50</ele>\r\n"
        "\t<time>2023-06-14T10:21:33Z</time>\r\n"
        "\t<name>a</name>\r\n"
        "\t<desc>" +
        folder +
        "/a.jpg</desc>\r\n"
        "</wpt>\r\n"
        "<wpt lat=\"48.85667\" lon=\"2.35083\">\r\n"
        "\t<ele>35.00</ele>\r\n"
        "\t<time>2019-12-31T23:59:59Z</time>\r\n"
        "\t<name>b</name>\r\n"
        "\t<desc>" +
        folder +
        "/b.jpg</desc>\r\n"
        "</wpt>\r\n"
        "</gpx>\r\n";
    const QByteArray written = fileBytes(target());
    EXPECT_EQ(QString::fromUtf8(written), QString::fromUtf8(expected));
    EXPECT_EQ(written.count("\r\n"), 15);
    EXPECT_EQ(schemaErrors(target()), "");
    EXPECT_EQ(readBack(written).size(), 2);
    EXPECT_EQ(c.state().PoiRowCount, 3);
    EXPECT_EQ(fake.boxes.informations,
              QStringList(QStringLiteral("Le fichier\n") + target() +
                          QString::fromUtf8("\na été correctement créé.\n\nIl contient 2 POIs")));
    EXPECT_TRUE(fake.boxes.warnings.isEmpty());
    EXPECT_TRUE(fake.boxes.questions.isEmpty());
    EXPECT_FALSE(m.Label11Visible);
    EXPECT_FALSE(QFileInfo::exists(target() + QStringLiteral(".part")));
}

TEST_F(GpxExportTest, NothingToExportStopsBeforeTheDialog) {
    m.ListBox1.clear();
    c.BitBtn13Click();
    EXPECT_EQ(fake.boxes.warnings,
              QStringList(QString::fromUtf8("Il n'y a aucun image géocodée à exporter en Gpx.")));
    m.ListBox1 = {plain, latOnly + QStringLiteral("x")};
    fake.boxes.warnings.clear();
    c.BitBtn13Click();
    EXPECT_EQ(fake.boxes.warnings,
              QStringList(QString::fromUtf8("Il n'y a aucune image géocodée à exporter en Gpx.")));
    EXPECT_EQ(fake.dialogs.saveOpened, 0);
    EXPECT_FALSE(m.Label11Visible);
    EXPECT_FALSE(QFileInfo::exists(target()));
}

TEST_F(GpxExportTest, CancelledDialogWritesNothing) {
    c.BitBtn13Click();
    EXPECT_EQ(fake.dialogs.saveOpened, 1);
    EXPECT_FALSE(QFileInfo::exists(target()));
    EXPECT_TRUE(fake.boxes.messages.isEmpty() && fake.boxes.informations.isEmpty());
    EXPECT_FALSE(m.Label11Visible);
}

TEST_F(GpxExportTest, WithoutSelectionTheDialogOpensInTheFirstEntrysFolder) {
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("other")));
    const QString elsewhere = dir.filePath(QStringLiteral("other/z.jpg"));
    QFile::copy(paris, elsewhere);
    m.ListBox1 = {elsewhere, south};
    m.ListBox1Index = -1;
    c.BitBtn13Click();
    EXPECT_EQ(fake.dialogs.saveFolder, dir.filePath(QStringLiteral("other")));
    m.ListBox1Index = 1;
    c.BitBtn13Click();
    EXPECT_EQ(fake.dialogs.saveFolder, dir.path());
    EXPECT_FALSE(m.Label11Visible);
}

TEST_F(GpxExportTest, ExistingFileIsReplacedOnlyAfterYes) {
    const QByteArray old = "old contents\n";
    QFile f(target());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(old);
    f.close();
    fake.dialogs.savePath = target();
    fake.boxes.answerYes = false;
    c.BitBtn13Click();
    EXPECT_EQ(fake.boxes.questions, QStringList(QStringLiteral("Le fichier :\n") + target() +
                                                QString::fromUtf8("\nexiste déja. \n\nL'écraser ?")));
    EXPECT_EQ(fileBytes(target()), old);
    EXPECT_TRUE(fake.boxes.informations.isEmpty());
    EXPECT_FALSE(m.Label11Visible);

    fake.boxes.answerYes = true;
    c.BitBtn13Click();
    EXPECT_EQ(readBack(fileBytes(target())).size(), 2);
    EXPECT_EQ(fake.boxes.informations.size(), 1);
}

// Writes that fail leave the existing file byte for byte, no partial file, and say so.
TEST_F(GpxExportTest, FailedWriteKeepsTheExistingFile) {
    enum Failure { MissingFolder, TempNameTaken, TargetIsAFolder, ReadOnlyFolder };
    for (Failure failure : {MissingFolder, TempNameTaken, TargetIsAFolder, ReadOnlyFolder}) {
        QTemporaryDir out;
        QString path = out.filePath(kGpxDefaultName);
        const QByteArray old = "old contents\n";
        if (failure == MissingFolder) path = out.filePath(QStringLiteral("gone/WP_photos.gpx"));
        if (failure == TargetIsAFolder) {
            ASSERT_TRUE(QDir(out.path()).mkdir(kGpxDefaultName));
        } else if (failure != MissingFolder) {
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(old);
        }
        if (failure == TempNameTaken) {
            ASSERT_TRUE(QDir(out.path()).mkdir(kGpxDefaultName + QStringLiteral(".part")));
        }
        if (failure == ReadOnlyFolder) {
            if (::geteuid() == 0) continue; // a read-only folder does not stop root
            ::chmod(QFile::encodeName(out.path()).constData(), 0555);
        }
        fake.boxes = RecordingBoxes();
        fake.boxes.answerYes = true;
        fake.dialogs.savePath = path;
        c.BitBtn13Click();
        ::chmod(QFile::encodeName(out.path()).constData(), 0755);
        EXPECT_EQ(fake.boxes.messages, QStringList(QStringLiteral("Impossible de creer le fichier GPX")))
            << failure;
        EXPECT_TRUE(fake.boxes.informations.isEmpty()) << failure;
        if (failure == TempNameTaken || failure == ReadOnlyFolder) {
            EXPECT_EQ(fileBytes(path), old) << failure;
        } else if (failure == TargetIsAFolder) {
            EXPECT_TRUE(QFileInfo(path).isDir());
        } else {
            EXPECT_FALSE(QFileInfo::exists(QFileInfo(path).path()));
        }
        const QStringList left = QDir(out.path()).entryList(QDir::Files | QDir::Hidden);
        EXPECT_EQ(left, failure == TempNameTaken || failure == ReadOnlyFolder ? QStringList(kGpxDefaultName)
                                                                              : QStringList())
            << failure;
        EXPECT_FALSE(m.Label11Visible);
    }
}

} // namespace
