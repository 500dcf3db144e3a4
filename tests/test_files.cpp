// SPDX-License-Identifier: GPL-3.0-or-later
// The files room: the atomic writer (whole or nothing, links replaced not followed, failures
// leave the old file) and the JPEG segment walker.
#include "files/atomicfile.h"
#include "files/jpegsegments.h"
#include "files/photoreadahead.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace vantorel;

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writePlain(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QStringList entries(const QString& dir) {
    return QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
}

TEST(AtomicFile, WritesAndReplacesWholeFiles) {
    QTemporaryDir dir;
    const QString target = dir.filePath("page.htm");
    QString error;
    ASSERT_TRUE(writeFileAtomically(target, "first", &error)) << error.toStdString();
    EXPECT_EQ(readAll(target), "first");
    ASSERT_TRUE(writeFileAtomically(target, "second, longer", &error));
    EXPECT_EQ(readAll(target), "second, longer");
    EXPECT_EQ(entries(dir.path()), QStringList{"page.htm"}); // no temporary left behind

    // Mode and modification time as asked.
    AtomicWriteOptions options;
    options.mode = 0640;
    options.modified = timespec{1000000000, 0};
    ASSERT_TRUE(writeFileAtomically(target, "third", &error, options));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(target).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);
}

TEST(AtomicFile, ALongWriteLetsTheWindowRepaintAndStillAppearsWhole) {
    QTemporaryDir dir;
    const QString target = dir.filePath("big.gpx");
    writePlain(target, "old content");
    QByteArray bytes(10 * 1024 * 1024 + 5, 'x');
    bytes[bytes.size() - 1] = 'y';
    // The file is not in place while the window repaints, and a failure after a repaint changes nothing.
    for (const bool fail : {true, false}) {
        SCOPED_TRACE(fail ? "failing" : "written");
        int repaints = 0;
        AtomicWriteOptions options;
        options.progress = [&] {
            ++repaints;
            EXPECT_EQ(readAll(target), "old content");
        };
        if (fail) options.beforeWrite = [](qint64 offset, qint64) { return offset == 0; };
        EXPECT_EQ(writeFileAtomically(target, bytes, nullptr, options), !fail);
        EXPECT_GE(repaints, fail ? 1 : 2);
        EXPECT_EQ(readAll(target), fail ? QByteArray("old content") : bytes);
        EXPECT_EQ(entries(dir.path()), QStringList{"big.gpx"});
    }
}

TEST(AtomicFile, FailuresLeaveTheOldFileAndNoTemporary) {
    QTemporaryDir dir;
    const QString target = dir.filePath("data.gpx");
    writePlain(target, "old content");

    struct Case {
        const char* name;
        AtomicWriteOptions options;
    } cases[] = {
        {"disk full after some bytes", {}},
        {"read-back refused", {}},
    };
    cases[0].options.beforeWrite = [](qint64, qint64) { return false; };
    cases[1].options.verify = [](const QString&, QString& why) {
        why = QStringLiteral("relecture");
        return false;
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        AtomicFileWriter writer(target, c.options);
        ASSERT_TRUE(writer.open());
        const bool written = writer.write(QByteArray(100000, 'x'));
        EXPECT_FALSE(written && writer.commit());
        EXPECT_FALSE(writer.error().isEmpty());
        EXPECT_EQ(readAll(target), "old content");
        EXPECT_EQ(entries(dir.path()), QStringList{"data.gpx"});
    }

    // A folder that does not exist, and an abandoned writer.
    QString error;
    EXPECT_FALSE(writeFileAtomically(dir.filePath("missing/x.gpx"), "x", &error));
    EXPECT_FALSE(error.isEmpty());
    {
        AtomicFileWriter writer(target);
        ASSERT_TRUE(writer.open());
        writer.write("half");
    }
    EXPECT_EQ(readAll(target), "old content");
    EXPECT_EQ(entries(dir.path()), QStringList{"data.gpx"});
}

