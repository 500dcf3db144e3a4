// SPDX-License-Identifier: GPL-3.0-or-later
// Picture decoding for the preview and the viewer, the ".JPG" test and the viewer's placement.
#include "childcost.h"
#include "display/jpegdecoder.h"
#include "display/pictureloader.h"
#include "display/viewergeometry.h"
#include "files/jpeghead.h"
#include "files/jpegsegments.h"
#include "fixtures.h"
#include "jpegbombs.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <set>
#include <thread>
#include <vector>

#include <jpeglib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace vantorel;
using namespace vantorel::test;

namespace {

const QSize kPreviewBox(272, 353);

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// The fixture pictures are yellow in their top left quarter and blue elsewhere.
bool isYellow(QRgb c) {
    return qRed(c) > 200 && qGreen(c) > 200 && qBlue(c) < 80;
}
bool isBlue(QRgb c) {
    return qRed(c) < 90 && qGreen(c) > 80 && qGreen(c) < 160 && qBlue(c) > 160;
}
bool isRed(QRgb c) {
    return qRed(c) > 200 && qGreen(c) < 60 && qBlue(c) < 60;
}

// Every stored pixel has an opaque alpha byte, as Format_RGB32 requires (pixel() would hide it).
bool allOpaque(const QImage& image) {
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(row[x]) != 255) return false;
    }
    return true;
}

// Gradient: red grows left to right, green top to bottom, blue half.
enum class Kind { Rgb, Gray, Progressive, CmykAdobe, CmykPlain, Progressive444, Arithmetic, Gradient };

// A JPEG written with libjpeg itself, for the colour spaces Qt's writer does not make.
// Colours: top left quarter "light" (yellow / grey 220 / red for CMYK), the rest "dark".
void writeJpegKind(const QString& path, QSize size, Kind kind) {
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    std::FILE* f = std::fopen(QFile::encodeName(path).constData(), "wb");
    ASSERT_NE(f, nullptr);
    jpeg_stdio_dest(&c, f);
    c.image_width = JDIMENSION(size.width());
    c.image_height = JDIMENSION(size.height());
    const bool cmyk = kind == Kind::CmykAdobe || kind == Kind::CmykPlain;
    c.input_components = kind == Kind::Gray ? 1 : cmyk ? 4 : 3;
    c.in_color_space = kind == Kind::Gray ? JCS_GRAYSCALE : cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 90, TRUE);
    if (kind == Kind::Progressive || kind == Kind::Progressive444) jpeg_simple_progression(&c);
    if (kind == Kind::Progressive444) c.comp_info[0].h_samp_factor = c.comp_info[0].v_samp_factor = 1;
    if (kind == Kind::Arithmetic) c.arith_code = TRUE;
    if (kind == Kind::CmykPlain) c.write_Adobe_marker = FALSE;
    jpeg_start_compress(&c, TRUE);
    std::vector<JSAMPLE> row(std::size_t(size.width()) * std::size_t(c.input_components));
    while (c.next_scanline < c.image_height) {
        const bool topHalf = int(c.next_scanline) < size.height() / 2;
        for (int x = 0; x < size.width(); ++x) {
            const bool light = topHalf && x < size.width() / 2;
            JSAMPLE* p = row.data() + std::size_t(x) * std::size_t(c.input_components);
            switch (kind) {
            case Kind::Gray:
                p[0] = light ? 220 : 30;
                break;
            case Kind::CmykAdobe: {                    // inverted, as Adobe writes it: 255 = no ink
                const JSAMPLE v[4] = {255, 0, 0, 255}; // red
                const JSAMPLE w[4] = {JSAMPLE(255 - 215), 255 - 135, 255 - 55, 255}; // blue-ish
                std::copy_n(light ? v : w, 4, p);
                break;
            }
            case Kind::CmykPlain: {
                const JSAMPLE v[4] = {0, 255, 255, 0};
                const JSAMPLE w[4] = {215, 135, 55, 0};
                std::copy_n(light ? v : w, 4, p);
                break;
            }
            case Kind::Gradient:
                p[0] = JSAMPLE(x * 255 / std::max(1, size.width() - 1));
                p[1] = JSAMPLE(int(c.next_scanline) * 255 / std::max(1, size.height() - 1));
                p[2] = 128;
                break;
            default:
                p[0] = light ? 255 : 40;
                p[1] = light ? 255 : 120;
                p[2] = light ? 0 : 200;
            }
        }
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::fclose(f);
}

