// SPDX-License-Identifier: GPL-3.0-or-later
// What the program says of itself: its version (and the commit it was built from), its
// application id and its home page, as the build's project metadata gives them.
#pragma once

#include <QString>

namespace vantorel {

QString programVersion();  // "1.13"
QString programCommit();   // the short git commit, empty when not built from a checkout
QString applicationId();   // reverse-DNS id of the desktop entry and the metainfo
QString programHomepage(); // the contact address given to tile servers
// The line of --version: "vantorel-cli 1.13 (commit 0123abcd4567)"; no commit when the program
// was not built from a git checkout.
QString versionLine(const QString& programName, const QString& commit);

// The short git commit of the build, empty when there is none: linked into the programs alone,
// so a new commit does not relink the tests.
const char* buildCommit();

} // namespace vantorel
