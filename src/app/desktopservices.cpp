// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktopservices.h"

#include <QNetworkInformation>
#include <QProcess>
#include <QStandardPaths>

namespace vantorel {
namespace {

// The first line a helper program prints, or an empty text when it cannot run or fails.
QString firstLineOf(const QString& program, const QStringList& arguments) {
    const QString path = QStandardPaths::findExecutable(program);
    if (path.isEmpty()) return {};
    QProcess process;
    process.start(path, arguments, QIODevice::ReadOnly);
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(1000);
        return {};
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) return {};
    return QString::fromLocal8Bit(process.readAllStandardOutput()).section(u'\n', 0, 0).trimmed();
}

} // namespace

ConnectionState NetworkConnectivity::CheckInternetConnection() {
    if (!QNetworkInformation::instance() &&
        !QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability))
        return ConnectionState::NoService;
    QNetworkInformation* info = QNetworkInformation::instance();
    if (!info) return ConnectionState::NoService;
    if (!info->supports(QNetworkInformation::Feature::Reachability)) return ConnectionState::Unknown;
    return info->reachability() == QNetworkInformation::Reachability::Online ? ConnectionState::Online
                                                                             : ConnectionState::Offline;
}

ExternalBrowser::DefaultBrowser DesktopBrowser::defaultBrowser() {
    const QString setting = QStringLiteral("xdg-settings get default-web-browser");
    QString entry = firstLineOf(QStringLiteral("xdg-settings"),
                                {QStringLiteral("get"), QStringLiteral("default-web-browser")});
    if (!entry.isEmpty()) return {entry, setting};
    entry = firstLineOf(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"),
                                                     QStringLiteral("x-scheme-handler/http")});
    if (!entry.isEmpty()) return {entry, QStringLiteral("xdg-mime query default x-scheme-handler/http")};
    return {QString(), setting};
}

QString DesktopBrowser::findProgram(const QStringList& names) {
    for (const QString& name : names) {
        const QString path = QStandardPaths::findExecutable(name);
        if (!path.isEmpty()) return path;
    }
    return {};
}

bool DesktopBrowser::launch(const QString& program, const QStringList& arguments) {
    return QProcess::startDetached(program, arguments);
}

} // namespace vantorel

namespace vantorel {

QString DesktopBrowser::pageAddress(const QByteArray& page) {
    // The browser's own slot, under the run's token: the browser is sent there by a file only this
    // user can read, and can reload the page for the rest of the run.
    return sharedPageServer().publish(QStringLiteral("navigateur"), page);
}

} // namespace vantorel
