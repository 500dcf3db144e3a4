#include "regularfile.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantorel {

int openRegularFile(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    if (name.isEmpty()) return -1;
    // O_NONBLOCK keeps the open itself from waiting on a pipe; it changes nothing for a regular file.
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
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
