// Where the full-size viewer goes on the screen for a picture of a given size.
#pragma once

#include <QRect>
#include <QSize>

namespace vantorel {

// The viewer's outer rectangle for `picture` on a screen of `screen` pixels, in screen coordinates:
// the picture's size, centred (each half truncated toward zero) when it is strictly smaller than the screen
// in both directions; otherwise the whole screen from (0, 0).
QRect viewerGeometry(QSize picture, QSize screen);

} // namespace vantorel
