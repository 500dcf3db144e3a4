#include "programinfo.h"

#include "vantorel_version.h"

namespace vantorel {

QString programVersion() {
    return QStringLiteral(VANTOREL_VERSION);
}
QString programCommit() {
    return QStringLiteral(VANTOREL_COMMIT);
}
QString applicationId() {
    return QStringLiteral(VANTOREL_APP_ID);
}
QString programHomepage() {
    return QStringLiteral(VANTOREL_HOMEPAGE);
}

QString versionLine(const QString& programName) {
    QString line = programName + QLatin1Char(' ') + programVersion();
    if (!programCommit().isEmpty()) line += QStringLiteral(" (commit ") + programCommit() + QLatin1Char(')');
    return line;
}

} // namespace vantorel
