// SPDX-License-Identifier: GPL-3.0-or-later
#include "programinfo.h"

#include "vantorel_version.h"

namespace vantorel {

QString programVersion() {
    return QStringLiteral(VANTOREL_VERSION);
}
QString applicationId() {
    return QStringLiteral(VANTOREL_APP_ID);
}
QString programHomepage() {
    return QStringLiteral(VANTOREL_HOMEPAGE);
}

QString versionLine(const QString& programName, const QString& commit) {
    QString line = programName + QLatin1Char(' ') + programVersion();
    if (!commit.isEmpty()) line += QStringLiteral(" (commit ") + commit + QLatin1Char(')');
    return line;
}

} // namespace vantorel