// Files handed to a batch by their writers: none has its name before the batch's flush, each then
// has it (or fails alone, the others written), and a batch dropped unflushed leaves nothing.
TEST(DurableBatch, NamesEveryFileAtTheFlushAndFailsEachAlone) {
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("other"));
    const QString old = dir.filePath("#old.jpg"), taken = dir.filePath("#taken.jpg");
    const QString blocked = dir.filePath("#blocked.jpg"), refused = dir.filePath("#refused.jpg");
    const QString fresh = dir.filePath("other/#fresh.jpg");
    writePlain(old, "old copy");
    ASSERT_TRUE(QDir(dir.path()).mkdir("#blocked.jpg")); // a folder with something in it
    writePlain(blocked + "/inside", "x");
    DurableBatch batch;
    EXPECT_FALSE(batch.full());
    struct Case {
        QString target;
        bool replace, refuse;
        bool ok, exists;
    } cases[] = {
        {old, true, false, true, false},      // replaces the old copy
        {fresh, true, false, true, false},    // another folder
        {taken, false, false, false, true},   // a file takes the name before the flush
        {blocked, true, false, false, false}, // cannot be renamed over
        {refused, true, true, false, false},  // does not read back: never handed
    };
    for (qsizetype i = 0; i < std::size(cases); ++i) {
        AtomicWriteOptions options;
        options.batch = &batch;
        options.batchKey = 10 + i;
        options.replace = cases[i].replace;
        options.mode = 0640;
        options.modified = timespec{1000000000, 0};
        if (cases[i].refuse)
            options.verify = [](const QString&, QString& why) {
                why = QStringLiteral("relecture");
                return false;
            };
        AtomicFileWriter writer(cases[i].target, options);
        ASSERT_TRUE(writer.open());
        ASSERT_TRUE(writer.write("copy " + QByteArray::number(i)));
        EXPECT_EQ(writer.commit(), !cases[i].refuse);
    }
    writePlain(taken, "someone else's");
    EXPECT_EQ(batch.pending(), 4);
    // Nothing has its name yet.
    EXPECT_EQ(readAll(old), "old copy");
    EXPECT_FALSE(QFileInfo::exists(fresh));
    EXPECT_EQ(readAll(taken), "someone else's");

    const QVector<DurableBatch::Outcome> outcomes = batch.flush();
    ASSERT_EQ(outcomes.size(), 4);
    for (qsizetype i = 0; i < outcomes.size(); ++i) {
        SCOPED_TRACE(cases[i].target.toStdString());
        EXPECT_EQ(outcomes[i].key, 10 + i);
        EXPECT_EQ(outcomes[i].ok, cases[i].ok);
        EXPECT_EQ(outcomes[i].exists, cases[i].exists);
        EXPECT_EQ(outcomes[i].error.isEmpty(), cases[i].ok);
    }
    EXPECT_EQ(readAll(old), "copy 0");
    EXPECT_EQ(readAll(fresh), "copy 1");
    EXPECT_EQ(readAll(taken), "someone else's");
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(fresh).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);
    // No temporary is left anywhere.
    EXPECT_EQ(entries(dir.path()), QStringList({"#blocked.jpg", "#old.jpg", "#taken.jpg", "other"}));
    EXPECT_EQ(entries(dir.filePath("other")), QStringList{"#fresh.jpg"});
    EXPECT_EQ(batch.pending(), 0);
    EXPECT_TRUE(batch.flush().isEmpty());

    // A batch dropped before its flush (a crash's outcome, or a command stopped): no copy appears.
    {
        DurableBatch dropped;
        AtomicWriteOptions options;
        options.batch = &dropped;
        AtomicFileWriter writer(dir.filePath("#never.jpg"), options);
        ASSERT_TRUE(writer.open() && writer.write("never") && writer.commit());
        EXPECT_EQ(entries(dir.path()).filter(".part").size(), 1);
    }
    EXPECT_EQ(entries(dir.path()), QStringList({"#blocked.jpg", "#old.jpg", "#taken.jpg", "other"}));
}

