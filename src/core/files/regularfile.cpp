#include "regularfile.h"

#include <QFile>

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

} // namespace vantorel
