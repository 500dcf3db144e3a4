// SPDX-License-Identifier: GPL-3.0-or-later
// The pictures of the formats beyond JPEG, for the preview and the viewer: HEIC and AVIF, camera RAW
// files through the JPEG pictures they embed, TIFF, PNG and WebP, made here with ImageMagick and
// libheif's encoder (a row is skipped when its tool is missing); and hostile files of each format,
// which are refused or shown within a second and without hundreds of megabytes.
#include "childcost.h"
#include "display/picturedecoder.h"
#include "files/jpeghead.h"
#include "fixtures.h"
#include "metadata/metadataengine.h"
#include "metadata/photocontainer.h"
#include "tiffbuilder.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <vector>

using namespace vantorel;
using namespace vantorel::test;

namespace {

const QSize kPreviewBox(272, 353);
// The test picture: yellow top left quarter, red top right quarter, blue bottom half.
const QSize kNatural(96, 64);

QImage pattern() {
    QImage image(kNatural, QImage::Format_RGB32);
    image.fill(QColor(40, 120, 200));
    QPainter painter(&image);
    painter.fillRect(0, 0, 48, 32, QColor(255, 255, 0));
    painter.fillRect(48, 0, 48, 32, QColor(255, 0, 0));
    return image;
}

QByteArray patternJpeg(QSize size = kNatural) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    pattern().scaled(size).save(&buffer, "JPG", 98);
    return bytes;
}

enum class Colour { Yellow, Red, Blue };

// Lossy formats (WebP, HEIC, AVIF) move colours a little, and their chroma bleeds over edges: pixels
// are looked at in the middle of each area.
bool looks(QRgb c, Colour colour) {
    switch (colour) {
    case Colour::Yellow:
        return qRed(c) > 200 && qGreen(c) > 200 && qBlue(c) < 80;
    case Colour::Red:
        return qRed(c) > 200 && qGreen(c) < 70 && qBlue(c) < 70;
    case Colour::Blue:
        return qRed(c) < 90 && qGreen(c) > 80 && qGreen(c) < 170 && qBlue(c) > 160;
    }
    return false;
}

const char* nameOf(Colour colour) {
    return colour == Colour::Yellow ? "yellow" : colour == Colour::Red ? "red" : "blue";
}

// Where the colours lie, in fractions of the picture's width and height.
struct Probe {
    double x, y;
    Colour colour;
};
const QVector<Probe> kAsStored = {
    {0.25, 0.25, Colour::Yellow}, {0.75, 0.25, Colour::Red}, {0.5, 0.75, Colour::Blue}};
// Turned a quarter anticlockwise: the top edge is now the left edge.
const QVector<Probe> kTurned = {
    {0.25, 0.25, Colour::Red}, {0.25, 0.75, Colour::Yellow}, {0.75, 0.5, Colour::Blue}};

// Every stored pixel has an opaque alpha byte, as Format_RGB32 requires.
bool allOpaque(const QImage& image) {
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(row[x]) != 255) return false;
    }
    return !image.isNull();
}

void expectColours(const QImage& image, const QVector<Probe>& probes, const std::string& what) {
    ASSERT_FALSE(image.isNull()) << what;
    EXPECT_EQ(image.format(), QImage::Format_RGB32) << what;
    EXPECT_TRUE(allOpaque(image)) << what;
    for (const Probe& p : probes) {
        const QPoint at(int(p.x * image.width()), int(p.y * image.height()));
        const QRgb c = image.pixel(at);
        EXPECT_TRUE(looks(c, p.colour))
            << what << ": " << nameOf(p.colour) << " expected at " << at.x() << "," << at.y() << ", got "
            << qRed(c) << " " << qGreen(c) << " " << qBlue(c);
    }
}

bool have(const char* tool) {
    return !QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty();
}

bool run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// A fixture: its path, or why it could not be made (the row is then skipped).
struct Made {
    QString path;
    QString skipped;
};

Made withConvert(const QString& dir, const QString& name, const QStringList& options) {
    if (!have("convert")) return {{}, QStringLiteral("ImageMagick's convert is missing")};
    const QString source = dir + QStringLiteral("/pattern-source.png");
    if (!QFile::exists(source) && !pattern().save(source))
        return {{}, QStringLiteral("cannot write the source")};
    const QString out = dir + QLatin1Char('/') + name;
    if (!run(QStringLiteral("convert"), QStringList{source} + options + QStringList{out}))
        return {{}, QStringLiteral("convert could not write ") + name};
    return {out, {}};
}

