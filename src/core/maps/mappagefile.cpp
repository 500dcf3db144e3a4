#include "mappagefile.h"

#include "files/atomicfile.h"

#include <QDir>
#include <QFile>
#include <unistd.h>

namespace vantorel {

QString mapPageFolder(const QString& tempDir) {
    return QDir(tempDir).filePath(QStringLiteral("vantorel-%1").arg(getuid()));
}

QString mapPagePath(const QString& tempDir, const QString& name) {
    return QDir(mapPageFolder(tempDir)).filePath(name);
}

bool writeMapPage(const QString& tempDir, const QByteArray& page, QString* error,
                  const std::function<void()>& progress, const QString& name) {
    if (!ensurePrivateFolder(mapPageFolder(tempDir), error)) return false;
    AtomicWriteOptions options;
    options.mode = 0600;
    options.durable = false;
    options.progress = progress;
    // Renaming over the previous page makes some file systems flush it at once (ext4's
    // replace-by-rename guard): the old page goes first; the new one still appears whole.
    ::unlink(QFile::encodeName(mapPagePath(tempDir, name)).constData());
    return writeFileAtomically(mapPagePath(tempDir, name), page, error, options);
}

void removeMapPage(const QString& tempDir) {
    if (tempDir.isEmpty()) return;
    // Only our own private folder: never act on a folder someone else made at that name.
    if (!ensurePrivateFolder(mapPageFolder(tempDir))) return;
    QFile::remove(mapPagePath(tempDir));
    QDir().rmdir(mapPageFolder(tempDir));
}

} // namespace vantorel
