// SPDX-License-Identifier: GPL-3.0-or-later
#include "atomicfile.h"

#include "pathnames.h"
#include "systemerror.h"

#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QRandomGenerator>
#include <QSet>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantorel {
namespace {

QString systemError(int err) {
    return systemErrorText(err);
}

QByteArray localName(const QString& path) {
    return encodePath(path);
}

// The folder part of a path ("." for a bare name).
QString folderOf(const QString& path) {
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash < 0) return QStringLiteral(".");
    if (slash == 0) return QStringLiteral("/");
    return path.left(slash);
}

void syncFolder(const QString& folder) {
    const int fd = ::open(localName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// Whether `name` (a file of the folder `dirfd`) is a temporary file of ours that a writer killed
// before its rename left: a regular file of this user, untouched for over a minute.
bool isStaleTemporary(int dirfd, const char* name) {
    struct stat st {};
    if (::fstatat(dirfd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return S_ISREG(st.st_mode) && st.st_uid == ::geteuid() && now.tv_sec - st.st_mtim.tv_sec > 60;
}

// Whether `name` has the shape of a copy's temporary of ours ("#x.jpg.part", "~x.jpg.part",
// "#x.jpg.<8 hex digits>.part"). Other programs' ".part" files (a browser's downloads) are never
// taken, whatever their age.
bool isCopyTemporaryName(const QByteArray& name) {
    return (name.startsWith('#') || name.startsWith('~')) && name.endsWith(".part") && name.size() > 6;
}

void removeStaleIn(int dirfd, const std::function<bool(const QByteArray&)>& ours) {
    DIR* dir = ::fdopendir(::dup(dirfd));
    while (dirent* entry = dir ? ::readdir(dir) : nullptr) {
        const QByteArray name(entry->d_name);
        if (ours(name) && isStaleTemporary(dirfd, name.constData())) ::unlinkat(dirfd, name.constData(), 0);
    }
    if (dir) ::closedir(dir);
}

// Folders whose stale copy temporaries this run has already removed: each folder is listed once,
// so a thousand copies into a folder of ten thousand photos do not read it a thousand times.
bool firstWriteInto(const QByteArray& folder) {
    static QMutex mutex;
    static QSet<QByteArray> seen;
    const QMutexLocker lock(&mutex);
    if (seen.contains(folder)) return false;
    seen.insert(folder);
    return true;
}

// Removes stale temporaries that killed writers left: those of `target` ("name.part" and
// "name.<8 hex digits>.part"), and, on the run's first write into the folder, those of every copy
// of ours there. A writer takes "name.<hex>.part" only while "name.part" is there, so the folder is
// listed for the target's own only when "name.part" is.
void removeStaleTemporaries(const QString& target) {
    const QByteArray path = localName(target);
    const QByteArray folder = localName(folderOf(target));
    const bool firstWrite = firstWriteInto(folder);
    struct stat st {};
    const bool ownLeft = ::lstat((path + ".part").constData(), &st) == 0;
    if (!firstWrite && !ownLeft) return;
    const QByteArray base = path.mid(path.lastIndexOf('/') + 1);
    const int dirfd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirfd < 0) return;
    removeStaleIn(dirfd, [&](const QByteArray& name) {
        if (firstWrite && isCopyTemporaryName(name)) return true;
        if (!name.startsWith(base) || !name.endsWith(".part")) return false;
        const QByteArray middle = name.mid(base.size(), name.size() - base.size() - 5);
        return middle.isEmpty() || (middle.size() == 9 && middle[0] == '.' &&
                                    std::all_of(middle.begin() + 1, middle.end(), [](char c) {
                                        return std::isxdigit(uchar(c)) && !std::isupper(uchar(c));
                                    }));
    });
    ::close(dirfd);
}

mode_t defaultMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace

AtomicFileWriter::AtomicFileWriter(QString target, AtomicWriteOptions options)
    : m_target(std::move(target)), m_options(std::move(options)) {}

AtomicFileWriter::~AtomicFileWriter() {
    discard();
}

namespace {

// The kernel's rename that fails when the new name exists; a file system without it gets a hard
// link (which never replaces either) and the temporary name's removal.
bool renameWithoutReplacing(const QByteArray& from, const QByteArray& to) {
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    if (::link(from.constData(), to.constData()) != 0) return false;
    ::unlink(from.constData());
    return true;
}

} // namespace

bool AtomicFileWriter::fail(const QString& why) {
    m_error = why;
    discard();
    return false;
}

bool AtomicFileWriter::open() {
    discard();
    m_error.clear();
    if (m_target.isEmpty() || m_target.endsWith(u'/')) return fail(QStringLiteral("nom de fichier vide"));
    // "name.part" beside the target. O_EXCL never opens an existing file or follows a link.
    // Temporaries of this target that a killed writer left are removed first.
    removeStaleTemporaries(m_target);
    if (m_options.batch && m_options.durable) m_options.batch->watch(folderOf(m_target));
    for (int attempt = 0; attempt < 8; ++attempt) {
        const QString candidate = attempt == 0 ? m_target + QStringLiteral(".part")
                                               : m_target + QStringLiteral(".%1.part")
                                                                .arg(QRandomGenerator::global()->generate(),
                                                                     8, 16, QLatin1Char('0'));
        const int fd = ::open(localName(candidate).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0) {
            m_fd = fd;
            m_tempPath = candidate;
            m_written = 0;
            return true;
        }
        if (errno != EEXIST) {
            const int err = errno;
            return fail(QStringLiteral("impossible de créer %1 : %2").arg(candidate, systemError(err)));
        }
        // A regular file there is another write in progress or one a crash left: another name
        // is taken. Anything else (a folder, a link) was put there on purpose: refused.
        struct stat st {};
        if (::lstat(localName(candidate).constData(), &st) == 0 && !S_ISREG(st.st_mode))
            return fail(QStringLiteral("impossible de créer %1 : le nom est pris").arg(candidate));
    }
    return fail(QStringLiteral("impossible de créer un fichier temporaire à côté de %1").arg(m_target));
}

bool AtomicFileWriter::write(const char* data, qint64 size) {
    if (m_fd < 0) return fail(m_error.isEmpty() ? QStringLiteral("fichier non ouvert") : m_error);
    if (m_options.beforeWrite && !m_options.beforeWrite(m_written, size))
        return fail(QStringLiteral("écriture de %1 : %2").arg(m_tempPath, systemError(ENOSPC)));
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = ::write(m_fd, data + done, size_t(size - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int err = n < 0 ? errno : ENOSPC;
            return fail(QStringLiteral("écriture de %1 : %2").arg(m_tempPath, systemError(err)));
        }
        done += n;
    }
    m_written += size;
    return true;
}

bool AtomicFileWriter::copyFrom(int fd, qint64 offset, qint64 size) {
    if (m_fd < 0) return fail(m_error.isEmpty() ? QStringLiteral("fichier non ouvert") : m_error);
    if (size < 0) return fail(QStringLiteral("écriture de %1 : taille négative").arg(m_tempPath));
    if (m_options.beforeWrite && !m_options.beforeWrite(m_written, size))
        return fail(QStringLiteral("écriture de %1 : %2").arg(m_tempPath, systemError(ENOSPC)));
    const QString shrank = QStringLiteral("écriture de %1 : la source a raccourci").arg(m_tempPath);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_size < offset + size) return fail(shrank);
    // Pieces small enough for a progress bar to move and a cancel to be heard soon.
    constexpr qint64 kPiece = qint64(8) << 20;
    const qint64 end = offset + size;
    qint64 from = offset;
    bool kernelCopy = true;
    QByteArray buffer;
    while (from < end) {
        if (m_options.copyProgress && !m_options.copyProgress(from - offset, size))
            return fail(QStringLiteral("écriture de %1 : copie annulée").arg(m_tempPath));
        // The holes of a sparse source stay holes: only its data is copied. A file system that
        // cannot tell says the whole file is data.
        const off_t data = ::lseek(fd, from, SEEK_DATA);
        const qint64 dataStart = data >= 0 ? qint64(data) : (errno == ENXIO ? end : from);
        if (dataStart > from) {
            const qint64 hole = std::min(dataStart, end) - from;
            if (::lseek(m_fd, hole, SEEK_CUR) < 0) {
                const int err = errno;
                return fail(QStringLiteral("écriture de %1 : %2").arg(m_tempPath, systemError(err)));
            }
            from += hole;
            m_written += hole;
            continue;
        }
        const off_t hole = ::lseek(fd, from, SEEK_HOLE);
        const qint64 dataEnd = hole > from ? qint64(hole) : end;
        loff_t in = from;
        const qint64 pieceEnd = std::min({dataEnd, end, from + kPiece});
        while (in < pieceEnd) {
            const size_t chunk = size_t(pieceEnd - in);
            if (kernelCopy) {
                const ssize_t n = ::copy_file_range(fd, &in, m_fd, nullptr, chunk, 0);
                if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
                    kernelCopy = false; // a file system that cannot: through a buffer
                    continue;
                }
                if (n < 0 && errno == EINTR) continue;
                if (n < 0) {
                    const int err = errno;
                    return fail(QStringLiteral("écriture de %1 : %2").arg(m_tempPath, systemError(err)));
                }
                if (n == 0) return fail(shrank);
                m_written += n;
                continue;
            }
            if (buffer.isEmpty()) buffer.resize(1 << 20);
            const ssize_t n = ::pread(fd, buffer.data(), std::min<size_t>(chunk, size_t(buffer.size())), in);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                const int err = errno;
                return fail(QStringLiteral("lecture pour %1 : %2").arg(m_tempPath, systemError(err)));
            }
            if (n == 0) return fail(shrank);
            if (!write(buffer.constData(), n)) return false;
            in += n;
        }
        from = pieceEnd;
    }
    // A hole at the end of the range: the file still takes its whole length.
    if (::ftruncate(m_fd, m_written) != 0) {
        const int err = errno;
        return fail(QStringLiteral("écriture de %1 : %2").arg(m_tempPath, systemError(err)));
    }
    return true;
}

