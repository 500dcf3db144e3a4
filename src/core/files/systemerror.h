// SPDX-License-Identifier: GPL-3.0-or-later
// The system's error numbers in the program's own French, for the sentences that report a failed
// read or write: the system's own texts follow the locale and would be English under C.UTF-8.
#pragma once

#include <QString>

namespace vantorel {

// "disque plein", "accès refusé"...; an uncommon number gives its symbolic name.
QString systemErrorText(int error);

} // namespace vantorel
