// SPDX-License-Identifier: GPL-3.0-or-later
// The geotagged copy and the geotag eraser: the coordinate fields, the commands as the window runs
// them, and the copies compared with their sources segment by segment and entry by entry.
#include "controller/maincontroller.h"
#include "doubles.h"
#include "files/jpegsegments.h"
#include "fixtures.h"
#include "geotag/geotagcopy.h"
#include "metadata/gpscoordinates.h"
#include "metadata/imageproperties.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <map>
#include <sys/stat.h>

using namespace vantorel;
using namespace vantorel::test;

namespace {

RationalTriple triple(quint32 d, quint32 m) {
    return {d, 1, m, 10000, 0, 1};
}

// ---- The coordinate fields (a French locale: "," is the separator) ----

struct FieldCase {
    const char* latitude;
    const char* longitude;
    CoordinateInput status;
    const char* latRef;
    RationalTriple lat;
    const char* lonRef;
    RationalTriple lon;
};

TEST(CoordinateFields, ReadAsTypedWithRoundedMinutes) {
    const FieldCase cases[] = {
        {"48,12345", "-2,56789", CoordinateInput::Ok, "N", triple(48, 74070), "W", triple(2, 340734)},
        // Rounded, not truncated: -33,8568 is 33° 51,4080', not 51,4079'; a carry reaches the degrees.
        {"-33,8568", "151,2153", CoordinateInput::Ok, "S", triple(33, 514080), "E", triple(151, 129180)},
        {"47,9999999", "-0,00000001", CoordinateInput::Ok, "N", triple(48, 0), "W", triple(0, 0)},
        {"-0,5", "0", CoordinateInput::Ok, "S", triple(0, 300000), "E", triple(0, 0)},
        // After a minus sign only 10 characters are read: 2,56789123.
        {"1", "-2,567891234567", CoordinateInput::Ok, "N", triple(1, 0), "W", triple(2, 340735)},
        {"+48,5", " 7", CoordinateInput::Ok, "N", triple(48, 300000), "E", triple(7, 0)},
        {"90", "-180", CoordinateInput::Ok, "N", triple(90, 0), "W", triple(180, 0)},
        {"48.5", "2", CoordinateInput::Unreadable, "", {}, "", {}},
        {"48,5", "2.5", CoordinateInput::Unreadable, "", {}, "", {}},
        {"nord", "2", CoordinateInput::Unreadable, "", {}, "", {}},
        {"-", "2", CoordinateInput::Unreadable, "", {}, "", {}},
        {"90,00001", "0", CoordinateInput::OutOfRange, "", {}, "", {}},
        {"0", "-180,5", CoordinateInput::OutOfRange, "", {}, "", {}},
        {"--5", "0", CoordinateInput::OutOfRange, "", {}, "", {}},
        {"+-5", "0", CoordinateInput::Unreadable, "", {}, "", {}},
    };
    for (const FieldCase& k : cases) {
        SCOPED_TRACE(std::string(k.latitude) + " / " + k.longitude);
        const CoordinateFields f =
            readCoordinateFields(QString::fromUtf8(k.latitude), QString::fromUtf8(k.longitude));
        EXPECT_EQ(f.status, k.status);
        if (k.status != CoordinateInput::Ok) continue;
        EXPECT_EQ(f.position.latitudeRef, k.latRef);
        EXPECT_EQ(f.position.latitude, k.lat);
        EXPECT_EQ(f.position.longitudeRef, k.lonRef);
        EXPECT_EQ(f.position.longitude, k.lon);
    }
    // Huge or non-finite numbers never reach the rationals.
    for (const char* text : {"1e400", "inf", "nan", "1e10"})
        EXPECT_NE(readCoordinateFields(text, "0").status, CoordinateInput::Ok) << text;
}

TEST(CoordinateFields, ItemsInWritingOrderWithTheirTypes) {
    const GpsPosition p = readCoordinateFields("48,12345", "-2,56789").position;
    const QVector<PropertyItem> items = gpsPositionItems(p);
    ASSERT_EQ(items.size(), 4);
    EXPECT_EQ(items[0].id, quint32(GpsLatitudeRef));
    EXPECT_EQ(items[0].type, TypeAscii);
    EXPECT_EQ(items[0].value, QByteArray("N", 2));
    EXPECT_EQ(items[1].id, quint32(GpsLatitude));
    EXPECT_EQ(items[1].type, TypeRational);
    EXPECT_EQ(items[1].value, rationalItem(0, {{48, 1}, {74070, 10000}, {0, 1}}).value);
    EXPECT_EQ(items[2].value, QByteArray("W", 2));
    EXPECT_EQ(items[3].value, rationalItem(0, {{2, 1}, {340734, 10000}, {0, 1}}).value);
    EXPECT_EQ(copyPathFor("/photos/IMG_0012.JPG", kGeotaggedPrefix), "/photos/#IMG_0012.JPG");
    EXPECT_EQ(copyPathFor("/photos/IMG_0012.JPG", kErasedPrefix), "/photos/~IMG_0012.JPG");
}

// ---- Raw structure of a JPEG and of its Exif block ----

struct Segment {
    uchar marker;
    QByteArray bytes;
};

// Segments up to the first scan, then the rest of the file (scan and trailing data) as one piece.
QVector<Segment> segmentsOf(const QByteArray& jpeg) {
    QVector<Segment> out;
    JpegSegmentWalker walker;
    JpegSegment s;
    while (walker.next(jpeg, s) == SegmentStep::Segment) {
        if (s.marker == kMarkerSos) {
            out.append({s.marker, jpeg.mid(s.offset)});
            break;
        }
        out.append({s.marker, jpeg.mid(s.offset, s.size)});
    }
    return out;
}

bool isExifSegment(const Segment& s) {
    return s.marker == kMarkerApp1 && s.bytes.mid(4, 6) == QByteArray("Exif\0\0", 6);
}

// An XMP packet that states a position: the copies rewrite it.
bool isXmpWithPosition(const Segment& s) {
    return s.marker == kMarkerApp1 && s.bytes.mid(4).startsWith("http://ns.adobe.com/xap/1.0/") &&
           s.bytes.contains("GPSL");
}

struct Entry {
    quint16 type = 0;
    quint32 count = 0;
    QByteArray bytes;
};
using Directories = std::map<std::pair<QString, quint16>, Entry>;

// Every entry of IFD0, Exif, GPS, Interoperability and IFD1 with its stored value bytes.
struct TiffWalk {
    QByteArray t;
    bool big = false;
    Directories entries;
    QByteArray thumbnail;