bool AtomicFileWriter::commit() {
    if (m_fd < 0) return fail(m_error.isEmpty() ? QStringLiteral("fichier non ouvert") : m_error);
    const mode_t mode = m_options.mode ? *m_options.mode : defaultMode(); // the umask asked only when needed
    // Before the mode: a change of group clears the set-group-id bit.
    if (m_options.group) (void)::fchown(m_fd, uid_t(-1), *m_options.group);
    if (::fchmod(m_fd, mode & 07777) != 0) {
        const int err = errno;
        return fail(QStringLiteral("droits de %1 : %2").arg(m_tempPath, systemError(err)));
    }
    DurableBatch* const batch = m_options.durable ? m_options.batch : nullptr;
    if (m_options.durable && !batch && ::fsync(m_fd) != 0) {
        const int err = errno;
        return fail(QStringLiteral("écriture de %1 : %2").arg(m_tempPath, systemError(err)));
    }
    if (m_options.modified) {
        const timespec times[2] = {*m_options.modified, *m_options.modified};
        ::futimens(m_fd, times);
    }
    if (batch) {
        // The batch flushes the file and renames it; its descriptor stays open until then, so that
        // a failure to write its bytes back is heard.
        if (m_options.verify) {
            QString why;
            if (!m_options.verify(m_tempPath, why))
                return fail(why.isEmpty() ? QStringLiteral("le fichier écrit ne se relit pas") : why);
        }
        struct stat st {};
        if (::fstat(m_fd, &st) != 0) {
            const int err = errno;
            return fail(QStringLiteral("écriture de %1 : %2").arg(m_tempPath, systemError(err)));
        }
        // The disk starts on its bytes now, while the next files are made; the batch's flush waits
        // for what is left.
        ::sync_file_range(m_fd, 0, 0, SYNC_FILE_RANGE_WRITE);
        batch->hand({m_options.batchKey, m_fd, st.st_dev, m_tempPath, m_target, m_options.replace});
        m_fd = -1;
        m_tempPath.clear();
        return true;
    }
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0) {
        const int err = errno;
        m_fd = -1;
        return fail(QStringLiteral("écriture de %1 : %2").arg(m_tempPath, systemError(err)));
    }
    if (m_options.verify) {
        QString why;
        if (!m_options.verify(m_tempPath, why))
            return fail(why.isEmpty() ? QStringLiteral("le fichier écrit ne se relit pas") : why);
    }
    if (!m_options.replace) {
        if (!renameWithoutReplacing(localName(m_tempPath), localName(m_target))) {
            const int err = errno;
            return fail(err == EEXIST
                            ? QStringLiteral("%1 existe déjà").arg(m_target)
                            : QStringLiteral("impossible de créer %1 : %2").arg(m_target, systemError(err)));
        }
    } else if (::rename(localName(m_tempPath).constData(), localName(m_target).constData()) != 0) {
        // rename() replaces whatever has the target's name (a link included) without following it.
        const int err = errno;
        return fail(QStringLiteral("impossible de remplacer %1 : %2").arg(m_target, systemError(err)));
    }
    m_tempPath.clear();
    if (m_options.durable) syncFolder(folderOf(m_target));
    return true;
}

