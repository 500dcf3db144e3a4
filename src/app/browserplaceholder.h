// A stand-in for the embedded browser: shows a picture (the not-geotagged sign) or nothing.
#pragma once

#include "controller/platform.h"

#include <QLabel>

class QMovie;

namespace vantorel {

class BrowserPlaceholder : public QLabel, public BrowserView {
public:
    explicit BrowserPlaceholder(QWidget* parent);
    void navigate(const QString& url) override;
    QString currentUrl() const { return m_url; }

private:
    QString m_url;
    QMovie* m_movie = nullptr;
};

} // namespace vantorel
