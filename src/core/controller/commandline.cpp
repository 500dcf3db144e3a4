#include "commandline.h"

#include "files/pathnames.h"

#include <QUrl>
#include <cmath>
#include <cstring>

namespace vantorel {
namespace {

// Qt's options (QGuiApplication, QApplication, xcb) that take the next argument as their value.
bool takesValue(const char* option) {
    static const char* const kWithValue[] = {
        "platform",
        "platformpluginpath",
        "platformtheme",
        "plugin",
        "qwindowgeometry",
        "geometry",
        "qwindowtitle",
        "title",
        "qwindowicon",
        "icon",
        "display",
        "session",
        "style",
        "stylesheet",
        "name",
        "qmljsdebugger",
        "dialogs",
        "fontengine",
        "visual",
        "ncols",
        "cmap",
        "graphicssystem",
    };
    const char* name = option + (std::strncmp(option, "--", 2) == 0 ? 2 : 1);
    if (std::strchr(name, '=')) return false;
    for (const char* known : kWithValue)
        if (std::strcmp(name, known) == 0) return true;
    return false;
}

// "LAT,LON[,ALT]" with points for decimals.
std::optional<GeoPosition> parseCoordinatePair(const QString& text) {
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() < 2 || parts.size() > 3) return std::nullopt;
    bool okLat = false, okLon = false;
    const double lat = parts[0].trimmed().toDouble(&okLat);
    const double lon = parts[1].trimmed().toDouble(&okLon);
    if (!okLat || !okLon || !std::isfinite(lat) || !std::isfinite(lon) || std::abs(lat) > 90 ||
        std::abs(lon) > 180)
        return std::nullopt;
    return GeoPosition{lat, lon};
}

// A file URL's path with its percent-encoded bytes back as they were.
QString fileUrlPath(const QByteArray& arg) {
    QByteArray path = arg.mid(7); // after "file://"
    if (!path.startsWith('/')) {  // "file://host/path": only this machine's files
        const int slash = path.indexOf('/');
        if (slash < 0 || path.left(slash) != "localhost") return decodePath(arg);
        path = path.mid(slash);
    }
    return decodePath(QByteArray::fromPercentEncoding(path));
}

} // namespace

std::optional<GeoPosition> parseGeoLink(const QString& link) {
    if (!link.startsWith(QLatin1String("geo:"), Qt::CaseInsensitive)) return std::nullopt;
    QString rest = QUrl::fromPercentEncoding(link.mid(4).toUtf8());
    QString query;
    if (const int q = rest.indexOf(QLatin1Char('?')); q >= 0) {
        query = rest.mid(q + 1);
        rest.truncate(q);
    }
    const QStringList params = rest.split(QLatin1Char(';'));
    for (int i = 1; i < params.size(); ++i) {
        const QString param = params[i].trimmed().toLower();
        if (param.startsWith(QLatin1String("crs=")) && param != QLatin1String("crs=wgs84"))
            return std::nullopt; // another body's or another datum's coordinates
    }
    std::optional<GeoPosition> position = parseCoordinatePair(params[0]);
    // Phones write "geo:0,0?q=48.85,2.29(Name)" for a labelled point.
    for (const QString& item : query.split(QLatin1Char('&'))) {
        if (!item.startsWith(QLatin1String("q="))) continue;
        QString value = item.mid(2);
        value.truncate(value.indexOf(QLatin1Char('(')) < 0 ? value.size() : value.indexOf(QLatin1Char('(')));
        if (const auto fromQuery = parseCoordinatePair(value.replace(QLatin1Char('+'), QString())))
            if (!position || (position->latitude == 0 && position->longitude == 0)) position = fromQuery;
    }
    return position;
}

WindowCommandLine splitWindowCommandLine(int argc, const char* const* argv) {
    WindowCommandLine line;
    line.qtArguments << QByteArray(argc > 0 ? argv[0] : "vantorel");
    bool onlyPhotos = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (onlyPhotos || arg[0] != '-' || arg[1] == '\0') {
            const QByteArray bytes(arg);
            const QString name = decodePath(bytes);
            if (bytes.startsWith("file://")) {
                line.photos << fileUrlPath(bytes);
            } else if (const auto position = parseGeoLink(name); position && !line.mapPosition) {
                line.mapPosition = position;
            } else {
                line.photos << name;
            }
        } else if (std::strcmp(arg, "--") == 0) {
            onlyPhotos = true;
        } else {
            line.qtArguments << QByteArray(arg);
            if (takesValue(arg) && i + 1 < argc) line.qtArguments << QByteArray(argv[++i]);
        }
    }
    return line;
}

} // namespace vantorel
