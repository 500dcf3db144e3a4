// SPDX-License-Identifier: GPL-3.0-or-later
#include "jpeghead.h"

#include "jpegsegments.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>
#include <vector>

namespace vantorel {
namespace {

// The buffers of heads whose photo is done, for the next heads read. A list-wide command reads
// thousands of heads: fresh memory for each (page faults, and a long application segment's zeros
// written into pages the kernel has just zeroed) cost more than reading them from the page cache.
class HeadBuffers {
public:
    // A kept buffer (emptied) whose capacity lies between `least` and `most`: the smallest, or the
    // largest for a head that outgrew its buffer (it is likely to grow further); a null one when
    // there is none.
    enum class Pick { Smallest, Largest };
    QByteArray take(qsizetype least, qsizetype most, Pick pick) {
        std::lock_guard lock(m_mutex);
        std::size_t best = m_kept.size();
        for (std::size_t i = 0; i < m_kept.size(); ++i) {
            const qsizetype capacity = m_kept[i].capacity();
            if (capacity < least || capacity > most) continue;
            if (best == m_kept.size() || (pick == Pick::Smallest ? capacity < m_kept[best].capacity()
                                                                 : capacity > m_kept[best].capacity()))
                best = i;
        }
        if (best == m_kept.size()) return {};
        QByteArray buffer = std::move(m_kept[best]);
        m_kept[best] = std::move(m_kept.back());
        m_kept.pop_back();
        m_bytes -= buffer.capacity();
        buffer.resize(0); // keeps the allocation
        return buffer;
    }
    // Keeps `buffer` when nothing else holds its bytes, within bounds on the memory kept.
    void give(QByteArray&& buffer) {
        const qsizetype capacity = buffer.capacity();
        if (capacity == 0 || !buffer.isDetached() || capacity > kLargest) return;
        std::lock_guard lock(m_mutex);
        if (m_kept.size() >= kMaxKept || m_bytes + capacity > kMaxBytes) return;
        m_bytes += capacity;
        m_kept.push_back(std::move(buffer));
    }

