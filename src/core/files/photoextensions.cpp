// SPDX-License-Identifier: GPL-3.0-or-later
#include "photoextensions.h"

namespace vantorel {

const QStringList& photoExtensions() {
    static const QStringList extensions = {
        QStringLiteral("jpg"), QStringLiteral("jpeg"), QStringLiteral("heic"), QStringLiteral("heif"),
        QStringLiteral("hif"), QStringLiteral("avif"), QStringLiteral("cr2"),  QStringLiteral("cr3"),
        QStringLiteral("nef"), QStringLiteral("nrw"),  QStringLiteral("arw"),  QStringLiteral("srf"),
        QStringLiteral("sr2"), QStringLiteral("orf"),  QStringLiteral("rw2"),  QStringLiteral("pef"),
        QStringLiteral("dng"), QStringLiteral("raf"),  QStringLiteral("tif"),  QStringLiteral("tiff"),
        QStringLiteral("png"), QStringLiteral("webp"),
    };
    return extensions;
}

QString allPhotosFilter() {
    QStringList patterns;
    for (const QString& extension : photoExtensions())
        patterns << QStringLiteral("*.") + extension << QStringLiteral("*.") + extension.toUpper();
    return QStringLiteral("Toutes les photos (%1)").arg(patterns.join(u' '));
}

} // namespace vantorel
