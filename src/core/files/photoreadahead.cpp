// SPDX-License-Identifier: GPL-3.0-or-later
#include "photoreadahead.h"

namespace vantorel {
namespace {

std::shared_ptr<const OpenedPhoto> readPhoto(const QString& path) {
    return path.isEmpty() ? nullptr : OpenedPhoto::open(path, OpenedPhoto::Reading::GpsItems);
}

} // namespace

PhotoReadAhead::PhotoReadAhead(QStringList paths, int ahead, int threads)
    : m_paths(std::move(paths)), m_ahead(std::max(1, ahead)) {
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
        lock.unlock();
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