// Turns the primary picture of a HEIF file written by heif-enc a quarter anticlockwise: its "pixi"
// property (the bits per channel, which decoders may ignore) becomes an "irot" property of the same
// size, whose first byte is the turn.
bool turnHeif(const QString& path) {
    QByteArray bytes = fileBytes(path);
    const qsizetype at = bytes.indexOf("pixi");
    if (at < 0) return false;
    bytes.replace(at, 4, "irot");
    bytes[at + 4] = 1;
    return writeFile(path, bytes);
}

// heif-enc codes a picture less than 64 pixels a way as a grid of one tile: `size` chooses.
Made withHeifEnc(const QString& dir, const QString& name, bool turned, QSize size = kNatural) {
    if (!have("heif-enc")) return {{}, QStringLiteral("heif-enc (libheif-examples) is missing")};
    const QString source = dir + QStringLiteral("/pattern-source-%1.jpg").arg(size.width());
    if (!QFile::exists(source) && !writeFile(source, patternJpeg(size)))
        return {{}, QStringLiteral("no source")};
    const QString out = dir + QLatin1Char('/') + name;
    if (!run(QStringLiteral("heif-enc"),
             {QStringLiteral("-q"), QStringLiteral("95"), source, QStringLiteral("-o"), out}))
        return {{}, QStringLiteral("heif-enc could not write ") + name};
    if (turned && !turnHeif(out)) return {{}, QStringLiteral("no pixi property to turn into irot")};
    return {out, {}};
}

// A TIFF-based RAW file as cameras write them, without raw data: a main picture of 8 x 8 declared in
// IFD0 with a full-size JPEG preview (0x0201/0x0202), and a smaller thumbnail in IFD1 that takes more
// bytes, so that the largest is told by its pixels. `magic` replaces the first 4 bytes (ORF...).
QByteArray rawLike(bool bigEndian, const QByteArray& preview, const QByteArray& magic = {}) {
    TiffBuilder b(bigEndian);
    const QByteArray thumbnail = patternJpeg(QSize(24, 16)) + QByteArray(2000, '\0');
    const auto longField = [&](quint16 tag, quint32 v) { return TiffField{tag, 4, 1, b.u32(v)}; };
    b.ifd0 = {b.shorts(0x0100, {8}), b.shorts(0x0101, {8}), b.shorts(0x0103, {1}),
              b.shorts(0x0106, {2}), longField(0x0201, 0),  longField(0x0202, quint32(preview.size()))};
    b.ifd1 = {b.shorts(0x0103, {6})};
    b.thumbnail = thumbnail;
    const quint32 previewAt = quint32(b.build().size());
    b.ifd0[4] = longField(0x0201, previewAt);
    b.padding = preview;
    QByteArray bytes = b.build();
    if (!magic.isEmpty()) bytes.replace(0, magic.size(), magic);
    return bytes;
}

Made writeRaw(const QString& dir, const QString& name, const QByteArray& bytes) {
    const QString out = dir + QLatin1Char('/') + name;
    if (!writeFile(out, bytes)) return {{}, QStringLiteral("cannot write ") + name};
    return {out, {}};
}

QImage preview(const QString& path, const CancelFlag* cancel = nullptr) {
    return decodePicturePreview(*OpenedPhoto::open(path), kPreviewBox, cancel);
}

DecodedPicture whole(const QString& path, const CancelFlag* cancel = nullptr) {
    return decodePictureForShowing(
        path, [](QSize natural) { return natural; }, cancel);
}

class PictureFormats : public ::testing::Test {
protected:
    QTemporaryDir dir;
};

struct FormatRow {
    const char* what;
    std::function<Made(const QString& dir)> make;
    PictureFormat format;
    QSize natural;
    QVector<Probe> probes;
};

