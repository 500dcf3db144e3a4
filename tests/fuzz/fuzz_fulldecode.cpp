// The viewer's full-size decode of a fuzzed picture.
#include "display/jpegdecoder.h"
#include "fuzzinput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString& path = vantorel::fuzz::writeInput(data, size);
    const auto declared = vantorel::jpegSize(path);
    if (declared && qint64(declared->width()) * declared->height() > vantorel::fuzz::kMaxFuzzedPixels)
        return 0;
    (void)vantorel::decodeFull(path, QSize(2048, 2048));
    return 0;
}
