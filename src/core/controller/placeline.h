// SPDX-License-Identifier: GPL-3.0-or-later
// The line under the selected photo's coordinates that names its place: « Près de Arezzo, Toscane,
// Italie (4 km) », for the new position in the fields when they hold one (typed, pasted or clicked
// on the map), else for the photo's own position; empty without either.
#pragma once

#include <QString>

namespace vantorel {

struct MainControls;

class PlaceLine {
public:
    // The line for the window's state now; the same positions are not looked up twice in a row.
    QString caption(const MainControls& controls);
    // The same from the photo's signed decimal degrees (Label1, Label2) and the position fields
    // (Edit7, Edit8), as the window shows them.
    QString caption(const QString& photoLatitude, const QString& photoLongitude, const QString& fieldLatitude,
                    const QString& fieldLongitude);

private:
    QString m_key;
    QString m_caption;
};

} // namespace vantorel
