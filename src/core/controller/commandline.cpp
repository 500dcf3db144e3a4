#include "commandline.h"

#include "files/pathnames.h"

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

} // namespace

WindowCommandLine splitWindowCommandLine(int argc, const char* const* argv) {
    WindowCommandLine line;
    line.qtArguments << QByteArray(argc > 0 ? argv[0] : "vantorel");
    bool onlyPhotos = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (onlyPhotos || arg[0] != '-' || arg[1] == '\0') {
            line.photos << decodePath(QByteArray(arg));
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