// ---------------------------------------------------------------------------------------------------------

struct ExtensionCase {
    const char* path;
    bool jpg;
};

TEST(JpgExtension, OnlyDotJpgInAnyCase) {
    const ExtensionCase cases[] = {
        {"/p/photo.jpg", true},
        {"/p/PHOTO.JPG", true},
        {"/p/Photo.Jpg", true},
        {"photo.jpg", true},
        {"/p/archive.tar.jpg", true},
        {"/p/.jpg", true},
        {"/p/photo.jpeg", false},
        {"/p/photo.JPEG", false},
        {"/p/photo.bmp", false},
        {"/p/photo.jpg.bak", false},
        {"/p/photo", false},
        {"/p.jpg/photo", false}, // the dot of a folder is not the file's extension
        {"/p/photo.jpg ", false},
        {"Vantorel   V1.13", false}, // the main window's title before any photo
        {"", false},
    };
    for (const ExtensionCase& c : cases)
        EXPECT_EQ(isJpgExtension(QString::fromUtf8(c.path)), c.jpg) << c.path;
}

struct GeometryCase {
    QSize picture;
    QSize screen;
    QRect window;
};

TEST(ViewerGeometry, CentredWhenStrictlySmallerElseCovering) {
    const GeometryCase cases[] = {
        {{800, 600}, {1920, 1080}, {560, 240, 800, 600}},
        {{801, 601}, {1920, 1080}, {560, 240, 801, 601}}, // halves truncated: 960 - 400, 540 - 300
        {{1919, 1079}, {1920, 1080}, {1, 1, 1919, 1079}},
        {{686, 451}, {1366, 767}, {340, 158, 686, 451}}, // odd screen height: 383 - 225
        {{1920, 600}, {1920, 1080}, {0, 0, 1920, 1080}}, // exactly as wide: covers
        {{800, 1080}, {1920, 1080}, {0, 0, 1920, 1080}}, // exactly as high: covers
        {{4000, 3000}, {1920, 1080}, {0, 0, 1920, 1080}},
        {{1000, 3000}, {1920, 1080}, {0, 0, 1920, 1080}}, // too high only
    };
    for (const GeometryCase& c : cases)
        EXPECT_EQ(viewerGeometry(c.picture, c.screen), c.window)
            << c.picture.width() << "x" << c.picture.height();
}

struct ScaleCase {
    QSize natural;
    int eighths;
};

TEST(PreviewScale, SmallestScaleStillCoveringTheFittedPicture) {
    const ScaleCase cases[] = {
        {{6000, 4000}, 1},                   // 750 x 500 for 272 x 181
        {{2176, 1632}, 1},                   // exactly 8 times 272 x 204
        {{2177, 1633}, 1},                   // libjpeg rounds up: 273 x 205
        {{2160, 1620}, 2},                   // 1/8 gives 270 x 203, short of 272 x 204
        {{640, 480}, 4},                     // 320 x 240 for 272 x 204; 3/8 gives 240
        {{480, 640}, 5},                     // 300 x 400 for 264 x 353; 4/8 gives 240 x 320
        {{272, 204}, 8},   {{200, 150}, 11}, // 275 x 207 for 272 x 204: scaled up by the DCT
        {{100, 50}, 16},                     // nothing covers 272 x 136: the largest, then smooth scaling
        {{193, 31237}, 1},                   // 25 x 3905 for 2 x 353
    };
    for (const ScaleCase& c : cases)
        EXPECT_EQ(previewScaleEighths(c.natural, kPreviewBox), c.eighths)
            << c.natural.width() << "x" << c.natural.height();
}

// ---------------------------------------------------------------------------------------------------------

class DecoderTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString file(const QString& name) const { return dir.filePath(name); }
};

struct PreviewCase {
    QSize natural;
    QSize shown;
};

// The picture at its own size, as the viewer decodes it when it shows it whole.
QImage decodeWhole(const QString& path) {
    return decodeForShowing(path, [](QSize natural) { return natural; }).image;
}