void AtomicFileWriter::discard() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_tempPath.isEmpty()) {
        ::unlink(localName(m_tempPath).constData());
        m_tempPath.clear();
    }
}

DurableBatch::DurableBatch() {
    // Each waiting file holds a descriptor: a quarter of what the process may open, at most 256.
    rlimit files{};
    const rlim_t soft = ::getrlimit(RLIMIT_NOFILE, &files) == 0 ? files.rlim_cur : 1024;
    m_limit = qsizetype(std::clamp<rlim_t>(soft / 4, 8, 256));
}

DurableBatch::~DurableBatch() {
    for (const Pending& p : std::as_const(m_pending)) {
        ::close(p.fd);
        ::unlink(localName(p.temp).constData());
    }
    for (int fd : std::as_const(m_fileSystems))
        ::close(fd);
}

bool DurableBatch::full() const {
    const QMutexLocker lock(&m_mutex);
    return m_pending.size() >= m_limit;
}

qsizetype DurableBatch::room() const {
    const QMutexLocker lock(&m_mutex);
    return std::max<qsizetype>(0, m_limit - m_pending.size());
}

qsizetype DurableBatch::pending() const {
    const QMutexLocker lock(&m_mutex);
    return m_pending.size();
}

void DurableBatch::watch(const QString& folder) {
    struct stat st {};
    if (::stat(localName(folder).constData(), &st) != 0) return;
    const QMutexLocker lock(&m_mutex);
    if (m_fileSystems.contains(st.st_dev)) return;
    const int fd = ::open(localName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) m_fileSystems.insert(st.st_dev, fd);
}

