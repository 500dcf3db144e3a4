// SPDX-License-Identifier: GPL-3.0-or-later
// The copies of several selected photos written by one command: the one question about copies
// that already exist, and the one summary that ends it.
#pragma once

#include "geotag/locationedit.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

namespace vantorel {

// Beyond this many photos the command shows its progress, with a cancel button.
inline constexpr int kFewPhotos = 3;

// What became of each photo's copy.
struct SeveralCopiesReport {
    bool withPosition = true;
    bool allLocation = false;              // erased: everything that locates the photos
    QStringList written, replaced, kept;   // copy paths
    QList<QPair<QString, QString>> failed; // copy path, why
    QStringList withoutPosition;           // photos with no position to erase: no copy
    LocationRemovals removed;              // what the copies lost, all together (allLocation)
    int notDone = 0;                       // left when the user cancelled
};

// Asked once for every copy that already exists: Oui replaces them, Non keeps them and writes the
// others, Annuler writes nothing.
QString severalOverwriteQuestion(const QStringList& existing);
QString severalProgressLabel(bool withPosition);
QString severalCopiesSummary(const SeveralCopiesReport& report);
// What became of the XMP sidecars of several photos (or one): written, edited, failed (path, why).
QString sidecarsSummary(const QStringList& written, const QStringList& edited,
                        const QList<QPair<QString, QString>>& failed);

} // namespace vantorel
