#include "mapsettings.h"

#include "text/programinfo.h"

#include <QCoreApplication>
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