void DurableBatch::hand(Pending pending) {
    const QMutexLocker lock(&m_mutex);
    m_pending.append(std::move(pending));
}

QVector<DurableBatch::Outcome> DurableBatch::flush() {
    QVector<Pending> files;
    QHash<dev_t, int> fileSystems;
    {
        const QMutexLocker lock(&m_mutex);
        files.swap(m_pending);
        fileSystems = m_fileSystems;
    }
    QVector<Outcome> outcomes(files.size());
    // Every file system once; where its flush fails (or was not watched), each file alone, so that
    // only the files that could not be written fail.
    QSet<dev_t> flushed;
    if (files.size() > 1)
        for (auto it = fileSystems.cbegin(); it != fileSystems.cend(); ++it)
            if (::syncfs(it.value()) == 0) flushed.insert(it.key());
    QSet<QString> folders;
    for (qsizetype i = 0; i < files.size(); ++i) {
        const Pending& p = files[i];
        Outcome& o = outcomes[i];
        o.key = p.key;
        int err = 0;
        if (!flushed.contains(p.device) && ::fsync(p.fd) != 0) err = errno;
        // A descriptor that hears of a failed write-back only now: the bytes are not on disk.
        if (::close(p.fd) != 0 && !err && errno != EINTR) err = errno;
        if (err) {
            o.error = QStringLiteral("écriture de %1 : %2").arg(p.temp, systemError(err));
            ::unlink(localName(p.temp).constData());
            continue;
        }
        if (!p.replace) {
            if (!renameWithoutReplacing(localName(p.temp), localName(p.target))) {
                err = errno;
                o.exists = err == EEXIST;
                o.error = o.exists
                              ? QStringLiteral("%1 existe déjà").arg(p.target)
                              : QStringLiteral("impossible de créer %1 : %2").arg(p.target, systemError(err));
            }
        } else if (::rename(localName(p.temp).constData(), localName(p.target).constData()) != 0) {
            err = errno;
            o.error = QStringLiteral("impossible de remplacer %1 : %2").arg(p.target, systemError(err));
        }
        if (err) {
            ::unlink(localName(p.temp).constData());
            continue;
        }
        o.ok = true;
        folders.insert(folderOf(p.target));
    }
    for (const QString& folder : std::as_const(folders))
        syncFolder(folder);
    return outcomes;
}

