// SPDX-License-Identifier: GPL-3.0-or-later
#include "severalcopies.h"

#include "files/regularfile.h"
#include "geotag/copyplace.h"
#include "geotag/geotagcopy.h"
#include "geotag/xmpsidecar.h"
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
    // The photos whose own file is never written get sidecars (edited, never asked about).
    QVector<bool> sidecars;
    for (const QString& source : sources) {
        sidecars << photoTakesSidecarOnly(source);
        targets << (sidecars.last() ? sidecarPathFor(source) : copyPathFor(source, prefix));
        if (!sidecars.last() && copyExists(targets.last())) {
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
    // The copies are flushed to disk together, a batch at a time: each takes its name only then,
    // and is listed then.
    DurableBatch batch;
    QVector<CopyResult> results;
    QVector<int> waiting; // the photos whose copies are in the batch, by index
    const auto settle = [&] {
        settleCopies(batch, results);
        for (qsizetype k = 0; k < waiting.size(); ++k) {
            const QString& target = targets[waiting[k]];
            const CopyResult& r = results[k];
            if (!r.ok) {
                report.failed.append({target, r.error});
                continue;
            }
            report.removed.exifGps += r.removed.exifGps;
            report.removed.xmp += r.removed.xmp;
            report.removed.iptc += r.removed.iptc;
            (existingSet.contains(target) ? report.replaced : report.written) << target;
            if (!sidecars[waiting[k]] && !c.ListBox1.contains(target)) addToList(target);
        }
        results.clear();
        waiting.clear();
    };
    for (int i = 0; i < sources.size(); ++i) {
        if (showProgress && !m_platform.progress.advance(i)) {
            report.notDone = int(sources.size()) - i;
            break;
        }
        const QString& target = targets[i];
        if (existingSet.contains(target) && !replace) {
            report.kept << target;
            continue;
        }
        // As for one photo, an old copy stays in place until the new one reads back right.
        AtomicWriteOptions options;
        options.batch = &batch;
        options.batchKey = results.size();
        if (sidecars[i] && !withPosition) {
            report.failed.append({sources[i], kSidecarCannotErase});
            continue;
        }
        results.append(sidecars[i]          ? writeSidecar(sources[i], target, *position, false, options)
                       : report.allLocation ? writeCopyWithoutLocation(sources[i], target, options)
                                            : writeGeotagCopy(sources[i], target, position, options, place));
        waiting.append(i);
        if (batch.full()) settle();
        m_platform.pump.processMessages();
    }
    settle();
    if (showProgress) m_platform.progress.finish();
    if (withPosition && !(report.written.isEmpty() && report.replaced.isEmpty())) rememberFieldsPosition();
    showEntryCount();
    const QString summary = severalCopiesSummary(report);
    if (report.failed.isEmpty())
        m_platform.boxes.confirmation(summary);
    else
        m_platform.boxes.error(summary);
}

QString sidecarsSummary(const QStringList& written, const QStringList& edited,
                        const QList<QPair<QString, QString>>& failed) {
    QStringList parts;
    if (!written.isEmpty()) parts << listed(QStringLiteral("Fichiers XMP annexes écrits : "), written);
    if (!edited.isEmpty())
        parts << listed(QStringLiteral("Fichiers XMP annexes modifiés, leurs autres propriétés gardées : "),
                        edited);
    if (!failed.isEmpty()) {
        QStringList lines;
        for (const auto& [path, why] : failed)
            lines << path + QStringLiteral(" : ") + why;
        parts << listed(QStringLiteral("Non écrits : "), lines);
    }
    if (parts.isEmpty()) parts << QStringLiteral("Aucun fichier XMP annexe");
    return parts.join(QStringLiteral("\n\n")) + QStringLiteral("\n\nLes photos n'ont pas été modifiées");
}

void MainController::writeSidecars(const QStringList& photos) {
    std::optional<GpsPosition> position;
    if (!copyFields(true, position)) return;
    QStringList written, edited;
    QList<QPair<QString, QString>> failed;
    const bool showProgress = photos.size() > kFewPhotos;
    if (showProgress)
        m_platform.progress.start(QStringLiteral("Écriture des fichiers XMP annexes…"), int(photos.size()));
    DurableBatch batch;
    QVector<CopyResult> results;
    QStringList sidecars;
    QVector<bool> existed;
    const auto settle = [&] {
        settleCopies(batch, results);
        for (qsizetype k = 0; k < results.size(); ++k) {
            if (!results[k].ok)
                failed.append({sidecars[k], results[k].error});
            else
                (existed[k] ? edited : written) << sidecars[k];
        }
        results.clear();
        sidecars.clear();
        existed.clear();
    };
    for (int i = 0; i < photos.size(); ++i) {
        if (showProgress && !m_platform.progress.advance(i)) break;
        AtomicWriteOptions options;
        options.batch = &batch;
        options.batchKey = results.size();
        sidecars << sidecarPathFor(photos[i]);
        existed << copyExists(sidecars.last());
        results.append(writeSidecar(photos[i], sidecars.last(), *position, false, options));
        if (batch.full()) settle();
        m_platform.pump.processMessages();
    }
    settle();
    if (showProgress) m_platform.progress.finish();
    if (!written.isEmpty() || !edited.isEmpty()) rememberFieldsPosition();
    const QString summary = sidecarsSummary(written, edited, failed);
    if (failed.isEmpty())
        m_platform.boxes.confirmation(summary);
    else
        m_platform.boxes.error(summary);
}

} // namespace vantorel