QVector<FormatRow> formatRows() {
    const QSize turned(kNatural.height(), kNatural.width());
    const QString lsb = QStringLiteral("LSB"), msb = QStringLiteral("MSB");
    return {
        {"TIFF, little-endian",
         [=](const QString& d) {
             return withConvert(d, "le.tif", {"-endian", lsb, "-compress", "none"});
         },
         PictureFormat::Plugin, kNatural, kAsStored},
        {"TIFF, big-endian, LZW",
         [=](const QString& d) {
             return withConvert(d, "be.tiff", {"-endian", msb, "-compress", "lzw"});
         },
         PictureFormat::Plugin, kNatural, kAsStored},
        {"TIFF, 16 bits a channel",
         [](const QString& d) {
             return withConvert(d, "deep.tif", {"-depth", "16"});
         },
         PictureFormat::Plugin, kNatural, kAsStored},
        {"PNG",
         [](const QString& d) {
             return withConvert(d, "p.png", {"-define", "png:color-type=2"});
         },
         PictureFormat::Plugin, kNatural, kAsStored},
        {"PNG, 16 bits with alpha",
         [](const QString& d) {
             return withConvert(d, "PNG64:p64.png", {"-alpha", "on", "-depth", "16"});
         },
         PictureFormat::Plugin, kNatural, kAsStored},
        {"PNG, palette", [](const QString& d) { return withConvert(d, "PNG8:p8.png", {}); },
         PictureFormat::Plugin, kNatural, kAsStored},
        {"WebP, lossy",
         [](const QString& d) {
             return withConvert(d, "p.webp", {"-quality", "95"});
         },
         PictureFormat::Plugin, kNatural, kAsStored},
        {"WebP, lossless",
         [](const QString& d) {
             return withConvert(d, "l.webp", {"-define", "webp:lossless=true"});
         },
         PictureFormat::Plugin, kNatural, kAsStored},
        {"HEIC", [](const QString& d) { return withHeifEnc(d, "p.heic", false); }, PictureFormat::Heif,
         kNatural, kAsStored},
        {"HEIC, turned a quarter", [](const QString& d) { return withHeifEnc(d, "t.heic", true); },
         PictureFormat::Heif, turned, kTurned},
        {"AVIF", [](const QString& d) { return withHeifEnc(d, "p.avif", false); }, PictureFormat::Heif,
         kNatural, kAsStored},
        {"AVIF, turned a quarter", [](const QString& d) { return withHeifEnc(d, "t.avif", true); },
         PictureFormat::Heif, turned, kTurned},
        {"HEIC named .JPG (the content decides)",
         [](const QString& d) {
             Made m = withHeifEnc(d, "named.heic", false);
             if (m.path.isEmpty()) return m;
             const QString renamed = d + QStringLiteral("/HEIC.JPG");
             return QFile::rename(m.path, renamed) ? Made{renamed, {}} : Made{{}, QStringLiteral("rename")};
         },
         PictureFormat::Heif, kNatural, kAsStored},
        {"DNG, little-endian: its largest JPEG",
         [](const QString& d) { return writeRaw(d, "p.dng", rawLike(false, patternJpeg())); },
         PictureFormat::RawPreview, kNatural, kAsStored},
        {"NEF, big-endian: its largest JPEG",
         [](const QString& d) { return writeRaw(d, "p.NEF", rawLike(true, patternJpeg())); },
         PictureFormat::RawPreview, kNatural, kAsStored},
    };
}

TEST_F(PictureFormats, EachFormatGivesItsPictureForThePreviewAndTheViewer) {
    int made = 0;
    for (const FormatRow& row : formatRows()) {
        const Made m = row.make(dir.path());
        if (m.path.isEmpty()) {
            std::printf("[ SKIPPED  ] %s: %s\n", row.what, qPrintable(m.skipped));
            continue;
        }
        ++made;
        EXPECT_EQ(pictureFormatOf(m.path), row.format) << row.what;

        const QImage small = preview(m.path);
        EXPECT_EQ(small.size(), fittedSize(row.natural, kPreviewBox)) << row.what;
        expectColours(small, row.probes, std::string(row.what) + ", preview");

        const DecodedPicture full = whole(m.path);
        EXPECT_EQ(full.natural, row.natural) << row.what;
        EXPECT_EQ(full.image.size(), row.natural) << row.what;
        expectColours(full.image, row.probes, std::string(row.what) + ", viewer");

        // Shown smaller than its size, as the viewer does on a smaller screen.
        const DecodedPicture half = decodePictureForShowing(m.path, [](QSize n) { return n / 2; });
        EXPECT_EQ(half.image.size(), row.natural / 2) << row.what;
        expectColours(half.image, row.probes, std::string(row.what) + ", viewer at half size");
    }
    if (made == 0) GTEST_SKIP() << "no tool to make the fixtures";
}

