// SPDX-License-Identifier: GPL-3.0-or-later
// The names the EXIF listing shows: a fixed catalogue from tag id to tag name, and the names of
// the property item types.
#pragma once

#include <QString>
#include <QtGlobal>

namespace vantorel {

// The name shown for an id the catalogue lacks.
inline constexpr char kUnknownTagName[] = "Tag inconnu";

// The catalogue's name for `id`, or "Tag inconnu". Two names end in a no-break space (0x014A
// and 0xC634); they are returned with it.
QString TagName(quint32 id);
bool isCatalogued(quint32 id);
int tagCatalogueSize();

// "U. Byte", "ASCII", ... for the type codes 1 to 12; an empty text for any other code.
QString TypeName(quint16 type);

} // namespace vantorel
