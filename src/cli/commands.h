// The commands of vantorel-cli; each prints to `out` and returns the process exit code.
#pragma once

#include <QStringList>
#include <QTextStream>

#include "text/escape.h"

namespace vantorel::cli {

int runCoords(const QStringList& photos, QTextStream& out, QTextStream& err);
int runExif(const QStringList& photos, QTextStream& out, QTextStream& err);
int runPoi(const QStringList& photos, QTextStream& out, QTextStream& err);
int runWrite(const QStringList& args, QTextStream& out, QTextStream& err);
int runErase(const QStringList& args, QTextStream& out, QTextStream& err);
int runMap(QStringList args, QTextStream& out, QTextStream& err);

} // namespace vantorel::cli
