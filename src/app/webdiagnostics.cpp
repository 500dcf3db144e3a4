#include "webdiagnostics.h"

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
}

} // namespace vantorel
