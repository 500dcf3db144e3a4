// SPDX-License-Identifier: GPL-3.0-or-later
// Decodes one file as the window does (a JPEG picture, or any other format the window shows), once, and
// exits: timed as a whole process against djpeg by bench/preview_bench.sh.
//   preview_bench FILE                  the preview (272 x 353)
//   preview_bench --viewer WxH FILE     the full-size viewer on a WxH screen, as painted
//   preview_bench --in-process WxH FILE [RUNS]
//       both inside this process, taking turns: the viewer's decode against libjpeg decoding at 1/2 as
//       djpeg -scale 1/2 does (default settings, RGB rows into one reused row); medians in ms
#include "display/picturedecoder.h"
#include "display/viewergeometry.h"
#include "files/jpeghead.h"

#include <QElapsedTimer>
#include <QString>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include <jpeglib.h>

namespace {

QSize parseSize(const char* text) {
    const QStringList wh = QString::fromLatin1(text).split(QLatin1Char('x'));
    return wh.size() == 2 ? QSize(wh[0].toInt(), wh[1].toInt()) : QSize();
}

QImage viewerDecode(const QString& path, QSize screen) {
    return vantorel::decodePictureForShowing(
               path, [screen](QSize natural) { return vantorel::viewerPictureSize(natural, screen); })
        .image;
}

struct JumpError {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

// What djpeg -scale 1/2 does before writing its rows out. False when the file does not decode.
bool djpegLikeDecode(const char* path) {
    FILE* file = std::fopen(path, "rb");
    if (!file) return false;
    jpeg_decompress_struct cinfo{};
    JumpError error{};
    cinfo.err = jpeg_std_error(&error.pub);
    error.pub.error_exit = [](j_common_ptr c) {
        std::longjmp(reinterpret_cast<JumpError*>(c->err)->jump, 1);
    };
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&cinfo);
        std::fclose(file);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, file);
    jpeg_read_header(&cinfo, TRUE);
    cinfo.scale_num = 1;
    cinfo.scale_denom = 2;
    jpeg_start_decompress(&cinfo);
    std::vector<JSAMPLE> row(std::size_t(cinfo.output_width) * std::size_t(cinfo.output_components));
    JSAMPROW rows[1] = {row.data()};
    while (cinfo.output_scanline < cinfo.output_height)
        jpeg_read_scanlines(&cinfo, rows, 1);
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    std::fclose(file);
    return true;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

int inProcess(QSize screen, const char* file, int runs) {
    const QString path = QString::fromLocal8Bit(file);
    std::vector<double> ours, theirs;
    QElapsedTimer t;
    for (int i = 0; i < runs + 1; ++i) {
        t.start();
        const bool decoded = !viewerDecode(path, screen).isNull();
        const double a = t.nsecsElapsed() / 1e6;
        t.start();
        const bool decodedToo = djpegLikeDecode(file);
        const double b = t.nsecsElapsed() / 1e6;
        if (!decoded || !decodedToo) {
            std::fprintf(stderr, "cannot decode %s\n", file);
            return 1;
        }
        if (i == 0) continue; // the first of each warms the page cache and the allocator
        ours.push_back(a);
        theirs.push_back(b);
    }
    std::printf("%.2f %.2f\n", median(ours), median(theirs));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 4 && std::strcmp(argv[1], "--in-process") == 0) {
        const QSize screen = parseSize(argv[2]);
        if (!screen.isEmpty())
            return inProcess(screen, argv[3], argc > 4 ? std::max(1, std::atoi(argv[4])) : 15);
    }
    QSize screen;
    int first = 1;
    if (argc == 4 && std::strcmp(argv[1], "--viewer") == 0) {
        screen = parseSize(argv[2]);
        first = 3;
    }
    if (argc != first + 1 || (first == 3 && screen.isEmpty())) {
        std::fprintf(stderr, "usage: %s [--viewer WxH] FILE | --in-process WxH FILE [RUNS]\n", argv[0]);
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[first]);
    const QImage image =
        screen.isEmpty() ? vantorel::decodePicturePreview(*vantorel::OpenedPhoto::open(path), QSize(272, 353))
                         : viewerDecode(path, screen);
    if (image.isNull()) {
        std::fprintf(stderr, "cannot decode %s\n", argv[first]);
        return 1;
    }
    return 0;
}