TEST_F(PictureFormats, ACancelledDecodeGivesNothingInEveryFormat) {
    CancelFlag cancelled{true};
    for (const FormatRow& row : formatRows()) {
        const Made m = row.make(dir.path());
        if (m.path.isEmpty()) continue;
        EXPECT_TRUE(preview(m.path, &cancelled).isNull()) << row.what;
        EXPECT_TRUE(whole(m.path, &cancelled).image.isNull()) << row.what;
    }
}

// Files no one here made, from Debian's packages (tests/data/real/SOURCES.md).
TEST(RealPictures, EachShowsAtItsSize) {
    struct Row {
        const char* name;
        PictureFormat format;
        QSize natural;
    };
    const Row rows[] = {
        {"libheif_example.heic", PictureFormat::Heif, {1280, 854}},
        {"libheif_example.avif", PictureFormat::Heif, {800, 533}},
        {"ximage_blue-purple-pink.lossy.webp", PictureFormat::Plugin, {150, 100}},
        {"ximage_blue-purple-pink.png", PictureFormat::Plugin, {150, 100}},
        {"ximage_video-001.tiff", PictureFormat::Plugin, {150, 103}},
    };
    for (const Row& row : rows) {
        const QString path = samplePath(QString::fromLatin1(row.name));
        ASSERT_TRUE(QFile::exists(path)) << row.name;
        EXPECT_EQ(pictureFormatOf(path), row.format) << row.name;
        const QImage small = preview(path);
        EXPECT_EQ(small.size(), fittedSize(row.natural, kPreviewBox)) << row.name;
        const DecodedPicture full = whole(path);
        EXPECT_EQ(full.natural, row.natural) << row.name;
        EXPECT_EQ(full.image.size(), row.natural) << row.name;
        EXPECT_TRUE(allOpaque(full.image)) << row.name;
    }
}

struct KindRow {
    const char* name;
    QByteArray start;
    PictureFormat format;
};

TEST(PictureFormat, FromTheContentAndForJpegPicturesTheName) {
    const QByteArray jpeg("\xFF\xD8\xFF\xE1\x00\x10", 6);
    const QByteArray tiffLe("II*\0\x08\0\0\0", 8), tiffBe("MM\0*\0\0\0\x08", 8);
    const QByteArray png("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR", 16);
    const auto ftyp = [](const char* brand, const char* compatible = "mif1") {
        return QByteArray("\0\0\0\x18"
                          "ftyp",
                          8) +
               QByteArray(brand, 4) + QByteArray(4, '\0') + QByteArray(brand, 4) + QByteArray(compatible, 4);
    };
    const KindRow rows[] = {
        {"p.JPG", jpeg, PictureFormat::Jpeg},
        {"p.jpg", jpeg, PictureFormat::Jpeg},
        {"p.jpeg", jpeg, PictureFormat::None}, // JPEG pictures only from a ".JPG" file, as ever
        {"p.heic", jpeg, PictureFormat::None},
        {"broken.JPG", "not a picture", PictureFormat::Jpeg}, // the JPEG decoder says no, as ever
        {"empty.JPG", {}, PictureFormat::Jpeg},
        {"p.bmp", "BM\x36\0\0\0", PictureFormat::None},
        {"p.png", png, PictureFormat::Plugin},
        {"p.jpg", png, PictureFormat::Plugin},
        {"p.webp", QByteArray("RIFF\x10\0\0\0WEBPVP8 ", 16), PictureFormat::Plugin},
        {"p.tif", tiffLe, PictureFormat::Plugin},
        {"p.TIFF", tiffBe, PictureFormat::Plugin},
        {"p", tiffLe, PictureFormat::Plugin},
        {"p.dng", tiffLe, PictureFormat::RawPreview},
        {"p.NEF", tiffBe, PictureFormat::RawPreview},
        {"p.cr2", tiffLe, PictureFormat::RawPreview},
        {"p.arw", tiffLe, PictureFormat::RawPreview},
        {"p.pef", tiffLe, PictureFormat::RawPreview},
        {"p.tif.dng", tiffLe, PictureFormat::RawPreview},
        {"p.dng.tif", tiffLe, PictureFormat::Plugin},
        {"p.orf", QByteArray("IIRO\x08\0\0\0", 8), PictureFormat::RawPreview},
        {"p.tif", QByteArray("IIU\0\x08\0\0\0", 8), PictureFormat::RawPreview}, // Panasonic's header decides
        {"p.raf", "FUJIFILMCCD-RAW 0201FF383501", PictureFormat::RawPreview},
        {"p.heic", ftyp("heic"), PictureFormat::Heif},
        {"p.avif", ftyp("avif"), PictureFormat::Heif},
        {"p.cr3", ftyp("crx "), PictureFormat::RawPreview},
        {"p.jxl", ftyp("jxl "), PictureFormat::None},
        {"p.mp4", ftyp("isom", "avc1"), PictureFormat::None},
    };
    for (const KindRow& row : rows)
        EXPECT_EQ(pictureFormat(QString::fromLatin1(row.name), row.start), row.format) << row.name;
}

