// SPDX-License-Identifier: GPL-3.0-or-later
#include "browsercodes.h"

namespace vantorel {

QString browserCodeFor(const QString& desktopEntry) {
    const QString entry = desktopEntry.trimmed().toLower();
    if (entry.isEmpty()) return {};
    if (entry.contains(QLatin1String("firefox"))) return QStringLiteral("FF");
    if (entry.contains(QLatin1String("chromium")) || entry.contains(QLatin1String("chrome")))
        return QStringLiteral("CH");
    if (entry.contains(QLatin1String("opera"))) return QStringLiteral("OP");
    return {};
}

QString noDefaultBrowserMessage(const QString& setting) {
    return QStringLiteral("Le réglage  \"%1\"  n'existe pas").arg(setting);
}

BrowserLaunch browserLaunchFor(const QString& code, const QString& page) {
    if (code == QLatin1String("CH"))
        return {
            {QStringLiteral("chromium"), QStringLiteral("google-chrome"), QStringLiteral("chromium-browser")},
            {QStringLiteral("--start"), QStringLiteral("--window-position=0,0"),
             QStringLiteral("--window-size=800,600"), QStringLiteral("--app=") + page}};
    if (code == QLatin1String("FF"))
        return {{QStringLiteral("firefox")}, {QStringLiteral("-url"), page, QStringLiteral("-fullscreen")}};
    return {};
}

} // namespace vantorel
