// SPDX-License-Identifier: GPL-3.0-or-later
// The real desktop services that are not dialogs: the connectivity check (the system's network
// service) and the user's own browser (xdg settings, the PATH, a detached process).
#pragma once

#include "controller/platform.h"
#include "pageserver.h"

namespace vantorel {

class NetworkConnectivity : public Connectivity {
public:
    ConnectionState CheckInternetConnection() override;
};

class DesktopBrowser : public ExternalBrowser {
public:
    DefaultBrowser defaultBrowser() override;
    QString findProgram(const QStringList& names) override;
    bool launch(const QString& program, const QStringList& arguments) override;
    // The page's address on the loopback server, under the run's token, so that its tile requests
    // carry a referrer.
    QString pageAddress(const QByteArray& page) override;
};

} // namespace vantorel
