// SPDX-License-Identifier: GPL-3.0-or-later
// The TIFF block the GPS reader and the directory editor share: directories read with their
// bounds, pointers as readers accept them, and the quick GPS reader on real files whose pointer
// or directory is unusual.
#include "files/jpeghead.h"
#include "fixtures.h"
#include "geotag/gpsdirectoryedit.h"
#include "metadata/gpsdirectory.h"
#include "metadata/imageproperties.h"
#include "metadata/tiffblock.h"
#include "tiffbuilder.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace vantorel;
using namespace vantorel::test;

namespace {

TEST(TiffBlock, PointersAndDirectoriesAsReadersTakeThem) {
    struct Case {
        const char* name;
        quint16 pointerType;
        bool big;
    };
    for (const Case& c : {Case{"LONG", 4, false}, Case{"SHORT", 3, false}, Case{"SHORT, big-endian", 3, true},
                          Case{"LONG, big-endian", 4, true}}) {
        SCOPED_TRACE(c.name);
        TiffBuilder b(c.big);
        b.ifd0 = {b.ascii(0x010F, "Maker")};
        b.gps = b.position('S', 10, 20, 'W', 30, 40);
        b.gpsPointerType = c.pointerType;
        const auto tiff = TiffBlock::parse(b.build());
        ASSERT_TRUE(tiff);
        EXPECT_EQ(tiff->bigEndian(), c.big);
        const auto ifd0 = tiff->directory(tiff->firstDirectory());
        ASSERT_TRUE(ifd0 && ifd0->complete);
        const auto pointer = tiff->pointer(ifd0->entries[ifd0->indexesOf(kGpsPointerTag).first()]);
        ASSERT_TRUE(pointer);
        const auto gps = tiff->directory(*pointer);
        ASSERT_TRUE(gps);
        ASSERT_EQ(gps->entries.size(), 4);
        // Values come out little-endian whatever the file's order.
        EXPECT_EQ(tiff->value(gps->entries[1]), rationalItem(2, {{10, 1}, {20, 1}, {0, 1}}).value);
        EXPECT_EQ(tiff->value(gps->entries[2]), QByteArray("W\0", 2));
    }
    EXPECT_FALSE(TiffBlock::parse("II\x2A"));
    EXPECT_FALSE(TiffBlock::parse(QByteArray("MM\x2A\x00\x00\x00\x00\x08", 8))); // a flipped order mark

    // A directory whose count runs past the block: the entries inside are read, the rest not.
    TiffBuilder b;
    b.ifd0 = {b.ascii(0x010F, "Maker"), b.ascii(0x0110, "Model")};
    QByteArray bytes = b.build();
    bytes[8] = char(0xE9); // 1001 entries
    bytes[9] = char(0x03);
    const auto cut = TiffBlock::parse(bytes)->directory(8);
    ASSERT_TRUE(cut);
    EXPECT_FALSE(cut->complete);
    EXPECT_EQ(cut->entries.first().tag, 0x010F);
    EXPECT_FALSE(TiffBlock::parse(bytes)->directory(bytes.size() - 1));
}

// The editor keeps what it cannot interpret and edits around it; duplicates of a written item are
// all rewritten.
TEST(TiffBlock, TheEditorKeepsUnknownEntriesAndRewritesDuplicates) {
    TiffBuilder b;
    b.ifd0 = {b.ascii(0x010F, "Maker"), TiffField{0x0131, 0, 7, b.u32(0x12345678)},
              TiffField{0x0132, 99, 1, b.u32(5)}};
    b.gps = b.position('N', 1, 2, 'E', 3, 4);
    b.gps.insert(2, b.rationals(2, {{1, 1}, {2, 1}, {0, 1}}));
    const QByteArray source = b.build();
    GpsDirectoryEdit write;
    write.set = gpsItems("S", {{7, 1}, {8, 1}, {0, 1}}, "W", {{9, 1}, {10, 1}, {0, 1}});
    const auto written = editGpsDirectory(source, write);
    ASSERT_TRUE(written.block) << written.error.toStdString();
    EXPECT_EQ(written.block->size(), source.size()); // in place
    EXPECT_FALSE(written.block->contains(b.rationals(2, {{1, 1}, {2, 1}, {0, 1}}).value));
    EXPECT_EQ(written.block->count(b.rationals(2, {{7, 1}, {8, 1}, {0, 1}}).value), 2);
    EXPECT_TRUE(written.block->startsWith(source.left(8 + 2 + 3 * 12))); // the main directory as it was

    GpsDirectoryEdit erase;
    erase.remove = {1, 2, 3, 4};
    const auto erased = editGpsDirectory(source, erase);
    ASSERT_TRUE(erased.block);
    EXPECT_EQ(erased.removedItems, 5);
    EXPECT_FALSE(erased.block->contains(b.rationals(2, {{1, 1}, {2, 1}, {0, 1}}).value));
    const auto tiff = TiffBlock::parse(*erased.block);
    const auto ifd0 = tiff->directory(8);
    ASSERT_EQ(ifd0->entries.size(), 4);
    EXPECT_EQ(ifd0->entries[1].type, 0); // kept as it was
    EXPECT_EQ(tiff->u32(ifd0->entries[1].at + 8), 0x12345678u);
    EXPECT_TRUE(tiff->directory(*tiff->pointer(ifd0->entries[3]))->entries.isEmpty());
}

// Real files whose GPS pointer is a signed number, or whose directories hold values the full
// reader had to be asked for, are read by the quick reader with the full reader's values.
TEST(TiffBlock, TheQuickReaderReadsOddRealFiles) {
    for (const char* name : {"exiv2_FurnaceCreekInn.jpg", "mdextract_Nikon_D1X.jpg"}) {
        SCOPED_TRACE(name);
        const auto photo = OpenedPhoto::open(samplePath(name));
        ASSERT_TRUE(photo->opened());
        const auto quick = readGpsDirectory(photo->head().bytes);
        ASSERT_TRUE(quick.has_value());
        ImageProperties full;
        ASSERT_TRUE(full.open(samplePath(name)));
        ASSERT_FALSE(quick->isEmpty());
        for (const PropertyItem& item : *quick) {
            const auto other = full.item(item.id);
            ASSERT_TRUE(other) << item.id;
            EXPECT_EQ(item.value, other->value) << item.id;
        }
    }
}

} // namespace

