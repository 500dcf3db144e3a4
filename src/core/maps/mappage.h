// SPDX-License-Identifier: GPL-3.0-or-later
// The one writer of map pages, shared by the photo map and the overview map: the head and tail of
// a page for either library, and the safe forms of the values a page takes from files.
#pragma once

#include "mapsettings.h"

#include <QByteArray>
#include <QString>

namespace vantorel {

// A coordinate text as the pages write it: a "," among the first five characters becomes ".";
// what is then not a plain decimal number (a text from a file, say) is written as 0, so nothing
// but a number ever reaches the script.
QString pageNumber(const QString& text);

// The visible title of a marker: quotes become blanks, as titles have always been shown.
QString blankQuotes(QString text);

// The start of a page up to its script's first line of code, for `settings`' library: UTF-8
// declaration, style, the library (Leaflet inline, so the page is one self-contained file).
QByteArray mapPageHead(const MapSettings& settings);
// Closes the page: end of initialize(), its start on load, the map's container.
QByteArray mapPageTail(const MapSettings& settings);

// Leaflet's script and style as shipped by the system (libjs-leaflet); empty when missing.
struct LeafletAssets {
    QByteArray script, style, markerIcon, markerIcon2x, markerShadow; // icons as data: URLs
};
const LeafletAssets& leafletAssets();

} // namespace vantorel
