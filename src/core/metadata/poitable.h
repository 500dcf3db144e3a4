// SPDX-License-Identifier: GPL-3.0-or-later
// The POI table: one row per listed photo that has a GPS latitude, for the commands that work on
// the whole list (keep geotagged photos, overview map, GPX export).
#pragma once

#include "files/photoreadahead.h"
#include "files/regularfile.h"
#include "tables/gridcolumns.h"
#include "tables/stringgrid.h"

#include <QStringList>
#include <QVector>
#include <algorithm>
#include <functional>

namespace vantorel {

class ImageProperties;

const QString& poiHeaderCommaText();

// What a run of AddPoiRow carries from photo to photo: the reference letters (a photo whose
// reference item is not ASCII keeps the previous photo's letter) and the number of rows written.
struct PoiRun {
    QString& latitudeRef;  // SharedState::LatitudeRef
    QString& longitudeRef; // SharedState::LongitudeRef
    int& rowCount;         // SharedState::PoiRowCount
};

// Called with each row written and the photo it came from, for a caller that needs more items of
// that photo than the table's ten columns hold (the GPX export's time stamps): the photo is read once.
using PoiRowReader = std::function<void(int row, const ImageProperties& photo)>;

// Appends the row of `path` to `SG0` when the photo has a GPS latitude.
// The caller empties the table and sets the row count to 0 before the first call of a run.
// Returns why the file could not be read, None when it was (with or without a row).
FileOpenError AddPoiRow(const QString& path, PoiRun run, StringGrid& SG0, const PoiRowReader& alsoRead = {});
// The same for a photo already read (OpenedPhoto::Reading::GpsItems is enough).
FileOpenError AddPoiRow(const OpenedPhoto& photo, PoiRun run, StringGrid& SG0,
                        const PoiRowReader& alsoRead = {});
// The same, the row naming the photo `shownPath` (the photo opened by a relative name, say).
FileOpenError AddPoiRow(const OpenedPhoto& photo, const QString& shownPath, PoiRun run, StringGrid& SG0,
                        const PoiRowReader& alsoRead = {});

// Empties the table and runs AddPoiRow over `paths` in order (empty entries are skipped);
// `beforeEach` runs with every path (the window shows it as the current photo) and `afterEach`
// after every photo and between slices of the old table being freed, so a window can repaint.
// Returns the photos that could not be read. The photos ahead are read on other threads meanwhile
// (PhotoReadAhead).
template <typename BeforeEach, typename AfterEach>
QVector<UnreadablePhoto> rebuildPoiTable(PoiRun run, StringGrid& SG0, const QStringList& paths,
                                         BeforeEach beforeEach, AfterEach afterEach,
                                         const PoiRowReader& alsoRead = {}) {
    // The rows of a large table take a while to free: a slice at a time, the window repainting between.
    while (SG0.rowCount() > 1) {
        SG0.setRowCount(std::max(1, SG0.rowCount() - 8 * kRowsBetweenPumps));
        afterEach();
    }
    SG0.setRowCount(1);
    run.rowCount = 0;
    QVector<UnreadablePhoto> unreadable;
    PhotoReadAhead readAhead(paths);
    for (qsizetype i = 0; i < paths.size(); ++i) {
        const QString& path = paths[i];
        beforeEach(path);
        if (path.isEmpty()) continue;
        if (const FileOpenError error = AddPoiRow(*readAhead.take(i), run, SG0, alsoRead);
            error != FileOpenError::None)
            unreadable.append({path, error});
        afterEach();
    }
    return unreadable;
}

// How many names streamPoiRows holds at once when it takes them one at a time.
inline constexpr qsizetype kStreamedNamesAtOnce = 4096;

// The rows of the photos named by `nameAt(0)` to `nameAt(count - 1)`, one at a time, for a caller
// that writes each row out and keeps none: memory stays the same however many photos there are.
// The names are asked for a few thousand at a time, as the photos ahead are read, so that a long
// list is never held whole. `onRow(const StringGrid& table, int row)` gets each row as AddPoiRow
// wrote it (row 1 of a one-row table; `row` is its number in the whole run, as in rebuildPoiTable's
// table) and `onUnreadable(const UnreadablePhoto&)` each photo that could not be read, in order.
// Empty names are skipped. `shownPath(name)` gives the name a row and an unreadable photo are given
// (an absolute path for a relative one: the list keeps only the short names). Returns the number of
// rows.
template <typename NameAt, typename ShownPath, typename OnRow, typename OnUnreadable>
int streamPoiRows(qsizetype count, NameAt nameAt, ShownPath shownPath, OnRow onRow, OnUnreadable onUnreadable,
                  const PoiRowReader& alsoRead = {}) {
    QString latitudeRef, longitudeRef;
    int rowsInTable = 0;
    int rows = 0;
    StringGrid SG0(PoiColumnCount, 2);
    const PoiRowReader numbered = [&](int, const ImageProperties& photo) {
        if (alsoRead) alsoRead(rows + 1, photo);
    };
    for (qsizetype first = 0; first < count; first += kStreamedNamesAtOnce) {
        QStringList paths;
        paths.reserve(std::min(kStreamedNamesAtOnce, count - first));
        for (qsizetype i = first; i < count && i < first + kStreamedNamesAtOnce; ++i)
            paths << nameAt(i);
        PhotoReadAhead readAhead(paths);
        for (qsizetype i = 0; i < paths.size(); ++i) {
            if (paths[i].isEmpty()) continue;
            rowsInTable = 0;
            SG0.setRowCount(1);
            const QString path = shownPath(paths[i]);
            if (const FileOpenError error = AddPoiRow(
                    *readAhead.take(i), path, {latitudeRef, longitudeRef, rowsInTable}, SG0, numbered);
                error != FileOpenError::None) {
                onUnreadable(UnreadablePhoto{path, error});
                continue;
            }
            if (rowsInTable == 1) onRow(static_cast<const StringGrid&>(SG0), ++rows);
        }
    }
    return rows;
}

// The same over the names of `paths`.
template <typename ShownPath, typename OnRow, typename OnUnreadable>
int streamPoiRows(const QStringList& paths, ShownPath shownPath, OnRow onRow, OnUnreadable onUnreadable,
                  const PoiRowReader& alsoRead = {}) {
    return streamPoiRows(
        paths.size(), [&](qsizetype i) { return paths[i]; }, shownPath, onRow, onUnreadable, alsoRead);
}

} // namespace vantorel
