// SPDX-License-Identifier: GPL-3.0-or-later
// The commands of vantorel-cli; each prints to `out` and returns the process exit code.
#pragma once

#include <QStringList>
#include <QTextStream>

#include "arguments.h"
#include "files/regularfile.h"
#include "text/escape.h"

namespace vantorel::cli {

// Exit code when a photo could not be read (missing, folder, pipe, no permission...); the others
// are still handled.
inline constexpr int kExitUnreadable = 1;

// coords, poi and gpx read their photos' names as they go: a long list is never held whole.
int runCoords(const Arguments& photos, QTextStream& out, QTextStream& err);
int runExif(QStringList photos, QTextStream& out, QTextStream& err);
int runPoi(const Arguments& photos, QTextStream& out, QTextStream& err);
int runWrite(const QStringList& args, QTextStream& out, QTextStream& err);
int runErase(const QStringList& args, QTextStream& out, QTextStream& err);
// gpx [-o FILE] PHOTO...: the GPX file on standard output, or written to FILE.
int runGpx(const Arguments& args, QTextStream& out, QTextStream& err);
int runMap(QStringList args, QTextStream& out, QTextStream& err);
int runOverview(QStringList args, QTextStream& out, QTextStream& err);
// correlate --track FILE... PHOTO...: photos placed on GPS tracks by time, their "#" copies written.
int runCorrelate(const QStringList& args, QTextStream& out, QTextStream& err);
// parse TEXT: the position read in the text, or the reason it is refused (exit code 4).
int runParse(QStringList args, QTextStream& out, QTextStream& err);
// place LATITUDE LONGITUDE | place PHOTO...: the nearest town, its region, country, code and zone.
int runPlace(const Arguments& args, QTextStream& out, QTextStream& err);

} // namespace vantorel::cli
