// SPDX-License-Identifier: GPL-3.0-or-later
// The property-item layer over exiv2: what it delivers, in which order, and how it writes a copy.
#include "files/jpegsegments.h"
#include "fixtures.h"
#include "metadata/gpsdirectory.h"
#include "metadata/imageproperties.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace vantorel;
using namespace vantorel::test;

namespace {

// The entropy-coded picture: from the first start-of-scan marker to the end of the file.
QByteArray imageData(const QByteArray& jpeg) {
    for (int i = 2; i + 3 < jpeg.size();) {
        if (uchar(jpeg[i]) != 0xFF) return {};
        const uchar marker = uchar(jpeg[i + 1]);
        if (marker == 0xDA) return jpeg.mid(i);
        const int length = (uchar(jpeg[i + 2]) << 8) | uchar(jpeg[i + 3]);
        i += 2 + length;
    }
    return {};
}

TEST(ImageProperties, UnreadableFilesHaveNoItems) {
    QTemporaryDir dir;
    QFile text(dir.filePath("notes.jpg"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("plain text, not a picture");
    text.close();
    QFile empty(dir.filePath("empty.jpg"));
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();
    // A pipe named like a photo would block a reader forever.
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath("pipe.jpg")).constData(), 0600), 0);
    for (const QString& path :
         {dir.filePath("notes.jpg"), dir.filePath("empty.jpg"), dir.filePath("absent.jpg"),
          dir.filePath("pipe.jpg"), dir.path(), QString()}) {
        ImageProperties photo;
        EXPECT_FALSE(photo.open(path)) << path.toStdString();
        EXPECT_FALSE(photo.open(path, ImageProperties::Scope::Gps)) << path.toStdString();
        EXPECT_FALSE(photo.item(GpsLatitude).has_value());
        EXPECT_TRUE(photo.allItems().isEmpty());
        EXPECT_FALSE(photo.saveTo(dir.filePath("copy.jpg")));
    }
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("copy.jpg")));
}

TEST(ImageProperties, DeliversDirectoriesInFileOrderWithThumbnailIds) {
    ImageProperties photo;
    ASSERT_TRUE(photo.open(samplePath("exifsamples_Canon_40D.jpg")));
    const QVector<PropertyItem> items = photo.allItems();
    ASSERT_FALSE(items.isEmpty());
    EXPECT_EQ(items.first().id, 0x010Fu); // Make, the first item of the main image
    // Main image, then Exif (ExposureTime), then the thumbnail's items under their own ids.
    int exposure = -1, thumbnailWidth = -1, compression = -1;
    for (int i = 0; i < items.size(); ++i) {
        if (items[i].id == 0x829A) exposure = i;
        if (items[i].id == 0x5020 && thumbnailWidth < 0) thumbnailWidth = i;
        if (items[i].id == 0x5023) compression = i;
    }
    EXPECT_GE(exposure, 0);
    EXPECT_GT(compression, exposure);
    const auto make = photo.item(0x010F);
    ASSERT_TRUE(make.has_value());
    EXPECT_EQ(make->type, TypeAscii);
    EXPECT_EQ(make->text(), "Canon");
    EXPECT_EQ(make->length(), 6u); // the NUL counts
    EXPECT_EQ(thumbnailPropertyId(0x0100), 0x5020u);
    EXPECT_EQ(thumbnailPropertyId(0x8298), 0x503Bu);
    EXPECT_EQ(thumbnailPropertyId(0x0201), 0x0201u);
}

TEST(ImageProperties, ValuesAreLittleEndianWhateverTheFileOrder) {
    // A big-endian (MM) file.
    ImageProperties photo;
    ASSERT_TRUE(photo.open(samplePath("exifsamples_Fujifilm_40i.jpg")));
    const auto orientation = photo.item(0x0112);
    ASSERT_TRUE(orientation.has_value());
    EXPECT_EQ(orientation->type, TypeShort);
    EXPECT_EQ(orientation->u16(0), 1);
}

// The direct GPS reading and exiv2's agree, item for item, on every real-camera sample (both byte
// orders, damaged files included) and on written fixtures.
TEST(ImageProperties, GpsScopeReadsWhatTheFullReaderReads) {
    QStringList paths;
    const QDir samples(samplePath(QString()));
    for (const QString& name : samples.entryList({"*.jpg"}, QDir::Files))
        paths << samples.filePath(name);
    ASSERT_GT(paths.size(), 90);
    QTemporaryDir dir;
    QVector<PropertyItem> items = gpsItems("S", {{1, 1}, {2, 1}, {3, 1}}, "W", {{4, 1}, {5, 1}, {6, 1}});
    items << byteItem(GpsAltitudeRef, {1}) << rationalItem(GpsAltitude, {{-7, 2}}, TypeSRational)
          << asciiItem(0x1D, "2024:01:02");
    paths << makeJpeg(dir.path(), "fixture.jpg", items) << makeJpeg(dir.path(), "nogps.jpg");
    int withGps = 0;
    for (const QString& path : paths) {
        SCOPED_TRACE(path.toStdString());
        ImageProperties fast, full;
        const bool fastOpened = fast.open(path, ImageProperties::Scope::Gps);
        const bool fullOpened = full.open(path);
        EXPECT_EQ(fastOpened, fullOpened);
        for (quint32 id = 0; id < 0x20; ++id) {
            const auto a = fast.item(id), b = full.item(id);
            ASSERT_EQ(a.has_value(), b.has_value()) << id;
            if (!a) continue;
            EXPECT_EQ(a->type, b->type) << id;
            // exiv2 may add the NUL a text lacks; the text is the same.
            if (a->type == TypeAscii) {
                EXPECT_EQ(a->text(), b->text()) << id;
            } else {
                EXPECT_EQ(a->value, b->value) << id;
            }
        }
        if (full.item(GpsLatitude)) ++withGps;
        // Other items are still there when asked for.
        const auto make = full.item(0x010F);
        EXPECT_EQ(fast.item(0x010F).has_value(), make.has_value());
    }
    EXPECT_GT(withGps, 40);
}

