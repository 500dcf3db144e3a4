// SPDX-License-Identifier: GPL-3.0-or-later
#include "commandline.h"

#include "files/pathnames.h"
#include "text/positiontext.h"

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

const QString kOneLinkOnly = QStringLiteral("la carte s'ouvre sur le premier lien seulement");

} // namespace

QString refusedLinkMessage(const QString& link, const QString& reason) {
    // A link of any length is named by its beginning.
    constexpr int kShown = 60;
    const QString shown = link.size() > kShown ? link.left(kShown) + QStringLiteral("…") : link;
    return QStringLiteral("Lien « %1 » refusé : %2").arg(shown, reason);
}

std::optional<GeoPosition> parseGeoLink(const QString& link) {
    if (!link.startsWith(QLatin1String("geo:"), Qt::CaseInsensitive)) return std::nullopt;
    const PositionReading reading = readPositionText(link);
    if (!reading.ok) return std::nullopt;
    return GeoPosition{reading.latitude, reading.longitude};
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
            } else if (name.startsWith(QLatin1String("geo:"), Qt::CaseInsensitive)) {
                const PositionReading reading = readPositionText(name);
                if (!reading.ok)
                    line.refusedLinks << refusedLinkMessage(name, reading.reason);
                else if (line.mapPosition)
                    line.refusedLinks << refusedLinkMessage(name, kOneLinkOnly);
                else
                    line.mapPosition = GeoPosition{reading.latitude, reading.longitude};
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
