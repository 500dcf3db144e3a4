// SPDX-License-Identifier: GPL-3.0-or-later
// The embedded browser, started late: Qt WebEngine takes a quarter of a second to start, so the
// window first paints a blank place for it. The real view (and the maps' profile) is made right
// after that place is first painted, or at the first map page asked for, whichever comes first;
// what was asked before is then shown.
#pragma once

#include "controller/platform.h"

#include <QWidget>
#include <optional>

namespace vantorel {

class WebMapView;

class LazyBrowser : public QWidget, public BrowserView {
    Q_OBJECT
public:
    // `name`: the object name of the real view.
    LazyBrowser(const QString& name, QWidget* parent);
    // Other pages (a blank page, a picture) wait for the view when it is not made yet.
    void navigate(const QString& url) override;
    // A map page makes the view at once.
    void showPage(const QString& pagePath, const QByteArray& page) override;
    // A picture waits for the view as other pages do.
    void showPicture(const QString& path, const QByteArray& picture) override;
    // The real view; null until made.
    WebMapView* view() const { return m_view; }
    // Makes the real view now, if not made yet, and shows what was asked of it.
    WebMapView* ensureView();

signals:
    // The real view was just made.
    void viewCreated(WebMapView* view);

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Request {
        QString url;
        std::optional<QByteArray> page; // a map page to show; else `url` is navigated to
        bool picture = false;           // `page` is a picture
    };
    // Makes the view once the current paint is over.
    void scheduleView();
    QString m_name;
    WebMapView* m_view = nullptr;
    bool m_scheduled = false;
    // Each request replaces the page shown: only the last one waits.
    std::optional<Request> m_pending;
};

// The main window's and the overview's browser: the real one, started late, with Qt WebEngine;
// else the plain stand-in of the tests, showing pictures.
struct EmbeddedBrowser {
    QWidget* widget;
    BrowserView* view;
    LazyBrowser* lazy; // null for the stand-in
};
EmbeddedBrowser makeEmbeddedBrowser(bool webEngine, const QString& name, QWidget* parent);

} // namespace vantorel
