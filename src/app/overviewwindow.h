// SPDX-License-Identifier: GPL-3.0-or-later
// Form3: the window of the overview map, one browser filling it.
#pragma once

#include "controller/platform.h"

#include <QWidget>

namespace vantorel {

class OverviewWindow : public QWidget {
    Q_OBJECT
public:
    // `webEngine`: the real embedded browser, else the stand-in of the tests.
    explicit OverviewWindow(bool webEngine, QWidget* parent = nullptr);
    BrowserView& browser() { return *m_browserView; }
    QWidget* browserWidget() const { return m_browser; }

signals:
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* m_browser = nullptr; // CppWebBrowser2
    BrowserView* m_browserView = nullptr;
};

} // namespace vantorel
