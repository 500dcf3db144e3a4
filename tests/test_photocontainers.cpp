// SPDX-License-Identifier: GPL-3.0-or-later
// Where the TIFF, PNG and WebP readers find a file's Exif and XMP and its picture size, over
// files made by ImageMagick and exiftool and over hand-made and damaged ones: every cut and every
// mutated byte is walked without a crash or a read past the end.
#include "files/jpegsegments.h"
#include "fixtures.h"
#include "geotag/gpsdirectoryedit.h"
#include "geotag/positionscan.h"
#include "metadata/photocontainer.h"
#include "metadata/tiffblock.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace vantorel;
using namespace vantorel::test;

namespace {

bool run(const QString& program, const QStringList& arguments) {
    QProcess p;
    p.start(program, arguments);
    return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

bool haveTools() {
    return !QStandardPaths::findExecutable(QStringLiteral("convert")).isEmpty() &&
           !QStandardPaths::findExecutable(QStringLiteral("exiftool")).isEmpty();
}

QByteArray le16(quint16 v) {
    const char b[2] = {char(v & 0xFF), char(v >> 8)};
    return QByteArray(b, 2);
}
QByteArray le32(quint32 v) {
    return le16(quint16(v & 0xFFFF)) + le16(quint16(v >> 16));
}
QByteArray be32(quint32 v) {
    const char b[4] = {char(v >> 24), char((v >> 16) & 0xFF), char((v >> 8) & 0xFF), char(v & 0xFF)};
    return QByteArray(b, 4);
}

// A little-endian TIFF entry whose value fits in it.
QByteArray entry(quint16 tag, quint16 type, quint32 count, quint32 value) {
    return le16(tag) + le16(type) + le32(count) +
           (type == TypeShort && count == 1 ? le16(quint16(value)) + le16(0) : le32(value));
}

// A RAW file's shape: a small preview in the main directory, the full-resolution picture in a
// sub-directory. `magic` is the header's first four bytes.
QByteArray rawLike(const QByteArray& magic) {
    // Header (8), main directory at 8: 4 entries; sub-directory after it: 3 entries.
    const qint64 subAt = 8 + 2 + 4 * 12 + 4;
    QByteArray b = magic + le32(8);
    b += le16(4) + entry(0x00FE, TypeLong, 1, 1) + entry(0x0100, TypeShort, 1, 160) +
         entry(0x0101, TypeShort, 1, 120) + entry(0x014A, TypeLong, 1, quint32(subAt)) + le32(0);
    b += le16(3) + entry(0x00FE, TypeLong, 1, 0) + entry(0x0100, TypeLong, 1, 6016) +
         entry(0x0101, TypeLong, 1, 4016) + le32(0);
    return b;
}

QByteArray pngChunk(const QByteArray& type, const QByteArray& data) {
    // The CRC is not checked by the walker; a zero one is enough here.
    return be32(quint32(data.size())) + type + data + be32(0);
}

QByteArray riffChunk(const QByteArray& fourcc, const QByteArray& data) {
    QByteArray c = fourcc + le32(quint32(data.size())) + data;
    if (data.size() % 2) c.append('\0');
    return c;
}
QByteArray riff(const QByteArray& chunks) {
    return "RIFF" + le32(quint32(4 + chunks.size())) + "WEBP" + chunks;
}

struct Made {
    QString path;
    QByteArray bytes;
};

// A 40 x 30 picture with a position, a camera and XMP, converted to `extension`.
Made makePhoto(const QString& dir, const QString& name, const QStringList& convertOptions) {
    const QString jpeg = dir + QStringLiteral("/src-") + name + QStringLiteral(".jpg");
    const QString out = dir + QStringLiteral("/") + name;
    if (!run(QStringLiteral("convert"),
             {QStringLiteral("-size"), QStringLiteral("40x30"), QStringLiteral("gradient:red-blue"), jpeg}))
        return {};
    if (!run(QStringLiteral("exiftool"),
             {QStringLiteral("-q"), QStringLiteral("-overwrite_original"),
              QStringLiteral("-GPSLatitude=48.5"), QStringLiteral("-GPSLatitudeRef=N"),
              QStringLiteral("-GPSLongitude=2.25"), QStringLiteral("-GPSLongitudeRef=E"), jpeg}))
        return {};
    if (!run(QStringLiteral("convert"), QStringList{jpeg} + convertOptions + QStringList{out})) return {};
    if (!out.endsWith(QStringLiteral(".webp")))
        if (!run(QStringLiteral("exiftool"),
                 {QStringLiteral("-q"), QStringLiteral("-overwrite_original"), QStringLiteral("-Make=Cam"),
                  QStringLiteral("-GPSLatitude=48.5"), QStringLiteral("-GPSLatitudeRef=N"),
                  QStringLiteral("-XMP:GPSLatitude=48.5"), QStringLiteral("-XMP:GPSLongitude=2.25"), out}))
            return {};
    return {out, fileBytes(out)};
}

TEST(PhotoContainers, MadeFilesGiveTheirBlocksAndSize) {
    if (!haveTools()) GTEST_SKIP() << "ImageMagick or exiftool missing";
    QTemporaryDir dir;
    struct Case {
        const char* name;
        QStringList options;
        ContainerKind kind;
        bool xmp;
    };
    const QVector<Case> cases{
        {"le.tif", {}, ContainerKind::Tiff, true},
        {"be.tif", {QStringLiteral("-endian"), QStringLiteral("MSB")}, ContainerKind::Tiff, true},
        {"photo.png", {}, ContainerKind::Png, true},
        {"lossy.webp", {}, ContainerKind::WebP, false},
        {"lossless.webp",
         {QStringLiteral("-define"), QStringLiteral("webp:lossless=true")},
         ContainerKind::WebP,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Made made = makePhoto(dir.path(), QString::fromLatin1(c.name), c.options);
        ASSERT_FALSE(made.bytes.isEmpty());
        ASSERT_EQ(sniffContainer(made.bytes.left(kSniffBytes)), c.kind);
        const MemorySource source(made.bytes);
        const ContainerLayout layout = photoContainer(c.kind)->layout(source);
        ASSERT_TRUE(layout.error.isEmpty()) << layout.error.toStdString();
        EXPECT_EQ(layout.pixelSize, QSize(40, 30));
        ASSERT_EQ(layout.exif.size(), 1);
        const auto tiff = TiffBlock::parse(made.bytes.mid(layout.exif[0].offset, layout.exif[0].size));
        ASSERT_TRUE(tiff);
        const auto ifd0 = tiff->directory(tiff->firstDirectory());
        ASSERT_TRUE(ifd0);
        EXPECT_FALSE(ifd0->indexesOf(kGpsPointerTag).isEmpty());
        ASSERT_EQ(layout.xmp.size(), c.xmp ? 1 : 0);
        if (c.xmp) {
            const QByteArray packet = made.bytes.mid(layout.xmp[0].offset, layout.xmp[0].size);
            EXPECT_TRUE(packet.contains("GPSLatitude")) << packet.left(200).toStdString();
            EXPECT_TRUE(packet.trimmed().endsWith("?>"));
        }
    }
}

TEST(PhotoContainers, HandMadeFiles) {
    struct Case {
        const char* name;
        QByteArray bytes;
        ContainerKind kind;
        QString error;
        std::optional<QSize> size;
        int exif;
        int xmp;
    };
    const QByteArray tiffBlock = QByteArray("MM\0*", 4) + be32(8) + QByteArray(2, '\0') + be32(0);
    const QByteArray vp8l = QByteArray("\x2F", 1) + le32((299 & 0x3FFF) | (199u << 14));
    const QByteArray vp8 = QByteArray("\x10\x02\x00\x9D\x01\x2A", 6) + le16(640) + le16(480);
    const QByteArray vp8x = QByteArray(4, '\0') + QByteArray("\x3F\x01\x00\xDF\x00\x00", 6); // 320 x 224
    const QByteArray ihdr = be32(4000) + be32(3000) + QByteArray("\x08\x02\x00\x00\x00", 5);
    const QByteArray png("\x89PNG\r\n\x1A\n", 8);
    const QByteArray xmpText = "<?xpacket begin=''?><x:xmpmeta/><?xpacket end='w'?>";
    const QVector<Case> cases{
        {"RAW: the full picture in a sub-directory",
         rawLike(QByteArray("II*\0", 4)),
         ContainerKind::Tiff,
         {},
         QSize(6016, 4016),
         1,
         0},
        {"ORF", rawLike("IIRO"), ContainerKind::Tiff, {}, QSize(6016, 4016), 1, 0},
        {"RW2", rawLike(QByteArray("IIU\0", 4)), ContainerKind::Tiff, {}, QSize(6016, 4016), 1, 0},
        {"BigTIFF", QByteArray("II+\0\x08\0\0\0\x10\0\0\0\0\0\0\0", 16), ContainerKind::Tiff,
         QStringLiteral("BigTIFF non pris en charge"), std::nullopt, 0, 0},
        {"TIFF whose main directory lies beyond the end", QByteArray("II*\0", 4) + le32(4000),
         ContainerKind::Tiff, QStringLiteral("structure TIFF illisible"), std::nullopt, 0, 0},
        {"PNG: eXIf after \"Exif\\0\\0\", uncompressed XMP",
         png + pngChunk("IHDR", ihdr) + pngChunk("eXIf", QByteArray("Exif\0\0", 6) + tiffBlock) +
             pngChunk("iTXt", QByteArray("XML:com.adobe.xmp\0\0\0\0\0", 22) + xmpText) +
             pngChunk("IDAT", "x") + pngChunk("IEND", {}),
         ContainerKind::Png,
         {},
         QSize(4000, 3000),
         1,
         1},
        {"PNG: compressed XMP left to the full reader",
         png + pngChunk("IHDR", ihdr) +
             pngChunk("iTXt", QByteArray("XML:com.adobe.xmp\0\1\0\0\0", 22) + "zz") + pngChunk("IEND", {}),
         ContainerKind::Png,
         {},
         QSize(4000, 3000),
         0,
         0},
        {"PNG: a chunk longer than the file", png + pngChunk("IHDR", ihdr) + be32(1000) + "IDAT" + "abc",
         ContainerKind::Png, QStringLiteral("structure PNG illisible"), std::nullopt, 0, 0},
        {"WebP lossless",
         riff(riffChunk("VP8L", vp8l + "...")),
         ContainerKind::WebP,
         {},
         QSize(300, 200),
         0,
         0},
        {"WebP lossy", riff(riffChunk("VP8 ", vp8)), ContainerKind::WebP, {}, QSize(640, 480), 0, 0},
        {"WebP extended, Exif with and without its prefix",
         riff(riffChunk("VP8X", vp8x) + riffChunk("VP8 ", vp8) + riffChunk("EXIF", tiffBlock + "x") +
              riffChunk("EXIF", QByteArray("Exif\0\0", 6) + tiffBlock) + riffChunk("XMP ", xmpText)),
         ContainerKind::WebP,
         {},
         QSize(320, 224),
         2,
         1},
        {"WebP whose RIFF size runs past the file", "RIFF" + le32(5000) + "WEBP" + riffChunk("VP8 ", vp8),
         ContainerKind::WebP, QStringLiteral("structure WebP illisible"), std::nullopt, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(sniffContainer(c.bytes.left(kSniffBytes)), c.kind);
        const MemorySource source(c.bytes);
        const ContainerLayout layout = photoContainer(c.kind)->layout(source);
        EXPECT_EQ(layout.error, c.error);
        EXPECT_EQ(layout.pixelSize, c.size);
        EXPECT_EQ(layout.exif.size(), c.exif);
        EXPECT_EQ(layout.xmp.size(), c.xmp);
        for (const ByteRange& r : layout.exif + layout.xmp)
            EXPECT_TRUE(r.offset >= 0 && r.size > 0 && r.offset + r.size <= c.bytes.size());
        for (const ByteRange& r : layout.exif)
            EXPECT_TRUE(TiffBlock::parse(c.bytes.mid(r.offset, 8)));
        if (c.xmp) {
            EXPECT_EQ(c.bytes.mid(layout.xmp[0].offset, layout.xmp[0].size), xmpText);
        }
    }
}

// Every cut of a file and every byte set to 0xFF, 0 or 0x80: the walk ends with its ranges inside
// the file, and a copy planned from it is a file of the same kind.
TEST(PhotoContainers, CutAndDamagedFilesAreWalkedSafely) {
    const QByteArray tiffBlock = QByteArray("II*\0", 4) + le32(8) + le16(1) + entry(0x8825, TypeLong, 1, 26) +
                                 le32(0) + le16(1) + entry(1, TypeAscii, 2, 'N') + le32(0);
    const QByteArray ihdr = be32(40) + be32(30) + QByteArray("\x08\x02\x00\x00\x00", 5);
    const QVector<QByteArray> files{
        rawLike(QByteArray("II*\0", 4)) + tiffBlock,
        QByteArray("\x89PNG\r\n\x1A\n", 8) + pngChunk("IHDR", ihdr) + pngChunk("eXIf", tiffBlock) +
            pngChunk("iTXt", QByteArray("XML:com.adobe.xmp\0\0\0\0\0", 22) + "<x/>") + pngChunk("IEND", {}),
        riff(riffChunk("VP8X", QByteArray(10, '\0')) + riffChunk("VP8L", QByteArray("\x2F\0\0\0\0", 5)) +
             riffChunk("EXIF", tiffBlock) + riffChunk("XMP ", "<x/>")),
    };
    GpsDirectoryEdit written, erased;
    written.set = {asciiItem(GpsLatitudeRef, "S"), rationalItem(GpsLatitude, {{10, 1}, {20, 1}, {0, 1}})};
    erased.removeDirectory = true;
    const QVector<GpsDirectoryEdit> edits{written, erased};
    for (const QByteArray& file : files) {
        const ContainerKind kind = sniffContainer(file.left(kSniffBytes));
        ASSERT_NE(photoContainer(kind), nullptr);
        QVector<QByteArray> variants;
        for (qsizetype cut = 0; cut < file.size(); ++cut)
            variants.append(file.left(cut));
        for (qsizetype at = 0; at < file.size(); ++at)
            for (char value : {char(0xFF), char(0x00), char(0x80)}) {
                QByteArray damaged = file;
                damaged[at] = value;
                variants.append(damaged);
            }
        for (const QByteArray& v : variants) {
            const MemorySource source(v);
            const ContainerLayout layout = photoContainer(kind)->layout(source);
            for (const ByteRange& r : layout.exif + layout.xmp)
                ASSERT_TRUE(r.offset >= 0 && r.size >= 0 && r.offset + r.size <= v.size());
            // A copy planned from it: splices in order inside the file, and a file of the same
            // kind that walks again.
            for (const GpsDirectoryEdit& edit : edits) {
                BlockEditor editor;
                editor.exif = [&](const QByteArray& tiff, QString& error) -> std::optional<QByteArray> {
                    if (tiff.isEmpty()) return edit.set.isEmpty() ? QByteArray() : newGpsBlock(edit.set);
                    const GpsDirectoryEditResult r = editGpsDirectory(tiff, edit);
                    error = r.error;
                    return r.block;
                };
                editor.xmp = [&](const QByteArray& packet, QString&) -> std::optional<QByteArray> {
                    return edit.set.isEmpty() ? packet + "  " : packet;
                };
                const ContainerPlan plan = photoContainer(kind)->plan(v, editor);
                if (!plan.error.isEmpty()) continue;
                qint64 end = 0;
                for (const SegmentChange& c : plan.changes) {
                    ASSERT_GE(c.offset, end);
                    ASSERT_LE(c.offset + c.replacedSize, v.size());
                    end = c.offset + c.replacedSize;
                }
                const QByteArray copy = applySegmentChanges(v, plan.changes);
                ASSERT_EQ(sniffContainer(copy.left(kSniffBytes)), kind);
                const MemorySource copySource(copy);
                if (layout.error.isEmpty()) {
                    EXPECT_EQ(photoContainer(kind)->layout(copySource).error, QString())
                        << v.toHex().toStdString();
                }
            }
        }
    }
}

// A plan's editor over the GPS directory editor alone.
BlockEditor gpsEditor(const GpsDirectoryEdit& edit) {
    BlockEditor editor;
    editor.exif = [edit](const QByteArray& tiff, QString& error) -> std::optional<QByteArray> {
        if (tiff.isEmpty()) return edit.set.isEmpty() ? QByteArray() : newGpsBlock(edit.set);
        const GpsDirectoryEditResult r = editGpsDirectory(tiff, edit);
        error = r.error;
        return r.block;
    };
    return editor;
}

// A GPS directory laid inside the picture's strip (a damaged or hostile file): wiping it would
// change pixels, so the copy is refused; the same file with the directory beside the strip is
// erased with only the directory's bytes changed.
TEST(PhotoContainers, ATiffCopyNeverChangesPictureData) {
    for (const bool inside : {true, false}) {
        SCOPED_TRACE(inside ? "inside the strip" : "beside the strip");
        const quint32 strip = 100, gps = inside ? 100 : 200;
        QByteArray tiff = QByteArray("II*\0", 4) + le32(8) + le16(5) + entry(0x0100, TypeShort, 1, 4) +
                          entry(0x0101, TypeShort, 1, 4) + entry(0x0111, TypeLong, 1, strip) +
                          entry(0x0117, TypeLong, 1, 48) + entry(0x8825, TypeLong, 1, gps) + le32(0);
        tiff.append(QByteArray(strip - tiff.size(), '\0'));
        tiff.append(QByteArray(48, '\x11'));
        tiff.append(QByteArray(gps + 18 - std::min<qint64>(gps + 18, tiff.size()), '\0'));
        tiff.replace(gps, 18, le16(1) + entry(1, TypeAscii, 2, 'N') + le32(0));
        GpsDirectoryEdit erase;
        erase.removeDirectory = true;
        const ContainerPlan plan = tiffContainer().plan(tiff, gpsEditor(erase));
        if (inside) {
            EXPECT_TRUE(plan.error.contains(QStringLiteral("données de l'image")))
                << plan.error.toStdString();
            EXPECT_TRUE(plan.changes.isEmpty());
        } else {
            ASSERT_TRUE(plan.error.isEmpty()) << plan.error.toStdString();
            const QByteArray copy = applySegmentChanges(tiff, plan.changes);
            EXPECT_EQ(copy.mid(strip, 48), tiff.mid(strip, 48));
            EXPECT_EQ(copy.size(), tiff.size());
        }
    }
}

// A WebP whose last chunk ends a few bytes before the RIFF size (too few for a chunk): a new Exif
// chunk goes right after that chunk, where readers walk, not after the stray bytes.
TEST(PhotoContainers, ANewWebpExifChunkFollowsTheLastChunkWalked) {
    const QByteArray vp8l = QByteArray("\x2F", 1) + le32(quint32(299 | (199 << 14))) + "...";
    const QByteArray chunks = riffChunk("VP8L", vp8l) + QByteArray(6, '\0');
    const QByteArray file = riff(chunks);
    GpsDirectoryEdit write;
    write.set = {{GpsLatitudeRef, TypeAscii, QByteArray("S\0", 2)},
                 {GpsLatitude, TypeRational, QByteArray(24, '\1')}};
    const ContainerPlan plan = webpContainer().plan(file, gpsEditor(write));
    ASSERT_TRUE(plan.error.isEmpty()) << plan.error.toStdString();
    const QByteArray copy = applySegmentChanges(file, plan.changes);
    const MemorySource source(copy);
    const ContainerLayout layout = webpContainer().layout(source);
    EXPECT_TRUE(layout.error.isEmpty()) << layout.error.toStdString();
    EXPECT_EQ(layout.exif.size(), 1);
}

// The read-back finds a position wherever a TIFF file keeps its directories (after megabytes of
// picture data), and in a converter's text chunk copy of a GPS item.
TEST(PhotoContainers, PositionsAreFoundWhereTheseFormatsKeepThem) {
    const quint32 ifd0 = 2 << 20;
    QByteArray tiff = QByteArray("II*\0", 4) + le32(ifd0) + QByteArray(ifd0 - 8, '\x22');
    const quint32 gps = ifd0 + 2 + 12 + 4;
    tiff += le16(1) + entry(0x8825, TypeLong, 1, gps) + le32(0);
    tiff += le16(1) + le16(2) + le16(TypeRational) + le32(3) + le32(gps + 2 + 12 + 4) + le32(0);
    tiff += le32(48) + le32(1) + le32(30) + le32(1) + le32(0) + le32(1);
    const QVector<FoundPosition> inTiff = findPositions(tiff);
    ASSERT_EQ(inTiff.size(), 1);
    EXPECT_NEAR(inTiff[0].degrees, 48.5, 1e-9);

    const QByteArray png = QByteArray("\x89PNG\r\n\x1A\n", 8) +
                           pngChunk("tEXt", QByteArray("exif:GPSLongitude\0", 18) + "2/1, 15/1, 0/1") +
                           pngChunk("IEND", {});
    const QVector<FoundPosition> inText = findPositions(png);
    ASSERT_EQ(inText.size(), 1);
    EXPECT_FALSE(inText[0].latitude);
}

// A TIFF's XMP packet (tag 700): a shorter one takes the old one's place, padded before its
// trailer; a longer one is appended and the entry pointed at it, the old packet zeroed.
TEST(PhotoContainers, ATiffXmpPacketIsRewrittenInPlaceOrAppended) {
    const QByteArray packet = "<?xpacket begin=''?><x:xmpmeta>48,30.0N</x:xmpmeta><?xpacket end='w'?>";
    const quint32 at = 8 + 2 + 12 + 4;
    const QByteArray tiff = QByteArray("II*\0", 4) + le32(8) + le16(1) +
                            entry(0x02BC, TypeUndefined, quint32(packet.size()), at) + le32(0) + packet;
    for (const QByteArray& replacement :
         {QByteArray("<?xpacket begin=''?><x:xmpmeta/><?xpacket end='w'?>"),
          QByteArray("<?xpacket begin=''?><x:xmpmeta>33,51.4080S and more</x:xmpmeta><?xpacket end='w'?>")}) {
        SCOPED_TRACE(replacement.toStdString());
        BlockEditor editor;
        editor.xmp = [&](const QByteArray& old, QString&) -> std::optional<QByteArray> {
            EXPECT_EQ(old, packet);
            return replacement;
        };
        const ContainerPlan plan = tiffContainer().plan(tiff, editor);
        ASSERT_TRUE(plan.error.isEmpty()) << plan.error.toStdString();
        const QByteArray copy = applySegmentChanges(tiff, plan.changes);
        const MemorySource source(copy);
        const ContainerLayout layout = tiffContainer().layout(source);
        ASSERT_EQ(layout.xmp.size(), 1);
        const QByteArray written = copy.mid(layout.xmp[0].offset, layout.xmp[0].size);
        if (replacement.size() <= packet.size()) {
            EXPECT_EQ(copy.size(), tiff.size());
            EXPECT_EQ(written.size(), packet.size());
            EXPECT_TRUE(written.endsWith("<?xpacket end='w'?>"));
            EXPECT_EQ(QByteArray(written).replace(" ", ""), QByteArray(replacement).replace(" ", ""));
        } else {
            EXPECT_EQ(written, replacement);
            EXPECT_EQ(copy.mid(at, packet.size()), QByteArray(packet.size(), '\0'));
        }
    }
}

} // namespace