    quint16 u16(qint64 at) const {
        const auto* p = reinterpret_cast<const uchar*>(t.constData()) + at;
        return big ? quint16((p[0] << 8) | p[1]) : quint16(p[0] | (p[1] << 8));
    }
    quint32 u32(qint64 at) const {
        const auto* p = reinterpret_cast<const uchar*>(t.constData()) + at;
        return big ? (quint32(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3]
                   : quint32(p[0]) | (p[1] << 8) | (p[2] << 16) | (quint32(p[3]) << 24);
    }
    static int unit(quint16 type) {
        static const int sizes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
        return type < 14 ? sizes[type] : 0;
    }
    qint64 ifd(const QString& name, qint64 at, int depth = 0) {
        if (depth > 4 || at < 8 || at + 2 > t.size()) return 0;
        const int n = u16(at);
        if (at + 2 + qint64(n) * 12 + 4 > t.size()) return 0;
        for (int k = 0; k < n; ++k) {
            const qint64 e = at + 2 + k * 12;
            Entry entry{u16(e + 2), u32(e + 4), {}};
            const qint64 length = qint64(entry.count) * unit(entry.type);
            const qint64 where = length <= 4 ? e + 8 : u32(e + 8);
            if (where + length <= t.size()) entry.bytes = t.mid(where, length);
            const quint16 tag = u16(e);
            entries[{name, tag}] = entry;
            if (name != "GPS" && tag == 0x8769) ifd("Exif", u32(e + 8), depth + 1);
            if (name == "IFD0" && tag == 0x8825) ifd("GPS", u32(e + 8), depth + 1);
            if (name == "Exif" && tag == 0xA005) ifd("Interop", u32(e + 8), depth + 1);
        }
        return u32(at + 2 + qint64(n) * 12);
    }
    explicit TiffWalk(const QByteArray& tiff) : t(tiff) {
        if (t.size() < 8) return;
        big = t[0] == 'M';
        const qint64 next = ifd("IFD0", u32(4));
        if (next) ifd("IFD1", next);
        const auto off = entries.find({"IFD1", 0x0201}), len = entries.find({"IFD1", 0x0202});
        if (off != entries.end() && len != entries.end())
            thumbnail = t.mid(u32Of(off->second), u32Of(len->second));
    }
    quint32 u32Of(const Entry& e) const {
        if (e.bytes.size() < 4) return 0;
        TiffWalk copy = *this;
        copy.t = e.bytes;
        return copy.u32(0);
    }
};

QByteArray tiffOf(const QVector<Segment>& segments) {
    for (const Segment& s : segments)
        if (isExifSegment(s)) return s.bytes.mid(10);
    return {};
}

// Tags whose value is an offset into the block: they move when the block is rebuilt.
bool isPointer(quint16 tag) {
    return tag == 0x8769 || tag == 0x8825 || tag == 0xA005 || tag == 0x0201;
}

// The GPS directory is edited where it lies, so every entry outside it keeps its bytes. A block
// that cannot be edited so is rebuilt by exiv2, which loses what it cannot reach: here a GPS
// pointer of count 0 that readers take as pointing at the Exif directory. A value stored beyond
// the segment's end is not part of the block and reads differently once the block grows.
struct KnownLoss {
    const char* sample; // nullptr: every sample
    const char* directory;
    quint16 tag; // 0: the whole block
};
const KnownLoss kKnownLosses[] = {
    {"exifsamples_45_gps_ifd_empty.jpg", nullptr, 0},
    {"exiv2_bug855.jpg", "Exif", 0x920A}, // FocalLength's value lies past the end of its segment
};

bool knownLoss(const QString& sample, const QString& directory, quint16 tag) {
    for (const KnownLoss& k : kKnownLosses)
        if ((!k.sample || sample == k.sample) && (!k.directory || (directory == k.directory && tag == k.tag)))
            return true;
    return false;
}

// The copy is the source with only the Exif segment changed: every other segment byte for byte and
// in its place, the scan and what follows it too, and every entry of the Exif block but the
// changed ones with its type, count and bytes (a maker note keeps its type and size).
void expectSameBesidesPosition(const QString& sample, const QByteArray& source, const QByteArray& copy,
                               const std::string& what) {
    SCOPED_TRACE(what);
    const QVector<Segment> a = segmentsOf(source), b = segmentsOf(copy);
    QVector<Segment> restA, restB;
    // An XMP packet with a position is rewritten (its properties are compared in PositionsEverywhere).
    const bool xmpRewritten = std::any_of(a.begin(), a.end(), isXmpWithPosition);
    // A multi-picture index follows the pictures' sizes and places (see test_locationcopy), a
    // thermal camera's segments carry its own GPS record (see test_locationcopy).
    const auto kept = [&](const Segment& s) {
        return !isExifSegment(s) && !(s.marker == 0xE2 && s.bytes.mid(4, 4) == QByteArray("MPF\0", 4)) &&
               !(s.marker == kMarkerApp1 && s.bytes.mid(4, 5) == QByteArray("FLIR\0", 5)) &&
               !(xmpRewritten && s.marker == kMarkerApp1 &&
                 s.bytes.mid(4).startsWith("http://ns.adobe.com/xap/1.0/"));
    };
    for (const Segment& s : a)
        if (kept(s)) restA.append(s);
    for (const Segment& s : b)
        if (kept(s)) restB.append(s);
    ASSERT_EQ(restA.size(), restB.size());
    for (int i = 0; i < restA.size(); ++i) {
        EXPECT_EQ(restA[i].marker, restB[i].marker) << "segment " << i;
        EXPECT_TRUE(restA[i].bytes == restB[i].bytes)
            << "segment " << i << " marker " << int(restA[i].marker);
    }
    const TiffWalk ta(tiffOf(a)), tb(tiffOf(b));
    EXPECT_EQ(ta.big, tb.big);
    if (!knownLoss(sample, "IFD1", 0x0201)) {
        EXPECT_EQ(ta.thumbnail, tb.thumbnail);
    }
    for (const auto& [key, entry] : ta.entries) {
        if (key.first == "GPS" &&
            ((key.second >= 1 && key.second <= 4) || (key.second >= 0x13 && key.second <= 0x16)))
            continue;
        if (isPointer(key.second) || knownLoss(sample, key.first, key.second)) continue;
        const auto found = tb.entries.find(key);
        if (found == tb.entries.end()) {
            ADD_FAILURE() << "lost " << key.first.toStdString() << " 0x" << std::hex << key.second;
            continue;
        }
        EXPECT_EQ(entry.type, found->second.type)
            << key.first.toStdString() << " 0x" << std::hex << key.second;
        if (key.second == 0x927C) continue; // maker note: inner offsets may be fixed when it moves
        EXPECT_EQ(entry.count, found->second.count)
            << key.first.toStdString() << " 0x" << std::hex << key.second;
        EXPECT_TRUE(entry.bytes == found->second.bytes)
            << key.first.toStdString() << " 0x" << std::hex << key.second;
    }
}

struct Sample {
    QString name;
    bool geotagged;
};

QVector<Sample> samples() {
    QVector<Sample> out;
    QFile tsv(samplePath("expected.tsv"));
    if (!tsv.open(QIODevice::ReadOnly)) return out;
    tsv.readLine();
    while (!tsv.atEnd()) {
        const QStringList cols = QString::fromUtf8(tsv.readLine()).split(u'\t');
        if (cols.size() > 1) out.append({cols[0], cols[1] == "1"});
    }
    return out;
}

QString exiv2Value(const QString& path, const char* key) {
    QProcess p;
    p.start("exiv2", {"-q", "-K", key, "-Pv", path});
    p.waitForFinished();
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

class SampleCopies : public ::testing::Test {
protected:
    QTemporaryDir dir;
};

TEST_F(SampleCopies, GeotaggedSamplesRoundTripAndKeepEveryOtherByte) {
    const QVector<Sample> all = samples();
    ASSERT_GT(all.size(), 90) << "samples missing";
    QProcess version;
    version.start("exiv2", {"-V"});
    const bool haveExiv2 = version.waitForFinished() && version.exitCode() == 0;
    int geotagged = 0;
    for (const Sample& sample : all) {
        SCOPED_TRACE(sample.name.toStdString());
        const QString source = dir.filePath(sample.name);
        ASSERT_TRUE(QFile::copy(samplePath(sample.name), source));
        const QByteArray sourceBytes = fileBytes(source);
        ImageProperties probe;
        if (!probe.open(source) || !findExifBlock(probe.jpegHead())) { // refused: see CopyFailures
            continue;
        }
        const bool hadGpsVer = probe.item(GpsVer).has_value(),
                   hadAltitude = probe.item(GpsAltitude).has_value();

        const GpsPosition position = readCoordinateFields("-33,75", "151,5").position;
        const QString written = copyPathFor(source, kGeotaggedPrefix);
        const CopyResult w = writeGeotagCopy(source, written, position);
        // Values whose offsets lead past the Exif block's end would read what a new GPS directory
        // appends there: those copies are refused, with the reason.
        const bool valuesPastTheEnd = sample.name == "exiv2_bug495.jpg" || sample.name == "exiv2_bug855.jpg";
        if (valuesPastTheEnd) {
            EXPECT_FALSE(w.ok);
            EXPECT_TRUE(w.error.contains("après le bloc")) << w.error.toStdString();
            EXPECT_FALSE(QFile::exists(written));
        }
        ASSERT_TRUE(w.ok || valuesPastTheEnd) << w.error.toStdString();
        if (valuesPastTheEnd) continue;
        expectSameBesidesPosition(sample.name, sourceBytes, fileBytes(written), "write");
        QString latRef, lonRef;
        const CoordinateReading r = ReadGpsCoordinates(written, latRef, lonRef);
        EXPECT_TRUE(r.geotagged);
        EXPECT_EQ(r.signedLatitude, "-33,75000");
        EXPECT_EQ(r.signedLongitude, "151,50000");
        if (haveExiv2) {
            EXPECT_EQ(exiv2Value(written, "Exif.GPSInfo.GPSLatitude"), "33/1 450000/10000 0/1");
            EXPECT_EQ(exiv2Value(written, "Exif.GPSInfo.GPSLongitudeRef"), "E");
        }

        if (!sample.geotagged) continue;
        ++geotagged;
        const QString erased = copyPathFor(source, kErasedPrefix);
        const CopyResult e = writeGeotagCopy(source, erased, std::nullopt);
        ASSERT_TRUE(e.ok) << e.error.toStdString();
        expectSameBesidesPosition(sample.name, sourceBytes, fileBytes(erased), "erase");
        EXPECT_FALSE(ReadGpsCoordinates(erased, latRef, lonRef).geotagged);
        ImageProperties reopened;
        ASSERT_TRUE(reopened.open(erased));
        EXPECT_EQ(reopened.item(GpsVer).has_value(), hadGpsVer);
        EXPECT_EQ(reopened.item(GpsAltitude).has_value(), hadAltitude);
        // No byte of the old position is left in the block.
        const QByteArray tiff = tiffOf(segmentsOf(fileBytes(erased)));
        const TiffWalk old(tiffOf(segmentsOf(sourceBytes)));
        for (quint16 tag : {2, 4}) {
            const QByteArray bytes = old.entries.at({"GPS", tag}).bytes;
            if (bytes.count('\0') != bytes.size()) {
                EXPECT_FALSE(tiff.contains(bytes)) << "GPS " << tag;
            }
        }
        if (haveExiv2) {
            EXPECT_EQ(exiv2Value(erased, "Exif.GPSInfo.GPSLatitude"), "");
        }
        EXPECT_EQ(fileBytes(source), sourceBytes);
    }
    // One geotagged sample has no picture at all (exiv2_issue_1912_poc.jpg ends after its metadata).
    EXPECT_EQ(geotagged, 43);
}

TEST_F(SampleCopies, BigEndianUnicodeCommentKeepsItsStoredBytes) {
    // A big-endian (MM) camera file given a Unicode user comment by exiv2's own tool.
    const QString mm = dir.filePath("big.jpg");
    ASSERT_TRUE(QFile::copy(samplePath("exifsamples_Fujifilm_40i.jpg"), mm));
    QFile(mm).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    if (QStandardPaths::findExecutable("exiv2").isEmpty()) GTEST_SKIP() << "exiv2 missing";
    ASSERT_EQ(QProcess::execute("exiv2", {"-q", "-M", "set Exif.Photo.UserComment charset=Unicode Été", mm}),
              0);
    const QByteArray stored = TiffWalk(tiffOf(segmentsOf(fileBytes(mm)))).entries.at({"Exif", 0x9286}).bytes;
    ASSERT_TRUE(stored.startsWith(QByteArray("UNICODE\0", 8)));
    ASSERT_EQ(stored.mid(8, 2), QByteArray("\0\xC9", 2)); // "É" as UCS-2BE

    ImageProperties photo;
    ASSERT_TRUE(photo.open(mm));
    EXPECT_EQ(photo.item(0x9286)->value, stored);
    const QString copy = copyPathFor(mm, kGeotaggedPrefix);
    ASSERT_TRUE(writeGeotagCopy(mm, copy, readCoordinateFields("1", "2").position).ok);
    EXPECT_EQ(TiffWalk(tiffOf(segmentsOf(fileBytes(copy)))).entries.at({"Exif", 0x9286}).bytes, stored);
}

// ---- Failures: the old copy stays byte for byte, nothing half-written appears ----

class CopyFailures : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString source;
    QString target;
    GpsPosition position = readCoordinateFields("48,12345", "-2,56789").position;

    void SetUp() override {
        source = makeJpeg(dir.path(), "IMG.jpg", {asciiItem(0x010F, "Maker")}, QSize(64, 48));
        target = copyPathFor(source, kGeotaggedPrefix);
    }
    QStringList leftovers() const { return QDir(dir.path()).entryList({"*.part"}, QDir::Files); }
};

TEST_F(CopyFailures, AFailedSaveLeavesTheOldCopy) {
    ASSERT_TRUE(writeGeotagCopy(source, target, readCoordinateFields("1", "1").position).ok);
    const QByteArray old = fileBytes(target);
    for (int failAt : {0}) {
        int writes = 0;
        AtomicWriteOptions hook;
        hook.beforeWrite = [&](qint64, qint64) { return writes++ < failAt; }; // disk full at that write
        const CopyResult r = writeGeotagCopy(source, target, position, hook);
        EXPECT_FALSE(r.ok) << failAt;
        EXPECT_FALSE(r.error.isEmpty());
        EXPECT_EQ(fileBytes(target), old) << failAt;
    }
    // A copy that does not read back as written is never put in place.
    AtomicWriteOptions reject;
    reject.verify = [](const QString&, QString& why) {
        why = "refusé";
        return false;
    };
    EXPECT_FALSE(writeGeotagCopy(source, target, position, reject).ok);
    EXPECT_EQ(fileBytes(target), old);
    // A folder that does not exist.
    EXPECT_FALSE(writeGeotagCopy(source, dir.filePath("absent/#IMG.jpg"), position).ok);
    EXPECT_TRUE(leftovers().isEmpty()) << leftovers().join(' ').toStdString();
}

TEST_F(CopyFailures, ACopyThatAppearsMeanwhileIsNotReplacedUnlessAsked) {
    AtomicWriteOptions keep;
    keep.replace = false;
    // Another program creates the copy while this one is being checked.
    keep.verify = [this](const QString&, QString&) {
        QFile other(target);
        return other.open(QIODevice::WriteOnly) && other.write("theirs") == 6;
    };
    const CopyResult r = writeGeotagCopy(source, target, position, keep);
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.error.contains("existe déjà")) << r.error.toStdString();
    EXPECT_TRUE(r.exists); // the command line says "exists" (3), not a failure (1)
    EXPECT_EQ(fileBytes(target), "theirs");
    EXPECT_TRUE(leftovers().isEmpty());
    keep.verify = {};
    keep.replace = true;
    EXPECT_TRUE(writeGeotagCopy(source, target, position, keep).ok);
    EXPECT_NE(fileBytes(target), "theirs");
}

TEST_F(CopyFailures, SourcesThatCannotBeWrittenAreRefused) {
    QFile text(dir.filePath("notes.jpg"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("plain text");
    text.close();
    // A RAW file of a structure of its own: read, never edited.
    QFile raw(dir.filePath("camera.raf"));
    ASSERT_TRUE(raw.open(QIODevice::WriteOnly));
    raw.write(QByteArray("FUJIFILMCCD-RAW 0201FF383501") + QByteArray(200, '\0'));
    raw.close();
    for (const QString& path :
         {dir.filePath("notes.jpg"), dir.filePath("camera.raf"), dir.filePath("absent.jpg"), dir.path()}) {
        SCOPED_TRACE(path.toStdString());
        EXPECT_FALSE(writeGeotagCopy(path, copyPathFor(path, kGeotaggedPrefix), position).ok);
        EXPECT_FALSE(writeGeotagCopy(path, copyPathFor(path, kErasedPrefix), std::nullopt).ok);
        EXPECT_FALSE(QFileInfo::exists(copyPathFor(path, kGeotaggedPrefix)));
    }
    EXPECT_TRUE(writeGeotagCopy(dir.filePath("camera.raf"),
                                copyPathFor(dir.filePath("camera.raf"), kGeotaggedPrefix), position)
                    .error.contains(QStringLiteral("RAW")));
    // A PNG, whatever its name, gets a PNG copy.
    const QString png = dir.filePath("pic.jpg");
    QImage(8, 8, QImage::Format_RGB32).save(png, "PNG");
    ASSERT_TRUE(writeGeotagCopy(png, copyPathFor(png, kGeotaggedPrefix), position).ok);
    EXPECT_TRUE(fileBytes(copyPathFor(png, kGeotaggedPrefix)).startsWith("\x89PNG"));
}

TEST_F(CopyFailures, TheCopyKeepsPermissionsAndModificationTime) {
    const QByteArray name = QFile::encodeName(source);
    ASSERT_EQ(::chmod(name.constData(), 0640), 0);
    const timespec times[2] = {{1000000000, 0}, {1234567890, 123456789}};
    ASSERT_EQ(::utimensat(AT_FDCWD, name.constData(), times, 0), 0);
    ASSERT_TRUE(writeGeotagCopy(source, target, position).ok);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(target).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(st.st_mtim.tv_sec, 1234567890);
    EXPECT_EQ(st.st_mtim.tv_nsec, 123456789);
}

// ---- The commands as the window runs them ----

class CopyCommands : public ::testing::Test {
protected:
    QTemporaryDir dir;
    FakePlatform fake;
    MainController c{fake.platform()};
    MainControls& m = c.controls();
    QString photo;

    void SetUp() override {
        c.FormCreate();
        c.FormShow({});
        photo = makeJpeg(dir.path(), "IMG.jpg",
                         gpsItems("N", {{45, 1}, {12, 1}, {3050, 100}}, "E", {{2, 1}, {20, 1}, {14, 1}}));
        c.HandleDroppedFiles({photo});
    }
    QString read(const QString& path) {
        QString lat, lon;
        const CoordinateReading r = ReadGpsCoordinates(path, lat, lon);
        return r.geotagged ? r.signedLatitude + " " + r.signedLongitude : QString("-");
    }
};

TEST_F(CopyCommands, WriteAsksBeforeReplacingAndAddsTheCopyOnce) {
    const QString copy = dir.filePath("#IMG.jpg");
    const QByteArray sourceBytes = fileBytes(photo);
    m.Edit7 = "48,12345";
    m.Edit8 = "-2,56789";
    c.BitBtn5Click();
    EXPECT_EQ(fake.boxes.confirmations,
              QStringList{"Les coordonnées ont été écrites avec succès dans le nouveau fichier\n" + copy +
                          "\n\nLe fichier source d'origine n'a pas été modifié"});
    EXPECT_EQ(read(copy), "48,12345 -2,56789");
    EXPECT_EQ(m.ListBox1, QStringList({copy, photo}));
    EXPECT_EQ(fileBytes(photo), sourceBytes);

    // Cancel: a beep, the first copy untouched.
    const QByteArray first = fileBytes(copy);
    m.ListBox1Index = 1;
    m.caption = photo;
    m.Edit7 = "10";
    fake.boxes.answerYes = false;
    c.BitBtn5Click();
    EXPECT_EQ(fake.boxes.questions,
              QStringList{"Le fichier :\n" + copy + "\nexiste déja.\n\nVoulez-vous l'écraser ?"});
    EXPECT_EQ(fake.boxes.beeps, 1);
    EXPECT_EQ(fileBytes(copy), first);

    // Yes: replaced; the copy listed before the selected photo is not added again.
    fake.boxes.answerYes = true;
    c.BitBtn5Click();
    EXPECT_TRUE(
        fake.boxes.confirmations.last().startsWith("L'ancien fichier a été remplacé\nLes coordonnées "
                                                   "ont été écrites avec succès dans ce nouveau fichier\n" +
                                                   copy));
    EXPECT_EQ(read(copy), "10,00000 -2,56789");
    EXPECT_EQ(m.ListBox1, QStringList({copy, photo}));
    EXPECT_TRUE(fake.boxes.errors.isEmpty());
    EXPECT_EQ(fileBytes(photo), sourceBytes);
}

TEST_F(CopyCommands, RefusedFieldsWriteNothing) {
    struct Case {
        const char* lat;
        const char* lon;
        int beeps;
    };
    for (const Case& k : {Case{"", "2", 0}, Case{"45", "", 0}, Case{"48.5", "2", 1}, Case{"91", "2", 1},
                          Case{"45", "-181", 1}, Case{"abc", "2", 1}}) {
        SCOPED_TRACE(k.lat + std::string(" / ") + k.lon);
        fake.boxes.beeps = 0;
        m.Edit7 = k.lat;
        m.Edit8 = k.lon;
        c.BitBtn5Click();
        EXPECT_EQ(fake.boxes.beeps, k.beeps);
        EXPECT_FALSE(QFileInfo::exists(dir.filePath("#IMG.jpg")));
        EXPECT_TRUE(fake.boxes.confirmations.isEmpty() && fake.boxes.errors.isEmpty());
    }
}

TEST_F(CopyCommands, EraseWritesTheTildeCopyWithoutPosition) {
    ASSERT_FALSE(m.Edit7.isEmpty());
    c.BitBtn23Click();
    const QString copy = dir.filePath("~IMG.jpg");
    EXPECT_EQ(fake.boxes.errors, QStringList());
    EXPECT_EQ(read(copy), "-");
    EXPECT_EQ(fake.boxes.confirmations.size(), 1);
    // "~" sorts after the photo: the entries before the selected one do not hold it, so a second
    // erase lists it again, as the command always did.
    EXPECT_EQ(m.ListBox1, QStringList({photo, copy}));
    fake.boxes.answerYes = true;
    c.BitBtn23Click();
    EXPECT_EQ(fake.boxes.questions.size(), 1);
    EXPECT_EQ(m.ListBox1, QStringList({photo, copy, copy}));
}

TEST_F(CopyCommands, TheSecondEraserModeSaysWhatItRemoved) {
    m.eraseAllLocation = true;
    c.BitBtn23Click();
    const QString copy = dir.filePath("~IMG.jpg");
    EXPECT_EQ(read(copy), "-");
    ImageProperties erased;
    ASSERT_TRUE(erased.open(copy));
    for (const PropertyItem& item : erased.allItems())
        EXPECT_FALSE(isGpsId(item.id)) << item.id;
    EXPECT_EQ(fake.boxes.confirmations,
              QStringList{copyWrittenMessage(copy, false) + "\n\nRetirés : 4 éléments GPS Exif"});
}

TEST_F(CopyCommands, FailuresShowTheErrorAndKeepTheOldCopy) {
    const QString copy = dir.filePath("#notes.jpg");
    QFile old(copy);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("earlier copy");
    old.close();
    QFile text(dir.filePath("notes.jpg"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("not a picture");
    text.close();
    m.Edit7 = "1";
    m.Edit8 = "2";
    fake.boxes.answerYes = true;
    for (const QString& caption : {dir.filePath("notes.jpg"), kMainCaption}) {
        m.caption = caption;
        c.BitBtn5Click();
    }
    ASSERT_EQ(fake.boxes.errors.size(), 2);
    for (const QString& error : fake.boxes.errors)
        EXPECT_TRUE(error.startsWith(kCoordinatesNotWritten + "\n")) << error.toStdString();
    EXPECT_EQ(fileBytes(copy), QByteArray("earlier copy"));
    EXPECT_EQ(m.ListBox1, QStringList{photo});
}

} // namespace
