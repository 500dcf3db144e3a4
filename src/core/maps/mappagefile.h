// Where the map pages go: Vantorel.htm in a folder of the temporary directory that only this user
// may enter, so other users of a shared /tmp can neither read where the photos were taken nor
// plant a link at the page's name.
#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

namespace vantorel {

inline const QString kMapPageName = QStringLiteral("Vantorel.htm");
inline const QString kCannotCreateMapPage =
    QStringLiteral("Impossible de créer le fichier temporaire \"Vantorel.htm\"");

// tempDir/vantorel-<user id>
QString mapPageFolder(const QString& tempDir);
QString mapPagePath(const QString& tempDir, const QString& name = kMapPageName);

// Writes the page whole (temporary file, then rename) into the private folder, creating it when
// needed. False when the folder cannot be made private or written; `error` then says why.
// `progress` runs between the pieces of a long page.
// `name` is the page's file name in the folder (another window's page has its own).
bool writeMapPage(const QString& tempDir, const QByteArray& page, QString* error = nullptr,
                  const std::function<void()>& progress = {}, const QString& name = kMapPageName);

// Removes the page and its folder when they exist (at the end of the run).
void removeMapPage(const QString& tempDir);

} // namespace vantorel
