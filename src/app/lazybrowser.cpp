// SPDX-License-Identifier: GPL-3.0-or-later
#include "lazybrowser.h"

#include "browserplaceholder.h"
#include "webmapview.h"

#include <QEvent>
#include <QPainter>
#include <QTimer>
#include <QVBoxLayout>

namespace vantorel {

LazyBrowser::LazyBrowser(const QString& name, QWidget* parent) : QWidget(parent), m_name(name) {
    setObjectName(name + QStringLiteral("Host"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    // The window's first paint, whatever part of it is painted.
    if (parent) parent->window()->installEventFilter(this);
}

bool LazyBrowser::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Paint) {
        watched->removeEventFilter(this);
        scheduleView();
    }
    return QWidget::eventFilter(watched, event);
}

void LazyBrowser::scheduleView() {
    if (m_view || m_scheduled) return;
    m_scheduled = true;
    // After this paint has reached the screen.
    QTimer::singleShot(0, this, [this] { ensureView(); });
}

void LazyBrowser::navigate(const QString& url) {
    if (m_view) {
        m_view->navigate(url);
        return;
    }
    m_pending = Request{url, std::nullopt};
}

void LazyBrowser::showPicture(const QString& path, const QByteArray& picture) {
    if (m_view) {
        m_view->showPicture(path, picture);
        return;
    }
    m_pending = Request{path, picture, true};
}

void LazyBrowser::showPage(const QString& pagePath, const QByteArray& page) {
    m_pending = Request{pagePath, page};
    ensureView();
}

WebMapView* LazyBrowser::ensureView() {
    if (m_view) {
        if (m_pending) {
            const Request request = *std::exchange(m_pending, std::nullopt);
            if (request.page && request.picture)
                m_view->showPicture(request.url, *request.page);
            else if (request.page)
                m_view->showPage(request.url, *request.page);
            else
                m_view->navigate(request.url);
        }
        return m_view;
    }
    m_view = new WebMapView(m_name, this);
    m_view->CppWebBrowser1NavigateComplete2 = [this](const QString& url) { navigationFinished(url); };
    layout()->addWidget(m_view);
    m_view->show();
    emit viewCreated(m_view);
    return ensureView();
}

void LazyBrowser::paintEvent(QPaintEvent* event) {
    // Blank as an empty web view until the view covers it.
    QPainter(this).fillRect(rect(), Qt::white);
    QWidget::paintEvent(event);
    scheduleView();
}

EmbeddedBrowser makeEmbeddedBrowser(bool webEngine, const QString& name, QWidget* parent) {
    if (webEngine) {
        auto* lazy = new LazyBrowser(name, parent);
        return {lazy, lazy, lazy};
    }
    auto* placeholder = new BrowserPlaceholder(parent);
    placeholder->setObjectName(name);
    return {placeholder, placeholder, nullptr};
}

} // namespace vantorel
