// What the program says of itself: its version (and the commit it was built from), its
// application id and its home page, as the build's project metadata gives them.
#pragma once

#include <QString>

namespace vantorel {

QString programVersion();  // "1.13"
QString programCommit();   // the short git commit, empty when not built from a checkout
QString applicationId();   // reverse-DNS id of the desktop entry and the metainfo
QString programHomepage(); // the contact address given to tile servers
// The line of --version: "vantorel-cli 1.13 (commit 0123abcd4567)".
QString versionLine(const QString& programName);

} // namespace vantorel
