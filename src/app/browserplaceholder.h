// SPDX-License-Identifier: GPL-3.0-or-later
// A stand-in for the embedded browser: shows a picture (the not-geotagged sign) or nothing.
#pragma once

#include "controller/platform.h"

#include <QLabel>

class QBuffer;
class QMovie;

namespace vantorel {

class BrowserPlaceholder : public QLabel, public BrowserView {
public:
    explicit BrowserPlaceholder(QWidget* parent);
    void navigate(const QString& url) override;
    // The picture from its bytes; the file is not opened.
    void showPicture(const QString& path, const QByteArray& picture) override;
    QString currentUrl() const { return m_url; }

private:
    QString m_url;
    QMovie* m_movie = nullptr;
    QBuffer* m_pictureBytes = nullptr;
};

} // namespace vantorel
