// SPDX-License-Identifier: GPL-3.0-or-later
#include "regularfile.h"

#include "pathnames.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantorel {

namespace {

const QString kMissing = QStringLiteral("fichier introuvable");
const QString kNotRegular =
    QStringLiteral("ce n'est pas un fichier ordinaire (dossier, tube ou périphérique)");
const QString kDenied = QStringLiteral("lecture non autorisée");
const QString kNameTooLong = QStringLiteral("nom trop long");
const QString kNameUnreadable = QStringLiteral("le nom du fichier ne peut pas être lu");
const QString kUnsupportedFormat = QStringLiteral("format non pris en charge");
const QString kOther = QStringLiteral("lecture impossible");

FileOpenError errorOfErrno(int error, const QString& path) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return path.contains(QChar::ReplacementCharacter) ? FileOpenError::NameUnreadable
                                                          : FileOpenError::Missing;
    case EACCES:
    case EPERM:
        return FileOpenError::Denied;
    case ENAMETOOLONG:
        return FileOpenError::NameTooLong;
    case EISDIR:
        return FileOpenError::NotRegular;
    default:
        return FileOpenError::Other;
    }
}

} // namespace

int openRegularFile(const QString& path, FileOpenError* why) {
    FileOpenError ignored;
    FileOpenError& error = why ? *why : ignored;
    error = FileOpenError::None;
    const QByteArray name = encodePath(path);
    if (name.isEmpty() || name.contains('\0')) {
        error = FileOpenError::Missing;
        return -1;
    }
    // O_NONBLOCK keeps the open itself from waiting on a pipe; it changes nothing for a regular file.
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = errorOfErrno(errno, path);
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        error = FileOpenError::NotRegular;
        return -1;
    }
    return fd;
}

QString fileOpenErrorText(FileOpenError error) {
    switch (error) {
    case FileOpenError::Missing:
        return kMissing;
    case FileOpenError::NotRegular:
        return kNotRegular;
    case FileOpenError::Denied:
        return kDenied;
    case FileOpenError::NameTooLong:
        return kNameTooLong;
    case FileOpenError::NameUnreadable:
        return kNameUnreadable;
    case FileOpenError::UnsupportedFormat:
        return kUnsupportedFormat;
    case FileOpenError::None:
    case FileOpenError::Other:
        break;
    }
    return kOther;
}

QString unreadableFileReason(const QString& path) {
    FileOpenError error = FileOpenError::None;
    const int fd = openRegularFile(path, &error);
    if (fd < 0) return QStringLiteral("%1 : %2").arg(path, fileOpenErrorText(error));
    ::close(fd);
    return {};
}

std::optional<QByteArray> readWholeFile(int fd, qint64 limit) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_size > limit) return std::nullopt;
    QByteArray bytes;
    bytes.resize(qsizetype(st.st_size));
    qint64 got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::pread(fd, bytes.data() + got, size_t(bytes.size() - got), got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) break; // the file shrank while it was read
        got += n;
    }
    bytes.truncate(qsizetype(got));
    return bytes;
}

} // namespace vantorel
