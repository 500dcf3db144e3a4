#include "mappagefile.h"

#include "files/atomicfile.h"
#include "files/pathnames.h"

#include <QDir>
#include <unistd.h>

namespace vantorel {

bool MapPageFolder::writePage(const QString& tempDir, const QByteArray& page, QString* error,
                              const std::function<void()>& progress) {
    if (m_folder.isEmpty() || m_parent != tempDir) {
        remove();
        m_folder = makePrivateFolder(tempDir, QStringLiteral("vantorel-"), error);
        if (m_folder.isEmpty()) return false;
        m_parent = tempDir;
    }
    AtomicWriteOptions options;
    options.mode = 0600;
    options.durable = false;
    options.progress = progress;
    const QString path = pagePath(tempDir);
    // Renaming over the previous page makes some file systems flush it at once (ext4's
    // replace-by-rename guard): the old page goes first; the new one still appears whole.
    ::unlink(encodePath(path).constData());
    return writeFileAtomically(path, page, error, options);
}

QString MapPageFolder::pagePath(const QString& tempDir) const {
    const QString folder = !m_folder.isEmpty() && m_parent == tempDir ? m_folder : tempDir;
    return QDir(folder).filePath(kMapPageName);
}

void MapPageFolder::remove() {
    if (m_folder.isEmpty()) return;
    ::unlink(encodePath(QDir(m_folder).filePath(kMapPageName)).constData());
    ::rmdir(encodePath(m_folder).constData());
    m_folder.clear();
    m_parent.clear();
}

} // namespace vantorel
