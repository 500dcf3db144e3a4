// SPDX-License-Identifier: GPL-3.0-or-later
#include "windowfont.h"

#include <QFontDatabase>
#include <QList>

namespace vantorel {
namespace {

constexpr int kLayoutFontPixels = 11;
// A narrow sans with the metrics of the classic narrow grotesque (fonts-urw-base35).
const QString kNarrowFamily = QStringLiteral("Nimbus Sans Narrow");

QFont sized(QFont f, int pixels, int stretch) {
    f.setPixelSize(pixels);
    f.setStretch(stretch);
    return f;
}

} // namespace

QFont chooseWindowFont(const QFont& base, const std::function<bool(const QFont&)>& fits) {
    QList<QFont> candidates;
    if (QFontDatabase::hasFamily(kNarrowFamily)) {
        QFont narrow = base;
        narrow.setFamily(kNarrowFamily);
        candidates << sized(narrow, kLayoutFontPixels, QFont::Unstretched);
    }
    // Without it, the desktop's sans, condensed (by the font's own condensed faces where installed).
    candidates << sized(base, kLayoutFontPixels, QFont::SemiCondensed)
               << sized(base, kLayoutFontPixels, QFont::Condensed)
               << sized(base, kLayoutFontPixels - 1, QFont::Condensed);
    for (const QFont& f : candidates)
        if (fits(f)) return f;
    return candidates.last();
}

} // namespace vantorel
