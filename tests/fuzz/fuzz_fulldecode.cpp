// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer's full-size decode of a fuzzed picture.
#include "display/jpegdecoder.h"
#include "fuzzinput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString& path = vantorel::fuzz::writeInput(data, size);
    const auto declared = vantorel::jpegSize(path);
    if (declared && qint64(declared->width()) * declared->height() > vantorel::fuzz::kMaxFuzzedPixels)
        return 0;
    // Fitted into 2048 x 2048 when larger, as the viewer fits a picture into the screen.
    (void)vantorel::decodeForShowing(path, [](QSize natural) {
        return natural.boundedTo(QSize(2048, 2048)) == natural
                   ? natural
                   : natural.scaled(2048, 2048, Qt::KeepAspectRatio);
    });
    return 0;
}