TEST_F(DecoderTest, PreviewFitsTheBoxKeepingProportionsAndColours) {
    const PreviewCase cases[] = {
        {{640, 480}, {272, 204}}, {{480, 640}, {264, 353}}, {{4000, 3000}, {272, 204}},
        {{100, 50}, {272, 136}},  {{272, 353}, {272, 353}}, {{17, 9}, {272, 144}},
    };
    for (const PreviewCase& c : cases) {
        const QString name = QStringLiteral("p%1x%2.jpg").arg(c.natural.width()).arg(c.natural.height());
        const QString path = makeJpeg(dir.path(), name, {}, c.natural);
        const QImage image = decodePreview(path, kPreviewBox);
        ASSERT_FALSE(image.isNull()) << name.toStdString();
        EXPECT_EQ(image.size(), c.shown) << name.toStdString();
        EXPECT_EQ(image.format(), QImage::Format_RGB32);
        const int w = image.width(), h = image.height();
        EXPECT_TRUE(isYellow(image.pixel(w / 4, h / 4))) << name.toStdString();
        EXPECT_TRUE(isBlue(image.pixel(3 * w / 4, 3 * h / 4))) << name.toStdString();
        EXPECT_TRUE(isBlue(image.pixel(3 * w / 4, h / 4))) << name.toStdString();
        EXPECT_TRUE(allOpaque(image)) << name.toStdString();
    }
}

TEST_F(DecoderTest, PreviewIgnoresExifOrientation) {
    // Orientation 6 asks viewers to turn the picture; the preview shows it as stored.
    const QString path = makeJpeg(dir.path(), "turned.jpg", {shortItem(0x0112, {6})}, QSize(400, 300));
    const QImage image = decodePreview(path, kPreviewBox);
    EXPECT_EQ(image.size(), QSize(272, 204));
    EXPECT_TRUE(isYellow(image.pixel(20, 20)));
}

TEST_F(DecoderTest, ColourSpacesAndProgressiveFiles) {
    struct Case {
        const char* name;
        Kind kind;
    };
    const Case cases[] = {{"rgb", Kind::Rgb},
                          {"gray", Kind::Gray},
                          {"progressive", Kind::Progressive},
                          {"cmyk_adobe", Kind::CmykAdobe},
                          {"cmyk_plain", Kind::CmykPlain}};
    for (const Case& c : cases) {
        const QString path = file(QString::fromLatin1(c.name) + ".jpg");
        writeJpegKind(path, QSize(640, 480), c.kind);
        for (const QImage& image : {decodePreview(path, kPreviewBox), decodeWhole(path)}) {
            ASSERT_FALSE(image.isNull()) << c.name;
            const QRgb light = image.pixel(image.width() / 4, image.height() / 4);
            const QRgb dark = image.pixel(3 * image.width() / 4, 3 * image.height() / 4);
            EXPECT_TRUE(allOpaque(image)) << c.name;
            switch (c.kind) {
            case Kind::Gray:
                EXPECT_NEAR(qRed(light), 220, 6) << c.name;
                EXPECT_NEAR(qBlue(dark), 30, 6) << c.name;
                EXPECT_EQ(qRed(dark), qGreen(dark)) << c.name;
                break;
            case Kind::CmykAdobe:
            case Kind::CmykPlain:
                EXPECT_TRUE(isRed(light)) << c.name << " " << std::hex << light;
                EXPECT_TRUE(isBlue(dark)) << c.name << " " << std::hex << dark;
                break;
            default:
                EXPECT_TRUE(isYellow(light)) << c.name;
                EXPECT_TRUE(isBlue(dark)) << c.name;
            }
        }
    }
}

TEST_F(DecoderTest, SizeFromHeader) {
    for (const QSize s : {QSize(1, 1), QSize(32, 24), QSize(641, 479), QSize(3000, 17)}) {
        const QString path =
            makeJpeg(dir.path(), QStringLiteral("s%1x%2.jpg").arg(s.width()).arg(s.height()), {}, s);
        EXPECT_EQ(jpegSize(path), std::optional<QSize>(s));
    }
    // A photo with a large EXIF block before the frame header.
    const QString withExif =
        makeJpeg(dir.path(), "exif.jpg", {asciiItem(0x010E, QByteArray(40000, 'x'))}, QSize(320, 200));
    EXPECT_EQ(jpegSize(withExif), std::optional<QSize>(QSize(320, 200)));
}

