// SPDX-License-Identifier: GPL-3.0-or-later
#include "severalcopies.h"

#include "files/regularfile.h"
#include "geotag/copyplace.h"
#include "geotag/geotagcopy.h"
#include "maincontroller.h"
#include "metadata/gpscoordinates.h"

#include <QSet>

namespace vantorel {
namespace {

constexpr int kListedPaths = 10;

// The paths under a heading, the first few of them when there are many.
QString listed(const QString& heading, const QStringList& paths) {
    QString text = heading + QString::number(paths.size());
    for (int i = 0; i < std::min<int>(kListedPaths, int(paths.size())); ++i)
        text += u'\n' + paths[i];
    if (paths.size() > kListedPaths)
        text += QStringLiteral("\n… et %1 autres").arg(paths.size() - kListedPaths);
    return text;
}

} // namespace

QString severalOverwriteQuestion(const QStringList& existing) {
    return listed(QStringLiteral("Fichiers qui existent déjà : "), existing) +
           QStringLiteral(
               "\n\nVoulez-vous les écraser ?\n"
               "Oui : les remplacer\nNon : les garder et écrire les autres\nAnnuler : ne rien écrire");
}

QString severalProgressLabel(bool withPosition) {
    return withPosition ? QStringLiteral("Écriture des nouveaux fichiers géocodés…")
                        : QStringLiteral("Écriture des fichiers sans géocodage…");
}

QString severalCopiesSummary(const SeveralCopiesReport& r) {
    QStringList parts;
    const bool none = r.written.isEmpty() && r.replaced.isEmpty();
    if (none)
        parts << (r.withPosition ? QStringLiteral("Aucun nouveau fichier géocodé")
                                 : QStringLiteral("Aucun nouveau fichier sans géocodage"));
    else
        parts << (r.withPosition ? QStringLiteral("Nouveaux fichiers géocodés")
                                 : QStringLiteral("Nouveaux fichiers sans géocodage"));
    if (!r.written.isEmpty()) parts << listed(QStringLiteral("Écrits : "), r.written);
    if (!r.replaced.isEmpty()) parts << listed(QStringLiteral("Anciens fichiers remplacés : "), r.replaced);
    if (!r.kept.isEmpty()) parts << listed(QStringLiteral("Existaient déjà, gardés : "), r.kept);
    if (!r.failed.isEmpty()) {
        QStringList failed;
        for (const auto& [path, why] : r.failed)
            failed << (why.isEmpty() ? path : path + QStringLiteral(" : ") + why);
        parts << listed(QStringLiteral("Non écrits : "), failed);
    }
    if (!r.withoutPosition.isEmpty())
        parts << listed(QStringLiteral("Sans position, pas de copie : "), r.withoutPosition);
    if (r.allLocation && !none) parts << removalsSummary(r.removed);
    if (r.notDone > 0) parts << QStringLiteral("Non traités (annulé) : %1").arg(r.notDone);
    return parts.join(QStringLiteral("\n\n")) +
           QStringLiteral("\n\nLes fichiers source d'origine n'ont pas été modifiés");
}

QStringList MainController::severalSelected() const {
    const MainControls& c = m_controls;
    QStringList paths;
    QSet<QString> seen;
    for (int row : c.ListBox1Selection)
        if (row >= 0 && row < c.ListBox1.size() && !seen.contains(c.ListBox1[row])) {
            seen.insert(c.ListBox1[row]);
            paths << c.ListBox1[row];
        }
    return paths;
}

void MainController::writeSeveralCopies(bool withPosition, const QStringList& selected) {
    MainControls& c = m_controls;
    std::optional<GpsPosition> position;
    // Erasing needs no field: it acts on the selected photos, whatever the one shown holds.
    if (withPosition && !copyFields(true, position)) return;
    SeveralCopiesReport report;
    report.withPosition = withPosition;
    report.allLocation = !withPosition && c.eraseAllLocation;
    const LocationMetadataEdit::Place place =
        position && c.writePlace ? copyPlaceAt(*position) : LocationMetadataEdit::Place();
    QStringList sources = selected;
    if (!withPosition && !report.allLocation) {
        // A photo without position has nothing to erase; one that cannot be read fails below, with why.
        sources.clear();
        QString latitudeRef, longitudeRef;
        for (int i = 0; i < selected.size(); ++i) {
            const QString& photo = selected[i];
            if (!unreadableFileReason(photo).isEmpty() ||
                ReadGpsCoordinates(photo, latitudeRef, longitudeRef).geotagged)
                sources << photo;
            else
                report.withoutPosition << photo;
            if (i % 50 == 49) m_platform.pump.processMessages();
        }
    }
    const QChar prefix = withPosition ? kGeotaggedPrefix : kErasedPrefix;
    QStringList targets, existing;
    QSet<QString> existingSet;
    for (const QString& source : sources) {
        targets << copyPathFor(source, prefix);
        if (copyExists(targets.last())) {
            existing << targets.last();
            existingSet.insert(targets.last());
        }
    }
    bool replace = false;
    if (!existing.isEmpty()) {
        const MessageBoxes::Answer answer =
            m_platform.boxes.warningYesNoCancel(severalOverwriteQuestion(existing));
        if (answer == MessageBoxes::Answer::Cancel) {
            m_platform.boxes.beep();
            m_platform.pump.processMessages();
            return;
        }
        replace = answer == MessageBoxes::Answer::Yes;
    }
    const bool showProgress = sources.size() > kFewPhotos;
    if (showProgress) m_platform.progress.start(severalProgressLabel(withPosition), int(sources.size()));
    for (int i = 0; i < sources.size(); ++i) {
        if (showProgress && !m_platform.progress.advance(i)) {
            report.notDone = int(sources.size()) - i;
            break;
        }
        const QString& target = targets[i];
        const bool existed = existingSet.contains(target);
        if (existed && !replace) {
            report.kept << target;
            continue;
        }
        // As for one photo, an old copy stays in place until the new one reads back right.
        const CopyResult r = report.allLocation ? writeCopyWithoutLocation(sources[i], target)
                                                : writeGeotagCopy(sources[i], target, position, {}, place);
        if (!r.ok) {
            report.failed.append({target, r.error});
        } else {
            report.removed.exifGps += r.removed.exifGps;
            report.removed.xmp += r.removed.xmp;
            report.removed.iptc += r.removed.iptc;
            (existed ? report.replaced : report.written) << target;
            if (!c.ListBox1.contains(target)) addToList(target);
        }
        m_platform.pump.processMessages();
    }
    if (showProgress) m_platform.progress.finish();
    if (withPosition && !(report.written.isEmpty() && report.replaced.isEmpty())) rememberFieldsPosition();
    showEntryCount();
    const QString summary = severalCopiesSummary(report);
    if (report.failed.isEmpty())
        m_platform.boxes.confirmation(summary);
    else
        m_platform.boxes.error(summary);
}

} // namespace vantorel
