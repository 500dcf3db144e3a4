// SPDX-License-Identifier: GPL-3.0-or-later
#include "overviewwindow.h"

#include "lazybrowser.h"

#include <QCloseEvent>

namespace vantorel {

OverviewWindow::OverviewWindow(bool webEngine, QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Vantorel"));
    const EmbeddedBrowser browser = makeEmbeddedBrowser(webEngine, QStringLiteral("CppWebBrowser2"), this);
    m_browser = browser.widget;
    m_browserView = browser.view;
    m_browser->setGeometry(8, 8, 947, 689);
}

void OverviewWindow::closeEvent(QCloseEvent* event) {
    emit closed();
    QWidget::closeEvent(event);
}

} // namespace vantorel
