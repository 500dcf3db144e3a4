// Where the map pages go: Vantorel.htm in a folder made fresh for each run, with a random name and
// access for this user only, so other users of a shared /tmp can neither read where the photos were
// taken nor put a page of theirs in its place. What the program shows never comes from this file.
#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

namespace vantorel {

inline const QString kMapPageName = QStringLiteral("Vantorel.htm");
inline const QString kCannotCreateMapPage =
    QStringLiteral("Impossible de créer le fichier temporaire \"Vantorel.htm\"");

// The run's folder of map pages, made at the first page and removed with it at the end of the run.
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
    // Where the page is (or would be) under `tempDir`; before a folder could be made there, the
    // page's name in `tempDir` itself, which nothing ever reads.
    QString pagePath(const QString& tempDir) const;
    // The run's folder; empty before the first page.
    const QString& folder() const { return m_folder; }
    // Removes the page and the folder.
    void remove();

private:
    QString m_parent;
    QString m_folder;
};

} // namespace vantorel
