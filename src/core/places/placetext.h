// SPDX-License-Identifier: GPL-3.0-or-later
// A place in words: the window's line under the coordinates and the command line's fields.
#pragma once

#include "placeindex.h"

#include <QStringList>

namespace vantorel::places {

// « Près de Arezzo, Toscane, Italie (4 km) »; at sea « En mer (à 1317 km de Ponta Delgada, Açores,
// Portugal) ». The region is left out when it repeats the town.
QString placeCaption(const Place& place);

// Town, region, country, ISO code, zone, distance in km with one decimal (the locale's separator);
// at sea « en mer », four empty fields and the distance to the nearest town. Not escaped.
QStringList placeFields(const Place& place);

} // namespace vantorel::places
