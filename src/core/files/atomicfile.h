// SPDX-License-Identifier: GPL-3.0-or-later
// The one way the program writes a file (map pages, GPX files, photo copies): the bytes go to a
// temporary file beside the target, are flushed to disk, and only then take the target's name, so
// a file appears whole or not at all and an existing file is replaced only by a complete one.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QMutex>
#include <QString>
#include <QVector>
#include <functional>
#include <optional>
#include <sys/types.h>
#include <time.h>

namespace vantorel {

class DurableBatch;

struct AtomicWriteOptions {
    // Permission bits of the new file; by default those of a new file (0666 less the umask).
    std::optional<mode_t> mode;
    // Group of the new file (a copy takes its source's), where this user may give it; else the
    // folder's default.
    std::optional<gid_t> group;
    // Modification time given to the new file (the access time is set to the same).
    std::optional<timespec> modified;
    // Runs on the complete temporary file before it takes the target's name; returning false
    // (with a reason) abandons the write and leaves the target as it was.
    std::function<bool(const QString& tempPath, QString& why)> verify;
    // Flush the file and its folder to disk before and after the rename. A page that is remade
    // for every selection and deleted at the end of the run needs only to appear whole.
    bool durable = true;
    // Test hook: called before each write of bytes; returning false makes that write fail as a
    // full disk would.
    std::function<bool(qint64 offset, qint64 size)> beforeWrite;
    // False: the target's name is taken only while nothing has it; a file that appeared there
    // meanwhile is left as it is and the write fails.
    bool replace = true;
    // Called between the pieces of a long write (writeFileAtomically), so that a window can repaint.
    std::function<void()> progress;
    // Called from the thread that writes, before each piece of copyFrom, with the bytes of the
    // range done so far and its size; returning false abandons the write (cancelled).
    std::function<bool(qint64 done, qint64 total)> copyProgress;
    // With a batch (and durable): commit() leaves the complete, verified temporary file to the
    // batch, which flushes it with the others and gives it its name (see DurableBatch); `batchKey`
    // tells its outcome from the others'.
    DurableBatch* batch = nullptr;
    qint64 batchKey = -1;
};

// Streams a new file to a temporary name beside `target` and puts it in place on commit().
// A symbolic link at the target's name is replaced, never followed. A writer destroyed without
// commit() removes its temporary file.
class AtomicFileWriter {
public:
    explicit AtomicFileWriter(QString target, AtomicWriteOptions options = {});
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    // Creates the temporary file; false (see error()) when the target's folder cannot be written.
    bool open();
    bool write(const char* data, qint64 size);
    bool write(const QByteArray& bytes) { return write(bytes.constData(), bytes.size()); }
    // Appends `size` bytes of the file `fd` from `offset` (in the kernel where it can), leaving
    // the source's holes as holes; fewer bytes than asked (the source shrank) is a failure.
    bool copyFrom(int fd, qint64 offset, qint64 size);
    // Flushes, verifies, renames over the target and flushes the folder. With a batch: verifies
    // and hands the temporary file to the batch, whose flush() does the rest.
    bool commit();
    // Drops the temporary file; the target is left as it was.
    void discard();

    const QString& error() const { return m_error; }
    const QString& tempPath() const { return m_tempPath; }

private:
    bool fail(const QString& why);

    QString m_target;
    AtomicWriteOptions m_options;
    QString m_tempPath;
    QString m_error;
    int m_fd = -1;
    qint64 m_written = 0;
};

// The files of one command over many photos, flushed to disk together instead of one by one:
// each writer given the batch writes and verifies its temporary file; flush() then flushes all of
// them at once (one syncfs per file system), renames each over its target, and flushes each
// folder once. A file never takes its name before its bytes are on disk, so a crash leaves each
// one whole or absent; a failure of one (its flush, its rename) leaves the others written.
// Writers may hand their files from several threads; flush() takes those handed so far.
class DurableBatch {
public:
    struct Outcome {
        qint64 key = -1;     // the writer's AtomicWriteOptions::batchKey
        bool ok = false;     // on disk under its name
        bool exists = false; // not written: something took the name meanwhile (replace off)
        QString error;       // why it failed, naming the file
    };

    DurableBatch();
    // Temporary files never flushed are removed: their targets stay as they were.
    ~DurableBatch();
    DurableBatch(const DurableBatch&) = delete;
    DurableBatch& operator=(const DurableBatch&) = delete;

    // Whether so many files wait (each holds a descriptor) that they should be flushed now.
    bool full() const;
    // How many more files may wait before it is full.
    qsizetype room() const;
    qsizetype pending() const;
    // One outcome per file handed since the last flush, in the order they were handed. A single
    // file is flushed alone (fsync), as a file system's flush would also wait for others' writes.
    QVector<Outcome> flush();

private:
    friend class AtomicFileWriter;
    struct Pending {
        qint64 key = -1;
        int fd = -1;
        dev_t device = 0;
        QString temp, target;
        bool replace = true;
    };
    // Before a file's bytes are written: a descriptor on its folder's file system, through which
    // the flush hears of any failure to write them back.
    void watch(const QString& folder);
    void hand(Pending pending);

    mutable QMutex m_mutex;
    QVector<Pending> m_pending;
    QHash<dev_t, int> m_fileSystems;
    qsizetype m_limit = 0;
};

// Writes `bytes` as the whole of `target` through an AtomicFileWriter. On failure `error` (when
// given) tells why in a sentence naming the file, and the target is untouched.
bool writeFileAtomically(const QString& target, const QByteArray& bytes, QString* error = nullptr,
                         AtomicWriteOptions options = {});

// Creates `path` as a folder only its owner may enter (0700), or checks that an existing one is
// a real folder (not a link) owned by this user with no access for others.
bool ensurePrivateFolder(const QString& path, QString* error = nullptr);

// True when `path` is a real folder (not a link) owned by this user with no access for others.
bool isPrivateFolder(const QString& path);

// Makes a new folder `parent/<prefix>XXXXXX` with a random name that only this user may enter,
// and checks the folder it opened (owner, mode 0700, not a link). Empty (with `error`) on failure;
// an existing folder is never taken.
QString makePrivateFolder(const QString& parent, const QString& prefix, QString* error = nullptr);

} // namespace vantorel
