// SPDX-License-Identifier: GPL-3.0-or-later
// A folder of the run that only this user may enter, held by descriptors from the moment it is
// made: what the program writes there, and what it removes at the end, goes through the folder
// it made even if someone renames that folder away and puts another in its place.
#pragma once

#include <QString>
#include <QStringList>

namespace vantorel {

class PrivateFolder {
public:
    PrivateFolder() = default;
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;
    ~PrivateFolder() { remove(); }

    // Makes `parent/<prefix><pid>-<random>`, mode 0700, and keeps descriptors of it and of its
    // parent. False (with `error`) when it cannot be made or is not what was made.
    bool create(const QString& parent, const QString& prefix, QString* error = nullptr);
    bool isOpen() const { return m_fd >= 0; }
    // The folder's path as made: for other programs and for the user.
    const QString& path() const { return m_path; }
    // `name` inside the folder held by its descriptor ("/proc/self/fd/N/name"): what this process
    // opens there is in the folder it made, whatever the path names now.
    QString throughDescriptor(const QString& name) const;
    // Whether path() still names the folder that was made.
    bool stillAtItsPath() const;
    // `name` is a file of ours in the folder, to be removed with it.
    void remember(const QString& name);
    // Removes the files remembered, through the descriptor, then the folder when its name in the
    // parent still names it. Nothing else is touched.
    void remove();
    // Removes everything in the folder that belongs to this user (links removed, never followed),
    // then the folder: for a folder another library filled for the run.
    void removeAll();

private:
    int m_parentFd = -1;
    int m_fd = -1;
    QString m_path;
    QString m_name; // in the parent
    QStringList m_files;
};

// Removes the folders `parent/<prefix><pid>-<random>` that an earlier run of this user left (it was
// killed): owned by this user, whose process is gone. Only the files named in `ours` (and stale
// ".part" files of theirs) are removed, then the folder if that emptied it. Returns how many went.
// With no names in `ours`, everything of this user's inside is removed.
int removeStalePrivateFolders(const QString& parent, const QString& prefix, const QStringList& ours);

} // namespace vantorel
