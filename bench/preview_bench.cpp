// Decodes one file as the window does, once, and exits: timed as a whole process against djpeg by
// bench/preview_bench.sh.
//   preview_bench FILE                  the preview (272 x 353)
//   preview_bench --viewer WxH FILE     the full-size viewer on a WxH screen, as painted
#include "display/jpegdecoder.h"
#include "display/viewergeometry.h"

#include <QString>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    QSize screen;
    int first = 1;
    if (argc == 4 && std::strcmp(argv[1], "--viewer") == 0) {
        const QStringList wh = QString::fromLatin1(argv[2]).split(QLatin1Char('x'));
        if (wh.size() == 2) screen = QSize(wh[0].toInt(), wh[1].toInt());
        first = 3;
    }
    if (argc != first + 1 || (first == 3 && screen.isEmpty())) {
        std::fprintf(stderr, "usage: %s [--viewer WxH] FILE\n", argv[0]);
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[first]);
    QImage image;
    if (screen.isEmpty())
        image = vantorel::decodePreview(path, QSize(272, 353));
    else
        image = vantorel::decodeForShowing(path, [screen](QSize natural) {
                    return vantorel::viewerPictureSize(natural, screen);
                }).image;
    if (image.isNull()) {
        std::fprintf(stderr, "cannot decode %s\n", argv[first]);
        return 1;
    }
    return 0;
}
