// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapsettings.h"

#include "files/atomicfile.h"
#include "text/programinfo.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace vantorel {

MapSettings loadMapSettings() {
    MapSettings s;
    QSettings file(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("vantorel"),
                   QStringLiteral("vantorel"));
    file.beginGroup(QStringLiteral("maps"));
    s.googleMapsKey = file.value(QStringLiteral("googleMapsKey")).toString().trimmed();
    const QString tiles = file.value(QStringLiteral("tileUrl")).toString().trimmed();
    if (!tiles.isEmpty()) s.tileUrl = tiles;
    const QString attribution = file.value(QStringLiteral("tileAttribution")).toString();
    if (!attribution.isEmpty()) s.tileAttribution = attribution;
    bool sized = false;
    const int megabytes = file.value(QStringLiteral("tileCacheSize")).toInt(&sized);
    // Nonsense (zero, which the engine takes for no bound, negative, beyond the 2 GB it can count)
    // keeps the default.
    if (sized && megabytes > 0 && megabytes <= 2047) s.tileCacheMegabytes = megabytes;
    const QString key = qEnvironmentVariable("VANTOREL_GOOGLE_MAPS_KEY").trimmed();
    if (!key.isEmpty()) s.googleMapsKey = key;
    if (!s.googleMapsKey.isEmpty()) s.library = MapLibrary::Google;
    return s;
}

QString tileUserAgent() {
    // Names the program, its version and where to reach its makers, as tile servers ask.
    return QStringLiteral("Vantorel/%1 (+%2; geotag viewer; Qt WebEngine)")
        .arg(programVersion(), programHomepage());
}

} // namespace vantorel

namespace vantorel {

QString mapCacheFolder() {
    QString base = qEnvironmentVariable("XDG_CACHE_HOME");
    // A relative XDG_CACHE_HOME is not to be used: the desktop convention ignores it.
    if (base.isEmpty() || QDir::isRelativePath(base)) base = QDir::homePath() + QStringLiteral("/.cache");
    return base + QStringLiteral("/vantorel");
}

QString checkedMapCacheFolder(QString* why) {
    const QString folder = mapCacheFolder();
    QDir().mkpath(QFileInfo(folder).path());
    if (!ensurePrivateFolder(folder, why)) return {};
    return folder;
}

} // namespace vantorel
