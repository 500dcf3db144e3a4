// SPDX-License-Identifier: GPL-3.0-or-later
#include "browserplaceholder.h"

#include <QBuffer>
#include <QMovie>

namespace vantorel {

BrowserPlaceholder::BrowserPlaceholder(QWidget* parent) : QLabel(parent) {
    setObjectName(QStringLiteral("CppWebBrowser1"));
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignCenter);
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::white);
    setPalette(p);
}

void BrowserPlaceholder::navigate(const QString& url) {
    m_url = url;
    if (m_movie) {
        m_movie->stop();
        m_movie->deleteLater();
        m_movie = nullptr;
    }
    if (m_pictureBytes) {
        m_pictureBytes->deleteLater();
        m_pictureBytes = nullptr;
    }
    clear();
}

void BrowserPlaceholder::showPicture(const QString& path, const QByteArray& picture) {
    navigate(path);
    if (picture.isEmpty()) return;
    m_pictureBytes = new QBuffer(this);
    m_pictureBytes->setData(picture);
    m_pictureBytes->open(QIODevice::ReadOnly);
    m_movie = new QMovie(m_pictureBytes, QByteArray(), this);
    setMovie(m_movie);
    m_movie->start();
}

} // namespace vantorel