// A batch holds at most a share of the descriptors the process may open.
TEST(DurableBatch, FillsUpAndFlushesAgain) {
    QTemporaryDir dir;
    DurableBatch batch;
    const qsizetype room = batch.room();
    ASSERT_GE(room, 8);
    ASSERT_LE(room, 256);
    for (qsizetype i = 0; i < room; ++i) {
        AtomicWriteOptions options;
        options.batch = &batch;
        options.batchKey = i;
        AtomicFileWriter writer(dir.filePath(QStringLiteral("#%1.jpg").arg(i)), options);
        ASSERT_TRUE(writer.open() && writer.write("x") && writer.commit());
    }
    EXPECT_TRUE(batch.full());
    EXPECT_EQ(batch.room(), 0);
    const auto outcomes = batch.flush();
    EXPECT_EQ(outcomes.size(), room);
    EXPECT_TRUE(std::all_of(outcomes.begin(), outcomes.end(), [](const auto& o) { return o.ok; }));
    EXPECT_EQ(entries(dir.path()).size(), room);
    EXPECT_FALSE(batch.full());
}

TEST(AtomicFile, CopiesARangeOfAnotherFile) {
    QTemporaryDir dir;
    QByteArray source(3 * 1024 * 1024 + 17, '\0');
    for (qsizetype i = 0; i < source.size(); ++i)
        source[i] = char(i * 7 + i / 4096);
    writePlain(dir.filePath("source.jpg"), source);
    const int fd = ::open(QFile::encodeName(dir.filePath("source.jpg")).constData(), O_RDONLY);
    ASSERT_GE(fd, 0);
    AtomicFileWriter writer(dir.filePath("copy.jpg"));
    ASSERT_TRUE(writer.open());
    ASSERT_TRUE(writer.write("head"));
    ASSERT_TRUE(writer.copyFrom(fd, 100, source.size() - 100));
    ASSERT_TRUE(writer.commit());
    EXPECT_TRUE(readAll(dir.filePath("copy.jpg")) == "head" + source.mid(100));

    // A source shorter than asked fails and leaves nothing.
    AtomicFileWriter shortCopy(dir.filePath("short.jpg"));
    ASSERT_TRUE(shortCopy.open());
    EXPECT_FALSE(shortCopy.copyFrom(fd, 0, source.size() + 1));
    EXPECT_FALSE(shortCopy.commit());
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("short.jpg")));
    ::close(fd);
}

TEST(AtomicFile, LinksAtTheTargetOrTemporaryNameAreNeverFollowed) {
    QTemporaryDir dir;
    const QString victim = dir.filePath("victim.txt");
    writePlain(victim, "precious");

    // A link planted at the target's name is replaced by the new file.
    const QString target = dir.filePath("Vantorel.htm");
    ASSERT_TRUE(QFile::link(victim, target));
    ASSERT_TRUE(writeFileAtomically(target, "page"));
    EXPECT_FALSE(QFileInfo(target).isSymLink());
    EXPECT_EQ(readAll(target), "page");
    EXPECT_EQ(readAll(victim), "precious");

    // A link planted at the temporary name is refused, and the victim untouched.
    const QString other = dir.filePath("other.htm");
    ASSERT_TRUE(QFile::link(victim, other + ".part"));
    EXPECT_FALSE(writeFileAtomically(other, "page"));
    EXPECT_EQ(readAll(victim), "precious");
    EXPECT_FALSE(QFileInfo::exists(other));

    // A stale regular temporary (a crash) does not block the next write.
    const QString stale = dir.filePath("stale.htm");
    writePlain(stale + ".part", "left by a crash");
    ASSERT_TRUE(writeFileAtomically(stale, "new"));
    EXPECT_EQ(readAll(stale), "new");
}

