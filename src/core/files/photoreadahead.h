// SPDX-License-Identifier: GPL-3.0-or-later
// The photos of a list-wide command, read ahead of it. On a cold disk each photo's head costs a wait
// for the disk, and a command reading one photo after another would wait for each in turn: a few
// threads ahead of it keep several reads in flight, and the command finds each photo already read.
#pragma once

#include "jpeghead.h"

#include <QStringList>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace vantorel {

class PhotoReadAhead {
public:
    // Starts reading `paths` (each opened as OpenedPhoto::Reading::GpsItems) on `threads` threads, at
    // most `ahead` photos beyond the one the command has taken. None is started for one photo.
    explicit PhotoReadAhead(QStringList paths, int ahead = 32, int threads = 3);
    // Stops the threads (reads under way end first).
    ~PhotoReadAhead();
    PhotoReadAhead(const PhotoReadAhead&) = delete;
    PhotoReadAhead& operator=(const PhotoReadAhead&) = delete;

    // paths[index], read: by a thread ahead, or now when none has reached it. Indexes are taken in
    // increasing order; each once. Null for an empty path.
    std::shared_ptr<const OpenedPhoto> take(qsizetype index);

private:
    enum class Slot : unsigned char { Waiting, Reading, Read };
    void run();

    const QStringList m_paths;
    const qsizetype m_ahead;
    std::mutex m_mutex;
    std::condition_variable m_room; // the command moved on: threads may read further
    std::condition_variable m_read; // a photo the command waits for is read
    std::vector<Slot> m_slots;
    std::vector<std::shared_ptr<const OpenedPhoto>> m_photos;
    qsizetype m_next = 0;     // the next photo a thread reads
    qsizetype m_taken = -1;   // the last photo the command took
    qsizetype m_awaited = -1; // the photo the command waits for
    int m_idle = 0;           // threads waiting for room
    bool m_stop = false;
    std::vector<std::thread> m_threads;
};

} // namespace vantorel
