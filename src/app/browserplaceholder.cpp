#include "browserplaceholder.h"

#include <QFileInfo>
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
    clear();
    if (url.endsWith(QLatin1String(".gif"), Qt::CaseInsensitive) && QFileInfo::exists(url)) {
        m_movie = new QMovie(url, QByteArray(), this);
        setMovie(m_movie);
        m_movie->start();
    }
}

} // namespace vantorel
