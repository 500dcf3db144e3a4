// SPDX-License-Identifier: GPL-3.0-or-later
// Where the full-size viewer goes on the screen for a picture of a given size, and how large the picture
// is shown in it.
#pragma once

#include <QRect>
#include <QSize>

namespace vantorel {

// The margin in the window colour around the viewer's picture, inside the window's outer size.
inline constexpr int kViewerMargin = 1;

// The viewer's outer rectangle for `picture` on a screen of `screen` pixels, in screen coordinates:
// the picture's size, centred (each half truncated toward zero) when it is strictly smaller than the screen
// in both directions; otherwise the whole screen from (0, 0).
QRect viewerGeometry(QSize picture, QSize screen);

// The size the picture is painted at: fitted, keeping its proportions, into the client area of that
// window (the window less its margin); at least one pixel each way.
QSize viewerPictureSize(QSize picture, QSize screen);

} // namespace vantorel
