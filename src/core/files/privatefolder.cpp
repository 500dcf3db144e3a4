// SPDX-License-Identifier: GPL-3.0-or-later
#include "privatefolder.h"

#include "pathnames.h"
#include "systemerror.h"

#include <QDir>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <cerrno>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantorel {
namespace {

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool privateDirectory(const struct stat& st) {
    return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 0777) == 0700;
}

// Removes what this user owns inside the folder `fd`, sub-folders first; links are removed, never
// followed. The depth is bounded: a deeper tree is left.
void removeContents(int fd, int depth = 0) {
    if (depth > 16) return;
    DIR* dir = ::fdopendir(::dup(fd));
    if (!dir) return;
    ::rewinddir(dir);
    QList<QByteArray> names;
    while (dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..") names << name;
    }
    ::closedir(dir);
    for (const QByteArray& name : std::as_const(names)) {
        struct stat st {};
        if (::fstatat(fd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 || st.st_uid != ::geteuid())
            continue;
        if (S_ISDIR(st.st_mode)) {
            const int sub = ::openat(fd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub < 0) continue;
            removeContents(sub, depth + 1);
            ::close(sub);
            ::unlinkat(fd, name.constData(), AT_REMOVEDIR);
        } else {
            ::unlinkat(fd, name.constData(), 0);
        }
    }
}

} // namespace

bool PrivateFolder::create(const QString& parent, const QString& prefix, QString* error) {
    remove();
    auto fail = [&](const QString& why) {
        if (error) *error = why;
        remove();
        return false;
    };
    m_parentFd = ::open(encodePath(parent).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_parentFd < 0) {
        const int err = errno;
        return fail(QStringLiteral("impossible d'ouvrir %1 : %2").arg(parent, systemErrorText(err)));
    }
    for (int attempt = 0; attempt < 16 && m_fd < 0; ++attempt) {
        const QString name =
            prefix + QString::number(::getpid()) + u'-' +
            QString::number(QRandomGenerator::system()->generate64() & 0xFFFFFFFFFFFFull, 36);
        const QByteArray local = encodePath(name);
        if (::mkdirat(m_parentFd, local.constData(), 0700) != 0) {
            if (errno == EEXIST) continue;
            const int err = errno;
            return fail(QStringLiteral("impossible de créer un dossier dans %1 : %2")
                            .arg(parent, systemErrorText(err)));
        }
        m_name = name;
        // What was made is checked through a descriptor of the folder itself, never through its name.
        m_fd = ::openat(m_parentFd, local.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    }
    struct stat st {};
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0 || !privateDirectory(st))
        return fail(QStringLiteral("%1 n'est pas un dossier privé de l'utilisateur").arg(parent));
    m_path = QDir(parent).filePath(m_name);
    return true;
}

QString PrivateFolder::throughDescriptor(const QString& name) const {
    return QStringLiteral("/proc/self/fd/%1/%2").arg(m_fd).arg(name);
}

bool PrivateFolder::stillAtItsPath() const {
    struct stat held {
    }, named{};
    return m_fd >= 0 && ::fstat(m_fd, &held) == 0 &&
           ::fstatat(m_parentFd, encodePath(m_name).constData(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
           sameFile(held, named);
}

void PrivateFolder::remember(const QString& name) {
    if (!m_files.contains(name)) m_files << name;
}

void PrivateFolder::remove() {
    if (m_fd >= 0) {
        for (const QString& file : std::as_const(m_files))
            ::unlinkat(m_fd, encodePath(file).constData(), 0);
        // Only the folder that was made, and only when it is empty now.
        if (stillAtItsPath()) ::unlinkat(m_parentFd, encodePath(m_name).constData(), AT_REMOVEDIR);
        ::close(m_fd);
    }
    if (m_parentFd >= 0) ::close(m_parentFd);
    m_fd = m_parentFd = -1;
    m_files.clear();
    m_path.clear();
    m_name.clear();
}

void PrivateFolder::removeAll() {
    if (m_fd >= 0) removeContents(m_fd);
    remove();
}

int removeStalePrivateFolders(const QString& parent, const QString& prefix, const QStringList& ours) {
    const int parentFd = ::open(encodePath(parent).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parentFd < 0) return 0;
    const QRegularExpression pattern(
        QStringLiteral("^%1(\\d+)-[0-9a-z]+$").arg(QRegularExpression::escape(prefix)));
    int removed = 0;
    DIR* dir = ::fdopendir(::dup(parentFd));
    while (dirent* entry = dir ? ::readdir(dir) : nullptr) {
        const QString name = decodePath(entry->d_name);
        const QRegularExpressionMatch match = pattern.match(name);
        if (!match.hasMatch()) continue;
        const pid_t pid = pid_t(match.captured(1).toLongLong());
        // A live process of that number may be an earlier run still open: left alone.
        if (pid <= 0 || pid == ::getpid() || ::kill(pid, 0) == 0 || errno != ESRCH) continue;
        const int fd = ::openat(parentFd, entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        struct stat st {};
        if (fd < 0) continue;
        if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid()) {
            if (ours.isEmpty()) removeContents(fd);
            DIR* inside = ours.isEmpty() ? nullptr : ::fdopendir(::dup(fd));
            QList<QByteArray> files;
            while (dirent* file = inside ? ::readdir(inside) : nullptr) {
                const QString fileName = decodePath(file->d_name);
                const bool known = std::any_of(ours.begin(), ours.end(), [&](const QString& own) {
                    return fileName == own ||
                           (fileName.startsWith(own + u'.') && fileName.endsWith(u".part"));
                });
                if (known) files << QByteArray(file->d_name);
            }
            if (inside) ::closedir(inside);
            for (const QByteArray& file : std::as_const(files)) {
                struct stat fileStat {};
                if (::fstatat(fd, file.constData(), &fileStat, AT_SYMLINK_NOFOLLOW) == 0 &&
                    S_ISREG(fileStat.st_mode) && fileStat.st_uid == ::geteuid())
                    ::unlinkat(fd, file.constData(), 0);
            }
            struct stat named {};
            if (::fstatat(parentFd, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 && sameFile(named, st) &&
                ::unlinkat(parentFd, entry->d_name, AT_REMOVEDIR) == 0)
                ++removed;
        }
        ::close(fd);
    }
    if (dir) ::closedir(dir);
    ::close(parentFd);
    return removed;
}

} // namespace vantorel
