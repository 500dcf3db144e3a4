// SPDX-License-Identifier: GPL-3.0-or-later
// Where the map pages go: Vantorel.htm in a folder made fresh for each run, with a random name and
// access for this user only, so other users of a shared /tmp can neither read where the photos were
// taken nor put a page of theirs in its place. What the program shows never comes from this file.
#pragma once

#include "files/privatefolder.h"

#include <QByteArray>
#include <QString>
#include <functional>

namespace vantorel {

inline const QString kMapPageName = QStringLiteral("Vantorel.htm");
// The small page that sends the user's browser on to the address where the program serves the map.
inline const QString kBrowserPageName = QStringLiteral("Vantorel-navigateur.htm");
inline const QString kMapFolderPrefix = QStringLiteral("vantorel-");
// The maps' page storage of the run (the web engine's history, storage, preferences).
inline const QString kWebStoragePrefix = QStringLiteral("vantorel-web-");
inline const QString kCannotCreateMapPage =
    QStringLiteral("Impossible de créer le fichier temporaire \"Vantorel.htm\"");

// The run's folder of map pages, made at the first page and removed with it at the end of the run.
// It is held by a descriptor from its making: every write and the final removal go through it.
class MapPageFolder {
public:
    MapPageFolder() = default;
    MapPageFolder(const MapPageFolder&) = delete;
    MapPageFolder& operator=(const MapPageFolder&) = delete;
    ~MapPageFolder() { remove(); }

    // Writes the page whole (temporary file, then rename) as Vantorel.htm in the run's folder
    // under `tempDir`, making that folder first when there is none under it yet. False when no
    // private folder can be made or written; `error` then says why. `progress` runs between the
    // pieces of a long page.
    bool writePage(const QString& tempDir, const QByteArray& page, QString* error = nullptr,
                   const std::function<void()>& progress = {});
    // The same for another file of the run's folder.
    bool writeFile(const QString& tempDir, const QString& name, const QByteArray& bytes,
                   QString* error = nullptr, const std::function<void()>& progress = {});
    // Where the page is (or would be) under `tempDir`; before a folder could be made there, the
    // page's name in `tempDir` itself, which nothing ever reads.
    QString pagePath(const QString& tempDir) const;
    QString filePath(const QString& tempDir, const QString& name) const;
    // The run's folder; empty before the first page.
    QString folder() const { return m_folder.path(); }
    // Whether the folder's path still names the folder made (no one renamed it away).
    bool stillAtItsPath() const;
    // Removes the files written and the folder, through its descriptor.
    void remove();
    // Removes the folders of earlier runs of this user that ended without removing theirs.
    static int removeStaleFolders(const QString& tempDir);

private:
    QString m_parent;
    PrivateFolder m_folder;
};

// Where the run's temporary folders go: TEMP when the user set it, otherwise the session's own
// runtime folder when no one else may enter it, otherwise the temporary directory (TMPDIR or /tmp).
QString runTemporaryFolder();

// The page given to the user's browser: it sends the browser on to `address` at once, so the
// address (with its token) is in a file only this user can read, not in a command line.
QByteArray browserRedirectPage(const QString& address);

} // namespace vantorel