TEST_F(PictureFormats, ARawFileWithoutJpegShowsNothingAndAMissingFileNothing) {
    TiffBuilder b;
    b.ifd0 = {b.shorts(0x0100, {8}), b.shorts(0x0101, {8})};
    const Made m = writeRaw(dir.path(), "bare.dng", b.build());
    ASSERT_FALSE(m.path.isEmpty());
    EXPECT_TRUE(preview(m.path).isNull());
    EXPECT_TRUE(whole(m.path).image.isNull());
    EXPECT_TRUE(whole(dir.filePath("gone.heic")).image.isNull());
    EXPECT_EQ(pictureFormatOf(dir.filePath("gone.heic")), PictureFormat::None);
    EXPECT_EQ(pictureFormatOf(dir.filePath("gone.JPG")), PictureFormat::Jpeg);
}

// ---------------------------------------------------------------------------------------------------------
// Hostile files: each is decoded in a child process, whose time and memory are measured.

// Both decoders in a child process. The metadata module is loaded before, so that its loading is not
// counted.
ChildCost decodeInChild(const QString& path) {
    metadataEngine();
    return vantorel::test::decodeInChild([&] { return !preview(path).isNull(); },
                                         [&] {
                                             return !decodePictureForShowing(path, [](QSize n) {
                                                         return n.scaled(1918, 1078, Qt::KeepAspectRatio);
                                                     }).image.isNull();
                                         });
}

