// The POI table: one row per listed photo that has a GPS latitude, for the commands that work on
// the whole list (keep geotagged photos, overview map, GPX export).
#pragma once

#include "app/sharedstate.h"
#include "app/stringgrid.h"

#include <QStringList>

namespace vantorel {

inline constexpr int kPoiColumns = 10;
const QString& poiHeaderCommaText();

// Appends the row of `state.CurrentPhotoPath` to `SG0` when the photo has a GPS latitude.
// The caller empties the table and sets `PoiRowCount` to 0 before the first call of a run.
void AddPoiRow(SharedState& state, StringGrid& SG0);

// Empties the table and runs AddPoiRow over `paths` in order (empty entries are skipped);
// `afterEach` runs after every photo, so a window can repaint.
template <typename AfterEach>
void rebuildPoiTable(SharedState& state, StringGrid& SG0, const QStringList& paths, AfterEach afterEach) {
    SG0.clearCells(0, kPoiColumns - 1, 1);
    SG0.setRowCount(1);
    state.PoiRowCount = 0;
    for (const QString& path : paths) {
        state.CurrentPhotoPath = path;
        if (path.isEmpty()) continue;
        AddPoiRow(state, SG0);
        afterEach();
    }
}

} // namespace vantorel
