// SPDX-License-Identifier: GPL-3.0-or-later
#include "webdiagnostics.h"

#include <QByteArray>
#include <QLoggingCategory>
#include <QString>

#include <cstring>

namespace vantorel {
namespace {

Q_LOGGING_CATEGORY(lcWeb, "vantorel.web", QtInfoMsg)

QtMessageHandler previousHandler = nullptr;

bool isWebEngineDiagnostic(const QMessageLogContext& context, const QString& message) {
    const char* category = context.category ? context.category : "";
    return std::strncmp(category, "qt.webengine", 12) == 0 || std::strcmp(category, "js") == 0 ||
           message == QLatin1String("Sandboxing disabled by user.");
}

void handle(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type != QtCriticalMsg && type != QtFatalMsg && isWebEngineDiagnostic(context, message)) {
        if (!lcWeb().isDebugEnabled()) return;
        const QMessageLogContext routed(context.file, context.line, context.function, lcWeb().categoryName());
        previousHandler(QtDebugMsg, routed, message);
        return;
    }
    previousHandler(type, context, message);
}

} // namespace

void routeWebEngineDiagnostics() {
    if (!previousHandler) previousHandler = qInstallMessageHandler(handle);
    // The engine's own processes write their errors straight to standard error (a GPU context
    // that failed once under load, say): quiet unless the category is on or a level was chosen.
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (!lcWeb().isDebugEnabled() && !flags.contains("--log-level") && !flags.contains("--enable-logging")) {
        flags += flags.isEmpty() ? "--log-level=3" : " --log-level=3";
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
    }
}

} // namespace vantorel
