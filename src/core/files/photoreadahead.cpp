#include "photoreadahead.h"

#include <QFile>
#include <algorithm>
#include <fcntl.h>
#include <unistd.h>

namespace vantorel {
namespace {

std::shared_ptr<const OpenedPhoto> readPhoto(const QString& path) {
    return path.isEmpty() ? nullptr : OpenedPhoto::open(path, OpenedPhoto::Reading::GpsItems);
}

// Asks the kernel to start reading the photo's head; the read that follows finds it in memory.
void hintHead(const QString& path) {
    if (path.isEmpty()) return;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return;
    ::posix_fadvise(fd, 0, kJpegHeadFirstRead, POSIX_FADV_WILLNEED);
    ::close(fd);
}

// At most this many hints at a time, so that a thread is not long away from its own reads.
constexpr qsizetype kHintBatch = 8;

} // namespace

PhotoReadAhead::PhotoReadAhead(QStringList paths, int ahead, int threads, int prefetch)
    : m_paths(std::move(paths)), m_ahead(std::max(1, ahead)), m_prefetch(std::max(0, prefetch)) {
    if (m_paths.size() < 2) return;
    m_slots.assign(std::size_t(m_paths.size()), Slot::Waiting);
    m_photos.resize(std::size_t(m_paths.size()));
    const int count = int(std::min<qsizetype>(std::max(1, threads), m_paths.size()));
    m_threads.reserve(std::size_t(count));
    for (int i = 0; i < count; ++i)
        m_threads.emplace_back([this] { run(); });
}

PhotoReadAhead::~PhotoReadAhead() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_room.notify_all();
    for (std::thread& t : m_threads)
        t.join();
}

void PhotoReadAhead::run() {
    std::unique_lock lock(m_mutex);
    while (true) {
        if (!m_stop && m_next < m_paths.size() && m_next > m_taken + m_ahead) {
            ++m_idle;
            m_room.wait(lock,
                        [this] { return m_stop || m_next >= m_paths.size() || m_next <= m_taken + m_ahead; });
            --m_idle;
        }
        if (m_stop || m_next >= m_paths.size()) return;
        const qsizetype index = m_next++;
        m_slots[std::size_t(index)] = Slot::Reading;
        // The photos further on: hinted by whichever thread passes, a batch at a time, from beyond
        // the one this thread reads (it is read at once anyway).
        m_hinted = std::max(m_hinted, index + 1);
        const qsizetype hintFrom = m_hinted;
        const qsizetype hintTo = std::min({m_paths.size(), index + 1 + m_prefetch, hintFrom + kHintBatch});
        m_hinted = std::max(m_hinted, hintTo);
        lock.unlock();
        for (qsizetype i = hintFrom; i < hintTo; ++i)
            hintHead(m_paths[i]);
        auto photo = readPhoto(m_paths[index]);
        lock.lock();
        m_photos[std::size_t(index)] = std::move(photo);
        m_slots[std::size_t(index)] = Slot::Read;
        if (m_awaited == index) m_read.notify_one();
    }
}

std::shared_ptr<const OpenedPhoto> PhotoReadAhead::take(qsizetype index) {
    if (index < 0 || index >= m_paths.size()) return nullptr;
    if (m_threads.empty()) return readPhoto(m_paths[index]);
    std::unique_lock lock(m_mutex);
    m_taken = std::max(m_taken, index);
    // Waking the threads for every photo would cost more than it saves: they go on in batches.
    if (m_idle > 0 && m_next <= m_taken + m_ahead / 2) m_room.notify_all();
    const auto at = std::size_t(index);
    if (m_slots[at] == Slot::Waiting) {
        // No thread has come this far: read it here, and the threads go on after it.
        m_slots[at] = Slot::Read;
        m_next = std::max(m_next, index + 1);
        lock.unlock();
        return readPhoto(m_paths[index]);
    }
    m_awaited = index;
    m_read.wait(lock, [&] { return m_slots[at] == Slot::Read; });
    m_awaited = -1;
    return std::move(m_photos[at]);
}

} // namespace vantorel
