// SPDX-License-Identifier: GPL-3.0-or-later
// Decoding off the window's thread: the window keeps repainting and answering while a large or hostile
// file is decoded, and a newer request stops the older decode instead of waiting for it.
#pragma once

#include "jpegdecoder.h"

#include <QObject>
#include <QThreadPool>

#include <functional>
#include <memory>

namespace vantorel {

class PictureLoader : public QObject {
    Q_OBJECT
public:
    // Runs on the worker; gives up (with a null picture) once `cancel` is set.
    using Decode = std::function<DecodedPicture(const CancelFlag& cancel)>;

    explicit PictureLoader(QObject* parent = nullptr);
    // Stops the running decode and waits for the worker.
    ~PictureLoader() override;

    // Starts `decode` on the worker and stops the one before, whose result is never delivered.
    // Returns the request's number, which `decoded` carries.
    quint64 start(Decode decode);
    // Stops the running decode: no result of an earlier request is delivered.
    void cancel();
    // True from start until the result is delivered or the request cancelled.
    bool busy() const { return m_current != nullptr; }

signals:
    // On the loader's thread; the picture is null when the file could not be decoded.
    void decoded(quint64 request, const vantorel::DecodedPicture& picture);

private:
    struct Request;
    QThreadPool m_worker;
    std::shared_ptr<Request> m_current;
    quint64 m_lastRequest = 0;
};

} // namespace vantorel