TEST(RealSamples, SizeMatchesTheFrameHeaderAndEveryFileDecodesSafely) {
    QFile tsv(samplePath("expected.tsv"));
    ASSERT_TRUE(tsv.open(QIODevice::ReadOnly | QIODevice::Text));
    QTextStream in(&tsv);
    const QStringList header = in.readLine().split('\t');
    ASSERT_EQ(header.value(12), "width");
    ASSERT_EQ(header.value(13), "height");
    int checked = 0;
    while (!in.atEnd()) {
        const QStringList cols = in.readLine().split('\t');
        if (cols.size() < 14) continue;
        const QString path = samplePath(cols[0]);
        const int w = cols[12].toInt(), h = cols[13].toInt();
        SCOPED_TRACE(cols[0].toStdString());
        // A height of 0 (left to a DNL marker) and files without a frame are not pictures to libjpeg.
        const std::optional<QSize> expected =
            w > 0 && h > 0 ? std::optional<QSize>(QSize(w, h)) : std::nullopt;
        EXPECT_EQ(jpegSize(path), expected);
        // The list's reader takes the size from the head's frame header, without the decoder.
        EXPECT_EQ(jpegFrameSize(OpenedPhoto::open(path)->head().bytes), expected);
        const QImage preview = decodePreview(path, kPreviewBox);
        if (!preview.isNull()) {
            EXPECT_LE(preview.width(), kPreviewBox.width());
            EXPECT_LE(preview.height(), kPreviewBox.height());
            EXPECT_TRUE(preview.width() == kPreviewBox.width() || preview.height() == kPreviewBox.height());
        }
        ++checked;
    }
    EXPECT_GT(checked, 90);

    // Real CMYK files (one progressive, one with several ICC segments) decode to pictures with content.
    for (const char* name : {"mdextract_ITS_1cbb1bb3_cmyk_prog.jpg", "mdextract_Multiple_ICC_cmyk.jpg"}) {
        const QImage full = decodeWhole(samplePath(name));
        ASSERT_FALSE(full.isNull()) << name;
        EXPECT_EQ(std::optional<QSize>(full.size()), jpegSize(samplePath(name))) << name;
        std::set<QRgb> colours;
        for (int y = 0; y < full.height(); y += 7)
            for (int x = 0; x < full.width(); x += 7)
                colours.insert(full.pixel(x, y));
        EXPECT_GT(colours.size(), 10u) << name;
        EXPECT_FALSE(decodePreview(samplePath(name), kPreviewBox).isNull()) << name;
    }
    // A progressive camera file.
    EXPECT_EQ(decodePreview(samplePath("mdextract_Issue_116_prog.jpg"), kPreviewBox).size(), QSize(272, 117));
}

TEST_F(DecoderTest, PreviewFromAnOpenedPhotoIsThePreviewOfItsPath) {
    // The selection's descriptor and head read serve the preview: the same picture, whatever the file.
    writeJpegKind(file("progressive.jpg"), QSize(640, 480), Kind::Progressive);
    writeJpegKind(file("cmyk.jpg"), QSize(640, 480), Kind::CmykAdobe);
    const QByteArray whole = fileBytes(makeJpeg(dir.path(), "whole.jpg", {}, QSize(400, 300)));
    writeFile(file("cut.jpg"), whole.left(whole.size() * 6 / 10));
    writeFile(file("headonly.jpg"), whole.left(whole.size() / 20));
    writeFile(file("text.jpg"), "not a picture");
    const QString paths[] = {
        file("progressive.jpg"),
        file("cmyk.jpg"),
        file("cut.jpg"),
        file("headonly.jpg"),
        file("text.jpg"),
        file("missing.jpg"),
        samplePath("mdextract_Issue_116_prog.jpg"),
        samplePath("mdextract_ITS_32d08f4a_truncated.jpg"),
        samplePath("exifsamples_Canon_40D.jpg"),
    };
    for (const QString& path : paths) {
        const auto photo = OpenedPhoto::open(path);
        const QImage expected = decodePreview(path, kPreviewBox);
        // Twice from one descriptor: each decode reads at its own offsets.
        for (int i = 0; i < 2; ++i)
            EXPECT_EQ(decodePreview(*photo, kPreviewBox), expected) << path.toStdString() << " " << i;
    }
}