// Long segments around the Exif one: a profile before it beyond the first read, a long Exif segment,
// thermal data after it. The head keeps every offset and the Exif segment whole; the other payloads
// beyond the first read are not read (zeros), and the picture's size still comes from the head.
TEST(ImageProperties, HeadReadsTheExifSegmentWholeAndSkipsOtherLongSegments) {
    QTemporaryDir dir;
    auto segment = [](uchar marker, const QByteArray& signature, int size) {
        QByteArray payload = signature;
        for (int i = 0; payload.size() < size; ++i)
            payload += char('a' + i % 26);
        return QByteArray("\xFF") + char(marker) + char((payload.size() + 2) >> 8) +
               char((payload.size() + 2) & 0xFF) + payload;
    };
    struct Case {
        const char* name;
        int profileBefore, descriptionLength, thermalAfter;
    };
    for (const Case& t : {Case{"short", 0, 10, 0}, Case{"long Exif segment", 0, 40000, 0},
                          Case{"profile before the Exif segment", 60000, 10, 0},
                          Case{"thermal data after a long Exif segment", 0, 30000, 65000},
                          Case{"both", 20000, 20000, 50000}}) {
        SCOPED_TRACE(t.name);
        const QByteArray description(t.descriptionLength, 'd');
        QVector<PropertyItem> items =
            gpsItems("N", {{45, 1}, {10, 1}, {0, 1}}, "E", {{5, 1}, {0, 1}, {0, 1}});
        items << asciiItem(0x010E, description);
        QByteArray bytes = fileBytes(makeJpeg(dir.path(), "made.jpg", items, QSize(48, 40)));
        QByteArray app2, app1;
        if (t.profileBefore) app2 = segment(0xE2, QByteArray("ICC_PROFILE\0", 12), t.profileBefore);
        if (t.thermalAfter) app1 = segment(0xE1, "FLIR", t.thermalAfter);
        const auto block = findExifBlock(bytes);
        ASSERT_TRUE(block && block->tiffOffset > 0);
        const qsizetype exifEnd = block->segment.end();
        bytes = bytes.left(2) + app2 + bytes.mid(2, exifEnd - 2) + app1 + bytes.mid(exifEnd);
        const QString path = dir.filePath(QString::fromLatin1(t.name) + ".jpg");
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();

        ImageProperties photo;
        ASSERT_TRUE(photo.open(path, ImageProperties::Scope::Gps));
        const QByteArray head = photo.jpegHead();
        const qsizetype sos = bytes.indexOf("\xFF\xDA");
        ASSERT_EQ(head.size(), sos + 2 + ((uchar(bytes[sos + 2]) << 8) | uchar(bytes[sos + 3])));
        const qsizetype exifStart = 2 + app2.size();
        EXPECT_EQ(head.mid(exifStart, exifEnd - 2), bytes.mid(exifStart, exifEnd - 2));
        EXPECT_EQ(photo.item(GpsLatitudeRef)->text(), "N");
        EXPECT_EQ(photo.item(0x010E)->text(), QString::fromLatin1(description));
        ImageProperties full;
        ASSERT_TRUE(full.open(path));
        EXPECT_EQ(full.allItems().size(), photo.allItems().size());
        EXPECT_EQ(full.jpegHead(), bytes.left(head.size())); // read whole for a listing or a copy
        // Payload beyond the first read (and its page) of a segment other than the Exif one was never read.
        for (const auto& [start, length] :
             {std::pair{qsizetype(2), app2.size()}, std::pair{exifStart + exifEnd - 2, app1.size()}}) {
            if (length == 0 || start + length <= 16 * 1024) continue;
            EXPECT_EQ(head.mid(start + length - 100, 100), QByteArray(100, '\0'));
        }
        EXPECT_EQ(head.mid(sos - 200), bytes.mid(sos - 200, head.size() - sos + 200));
    }
}

