// SPDX-License-Identifier: GPL-3.0-or-later
// Photos that are no JPEG, read as a JPEG made the same way is: TIFF in both byte orders, PNG, WebP,
// HEIC and AVIF, each made here by the tools that write them (ImageMagick, libheif's heif-enc) and
// given a position and camera items by exiftool. Each is read as a JPEG made from the same picture
// with the same items: position, listing, POI row (no size in it), the command line's coords; its
// size in pixels ends its listing. A kind of photo no reader can read is said so.
#include "controller/sharedstate.h"
#include "files/jpegsegments.h"
#include "files/photoextensions.h"
#include "fixtures.h"
#include "metadata/exiflisting.h"
#include "metadata/gpscoordinates.h"
#include "metadata/imageproperties.h"
#include "metadata/poitable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace vantorel;
using namespace vantorel::test;

namespace {

struct Format {
    const char* name;
    const char* file;
    ContainerKind kind;
    const char* tool; // the program that makes it from the PNG base.png
    QStringList (*arguments)(const QString& base, const QString& out);
};

void PrintTo(const Format& f, std::ostream* os) {
    *os << f.name;
}

const Format kFormats[] = {
    {"Jpeg", "photo.jpg", ContainerKind::Jpeg, "convert",
     [](const QString& base, const QString& out) {
         return QStringList{base, out};
     }},
    {"TiffBigEndian", "photo-mm.tif", ContainerKind::Tiff, "convert",
     [](const QString& base, const QString& out) {
         return QStringList{base, "-endian", "MSB", "-define", "tiff:endian=msb", out};
     }},
    {"TiffLittleEndian", "photo-ii.tif", ContainerKind::Tiff, "convert",
     [](const QString& base, const QString& out) {
         return QStringList{base, "-endian", "LSB", "-define", "tiff:endian=lsb", out};
     }},
    {"Png", "photo.png", ContainerKind::Png, "convert",
     [](const QString& base, const QString& out) {
         return QStringList{base, "PNG24:" + out};
     }},
    {"WebP", "photo.webp", ContainerKind::WebP, "convert",
     [](const QString& base, const QString& out) {
         return QStringList{base, out};
     }},
    {"Heic", "photo.heic", ContainerKind::IsoBmff, "heif-enc",
     [](const QString& base, const QString& out) {
         return QStringList{"-q", "50", base, "-o", out};
     }},
    {"Avif", "photo.avif", ContainerKind::IsoBmff, "heif-enc",
     [](const QString& base, const QString& out) { return QStringList{"-A", "-q", "50", base, "-o", out}; }},
};

bool run(const QString& program, const QStringList& arguments, QByteArray* out = nullptr,
         int* exitCode = nullptr) {
    QProcess p;
    p.start(program, arguments);
    if (!p.waitForFinished(120000)) return false;
    if (out) *out = p.readAllStandardOutput();
    if (exitCode) *exitCode = p.exitCode();
    return p.exitStatus() == QProcess::NormalExit && (exitCode || p.exitCode() == 0);
}

bool have(const char* tool) {
    return !QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty();
}

// The photos, made once for every case: nothing when a tool is missing or fails.
class Fixtures {
public:
    static Fixtures& get() {
        static Fixtures fixtures;
        return fixtures;
    }
    QString path(const Format& f) const { return m_paths.value(QString::fromLatin1(f.name)); }
    QString folder() const { return m_dir.path(); }

private:
    Fixtures() {
        if (!have("convert") || !have("exiftool")) return;
        const QString base = m_dir.filePath("base.png");
        // A picture of colours (heif-enc takes only an RGB PNG), 64 x 48: a size no default gives.
        if (!run("convert", {"-size", "64x48", "gradient:red-blue", "PNG24:" + base})) return;
        for (const Format& f : kFormats) {
            const QString out = m_dir.filePath(QString::fromLatin1(f.file));
            if (!have(f.tool) || !run(QString::fromLatin1(f.tool), f.arguments(base, out))) continue;
            if (!run("exiftool",
                     {"-q", "-q", "-overwrite_original", "-GPSLatitude=48.8584", "-GPSLatitudeRef=N",
                      "-GPSLongitude=2.2945", "-GPSLongitudeRef=W", "-GPSAltitude=35.5", "-GPSAltitudeRef=0",
                      "-Make=Testeur", "-Model=Boitier 1", "-DateTimeOriginal=2024:05:06 07:08:09", out}))
                continue;
            m_paths.insert(QString::fromLatin1(f.name), out);
        }
    }
    QTemporaryDir m_dir;
    QMap<QString, QString> m_paths;
};

QString cliPath() {
    return QStringLiteral(VANTOREL_CLI_PATH);
}

class Formats : public ::testing::TestWithParam<Format> {
protected:
    void SetUp() override {
        photo = Fixtures::get().path(GetParam());
        jpeg = Fixtures::get().path(kFormats[0]);
        if (photo.isEmpty() || jpeg.isEmpty())
            GTEST_SKIP() << "cannot make " << GetParam().file << " (convert, heif-enc or exiftool missing)";
    }
    QString photo, jpeg;
};

// The position, by the quick reader and by the full reader, as the JPEG made the same way gives it.
TEST_P(Formats, PositionIsTheJpegs) {
    ImageProperties quick, full;
    ASSERT_TRUE(quick.open(photo, ImageProperties::Scope::Gps));
    ASSERT_TRUE(full.open(photo));
    EXPECT_EQ(quick.kind(), GetParam().kind);
    EXPECT_EQ(full.kind(), GetParam().kind);
    for (quint32 id :
         {GpsLatitudeRef, GpsLatitude, GpsLongitudeRef, GpsLongitude, GpsAltitudeRef, GpsAltitude}) {
        const auto a = quick.item(id), b = full.item(id);
        ASSERT_TRUE(a.has_value()) << id;
        ASSERT_TRUE(b.has_value()) << id;
        EXPECT_EQ(a->type, b->type) << id;
        EXPECT_EQ(a->value, b->value) << id;
    }

    QString latRef, lonRef, jpegLatRef, jpegLonRef;
    const CoordinateReading r = ReadGpsCoordinates(photo, latRef, lonRef);
    const CoordinateReading j = ReadGpsCoordinates(jpeg, jpegLatRef, jpegLonRef);
    ASSERT_TRUE(j.geotagged);
    EXPECT_EQ(r.readError, FileOpenError::None);
    EXPECT_TRUE(r.geotagged);
    EXPECT_EQ(r.signedLatitude, j.signedLatitude);
    EXPECT_EQ(r.signedLongitude, j.signedLongitude);
    EXPECT_TRUE(r.signedLongitude.startsWith(u'-'));
    EXPECT_EQ(r.cells[CoordLatitudeText], j.cells[CoordLatitudeText]);
    EXPECT_EQ(r.cells[CoordLongitudeText], j.cells[CoordLongitudeText]);
    EXPECT_EQ(r.missing, MissingReferences::None);
}

// The camera items are listed as the JPEG's are; a photo that is no JPEG ends with its size.
TEST_P(Formats, ListingHighlightsAndSize) {
    const ExifListing listing = listExifItems(photo);
    ASSERT_TRUE(listing.opened);
    EXPECT_EQ(listing.cameraModel, "Boitier 1");
    auto valueOf = [&](const QString& name) {
        for (const ExifRow& row : listing.rows)
            if (row.name == name) return row.value;
        return QString();
    };
    EXPECT_TRUE(valueOf("EquipMake").contains("Testeur"));
    EXPECT_TRUE(valueOf("ExifDTOrig").contains("2024:05:06 07:08:09"));
    EXPECT_FALSE(valueOf("GpsLatitude").isEmpty());
    const QString size = valueOf(QString::fromUtf8(kPixelSizeRowName));
    if (GetParam().kind == ContainerKind::Jpeg) {
        EXPECT_TRUE(size.isEmpty()) << size.toStdString();
    } else {
        EXPECT_EQ(size, " 64 x 48");
        ASSERT_FALSE(listing.rows.isEmpty());
        EXPECT_EQ(listing.rows.last().name, QString::fromUtf8(kPixelSizeRowName));
        ImageProperties opened;
        ASSERT_TRUE(opened.open(photo, ImageProperties::Scope::Gps));
        EXPECT_EQ(opened.pixelSize(), QSize(64, 48));
    }
}

// The POI row is the JPEG's; its size cells are a JPEG's alone and stay as they were otherwise.
TEST_P(Formats, PoiRowIsTheJpegsWithoutItsSize) {
    SharedState state, jpegState;
    // The rows of an earlier run, kept as the window keeps them.
    StringGrid table(PoiColumnCount, 2), jpegTable(PoiColumnCount, 2);
    for (StringGrid* grid : {&table, &jpegTable}) {
        grid->setCell(PoiWidth, 1, "was");
        grid->setCell(PoiHeight, 1, "here");
    }
    EXPECT_EQ(AddPoiRow(photo, {state.LatitudeRef, state.LongitudeRef, state.PoiRowCount}, table),
              FileOpenError::None);
    EXPECT_EQ(
        AddPoiRow(jpeg, {jpegState.LatitudeRef, jpegState.LongitudeRef, jpegState.PoiRowCount}, jpegTable),
        FileOpenError::None);
    ASSERT_EQ(state.PoiRowCount, 1);
    ASSERT_EQ(jpegState.PoiRowCount, 1);
    for (int col : {PoiLatitudeText, PoiLongitudeText, PoiSignedLatitude, PoiSignedLongitude, PoiAltitudeRef,
                    PoiAltitude})
        EXPECT_EQ(table.cell(col, 1), jpegTable.cell(col, 1)) << col;
    EXPECT_EQ(table.cell(PoiName, 1), QFileInfo(photo).fileName());
    EXPECT_EQ(table.cell(PoiPath, 1), photo);
    EXPECT_EQ(jpegTable.cell(PoiWidth, 1), "64");
    EXPECT_EQ(jpegTable.cell(PoiHeight, 1), "48");
    if (GetParam().kind != ContainerKind::Jpeg) {
        EXPECT_EQ(table.cell(PoiWidth, 1), "was");
        EXPECT_EQ(table.cell(PoiHeight, 1), "here");
    }
}

// The command line's coords and exif on the photo.
TEST_P(Formats, CommandLine) {
    QByteArray out, jpegOut;
    int code = -1;
    ASSERT_TRUE(run(cliPath(), {"coords", photo}, &out, &code));
    EXPECT_EQ(code, 0);
    ASSERT_TRUE(run(cliPath(), {"coords", jpeg}, &jpegOut));
    const QList<QByteArray> fields = out.trimmed().split('\t'), jpegFields = jpegOut.trimmed().split('\t');
    ASSERT_EQ(fields.size(), 6) << out.constData();
    EXPECT_EQ(fields[0], QFile::encodeName(photo));
    EXPECT_EQ(fields[1], "1");
    EXPECT_EQ(fields.mid(1), jpegFields.mid(1));

    ASSERT_TRUE(run(cliPath(), {"exif", photo}, &out));
    EXPECT_EQ(out.contains(QByteArray(kPixelSizeRowName) + "\t\t 64 x 48\n"),
              GetParam().kind != ContainerKind::Jpeg);
}

INSTANTIATE_TEST_SUITE_P(, Formats, ::testing::ValuesIn(kFormats),
                         [](const ::testing::TestParamInfo<Format>& info) {
                             return std::string(info.param.name);
                         });

// Every photo of a list read in one run, the photos ahead read on other threads: one row each.
TEST(FormatsTogether, OneRowPerPhotoWhateverItsKind) {
    QStringList paths;
    for (const Format& f : kFormats)
        if (const QString path = Fixtures::get().path(f); !path.isEmpty()) paths << path;
    if (paths.size() < 2) GTEST_SKIP() << "convert or exiftool missing";
    SharedState state;
    StringGrid table(PoiColumnCount, 2);
    const auto unreadable = rebuildPoiTable(
        {state.LatitudeRef, state.LongitudeRef, state.PoiRowCount}, table, paths, [](const QString&) {},
        [] {});
    EXPECT_TRUE(unreadable.isEmpty());
    ASSERT_EQ(state.PoiRowCount, paths.size());
    for (int row = 1; row <= paths.size(); ++row) {
        EXPECT_EQ(table.cell(PoiPath, row), paths[row - 1]);
        EXPECT_EQ(table.cell(PoiSignedLatitude, row), table.cell(PoiSignedLatitude, 1));
    }
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// A file that says it is a kind of photo that no reader can read is said so, never "no position";
// a file that is no photo at all is read as before: no position, no error.
TEST(UnsupportedFormats, AreSaidSo) {
    QTemporaryDir dir;
    const QByteArray ftyp("\0\0\0\x18"
                          "ftypheic\0\0\0\0mif1heic",
                          24);
    const struct {
        const char* name;
        QByteArray bytes;
    } cases[] = {
        {"box.heic", ftyp + QByteArray("\0\0\0\x10meta broken", 15)},
        {"lost.tif", QByteArray("II*\0\xF0\xFF\xFF\x0F", 8) + QByteArray(32, 'x')},
        {"cut.webp", QByteArray("RIFF\xF0\0\0\0WEBPVP8X\x0A\0\0\0", 20)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.filePath(c.name);
        writeFile(path, c.bytes);
        ImageProperties photo;
        EXPECT_FALSE(photo.open(path, ImageProperties::Scope::Gps));
        EXPECT_EQ(photo.openError(), FileOpenError::UnsupportedFormat);
        QString latRef, lonRef;
        const CoordinateReading r = ReadGpsCoordinates(path, latRef, lonRef);
        EXPECT_EQ(r.readError, FileOpenError::UnsupportedFormat);
        EXPECT_EQ(fileOpenErrorText(r.readError), "format non pris en charge");
        const ExifListing listing = listExifItems(path);
        EXPECT_FALSE(listing.opened);
        EXPECT_EQ(listing.failureMessage(), "Format non pris en charge");

        SharedState state;
        StringGrid table(PoiColumnCount, 2);
        const auto unreadable = rebuildPoiTable(
            {state.LatitudeRef, state.LongitudeRef, state.PoiRowCount}, table, {path, path},
            [](const QString&) {}, [] {});
        ASSERT_EQ(unreadable.size(), 2);
        EXPECT_EQ(unreadable[0].error, FileOpenError::UnsupportedFormat);

        QProcess p;
        p.start(cliPath(), {"coords", path});
        ASSERT_TRUE(p.waitForFinished(60000));
        EXPECT_EQ(p.exitCode(), 1);
        EXPECT_TRUE(p.readAllStandardOutput().isEmpty());
        EXPECT_TRUE(QString::fromUtf8(p.readAllStandardError()).contains("format non pris en charge"));
    }

    const QString text = dir.filePath("notes.heic");
    writeFile(text, "plain text, not a picture");
    QString latRef, lonRef;
    const CoordinateReading r = ReadGpsCoordinates(text, latRef, lonRef);
    EXPECT_EQ(r.readError, FileOpenError::None);
    EXPECT_FALSE(r.geotagged);
    EXPECT_EQ(listExifItems(text).failureMessage(), "Erreur ret1");
}

// Real files of each kind that no one here made: read, not geotagged, their size from their header.
TEST(RealFormats, ReadWithTheirSize) {
    QFile tsv(samplePath("expected-formats.tsv"));
    ASSERT_TRUE(tsv.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = tsv.readAll().split('\n');
    int rows = 0;
    for (const QByteArray& line : lines.mid(1)) {
        const QList<QByteArray> f = line.split('\t');
        if (f.size() < 5) continue;
        ++rows;
        const QString path = samplePath(QString::fromUtf8(f[0]));
        SCOPED_TRACE(f[0].toStdString());
        ImageProperties quick, full;
        ASSERT_TRUE(quick.open(path, ImageProperties::Scope::Gps));
        ASSERT_TRUE(full.open(path));
        EXPECT_EQ(containerName(quick.kind()).toLower(), QString::fromUtf8(f[1]));
        EXPECT_EQ(quick.item(GpsLatitude).has_value(), f[2] == "1");
        EXPECT_EQ(full.item(GpsLatitude).has_value(), f[2] == "1");
        EXPECT_EQ(full.pixelSize(), QSize(f[3].toInt(), f[4].toInt()));
        QString latRef, lonRef;
        const CoordinateReading r = ReadGpsCoordinates(path, latRef, lonRef);
        EXPECT_EQ(r.readError, FileOpenError::None);
        EXPECT_EQ(r.geotagged, f[2] == "1");
        const ExifListing listing = listExifItems(path);
        EXPECT_TRUE(listing.opened);
        ASSERT_FALSE(listing.rows.isEmpty());
        EXPECT_EQ(listing.rows.last().value,
                  QStringLiteral(" %1 x %2").arg(QString::fromUtf8(f[3]), QString::fromUtf8(f[4])));
    }
    EXPECT_GE(rows, 5);
}

// Damaged, cut and hostile HEIF files (libheif's fuzzing seeds): every reader ends, none crashes,
// none finds a position, and each is read or said to be of a format not read.
TEST(RealFormats, HostileHeifFilesEndCleanly) {
    const QDir folder(samplePath("heif-fuzz"));
    const QStringList names = folder.entryList({"*.heic"}, QDir::Files, QDir::Name);
    ASSERT_GE(names.size(), 30);
    QStringList paths;
    for (const QString& name : names) {
        const QString path = folder.filePath(name);
        paths << path;
        SCOPED_TRACE(name.toStdString());
        ImageProperties quick, full;
        quick.open(path, ImageProperties::Scope::Gps);
        full.open(path);
        EXPECT_TRUE(quick.openError() == FileOpenError::None ||
                    quick.openError() == FileOpenError::UnsupportedFormat);
        full.allItems();
        full.pixelSize();
        QString latRef, lonRef;
        EXPECT_FALSE(ReadGpsCoordinates(path, latRef, lonRef).geotagged);
        listExifItems(path);
    }
    QProcess p;
    p.start(cliPath(), QStringList{"poi"} + paths);
    ASSERT_TRUE(p.waitForFinished(120000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
}

// A JPEG's layout is what its head readers find: the Exif block, the frame's size; XMP packets after
// their namespace. A file cut before its picture or that is no JPEG has none.
TEST(JpegContainer, LayoutIsTheHeadReadersOne) {
    int withExif = 0;
    for (const QString& name : QDir(samplePath("")).entryList({"*.jpg"}, QDir::Files, QDir::Name)) {
        SCOPED_TRACE(name.toStdString());
        const QByteArray bytes = fileBytes(samplePath(name));
        const ContainerLayout layout = jpegContainer().layout(MemorySource(bytes));
        const auto block = findExifBlock(bytes);
        if (!layout.error.isEmpty()) {
            // Only a file whose segments cannot be walked to the picture.
            EXPECT_FALSE(jpegFrameSize(bytes).has_value());
            continue;
        }
        ASSERT_TRUE(block.has_value());
        if (block->tiffOffset >= 0) {
            ++withExif;
            ASSERT_EQ(layout.exif.size(), 1);
            EXPECT_EQ(layout.exif[0].offset, block->tiffOffset);
            EXPECT_EQ(layout.exif[0].size, block->tiffSize);
        } else {
            EXPECT_TRUE(layout.exif.isEmpty());
        }
        EXPECT_EQ(layout.pixelSize, jpegFrameSize(bytes));
        for (const ByteRange& xmp : layout.xmp)
            EXPECT_TRUE(bytes.mid(xmp.offset, xmp.size).contains("x:xmpmeta") ||
                        bytes.mid(xmp.offset, xmp.size).contains("<?xpacket"));
    }
    EXPECT_GT(withExif, 50);
    const QByteArray jpeg = fileBytes(samplePath("exifsamples_Canon_40D.jpg"));
    EXPECT_FALSE(jpegContainer().layout(MemorySource(jpeg.left(2000))).error.isEmpty());
    EXPECT_FALSE(jpegContainer().layout(MemorySource(QByteArray("GIF89a"))).error.isEmpty());
}

// The open dialog's second filter takes every photo read, in both cases.
TEST(PhotoExtensions, FilterTakesEveryKindInBothCases) {
    const QString filter = allPhotosFilter();
    EXPECT_TRUE(filter.startsWith("Toutes les photos (*.jpg *.JPG *.jpeg *.JPEG "));
    EXPECT_TRUE(filter.endsWith(")"));
    for (const char* ext :
         {"jpg", "jpeg", "heic", "heif", "hif", "avif", "cr2", "cr3", "nef",  "nrw", "arw",
          "srf", "sr2",  "orf",  "rw2",  "pef", "dng",  "raf", "tif", "tiff", "png", "webp"}) {
        const QString e = QString::fromLatin1(ext);
        EXPECT_TRUE(filter.contains(" *." + e + " ") || filter.contains("(*." + e + " ")) << ext;
        EXPECT_TRUE(filter.contains(" *." + e.toUpper() + " ") || filter.contains(" *." + e.toUpper() + ")"))
            << ext;
    }
}

} // namespace