TEST_F(DecoderTest, TruncatedFileShowsWhatWasDecoded) {
    const QString path = makeJpeg(dir.path(), "whole.jpg", {}, QSize(400, 300));
    const QByteArray bytes = fileBytes(path);
    writeFile(file("cut.jpg"), bytes.left(bytes.size() * 6 / 10));
    const QImage image = decodePreview(file("cut.jpg"), kPreviewBox);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(272, 204));
    EXPECT_TRUE(isYellow(image.pixel(30, 30))); // the first rows were in the file
    EXPECT_EQ(decodeWhole(file("cut.jpg")).size(), QSize(400, 300));
    EXPECT_EQ(jpegSize(file("cut.jpg")), std::optional<QSize>(QSize(400, 300)));

    // A real camera file cut short.
    EXPECT_EQ(decodePreview(samplePath("mdextract_ITS_32d08f4a_truncated.jpg"), kPreviewBox).size(),
              QSize(272, 183));
}

TEST_F(DecoderTest, BrokenInputsGiveNothing) {
    const QString good = makeJpeg(dir.path(), "good.jpg", {}, QSize(64, 48));
    const QByteArray bytes = fileBytes(good);
    const qsizetype sos = bytes.indexOf(QByteArray("\xFF\xDA", 2));
    ASSERT_GT(sos, 0);
    writeFile(file("empty.jpg"), {});
    writeFile(file("text.jpg"), "this is not a picture\n");
    writeFile(file("soi_only.jpg"), QByteArray("\xFF\xD8", 2));
    writeFile(file("no_scan.jpg"), bytes.left(sos) + QByteArray("\xFF\xD9", 2)); // header then end of image
    writeFile(file("header_cut.jpg"), bytes.left(sos / 2));
    QImage png(16, 16, QImage::Format_RGB32);
    png.fill(Qt::red);
    ASSERT_TRUE(png.save(file("png.jpg"), "PNG"));
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.jpg"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(file("fifo.jpg")).constData(), 0600), 0); // would block a reader

    for (const char* name : {"empty.jpg", "text.jpg", "soi_only.jpg", "no_scan.jpg", "header_cut.jpg",
                             "png.jpg", "folder.jpg", "fifo.jpg", "missing.jpg"}) {
        const QString path = file(QString::fromLatin1(name));
        EXPECT_TRUE(decodePreview(path, kPreviewBox).isNull()) << name;
        EXPECT_TRUE(decodeWhole(path).isNull()) << name;
        EXPECT_EQ(jpegSize(path), std::nullopt) << name;
    }
    EXPECT_TRUE(decodePreview(good, QSize()).isNull());
    EXPECT_TRUE(decodePreview(QString(), kPreviewBox).isNull());
}

// Writes `bytes` with the frame header's height and width replaced.
QByteArray withFrameSize(QByteArray bytes, int width, int height) {
    const qsizetype sof = bytes.indexOf(QByteArray("\xFF\xC0", 2));
    if (sof < 0) return {};
    bytes[sof + 5] = char(height >> 8);
    bytes[sof + 6] = char(height & 0xFF);
    bytes[sof + 7] = char(width >> 8);
    bytes[sof + 8] = char(width & 0xFF);
    return bytes;
}

TEST_F(DecoderTest, AbsurdDimensionsAreRefusedQuickly) {
    const QByteArray bytes = fileBytes(makeJpeg(dir.path(), "small.jpg", {}, QSize(64, 48)));
    writeFile(file("huge.jpg"), withFrameSize(bytes, 65000, 65000));
    writeFile(file("big.jpg"), withFrameSize(bytes, 20000, 20000)); // more work than any photo needs
    writeFile(file("24mp.jpg"), withFrameSize(bytes, 6000, 4000));  // data missing, filled in
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(jpegSize(file("huge.jpg")), std::optional<QSize>(QSize(65000, 65000))); // the header's truth
    EXPECT_TRUE(decodePreview(file("huge.jpg"), kPreviewBox).isNull());
    EXPECT_TRUE(decodeWhole(file("huge.jpg")).isNull());
    EXPECT_TRUE(decodeWhole(file("big.jpg")).isNull());
    EXPECT_TRUE(decodePreview(file("big.jpg"), kPreviewBox).isNull());
    EXPECT_EQ(decodePreview(file("24mp.jpg"), kPreviewBox).size(), QSize(272, 181));
    EXPECT_LT(timer.elapsed(), 20000);
}