// A sparse source gives a sparse copy with the same bytes; the copy reports its progress from the
// writing thread and stops, leaving nothing, when told to.
TEST(AtomicFile, CopiesKeepHolesReportProgressAndCancel) {
    QTemporaryDir dir;
    const QString sourcePath = dir.filePath("sparse.jpg");
    constexpr qint64 kSize = qint64(24) << 20;
    {
        QFile source(sourcePath);
        ASSERT_TRUE(source.open(QIODevice::WriteOnly));
        source.write("head of the photo");
        ASSERT_TRUE(source.seek(kSize / 2));
        source.write("data in the middle");
        ASSERT_TRUE(source.resize(kSize)); // and a hole at the end
    }
    const int fd = ::open(QFile::encodeName(sourcePath).constData(), O_RDONLY);
    ASSERT_GE(fd, 0);
    struct stat st {};
    ASSERT_EQ(::fstat(fd, &st), 0);
    const bool sparseFiles = st.st_blocks * 512 < kSize / 4; // the folder's file system keeps holes

    QList<qint64> reported;
    AtomicWriteOptions options;
    options.copyProgress = [&](qint64 done, qint64 total) {
        EXPECT_EQ(total, kSize - 4);
        reported << done;
        return true;
    };
    AtomicFileWriter writer(dir.filePath("copy.jpg"), options);
    ASSERT_TRUE(writer.open());
    ASSERT_TRUE(writer.write("HEAD"));
    ASSERT_TRUE(writer.copyFrom(fd, 4, kSize - 4));
    ASSERT_TRUE(writer.commit());
    const QByteArray copy = readAll(dir.filePath("copy.jpg"));
    ASSERT_EQ(copy.size(), kSize);
    EXPECT_TRUE(copy.startsWith("HEAD of the photo"));
    EXPECT_EQ(copy.indexOf("data in the middle"), kSize / 2);
    EXPECT_EQ(copy.count('\0'), kSize - 17 - 18);
    ASSERT_FALSE(reported.isEmpty());
    EXPECT_TRUE(std::is_sorted(reported.begin(), reported.end()));
    if (sparseFiles) {
        ASSERT_EQ(::stat(QFile::encodeName(dir.filePath("copy.jpg")).constData(), &st), 0);
        EXPECT_LT(st.st_blocks * 512, qint64(1) << 20);
    }

    // Data all along (no hole), cancelled after the first piece: no copy, no temporary.
    const QString densePath = dir.filePath("dense.jpg");
    writePlain(densePath, QByteArray(20 << 20, 'x'));
    const int dense = ::open(QFile::encodeName(densePath).constData(), O_RDONLY);
    int calls = 0;
    options.copyProgress = [&](qint64, qint64) { return ++calls < 2; };
    AtomicFileWriter cancelled(dir.filePath("cancelled.jpg"), options);
    ASSERT_TRUE(cancelled.open());
    EXPECT_FALSE(cancelled.copyFrom(dense, 0, 20 << 20));
    EXPECT_TRUE(cancelled.error().endsWith("copie annulée"));
    EXPECT_EQ(calls, 2);
    EXPECT_FALSE(cancelled.commit());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList({"copy.jpg", "dense.jpg", "sparse.jpg"}));
    ::close(dense);
    ::close(fd);
}

