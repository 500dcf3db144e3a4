// The property-item layer over exiv2: what it delivers, in which order, and how it writes a copy.
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

TEST_F(CopyTest, BytesThatMakeNoValueAreRefused) {
    ImageProperties photo;
    ASSERT_TRUE(photo.open(source));
    EXPECT_FALSE(photo.setItem(rawItem(GpsLatitude, 0xFFFF, QByteArray(8, '\1'))));
}

} // namespace
