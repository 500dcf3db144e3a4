#include "overviewwindow.h"

#include "browserplaceholder.h"
#include "webmapview.h"

#include <QCloseEvent>

namespace vantorel {

OverviewWindow::OverviewWindow(bool webEngine, QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Vantorel"));
    if (webEngine) {
        auto* view = new WebMapView(QStringLiteral("CppWebBrowser2"), this);
        m_browser = view;
        m_browserView = view;
    } else {
        auto* placeholder = new BrowserPlaceholder(this);
        placeholder->setObjectName(QStringLiteral("CppWebBrowser2"));
        m_browser = placeholder;
        m_browserView = placeholder;
    }
    m_browser->setGeometry(8, 8, 947, 689);
}

void OverviewWindow::closeEvent(QCloseEvent* event) {
    emit closed();
    QWidget::closeEvent(event);
}

} // namespace vantorel