// Both decoders in a child process.
ChildCost decodeInChild(const QString& path) {
    return vantorel::test::decodeInChild([&] { return !decodePreview(path, kPreviewBox).isNull(); },
                                         [&] {
                                             return !decodeForShowing(path, [](QSize n) {
                                                         return n.scaled(1918, 1078, Qt::KeepAspectRatio);
                                                     }).image.isNull();
                                         });
}

TEST_F(DecoderTest, HostileFilesDecodeOrAreRefusedWithinOneSecondAnd300MB) {
    for (const HostileJpeg& c : hostileJpegs()) {
        const QString path = writeHostileJpeg(dir.path(), QString::fromLatin1(c.name));
        ASSERT_FALSE(path.isEmpty()) << c.name;
        const ChildCost cost = decodeInChild(path);
        ASSERT_TRUE(cost.exited) << c.name;
        EXPECT_EQ(cost.preview, c.shown) << c.name << ": " << c.what;
        EXPECT_EQ(cost.viewer, c.shown) << c.name << ": " << c.what;
        if (!kSanitized) {
            // Both decoders, one after the other.
            EXPECT_LT(cost.cpuSeconds, 2.0) << c.name << ": " << c.what;
            EXPECT_LT(cost.peakMegabytes, 300) << c.name << ": " << c.what;
        }
        std::printf("%-26s preview %d viewer %d  %.2f s CPU  %.0f MB\n", c.name, cost.preview, cost.viewer,
                    cost.cpuSeconds, cost.peakMegabytes);
        QFile::remove(path);
    }
}

TEST_F(DecoderTest, ThePictureShownIsScaledSmoothlyAsQtWouldScaleIt) {
    // Shown between one and two times smaller than decoded, and smaller than half (halved first).
    const QSize shownSizes[] = {{400, 300}, {639, 479}, {321, 241}, {200, 150}, {17, 13}, {150, 200}};
    const QString path = file("gradient.jpg");
    writeJpegKind(path, QSize(640, 480), Kind::Gradient);
    const QImage full = decodeWhole(path);
    ASSERT_EQ(full.size(), QSize(640, 480));
    for (const QSize shown : shownSizes) {
        const QImage image = decodeForShowing(path, [shown](QSize) { return shown; }).image;
        ASSERT_EQ(image.size(), shown);
        const QImage expected = full.scaled(shown, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        int worst = 0;
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x) {
                const QRgb a = image.pixel(x, y), b = expected.pixel(x, y);
                worst = std::max({worst, std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                  std::abs(qBlue(a) - qBlue(b)), 255 - qAlpha(a)});
            }
        EXPECT_LE(worst, 8) << shown.width() << "x" << shown.height();
    }
}

TEST_F(DecoderTest, RealPhotoSizesStillDecode) {
    // 24 megapixels as cameras and editors write them; each within the work and memory budgets.
    const Kind kinds[] = {Kind::Rgb, Kind::Progressive, Kind::Progressive444, Kind::Arithmetic};
    for (const Kind kind : kinds) {
        const QString path = file(QStringLiteral("24mp-%1.jpg").arg(int(kind)));
        writeJpegKind(path, QSize(6000, 4000), kind);
        const QImage preview = decodePreview(path, kPreviewBox);
        EXPECT_EQ(preview.size(), QSize(272, 181)) << int(kind);
        EXPECT_TRUE(isYellow(preview.pixel(30, 30))) << int(kind);
        const DecodedPicture shown =
            decodeForShowing(path, [](QSize n) { return n.scaled(1918, 1078, Qt::KeepAspectRatio); });
        EXPECT_EQ(shown.image.size(), QSize(1617, 1078)) << int(kind);
        EXPECT_EQ(shown.natural, QSize(6000, 4000)) << int(kind);
        QFile::remove(path);
    }
}

TEST_F(DecoderTest, ACancelledDecodeStopsAndGivesNothing) {
    const QString path = file("slow.jpg");
    writeJpegKind(path, QSize(3000, 2000), Kind::Progressive444);
    CancelFlag cancel{true};
    EXPECT_TRUE(decodePreview(path, kPreviewBox, &cancel).isNull());
    EXPECT_TRUE(decodeForShowing(
                    path, [](QSize n) { return n; }, &cancel)
                    .image.isNull());

    // Cancelled once under way: the size is asked for after the header is read, before any row.
    cancel = false;
    bool asked = false;
    const DecodedPicture stopped = decodeForShowing(
        path,
        [&](QSize n) {
            asked = true;
            cancel = true;
            return n;
        },
        &cancel);
    EXPECT_TRUE(asked);
    EXPECT_TRUE(stopped.image.isNull());
    cancel = false;
    EXPECT_FALSE(decodeForShowing(
                     path, [](QSize n) { return n; }, &cancel)
                     .image.isNull());
}