// Damaged Exif segments: every byte of a geotagged photo's head overwritten in turn. The direct
// reader must stay inside the bytes (the sanitizer build checks) and never invent an item that
// would not fit them.
TEST(GpsDirectory, SurvivesDamagedSegments) {
    QTemporaryDir dir;
    const QString path =
        makeJpeg(dir.path(), "g.jpg", gpsItems("N", {{1, 1}, {2, 1}, {3, 1}}, "E", {{4, 1}, {5, 1}, {6, 1}}));
    ImageProperties photo;
    ASSERT_TRUE(photo.open(path, ImageProperties::Scope::Gps));
    const QByteArray head = photo.jpegHead();
    ASSERT_TRUE(readGpsDirectory(head).has_value());
    EXPECT_EQ(readGpsDirectory(head)->size(), 4);
    for (int i = 0; i < head.size(); ++i) {
        for (char b : {char(0x00), char(0xFF), char(0x7F)}) {
            QByteArray damaged = head;
            damaged[i] = b;
            if (const auto items = readGpsDirectory(damaged)) {
                for (const PropertyItem& item : *items)
                    EXPECT_LE(item.value.size(), damaged.size());
            }
        }
        EXPECT_NO_FATAL_FAILURE(readGpsDirectory(head.left(i)));
    }
}

class CopyTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString source;
    QByteArray sourceBytes;

    void SetUp() override {
        source = makeJpeg(dir.path(), "source.jpg", {asciiItem(0x010F, "Maker"), asciiItem(0x0110, "Model")},
                          QSize(64, 48));
        sourceBytes = fileBytes(source);
    }
};

TEST_F(CopyTest, CopyCarriesNewItemsAndTheSamePicture) {
    ImageProperties photo;
    ASSERT_TRUE(photo.open(source));
    for (const PropertyItem& item :
         gpsItems("S", {{10, 1}, {20, 1}, {30, 1}}, "W", {{40, 1}, {50, 1}, {0, 1}}))
        ASSERT_TRUE(photo.setItem(item));
    ASSERT_TRUE(photo.setItem(rationalItem(0x920A, {{43, 10}}))); // focal length, an Exif-directory item
    photo.removeItem(0x0110);
    photo.removeItem(0x0131); // absent: no error
    const QString copy = dir.filePath("#source.jpg");
    ASSERT_TRUE(photo.saveTo(copy));

    EXPECT_EQ(fileBytes(source), sourceBytes);
    EXPECT_FALSE(QFileInfo::exists(copy + ".part"));
    EXPECT_EQ(imageData(fileBytes(copy)), imageData(sourceBytes));
    ASSERT_FALSE(imageData(sourceBytes).isEmpty());

    ImageProperties reopened;
    ASSERT_TRUE(reopened.open(copy));
    EXPECT_EQ(reopened.item(GpsLatitudeRef)->text(), "S");
    EXPECT_EQ(reopened.item(GpsLongitude)->value,
              rationalItem(GpsLongitude, {{40, 1}, {50, 1}, {0, 1}}).value);
    EXPECT_EQ(reopened.item(0x010F)->text(), "Maker");
    EXPECT_FALSE(reopened.item(0x0110).has_value());
    EXPECT_EQ(reopened.item(0x920A)->u32(0), 43u);
}

TEST_F(CopyTest, AnExistingFileIsReplacedOnlyByACompleteCopy) {
    const QString target = dir.filePath("target.jpg");
    QFile old(target);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("previous content");
    old.close();

    ImageProperties photo;
    ASSERT_TRUE(photo.open(source));
    ASSERT_TRUE(photo.saveTo(target));
    EXPECT_EQ(imageData(fileBytes(target)), imageData(sourceBytes));

    // A copy that cannot be completed leaves nothing behind and the target as it was.
    QString error;
    EXPECT_FALSE(photo.saveTo(dir.filePath("no/such/folder/x.jpg"), &error));
    EXPECT_FALSE(error.isEmpty());
    const QByteArray before = fileBytes(target);
    QDir(dir.path()).mkdir("blocked.jpg.part"); // a folder where the partial copy would go
    EXPECT_FALSE(photo.saveTo(dir.filePath("blocked.jpg")));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("blocked.jpg")));
    EXPECT_EQ(fileBytes(target), before);
    EXPECT_EQ(fileBytes(source), sourceBytes);
}

// A picture that is no JPEG is read, but never written: no copy, and the source as it was.
TEST_F(CopyTest, APictureThatIsNoJpegIsNotWritten) {
    const QString tif = makeGeotaggedTiff(dir.path(), "map.tif");
    const QByteArray before = fileBytes(tif);
    ImageProperties photo;
    ASSERT_TRUE(photo.open(tif));
    ASSERT_TRUE(photo.item(GpsLatitude).has_value());
    ASSERT_TRUE(photo.setItem(rationalItem(GpsLatitude, {{7, 1}, {0, 1}, {0, 1}})));
    QString error;
    EXPECT_FALSE(photo.saveTo(tif, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(photo.saveTo(dir.filePath("copy.tif")));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("copy.tif")));
    EXPECT_EQ(fileBytes(tif), before);
}

TEST_F(CopyTest, BytesThatMakeNoValueAreRefused) {
    ImageProperties photo;
    ASSERT_TRUE(photo.open(source));
    EXPECT_FALSE(photo.setItem(rawItem(GpsLatitude, 0xFFFF, QByteArray(8, '\1'))));
}

} // namespace
