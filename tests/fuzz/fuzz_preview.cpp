// SPDX-License-Identifier: GPL-3.0-or-later
// The preview's scaled decode and the header-only size of a fuzzed picture.
#include "display/jpegdecoder.h"
#include "files/jpegsegments.h"
#include "fuzzinput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    (void)vantorel::jpegFrameSize(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    const QString& path = vantorel::fuzz::writeInput(data, size);
    const auto declared = vantorel::jpegSize(path);
    if (declared && qint64(declared->width()) * declared->height() > vantorel::fuzz::kMaxFuzzedPixels)
        return 0;
    (void)vantorel::decodePreview(path, QSize(320, 240));
    return 0;
}
