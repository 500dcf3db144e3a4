// SPDX-License-Identifier: GPL-3.0-or-later
#include "propertyitem.h"

#include <QString>

namespace vantorel {

quint16 PropertyItem::u16(int i) const {
    const auto* p = reinterpret_cast<const uchar*>(value.constData()) + 2 * i;
    return quint16(p[0] | (p[1] << 8));
}

quint32 PropertyItem::u32(int i) const {
    const auto* p = reinterpret_cast<const uchar*>(value.constData()) + 4 * i;
    return quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24);
}

QString PropertyItem::text() const {
    const int nul = value.indexOf('\0');
    const QByteArray bytes = nul < 0 ? value : value.left(nul);
    QString s = QString::fromUtf8(bytes);
    if (s.contains(QChar::ReplacementCharacter)) s = QString::fromLatin1(bytes);
    return s;
}

} // namespace vantorel