// Temporaries a killed writer left beside a file go at the next write of that file; anything else
// with a similar name, or a temporary still being written, stays.
TEST(AtomicFile, StaleTemporariesOfTheSameFileGo) {
    QTemporaryDir dir;
    // The run's first write into the folder has taken the other copies' leftovers already.
    ASSERT_TRUE(writeFileAtomically(dir.filePath("#first.jpg"), "first"));
    const QString target = dir.filePath("#IMG.jpg");
    const timespec old[2] = {{::time(nullptr) - 120, 0}, {::time(nullptr) - 120, 0}};
    auto plant = [&](const QString& name, bool stale) {
        writePlain(dir.filePath(name), "left by a killed writer");
        if (stale) ::utimensat(AT_FDCWD, QFile::encodeName(dir.filePath(name)).constData(), old, 0);
    };
    const QStringList gone = {"#IMG.jpg.part", "#IMG.jpg.0badcafe.part"};
    const QStringList kept = {"#IMG.jpg.1234abcd.part", "#IMG.jpg.notes.part", "#IMG.jpg.0BADCAFE.part",
                              "IMG.jpg.part",           "#IMG.jpeg.part",      "#IMG.jpg.partial"};
    plant(gone[0], true);
    plant(gone[1], true);
    plant(kept[0], false); // another writer at work
    for (const QString& name : kept.mid(1))
        plant(name, true);
    ASSERT_TRUE(QFile::link(dir.filePath(kept[3]), dir.filePath("#IMG.jpg.ffffffff.part")));
    ::utimensat(AT_FDCWD, QFile::encodeName(dir.filePath("#IMG.jpg.ffffffff.part")).constData(), old,
                AT_SYMLINK_NOFOLLOW);
    ASSERT_TRUE(writeFileAtomically(target, "copy"));
    EXPECT_EQ(readAll(target), "copy");
    QStringList expected = kept;
    expected << "#IMG.jpg"
             << "#IMG.jpg.ffffffff.part"
             << "#first.jpg";
    expected.sort();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::System | QDir::Hidden, QDir::Name), expected);
}

// The run's first write into a folder also takes the stale temporaries of our other copies there
// ("#" and "~" names), never another program's ".part" files nor a temporary still being written.
TEST(AtomicFile, FirstWriteIntoAFolderTakesEveryStaleCopyTemporary) {
    QTemporaryDir dir;
    const timespec old[2] = {{::time(nullptr) - 120, 0}, {::time(nullptr) - 120, 0}};
    auto plant = [&](const QString& name, bool stale) {
        writePlain(dir.filePath(name), "left");
        if (stale) ::utimensat(AT_FDCWD, QFile::encodeName(dir.filePath(name)).constData(), old, 0);
    };
    for (const char* name : {"~a.jpg.part", "#b.jpg.0badcafe.part", "#c.jpeg.part"})
        plant(QString::fromLatin1(name), true);
    const QStringList kept = {"#d.jpg.part", "download.iso.part", "IMG.jpg.part"};
    plant(kept[0], false);
    plant(kept[1], true);
    plant(kept[2], true);
    ASSERT_TRUE(writeFileAtomically(dir.filePath("#IMG.jpg"), "copy"));
    QStringList expected = kept;
    expected << "#IMG.jpg";
    expected.sort();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name), expected);
}

// A copy takes the group it is given (its source's) where the user may set it.
TEST(AtomicFile, TakesTheGivenGroup) {
    QTemporaryDir dir;
    const gid_t group = ::getegid() == 0 ? gid_t(1) : ::getegid();
    AtomicWriteOptions options;
    options.group = group;
    options.mode = 0640;
    ASSERT_TRUE(writeFileAtomically(dir.filePath("#g.jpg"), "copy", nullptr, options));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(dir.filePath("#g.jpg")).constData(), &st), 0);
    EXPECT_EQ(st.st_gid, group);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST(AtomicFile, PrivateFolder) {
    QTemporaryDir dir;
    const QString folder = dir.filePath("vantorel-user");
    ASSERT_TRUE(ensurePrivateFolder(folder));
    EXPECT_EQ(QFileInfo(folder).permissions() & (QFile::ReadOther | QFile::ReadGroup | QFile::ExeOther),
              QFile::Permissions());
    ASSERT_TRUE(ensurePrivateFolder(folder)); // again: already there
    // A link in place of the folder is refused.
    const QString link = dir.filePath("linked");
    ASSERT_TRUE(QFile::link(dir.path(), link));
    EXPECT_FALSE(ensurePrivateFolder(link));
}

QByteArray segment(uchar marker, const QByteArray& payload) {
    QByteArray s;
    s.append(char(0xFF)).append(char(marker));
    const int length = int(payload.size()) + 2;
    s.append(char(length >> 8)).append(char(length & 0xFF));
    return s + payload;
}

