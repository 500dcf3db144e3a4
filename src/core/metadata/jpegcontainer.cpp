// SPDX-License-Identifier: GPL-3.0-or-later
#include "photocontainer.h"

#include "files/jpegsegments.h"

#include <cstring>

namespace vantorel {

namespace {

constexpr char kXmpNamespace[] = "http://ns.adobe.com/xap/1.0/";
constexpr qint64 kXmpNamespaceSize = sizeof kXmpNamespace; // with its NUL

// A JPEG's segments are walked by the one segment walker, as the head readers walk them; copies
// of a JPEG are planned by the location edit's own splices, not here.
class JpegContainer final : public PhotoContainer {
public:
    ContainerKind kind() const override { return ContainerKind::Jpeg; }

    ContainerLayout layout(const ByteSource& file) const override {
        constexpr qint64 kRead = 64 * 1024;
        constexpr qint64 kLimit = 16 * 1024 * 1024; // no sane file has this much before its picture
        ContainerLayout layout;
        QByteArray head = file.read(0, kRead);
        if (!isJpegStart(head)) {
            layout.error = QStringLiteral("pas un fichier JPEG");
            return layout;
        }
        const auto payloadStarts = [&](const JpegSegment& s, const char* text, qint64 size) {
            return s.payloadSize() >= size &&
                   std::memcmp(head.constData() + s.payloadOffset(), text, size) == 0;
        };
        JpegSegmentWalker walker;
        JpegSegment s;
        while (true) {
            switch (walker.next(head, s)) {
            case SegmentStep::Segment:
                if (s.marker == kMarkerSos) {
                    layout.pixelSize = jpegFrameSize(head);
                    return layout;
                }
                if (s.marker != kMarkerApp1) break;
                // The first Exif segment is the one every reader takes.
                if (payloadStarts(s, "Exif\0\0", 6)) {
                    if (layout.exif.isEmpty())
                        layout.exif.append({s.payloadOffset() + 6, s.payloadSize() - 6});
                } else if (payloadStarts(s, kXmpNamespace, kXmpNamespaceSize)) {
                    layout.xmp.append(
                        {s.payloadOffset() + kXmpNamespaceSize, s.payloadSize() - kXmpNamespaceSize});
                }
                break;
            case SegmentStep::NeedMore: {
                const qint64 needed = walker.needed();
                if (needed > kLimit) {
                    layout.error = QStringLiteral("en-tête JPEG trop long");
                    return layout;
                }
                const QByteArray more = file.read(head.size(), std::max(needed - head.size(), kRead));
                if (more.isEmpty()) {
                    layout.error = QStringLiteral("fichier JPEG coupé avant l'image");
                    return layout;
                }
                head += more;
                break;
            }
            case SegmentStep::EndOfImage:
            case SegmentStep::Invalid:
                layout.error = QStringLiteral("fichier JPEG endommagé");
                return layout;
            }
        }
    }

    ContainerPlan plan(const QByteArray&, const BlockEditor&) const override {
        ContainerPlan plan;
        plan.error = QStringLiteral("format non pris en charge");
        return plan;
    }
};

} // namespace

const PhotoContainer& jpegContainer() {
    static const JpegContainer container;
    return container;
}

} // namespace vantorel
