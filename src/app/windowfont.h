// SPDX-License-Identifier: GPL-3.0-or-later
// The window's font. The layout's sizes were made for a narrow 11-pixel font; the font taken is the
// first installed one whose real metrics let those sizes hold their texts whole.
#pragma once

#include <QFont>
#include <functional>

namespace vantorel {

// Tries the candidates from the narrowest-looking, most readable on: `fits` applies one and says
// whether every text is whole with it. The last candidate is kept when none fits.
QFont chooseWindowFont(const QFont& base, const std::function<bool(const QFont&)>& fits);

} // namespace vantorel