bool writeFileAtomically(const QString& target, const QByteArray& bytes, QString* error,
                         AtomicWriteOptions options) {
    // Pieces of a few milliseconds' writing each, when someone waits between them.
    constexpr qint64 kPiece = 4 * 1024 * 1024;
    const std::function<void()> progress = options.progress;
    AtomicFileWriter writer(target, std::move(options));
    bool ok = writer.open();
    for (qint64 done = 0; ok && done < bytes.size(); done += kPiece) {
        if (progress && done > 0) progress();
        ok = writer.write(bytes.constData() + done, std::min(kPiece, bytes.size() - done));
    }
    ok = ok && writer.commit();
    if (!ok && error) *error = writer.error();
    return ok;
}

bool ensurePrivateFolder(const QString& path, QString* error) {
    auto fail = [&](const QString& why) {
        if (error) *error = why;
        return false;
    };
    const QByteArray name = localName(path);
    if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST) {
        const int err = errno;
        return fail(QStringLiteral("impossible de créer %1 : %2").arg(path, systemError(err)));
    }
    struct stat st {};
    if (::lstat(name.constData(), &st) != 0) {
        const int err = errno;
        return fail(QStringLiteral("%1 : %2").arg(path, systemError(err)));
    }
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        return fail(QStringLiteral("%1 n'est pas un dossier de l'utilisateur").arg(path));
    if ((st.st_mode & 077) != 0 && ::chmod(name.constData(), 0700) != 0)
        return fail(QStringLiteral("%1 est ouvert aux autres utilisateurs").arg(path));
    return true;
}

bool isPrivateFolder(const QString& path) {
    struct stat st {};
    return !path.isEmpty() && ::lstat(localName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
           st.st_uid == ::geteuid() && (st.st_mode & 077) == 0;
}

QString makePrivateFolder(const QString& parent, const QString& prefix, QString* error) {
    auto fail = [&](const QString& why) {
        if (error) *error = why;
        return QString();
    };
    QByteArray name = localName(QDir(parent).filePath(prefix + QStringLiteral("XXXXXX")));
    if (!::mkdtemp(name.data())) {
        const int err = errno;
        return fail(
            QStringLiteral("impossible de créer un dossier dans %1 : %2").arg(parent, systemError(err)));
    }
    const QString path = decodePath(name);
    // What was made is checked through a descriptor of the folder itself, never through its name alone.
    const int fd = ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st {};
    const bool own = fd >= 0 && ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
                     (st.st_mode & 0777) == 0700;
    if (fd >= 0) ::close(fd);
    if (!own) return fail(QStringLiteral("%1 n'est pas un dossier privé de l'utilisateur").arg(path));
    return path;
}

} // namespace vantorel
