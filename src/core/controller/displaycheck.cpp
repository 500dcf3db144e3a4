// SPDX-License-Identifier: GPL-3.0-or-later
#include "displaycheck.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace vantorel {

const char* const kNoDisplayMessage =
    "vantorel : aucun écran, la fenêtre ne peut pas s'ouvrir (DISPLAY et WAYLAND_DISPLAY ne mènent à "
    "aucun écran). vantorel-cli fonctionne sans écran.\n";

namespace {

// The value after a Qt option ("-platform xcb" or "--platform=xcb"); the last one wins, as in Qt.
QString optionValue(const QByteArrayList& args, const QByteArray& name, const QString& fallback) {
    QString value = fallback;
    for (int i = 0; i < args.size(); ++i) {
        QByteArray arg = args[i];
        if (arg.startsWith("--")) arg.remove(0, 1);
        if (arg == "-" + name && i + 1 < args.size())
            value = QString::fromLocal8Bit(args[++i]);
        else if (arg.startsWith("-" + name + "="))
            value = QString::fromLocal8Bit(arg.mid(name.size() + 2));
    }
    return value;
}

bool x11Reachable(const QString& display, const QString& socketDir) {
    if (display.isEmpty()) return false;
    // ":0", ":0.0", "unix:0": a local server, listening on socketDir/X0.
    static const QRegularExpression local(QStringLiteral("^(?:unix)?:(\\d+)(?:\\.\\d+)?$"));
    const QRegularExpressionMatch m = local.match(display);
    if (!m.hasMatch()) return true; // a host or a socket path: Qt tries it
    return QFileInfo::exists(socketDir + QStringLiteral("/X") + m.captured(1));
}

bool waylandReachable(const QProcessEnvironment& env) {
    if (!env.value(QStringLiteral("WAYLAND_SOCKET")).isEmpty()) return true;
    const QString name = env.value(QStringLiteral("WAYLAND_DISPLAY"));
    if (name.isEmpty()) return false;
    if (name.startsWith(u'/')) return QFileInfo::exists(name);
    const QString runtime = env.value(QStringLiteral("XDG_RUNTIME_DIR"));
    return !runtime.isEmpty() && QFileInfo::exists(runtime + u'/' + name);
}

} // namespace

bool displayReachable(const QByteArrayList& qtArguments, const QProcessEnvironment& env,
                      const QString& x11SocketDir) {
    const QString platforms =
        optionValue(qtArguments, "platform", env.value(QStringLiteral("QT_QPA_PLATFORM")));
    const QString display = optionValue(qtArguments, "display", env.value(QStringLiteral("DISPLAY")));
    bool x11 = platforms.isEmpty(), wayland = platforms.isEmpty();
    // "wayland;xcb", "xcb:option=value": every name of the list, options dropped.
    for (const QString& entry : platforms.split(u';', Qt::SkipEmptyParts)) {
        const QString name = entry.section(u':', 0, 0).trimmed();
        if (name == QLatin1String("xcb"))
            x11 = true;
        else if (name.startsWith(QLatin1String("wayland")))
            wayland = true;
        else if (!name.isEmpty())
            return true; // offscreen, minimal, vnc, eglfs...: no display to look for here
    }
    return (x11 && x11Reachable(display, x11SocketDir)) || (wayland && waylandReachable(env));
}

} // namespace vantorel