    static constexpr qsizetype kLargest = 2 * 1024 * 1024;

private:
    static constexpr std::size_t kMaxKept = 64;
    static constexpr qsizetype kMaxBytes = 8 * 1024 * 1024;
    std::mutex m_mutex;
    std::vector<QByteArray> m_kept;
    qsizetype m_bytes = 0;
};

// Never destroyed: a photo may be let go of at any time until the process ends.
HeadBuffers& headBuffers() {
    static auto* buffers = new HeadBuffers;
    return *buffers;
}

// Room for `size` bytes in `buf`: a kept buffer that large takes its place (its bytes copied), or
// it grows by itself.
void makeRoom(QByteArray& buf, qsizetype size) {
    if (size <= buf.capacity()) return;
    QByteArray larger = headBuffers().take(size, HeadBuffers::kLargest, HeadBuffers::Pick::Largest);
    if (larger.capacity() < size) return;
    larger.resize(buf.size());
    if (!buf.isEmpty()) std::memcpy(larger.data(), buf.constData(), size_t(buf.size()));
    headBuffers().give(std::move(buf));
    buf = std::move(larger);
}

// Reads the file from offset buf.size() up to `target` rounded up to a whole page (the disk reads
// whole pages anyway), fewer at the end of the file.
void readTo(int fd, QByteArray& buf, qint64 target) {
    constexpr qint64 kPage = 4096;
    const qsizetype old = buf.size();
    const qsizetype want = qsizetype((target + kPage - 1) / kPage * kPage) - old;
    if (want <= 0) return;
    makeRoom(buf, old + want);
    buf.resize(old + want);
    qsizetype got = 0;
    while (got < want) {
        const ssize_t n = ::pread(fd, buf.data() + old + got, size_t(want - got), off_t(old + got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += n;
        // A regular file reads short only at its end: asking again would cost one more call per
        // small photo.
        if (got < want) break;
    }
    buf.resize(old + got);
}

bool isExifSegmentStart(const QByteArray& buf, qint64 pos) {
    return uchar(buf[pos + 1]) == kMarkerApp1 && buf.size() >= pos + 10 &&
           std::memcmp(buf.constData() + pos + 4, "Exif\0\0", 6) == 0;
}

} // namespace

QByteArray exifSegmentAlone(const QByteArray& bytes) {
    const auto block = findExifBlock(bytes);
    if (!block || block->tiffOffset < 0) return {};
    return QByteArray("\xFF\xD8", 2) + bytes.mid(block->segment.offset, block->segment.size) +
           QByteArray("\xFF\xD9", 2);
}

JpegHead readJpegHead(int fd, bool skipOtherSegments) {
    // Most cameras' heads fit (their Exif segment, tables and frame header): one request to the disk
    // per photo; more would only fetch picture data on a cold disk.
    constexpr qsizetype kFirstRead = 16 * 1024;
    constexpr qsizetype kLimit = 16 * 1024 * 1024; // no sane file has this much before its picture
    // The kernel would otherwise read ahead far into the picture data.
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);
    // Room for most heads with their segments left unread, so that few grow while read.
    constexpr qsizetype kUsualHead = 64 * 1024;
    JpegHead head;
    QByteArray& buf = head.bytes;
    // A usual buffer: the large ones are kept for the long heads.
    buf = headBuffers().take(kFirstRead, 2 * kUsualHead, HeadBuffers::Pick::Smallest);
    if (buf.capacity() < kFirstRead) buf.reserve(kUsualHead);
    readTo(fd, buf, kFirstRead);
    if (buf.size() < 4 || !isJpegStart(buf)) {
        JpegHead other;
        other.otherStart = std::move(buf);
        return other;
    }
    JpegSegmentWalker walker;
    JpegSegment segment;
    bool exifSeen = false;
    while (true) {
        switch (walker.next(buf, segment)) {
        case SegmentStep::Segment:
            if (segment.marker == kMarkerSos) {
                buf.truncate(segment.end());
                return head;
            }
            if (isExifSegmentStart(buf, segment.offset)) exifSeen = true;
            break;
        case SegmentStep::NeedMore: {
            const qint64 pos = walker.position();
            const qint64 needed = walker.needed();
            if (needed > kLimit) return {};
            const uchar marker = buf.size() >= pos + 2 ? uchar(buf[pos + 1]) : 0;
            const bool skippable = (marker >= 0xE0 && marker <= 0xEF) || marker == 0xFE;
            // Enough of a long application segment to tell whether it is the Exif one.
            const qint64 want = skippable && needed > pos + 10 && buf.size() < pos + 10 ? pos + 10 : needed;
            if (skipOtherSegments && want == needed && skippable && needed > pos + 4 &&
                (exifSeen || !isExifSegmentStart(buf, pos))) {
                head.unread.append({buf.size(), needed - buf.size()});
                makeRoom(buf, needed);
                buf.resize(needed, '\0');
                break;
            }
            const qsizetype before = buf.size();
            readTo(fd, buf, want);
            if (buf.size() == before) {
                JpegHead cut;
                cut.exifAlone = exifSegmentAlone(buf);
                return cut;
            }
            break;
        }
        case SegmentStep::EndOfImage:
        case SegmentStep::Invalid:
            return {};
        }
    }
}

std::shared_ptr<const OpenedPhoto> OpenedPhoto::open(const QString& path, Reading reading) {
    std::shared_ptr<OpenedPhoto> photo(new OpenedPhoto);
    photo->m_path = path;
    photo->m_fd = openRegularFile(path, &photo->m_openError);
    if (photo->m_fd < 0) return photo;
    photo->m_head = readJpegHead(photo->m_fd, reading == Reading::GpsItems);
    if (reading == Reading::GpsItems && photo->m_head.otherStart.isEmpty()) {
        ::close(photo->m_fd);
        photo->m_fd = -1;
    }
    return photo;
}

OpenedPhoto::~OpenedPhoto() {
    if (m_fd >= 0) ::close(m_fd);
    headBuffers().give(std::move(m_head.bytes));
    headBuffers().give(std::move(m_head.otherStart));
}

} // namespace vantorel