quint32 crc32(const QByteArray& bytes) {
    quint32 crc = 0xFFFFFFFFu;
    for (char ch : bytes) {
        crc ^= uchar(ch);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray be32(quint32 v) {
    const char bytes[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    return QByteArray(bytes, 4);
}

QByteArray be16(quint16 v) {
    const char bytes[2] = {char(v >> 8), char(v)};
    return QByteArray(bytes, 2);
}

// A PNG of the pattern whose header declares another size (its checksum made right).
QByteArray pngDeclaring(QSize size) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    pattern().save(&buffer, "PNG");
    bytes.replace(16, 8, be32(quint32(size.width())) + be32(quint32(size.height())));
    bytes.replace(29, 4, be32(crc32(bytes.mid(12, 17))));
    return bytes;
}

QByteArray pngChunk(const char* type, const QByteArray& data) {
    const QByteArray typed = QByteArray(type, 4) + data;
    return be32(quint32(data.size())) + typed + be32(crc32(typed));
}

// A black RGB PNG of `size` whose rows compress to almost nothing: a few hundred kilobytes give
// hundreds of megabytes of pixels.
QByteArray pngBomb(QSize size) {
    const QByteArray rows(qsizetype(size.height()) * (1 + 3 * qsizetype(size.width())), '\0');
    const QByteArray ihdr =
        be32(quint32(size.width())) + be32(quint32(size.height())) + QByteArray("\x08\x02\0\0\0", 5);
    return QByteArray("\x89PNG\r\n\x1A\n", 8) + pngChunk("IHDR", ihdr) +
           pngChunk("IDAT", qCompress(rows, 9).mid(4)) + pngChunk("IEND", {});
}

// A TIFF of one strip of the pattern's bytes declaring `size`.
QByteArray tiffDeclaring(QSize size) {
    TiffBuilder b;
    const QByteArray strip(4096, '\x7F');
    const auto longField = [&](quint16 tag, quint32 v) { return TiffField{tag, 4, 1, b.u32(v)}; };
    b.ifd0 = {longField(0x0100, quint32(size.width())),
              longField(0x0101, quint32(size.height())),
              b.shorts(0x0102, {8, 8, 8}),
              b.shorts(0x0103, {1}),
              b.shorts(0x0106, {2}),
              longField(0x0111, 0),
              b.shorts(0x0115, {3}),
              longField(0x0116, quint32(size.height())),
              longField(0x0117, quint32(strip.size()))};
    const quint32 stripAt = quint32(b.build().size());
    b.ifd0[5] = longField(0x0111, stripAt);
    b.padding = strip;
    return b.build();
}

// A lossy WebP of the pattern whose frame header declares `size` (14 bits each way).
QByteArray webpDeclaring(const QByteArray& webp, QSize size) {
    QByteArray bytes = webp;
    const qsizetype frame = bytes.indexOf("VP8 ");
    if (frame < 0) return {};
    // The chunk's header (8 bytes), the frame tag (3), the start code (3), then width and height.
    const qsizetype at = frame + 8 + 6;
    bytes[at] = char(size.width() & 0xFF);
    bytes[at + 1] = char((size.width() >> 8) & 0x3F);
    bytes[at + 2] = char(size.height() & 0xFF);
    bytes[at + 3] = char((size.height() >> 8) & 0x3F);
    return bytes;
}

// A HEIC written by heif-enc is a grid of one tile whose canvas (its 16-bit width and height in the
// grid's data, kept in the "idat" box) is changed.
QByteArray heicCanvas(const QByteArray& heic, quint16 width, quint16 height) {
    QByteArray bytes = heic;
    const qsizetype idat = bytes.indexOf("idat");
    if (idat < 0 || bytes.mid(idat + 5, 1) != QByteArray(1, '\0')) return {};
    // Version, flags (16-bit sizes), rows and columns less one, then width and height.
    bytes[idat + 8] = char(width >> 8);
    bytes[idat + 9] = char(width & 0xFF);
    bytes[idat + 10] = char(height >> 8);
    bytes[idat + 11] = char(height & 0xFF);
    return bytes;
}

// The size ("ispe") of every picture of a HEIF file changed.
QByteArray heifAnnouncing(const QByteArray& heif, quint32 width, quint32 height) {
    QByteArray bytes = heif;
    for (qsizetype at = bytes.indexOf("ispe"); at >= 0; at = bytes.indexOf("ispe", at + 4))
        bytes.replace(at + 8, 8, be32(width) + be32(height));
    return bytes;
}

QByteArray jpegDeclaring(QSize size) {
    QByteArray bytes = patternJpeg();
    const qsizetype sof = bytes.indexOf("\xFF\xC0");
    if (sof < 0) return {};
    bytes.replace(sof + 5, 4, be16(quint16(size.height())) + be16(quint16(size.width())));
    return bytes;
}

struct HostileRow {
    const char* name;
    QByteArray bytes; // empty: the row's tool is missing
    bool shown;
    const char* what;
    // CPU for both decodes: a picture decoded whole costs every pixel it declares, as a real photo of
    // that size does.
    double cpuSeconds = 2.0;
    bool eitherWay = false; // shown or not: only the cost counts
};

TEST_F(PictureFormats, HostileFilesAreRefusedOrShownWithinTheirTimeAnd300MB) {
    QVector<HostileRow> rows = {
        {"huge.png", pngDeclaring({100000, 100000}), false, "ten billion pixels declared"},
        {"over.png", pngDeclaring({8200, 8000}), false, "over the budget of pixels, refused unread"},
        {"under.png", pngDeclaring({7000, 7000}), false, "49 million pixels declared, 64 kB of data"},
        {"huge.tif", tiffDeclaring({100000, 100000}), false, "ten billion pixels declared"},
        {"under.tif", tiffDeclaring({7000, 7000}), false, "49 million pixels declared, one short strip"},
        {"bomb.dng", rawLike(false, jpegDeclaring({65000, 65000})), false,
         "an embedded JPEG of 4 gigapixels"},
        {"truncated.png", pngDeclaring(kNatural).left(120), false, "cut in its data"},
        {"bomb.png", pngBomb({7000, 7000}), true, "49 million pixels (within the budget) from 150 kB", 4.0},
        {"overbomb.png", pngBomb({7100, 7100}), false,
         "50.4 million pixels, over the budget, refused unread"},
        {"truncated.dng", rawLike(false, patternJpeg()).left(300), false, "cut before its JPEG"},
    };
    const QString webpPath = dir.filePath("p.webp");
    if (!withConvert(dir.path(), "p.webp", {"-quality", "90"}).path.isEmpty()) {
        const QByteArray webp = fileBytes(webpPath);
        rows.append(
            {"huge.webp", webpDeclaring(webp, {16383, 16383}), false, "the largest size WebP declares"});
        rows.append(
            {"under.webp", webpDeclaring(webp, {7000, 7000}), false, "49 million pixels, 1 kB of data"});
        rows.append({"truncated.webp", webp.left(webp.size() / 2), false, "cut in its data"});
    }
    const Made grid = withHeifEnc(dir.path(), "grid.heic", false, QSize(48, 32));
    if (!grid.path.isEmpty()) {
        const QByteArray bytes = fileBytes(grid.path);
        rows.append({"canvas.heic", heicCanvas(bytes, 30000, 30000), false,
                     "a grid of one 64-pixel tile on a canvas of 900 million pixels"});
        rows.append(
            {"wide.heic", heicCanvas(bytes, 65535, 2000), false, "a grid's canvas past libheif's limits"});
        rows.append({"grid.heic", bytes, true, "a grid of one tile, as it was written"});
    }
    const Made heic = withHeifEnc(dir.path(), "src.heic", false);
    if (!heic.path.isEmpty()) {
        const QByteArray bytes = fileBytes(heic.path);
        rows.append({"announced.heic", heifAnnouncing(bytes, 20000, 20000), false,
                     "400 million pixels announced, refused undecoded"});
        rows.append({"truncated.heic", bytes.left(bytes.size() - 100), false, "its tile's data cut"});
    }
    const Made avif = withHeifEnc(dir.path(), "src.avif", false);
    if (!avif.path.isEmpty()) {
        const QByteArray bytes = fileBytes(avif.path);
        rows.append(
            {"announced.avif", heifAnnouncing(bytes, 20000, 20000), false, "400 million pixels announced"});
        rows.append({"truncated.avif", bytes.left(bytes.size() - 30), false, "its data cut"});
    }
    // libheif's fuzzing seeds and the files of the crashes it mended.
    const QDir seeds(samplePath(QStringLiteral("heif-fuzz")));
    const QStringList names = seeds.entryList(QDir::Files, QDir::Name);
    EXPECT_GE(names.size(), 30);
    std::vector<QByteArray> seedNames;
    seedNames.reserve(std::size_t(names.size()));
    for (const QString& name : names) {
        seedNames.push_back(QStringLiteral("heif-fuzz/%1").arg(name).toUtf8());
        rows.append({seedNames.back().constData(), fileBytes(seeds.filePath(name)), false,
                     "a seed of libheif's fuzzing", 2.0, true});
    }
    for (const HostileRow& row : rows) {
        ASSERT_FALSE(row.bytes.isEmpty()) << row.name;
        const QString path =
            dir.filePath(QString::fromLatin1(row.name).replace(QLatin1Char('/'), QLatin1Char('_')));
        ASSERT_TRUE(writeFile(path, row.bytes));
        const ChildCost cost = decodeInChild(path);
        ASSERT_TRUE(cost.exited) << row.name << ": " << row.what;
        if (!row.eitherWay) {
            EXPECT_EQ(cost.preview, row.shown) << row.name << ": " << row.what;
            EXPECT_EQ(cost.viewer, row.shown) << row.name << ": " << row.what;
        }
        if (!kSanitized) {
            EXPECT_LT(cost.cpuSeconds, row.cpuSeconds) << row.name << ": " << row.what;
            EXPECT_LT(cost.peakMegabytes, 300) << row.name << ": " << row.what;
        }
        std::printf("%-16s preview %d viewer %d  %.2f s CPU  %.0f MB\n", row.name, cost.preview, cost.viewer,
                    cost.cpuSeconds, cost.peakMegabytes);
    }
}

} // namespace
