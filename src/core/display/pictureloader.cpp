// SPDX-License-Identifier: GPL-3.0-or-later
// One worker thread decodes; results come back through the loader's event queue, so a request
// cancelled (or a loader destroyed) after its decode ended still never delivers.
#include "pictureloader.h"

namespace vantorel {

struct PictureLoader::Request {
    quint64 number = 0;
    CancelFlag cancelled{false};
};

PictureLoader::PictureLoader(QObject* parent) : QObject(parent) {
    // One decode at a time: a cancelled one stops at its next row of blocks, then the newer one runs.
    m_worker.setMaxThreadCount(1);
}

PictureLoader::~PictureLoader() {
    cancel();
    m_worker.waitForDone();
}

quint64 PictureLoader::start(Decode decode) {
    cancel();
    auto request = std::make_shared<Request>();
    request->number = ++m_lastRequest;
    m_current = request;
    m_worker.start([this, request, decode = std::move(decode)] {
        if (request->cancelled) return;
        DecodedPicture picture = decode(request->cancelled);
        if (request->cancelled) return;
        QMetaObject::invokeMethod(
            this,
            [this, request, picture = std::move(picture)] {
                if (request->cancelled || m_current != request) return;
                m_current.reset();
                emit decoded(request->number, picture);
            },
            Qt::QueuedConnection);
    });
    return request->number;
}

void PictureLoader::cancel() {
    if (!m_current) return;
    m_current->cancelled = true;
    m_current.reset();
}

} // namespace vantorel