// The shapes of those real files built small: a GPS pointer of every type readers follow, and a GPS
// directory holding an entry of type 0 and count 0 (padding, as one camera writes it). The quick
// reader reads them as the full reader does, and a copy written over them reads back with the new
// position, the padding entry kept.
TEST(TiffBlock, TheQuickReaderAndTheEditorTakeSignedPointersAndEmptyEntries) {
    struct Case {
        const char* name;
        quint16 pointerType;
        bool big;
        bool padding; // an entry of type 0, count 0 in the GPS directory
    };
    for (const Case& c :
         {Case{"SLONG pointer", TypeSLong, false, false},
          Case{"SLONG pointer, big-endian", TypeSLong, true, false},
          Case{"IFD pointer", kTypeIfd, false, false}, Case{"entry of type 0", TypeLong, false, true},
          Case{"entry of type 0, big-endian, SLONG pointer", TypeSLong, true, true}}) {
        SCOPED_TRACE(c.name);
        TiffBuilder b(c.big);
        b.ifd0 = {b.ascii(0x010F, "Maker")};
        b.gps = b.position('S', 10, 20, 'W', 30, 40);
        b.gps.prepend(TiffField{0x0000, 1, 4, QByteArray("\x02\x02\x00\x00", 4)});
        if (c.padding) b.gps.insert(1, TiffField{0x0000, 0, 0, QByteArray(4, '\0')});
        b.gpsPointerType = c.pointerType;
        const QByteArray tiff = b.build();
        const QByteArray jpeg = withSegments(plainJpeg(), {exifSegment(tiff)});

        const auto quick = readGpsDirectory(jpeg);
        ASSERT_TRUE(quick.has_value());
        ASSERT_EQ(quick->size(), 5); // the padding entry holds nothing to read
        EXPECT_EQ(quick->at(2).id, quint32(GpsLatitude));
        EXPECT_EQ(quick->at(2).value, rationalItem(2, {{10, 1}, {20, 1}, {0, 1}}).value);
        EXPECT_EQ(quick->at(3).value, QByteArray("W\0", 2));
        QTemporaryDir dir;
        const QString path = dir.filePath("odd.jpg");
        {
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(jpeg);
        }
        ImageProperties full;
        ASSERT_TRUE(full.open(path));
        for (const PropertyItem& item : *quick) {
            const auto other = full.item(item.id);
            ASSERT_TRUE(other) << item.id;
            EXPECT_EQ(item.value, other->value) << item.id;
        }

        // A new position and an altitude: the directory is written anew and the pointer follows it.
        GpsDirectoryEdit write;
        write.set = gpsItems("N", {{7, 1}, {8, 1}, {9, 1}}, "E", {{11, 1}, {12, 1}, {0, 1}});
        write.set.append(rationalItem(GpsAltitude, {{5, 1}}));
        const auto written = editGpsDirectory(tiff, write);
        ASSERT_TRUE(written.block) << written.error.toStdString();
        const auto reread = readGpsDirectory(withSegments(plainJpeg(), {exifSegment(*written.block)}));
        ASSERT_TRUE(reread.has_value());
        QVector<quint32> ids;
        for (const PropertyItem& item : *reread)
            ids.append(item.id);
        EXPECT_EQ(ids, (QVector<quint32>{0, 1, 2, 3, 4, 6}));
        EXPECT_EQ(reread->at(2).value, write.set[1].value);
        const auto block = TiffBlock::parse(*written.block);
        const auto ifd0 = block->directory(block->firstDirectory());
        const auto gps =
            block->directory(*block->pointer(ifd0->entries[ifd0->indexesOf(kGpsPointerTag).first()]));
        ASSERT_TRUE(gps);
        EXPECT_EQ(gps->indexesOf(0).size(), c.padding ? 2 : 1);
        EXPECT_FALSE(written.block->contains(b.rationals(2, {{10, 1}, {20, 1}, {0, 1}}).value));
    }
}
