// SPDX-License-Identifier: GPL-3.0-or-later
// The user's own browser: the code of the desktop's default browser and the program and
// arguments that open a page in it.
#pragma once

#include <QString>
#include <QStringList>

namespace vantorel {

inline const QString kUnknownBrowser = QStringLiteral("Browser inconnu");
inline const QString kBrowserNotIdentified = QStringLiteral("Navigateur non identifié");

// "FF" for Firefox entries, "CH" for Chromium and Chrome entries, "OP" for Opera entries, an empty
// text for anything else. `desktopEntry` is what xdg-settings or xdg-mime answered.
QString browserCodeFor(const QString& desktopEntry);

// The warning when no default browser could be read, naming the setting that was asked.
QString noDefaultBrowserMessage(const QString& setting);

struct BrowserLaunch {
    QStringList programs;  // candidates, the first found on the PATH is started
    QStringList arguments; // each one argument: a page address with blanks stays whole
};

// How the browser of `code` opens `page`; no programs for a code that cannot be launched.
BrowserLaunch browserLaunchFor(const QString& code, const QString& page);

} // namespace vantorel
