// The window's command line split before Qt sees it: Qt's own options for QApplication, photos for
// the program. A photo named "-reverse" or "-style" must never reach Qt's option parser.
#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>

namespace vantorel {

struct WindowCommandLine {
    QList<QByteArray> qtArguments; // the program's name first, then Qt's options and their values
    QStringList photos;            // names as given (bytes kept, see files/pathnames.h)
};

// Every argument after "--" is a photo. Before it, an argument starting with "-" is one of Qt's
// options (with the next argument as its value for those that take one); any other is a photo.
WindowCommandLine splitWindowCommandLine(int argc, const char* const* argv);

} // namespace vantorel
