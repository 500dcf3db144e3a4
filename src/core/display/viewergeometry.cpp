// SPDX-License-Identifier: GPL-3.0-or-later
// Placement of the full-size viewer.
#include "viewergeometry.h"

namespace vantorel {

QRect viewerGeometry(QSize picture, QSize screen) {
    if (picture.width() < screen.width() && picture.height() < screen.height()) {
        // Integer division truncates toward zero, as the halves must.
        const int left = screen.width() / 2 - picture.width() / 2;
        const int top = screen.height() / 2 - picture.height() / 2;
        return QRect(QPoint(left, top), picture);
    }
    return QRect(QPoint(0, 0), screen);
}

QSize viewerPictureSize(QSize picture, QSize screen) {
    const QSize client = viewerGeometry(picture, screen).size() - QSize(2 * kViewerMargin, 2 * kViewerMargin);
    return picture.scaled(client.expandedTo(QSize(1, 1)), Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

} // namespace vantorel
