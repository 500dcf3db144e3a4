// The commands of vantorel-cli; each prints to `out` and returns the process exit code.
#pragma once

#include <QStringList>
#include <QTextStream>

namespace vantorel::cli {

int runCoords(const QStringList& photos, QTextStream& out, QTextStream& err);
int runExif(const QStringList& photos, QTextStream& out, QTextStream& err);
int runPoi(const QStringList& photos, QTextStream& out, QTextStream& err);

// Keeps a cell on one line: TAB, line breaks, other control characters and backslashes escaped.
QString escapeCell(const QString& text);

} // namespace vantorel::cli