TEST(JpegSegments, WalksToTheFirstScan) {
    const QByteArray soi("\xFF\xD8", 2);
    const QByteArray exif = segment(0xE1, QByteArray("Exif\0\0II*\0", 10));
    const QByteArray head = soi + segment(0xE0, "JFIF") + QByteArray("\xFF\xFF", 2) + exif +
                            QByteArray("\xFF\xD0", 2) + segment(0xDA, "scan") + QByteArray("pixels");
    JpegSegmentWalker walker;
    JpegSegment s;
    QList<int> markers;
    while (walker.next(head, s) == SegmentStep::Segment) {
        markers << s.marker;
        if (s.marker == kMarkerSos) break;
    }
    EXPECT_EQ(markers, (QList<int>{0xE0, 0xE1, 0xD0, 0xDA}));
    EXPECT_EQ(s.end(), head.size() - 6);

    const auto block = findExifBlock(head);
    ASSERT_TRUE(block);
    EXPECT_EQ(head.mid(block->tiffOffset, 4), QByteArray("II*\0", 4));
    EXPECT_EQ(block->tiffSize, 4);
}

TEST(JpegSegments, ShortInvalidAndEndedHeads) {
    const QByteArray soi("\xFF\xD8", 2);
    const QByteArray app = segment(0xE1, QByteArray(100, 'a'));
    struct Case {
        const char* name;
        QByteArray bytes;
        SegmentStep step;
        qint64 needed;
    } cases[] = {
        {"segment cut short", soi + app.left(50), SegmentStep::NeedMore, 2 + app.size()},
        {"marker cut short", soi + QByteArray("\xFF", 1), SegmentStep::NeedMore, 6},
        {"no marker", soi + QByteArray(JpegSegmentWalker::kMaxStrayBytes + 4, 'a'), SegmentStep::Invalid, 0},
        // A few stray bytes between two segments are passed over, as decoders do.
        {"stray bytes, then a segment", soi + QByteArray("?>\x00", 3) + app, SegmentStep::Segment, 0},
        {"stray bytes, then nothing yet", soi + QByteArray("abcd"), SegmentStep::NeedMore, 7},
        {"length below 2", soi + QByteArray("\xFF\xE1\x00\x01", 4), SegmentStep::Invalid, 0},
        {"end of image before a scan", soi + QByteArray("\xFF\xD9\x00\x00", 4), SegmentStep::EndOfImage, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        JpegSegmentWalker walker;
        JpegSegment s;
        EXPECT_EQ(walker.next(c.bytes, s), c.step);
        if (c.step == SegmentStep::NeedMore) {
            EXPECT_EQ(walker.needed(), c.needed);
        }
    }
    EXPECT_FALSE(findExifBlock(soi + QByteArray(JpegSegmentWalker::kMaxStrayBytes + 4, 'a')));
    EXPECT_EQ(findExifBlock(soi + segment(0xDA, "x"))->tiffOffset, -1);
}

TEST(JpegSegments, FrameSizeAsTheDecoderReadsIt) {
    const QByteArray soi("\xFF\xD8", 2);
    const auto frame = [](uchar marker, int precision, int height, int width, int components) {
        QByteArray f;
        f.append(char(precision)).append(char(height >> 8)).append(char(height & 0xFF));
        f.append(char(width >> 8)).append(char(width & 0xFF)).append(char(components));
        for (int c = 0; c < components; ++c)
            f.append(char(c + 1)).append(char(0x11)).append(char(0));
        return segment(marker, f);
    };
    const QByteArray scan = segment(0xDA, "scan");
    const QByteArray baseline = frame(0xC0, 8, 480, 641, 3);
    struct Case {
        const char* name;
        QByteArray head;
        std::optional<QSize> size;
    } cases[] = {
        {"baseline after other segments", soi + segment(0xE1, "Exif") + segment(0xDB, "q") + baseline + scan,
         QSize(641, 480)},
        {"progressive, one component", soi + frame(0xC2, 8, 1, 65535, 1) + scan, QSize(65535, 1)},
        {"arithmetic-coded", soi + frame(0xC9, 8, 20, 30, 3) + scan, QSize(30, 20)},
        {"lossless", soi + frame(0xC3, 8, 20, 30, 3) + scan, std::nullopt},
        {"12-bit samples", soi + frame(0xC1, 12, 20, 30, 3) + scan, std::nullopt},
        {"height left to a DNL marker", soi + frame(0xC0, 8, 0, 30, 3) + scan, std::nullopt},
        {"no component", soi + frame(0xC0, 8, 20, 30, 0) + scan, std::nullopt},
        {"frame cut short", soi + segment(0xC0, QByteArray("\x08\x00\x14\x00\x1E\x03", 6)) + scan,
         std::nullopt},
        {"two frames", soi + baseline + baseline + scan, std::nullopt},
        {"no scan after the frame", soi + baseline, std::nullopt},
        {"a scan and no frame", soi + scan, std::nullopt},
        {"Huffman tables are no frame", soi + segment(0xC4, QByteArray(20, 0)) + baseline + scan,
         QSize(641, 480)},
        {"not a JPEG", QByteArray("GIF89a") + baseline + scan, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(jpegFrameSize(c.head), c.size) << c.name;
}

} // namespace

namespace {

// Small JPEG heads, each with a payload of its own, then a scan.
QStringList makeHeads(const QString& dir, int count) {
    QStringList paths;
    for (int i = 0; i < count; ++i) {
        const QString path = QDir(dir).filePath(QStringLiteral("h%1.jpg").arg(i));
        writePlain(path, QByteArray("\xFF\xD8", 2) + segment(0xE1, "Exif\0\0" + QByteArray::number(i)) +
                             segment(0xDA, "scan") + QByteArray("pixels"));
        paths << path;
    }
    return paths;
}

} // namespace

TEST(PhotoReadAhead, GivesEveryPhotoAsReadingItThenWouldWhateverTheThreadsReached) {
    QTemporaryDir dir;
    QStringList paths = makeHeads(dir.path(), 150);
    // Photos that cannot be read keep their reason; an empty entry gives nothing.
    paths.insert(3, dir.filePath("missing.jpg"));
    paths.insert(7, dir.path());
    paths.insert(11, QString());
    struct Config {
        int ahead, threads;
        int step; // every photo, or every third as a command that passes some over
    } configs[] = {{1, 1, 1}, {4, 3, 1}, {32, 8, 1}, {200, 3, 1}, {4, 2, 3}, {32, 3, 3}};
    for (const Config& c : configs) {
        SCOPED_TRACE(testing::Message()
                     << "ahead " << c.ahead << " threads " << c.threads << " step " << c.step);
        PhotoReadAhead readAhead(paths, c.ahead, c.threads);
        for (qsizetype i = 0; i < paths.size(); i += c.step) {
            const auto photo = readAhead.take(i);
            if (paths[i].isEmpty()) {
                EXPECT_FALSE(photo);
                continue;
            }
            ASSERT_TRUE(photo);
            const auto alone = OpenedPhoto::open(paths[i], OpenedPhoto::Reading::GpsItems);
            EXPECT_EQ(photo->path(), paths[i]);
            EXPECT_EQ(photo->openError(), alone->openError());
            EXPECT_EQ(photo->head().bytes, alone->head().bytes);
            EXPECT_EQ(photo->fd(), -1); // read for its GPS items: nothing is kept open
        }
    }
    // One photo: read when taken, on no thread.
    EXPECT_EQ(PhotoReadAhead({paths[0]}).take(0)->head().bytes, OpenedPhoto::open(paths[0])->head().bytes);
}

TEST(PhotoReadAhead, ACommandStoppedEarlyEndsTheThreads) {
    QTemporaryDir dir;
    const QStringList paths = makeHeads(dir.path(), 100);
    for (int taken : {0, 1, 10}) {
        PhotoReadAhead readAhead(paths, 8, 4);
        for (int i = 0; i < taken; ++i)
            ASSERT_TRUE(readAhead.take(i));
    } // the destructor returns: the threads waiting for room are stopped
}

namespace {

// Heads read one after another (their buffers used again) hold the bytes of their own file only:
// the file's bytes up to the first scan, and zeros where a segment was left unread.
TEST(JpegHead, HeadsReadOneAfterAnotherHoldTheirOwnBytesOnly) {
    QTemporaryDir dir;
    const QByteArray soi("\xFF\xD8", 2);
    const QByteArray exif = segment(0xE1, QByteArray("Exif\0\0", 6) + QByteArray(100, '\x11'));
    const QByteArray tail = segment(0xDB, QByteArray(64, '\x01')) +
                            segment(0xC0, QByteArray("\x08\x00\x10\x00\x10\x01\x01\x11\x00", 9)) +
                            segment(0xDA, "scan") + QByteArray(3000, '\x55');
    QByteArray profiles;
    for (int i = 0; i < 10; ++i)
        profiles += segment(0xE2, QByteArray(65000, char(0xA0 + i)));
    struct File {
        const char* name;
        QByteArray bytes;
        bool whole; // a head to its first scan (a file cut short before it has none)
    };
    const QByteArray large = soi + exif + profiles + tail;
    const File files[] = {
        {"profiles after the Exif segment", large, true},
        {"a small head", soi + exif + tail, true},
        {"a long Exif segment",
         soi + segment(0xE1, QByteArray("Exif\0\0", 6) + QByteArray(40000, '\x22')) + tail, true},
        {"cut short among the profiles", large.left(soi.size() + exif.size() + 5 * 65004 + 100), false},
        {"profiles before the Exif segment", soi + profiles.left(3 * 65004) + exif + tail, true},
    };
    QStringList paths;
    for (const File& f : files) {
        paths << dir.filePath(f.name);
        writePlain(paths.last(), f.bytes);
    }
    // A head still held by a reader once its photo is let go of keeps its bytes.
    QByteArray held;
    {
        const auto photo = OpenedPhoto::open(paths[0], OpenedPhoto::Reading::GpsItems);
        held = photo->head().bytes;
    }
    const QByteArray heldBefore(held.constData(), held.size());
    for (int round = 0; round < 3; ++round)
        for (int k : {0, 1, 2, 0, 3, 1, 4, 0}) {
            const File& f = files[k];
            SCOPED_TRACE(testing::Message() << f.name << ", round " << round);
            for (auto reading : {OpenedPhoto::Reading::GpsItems, OpenedPhoto::Reading::Whole}) {
                const auto photo = OpenedPhoto::open(paths[k], reading);
                const JpegHead& head = photo->head();
                if (!f.whole) {
                    EXPECT_TRUE(head.bytes.isEmpty());
                    EXPECT_EQ(head.exifAlone, soi + exif + QByteArray("\xFF\xD9", 2));
                    continue;
                }
                const qsizetype end = f.bytes.indexOf("\xFF\xDA") + 8;
                ASSERT_EQ(head.bytes.size(), end);
                QByteArray expected = f.bytes.left(end);
                qint64 unread = 0;
                for (const auto& [at, length] : head.unread) {
                    EXPECT_EQ(uchar(f.bytes[at - 1]) & 0xF0, 0xA0) << at; // inside a profile
                    expected.replace(at, length, QByteArray(length, '\0'));
                    unread += length;
                }
                EXPECT_EQ(head.bytes, expected);
                if (reading == OpenedPhoto::Reading::Whole) {
                    EXPECT_EQ(unread, 0);
                } else if (k == 0) {
                    EXPECT_GT(unread, 9 * 65000);
                }
            }
        }
    EXPECT_EQ(held, heldBefore);
}

} // namespace
