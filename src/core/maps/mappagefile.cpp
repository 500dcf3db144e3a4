// SPDX-License-Identifier: GPL-3.0-or-later
#include "mappagefile.h"

#include "files/atomicfile.h"
#include "files/pathnames.h"
#include "text/escape.h"

#include <QDir>
#include <unistd.h>

namespace vantorel {

bool MapPageFolder::writePage(const QString& tempDir, const QByteArray& page, QString* error,
                              const std::function<void()>& progress) {
    return writeFile(tempDir, kMapPageName, page, error, progress);
}

bool MapPageFolder::writeFile(const QString& tempDir, const QString& name, const QByteArray& bytes,
                              QString* error, const std::function<void()>& progress) {
    if (!m_folder.isOpen() || m_parent != tempDir) {
        remove();
        if (!m_folder.create(tempDir, kMapFolderPrefix, error)) return false;
        m_parent = tempDir;
    }
    AtomicWriteOptions options;
    options.mode = 0600;
    options.durable = false;
    options.progress = progress;
    // Written through the folder's descriptor: a folder put in its place later gets nothing.
    const QString path = m_folder.throughDescriptor(name);
    m_folder.remember(name);
    // Renaming over the previous page makes some file systems flush it at once (ext4's
    // replace-by-rename guard): the old page goes first; the new one still appears whole.
    ::unlink(encodePath(path).constData());
    return writeFileAtomically(path, bytes, error, options);
}

QString MapPageFolder::filePath(const QString& tempDir, const QString& name) const {
    const QString folder = m_folder.isOpen() && m_parent == tempDir ? m_folder.path() : tempDir;
    return QDir(folder).filePath(name);
}

QString MapPageFolder::pagePath(const QString& tempDir) const {
    return filePath(tempDir, kMapPageName);
}

bool MapPageFolder::stillAtItsPath() const {
    return m_folder.stillAtItsPath();
}

void MapPageFolder::remove() {
    m_folder.remove();
    m_parent.clear();
}

int MapPageFolder::removeStaleFolders(const QString& tempDir) {
    return removeStalePrivateFolders(tempDir, kMapFolderPrefix, {kMapPageName, kBrowserPageName}) +
           removeStalePrivateFolders(tempDir, kWebStoragePrefix, {});
}

QString runTemporaryFolder() {
    const QString temp = qEnvironmentVariable("TEMP");
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !temp.isEmpty() ? temp : isPrivateFolder(runtime) ? runtime : QDir::tempPath();
}

QByteArray browserRedirectPage(const QString& address) {
    const QByteArray html = htmlEscape(address).toUtf8();
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">"
           "<meta name=\"referrer\" content=\"no-referrer\">"
           "<meta http-equiv=\"refresh\" content=\"0; url=" +
           html + "\"><title>Vantorel</title></head>\n<body><script>location.replace(" +
           jsStringLiteral(address).toUtf8() + ");</script>\n<a href=\"" + html +
           "\">Vantorel</a></body></html>\n";
}

} // namespace vantorel