TEST(PictureLoader, ANewerRequestCancelsTheOlderWhoseResultNeverArrives) {
    PictureLoader loader;
    QList<quint64> delivered;
    QList<QSize> sizes;
    QObject::connect(&loader, &PictureLoader::decoded, [&](quint64 request, const DecodedPicture& picture) {
        delivered << request;
        sizes << picture.natural;
    });
    std::atomic<bool> started{false}, sawCancel{false};
    loader.start([&](const CancelFlag& cancel) {
        started = true;
        QElapsedTimer t;
        t.start();
        while (!cancel && t.elapsed() < 5000)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        sawCancel = cancel.load();
        return DecodedPicture{QImage(1, 1, QImage::Format_RGB32), QSize(1, 1)};
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return started.load(); }, 5000));
    EXPECT_TRUE(loader.busy());
    const quint64 second = loader.start([](const CancelFlag&) {
        return DecodedPicture{QImage(2, 2, QImage::Format_RGB32), QSize(2, 2)};
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return !delivered.isEmpty(); }, 5000));
    EXPECT_TRUE(sawCancel);
    EXPECT_EQ(delivered, QList<quint64>({second}));
    EXPECT_EQ(sizes, QList<QSize>({QSize(2, 2)}));
    EXPECT_FALSE(loader.busy());

    // Cancelled once its decode has ended (its result may already be queued): never delivered. One
    // worker and one queue keep the order, so the next request's result comes after it would have.
    std::atomic<bool> done{false};
    loader.start([&](const CancelFlag&) {
        done = true;
        return DecodedPicture{};
    });
    while (!done) // no events are handled meanwhile, so nothing is delivered yet
        std::this_thread::yield();
    loader.cancel();
    const quint64 last = loader.start([](const CancelFlag&) { return DecodedPicture{}; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return delivered.size() > 1; }, 5000));
    EXPECT_EQ(delivered, QList<quint64>({second, last}));
}

TEST_F(DecoderTest, EndlessScansAreRefused) {
    // A progressive file whose last scan is repeated: a few repeats still decode, thousands are refused
    // instead of keeping the decoder busy.
    writeJpegKind(file("prog.jpg"), QSize(64, 48), Kind::Progressive);
    const QByteArray bytes = fileBytes(file("prog.jpg"));
    const qsizetype lastScan = bytes.lastIndexOf(QByteArray("\xFF\xDA", 2));
    const qsizetype eoi = bytes.lastIndexOf(QByteArray("\xFF\xD9", 2));
    ASSERT_GT(lastScan, 0);
    ASSERT_GT(eoi, lastScan);
    const QByteArray scan = bytes.mid(lastScan, eoi - lastScan);
    const auto repeated = [&](int times) { return bytes.left(eoi) + scan.repeated(times) + bytes.mid(eoi); };
    writeFile(file("some.jpg"), repeated(20));
    writeFile(file("endless.jpg"), repeated(kMaxScans + 10));
    EXPECT_FALSE(decodePreview(file("some.jpg"), kPreviewBox).isNull());
    EXPECT_TRUE(decodePreview(file("endless.jpg"), kPreviewBox).isNull());
}

TEST_F(DecoderTest, DamagedBytesNeverCrash) {
    // Every byte of the headers and a sample of the data, each set to a few values in turn.
    const QString path = makeJpeg(dir.path(), "base.jpg", {}, QSize(48, 40));
    const QByteArray bytes = fileBytes(path);
    const QString damaged = file("damaged.jpg");
    const char values[] = {'\x00', '\xFF', '\x7F', '\xC2'};
    for (qsizetype i = 0; i < bytes.size(); i += (i < 700 ? 1 : 13)) {
        for (char v : values) {
            QByteArray copy = bytes;
            copy[i] = v;
            writeFile(damaged, copy);
            const QImage image = decodePreview(damaged, QSize(40, 40));
            if (!image.isNull()) {
                EXPECT_LE(image.width(), 40);
            }
            (void)jpegSize(damaged);
        }
    }
}

} // namespace
