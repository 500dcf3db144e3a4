// SPDX-License-Identifier: GPL-3.0-or-later
// The HEIF container on a fuzzed file: the blocks it finds lie inside the file and start with a
// TIFF header, a copy's splices are in order inside the file, and the copy with a new Exif block
// is walked again with that block found whole.
#include "files/jpegsegments.h"
#include "fuzzinput.h"
#include "metadata/photocontainer.h"

namespace {

// A TIFF block with nothing but a header and an empty main directory.
const QByteArray kNewBlock = QByteArrayLiteral("MM\0*\0\0\0\x08\0\0\0\0\0\0");

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vantorel;
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const PhotoContainer& heif = bmffContainer();
    const ContainerLayout layout = heif.layout(MemorySource(bytes));
    for (const ByteRange& r : layout.exif) {
        if (r.offset < 0 || r.size < 4 || r.offset + r.size > bytes.size())
            fuzz::fail("Exif range outside the file");
        const QByteArray head = bytes.mid(r.offset, 4);
        if (head != QByteArrayLiteral("II*\0") && head != QByteArrayLiteral("MM\0*"))
            fuzz::fail("no TIFF header");
    }
    for (const ByteRange& r : layout.xmp)
        if (r.offset < 0 || r.size < 0 || r.offset + r.size > bytes.size())
            fuzz::fail("XMP range outside the file");

    BlockEditor editor;
    editor.exif = [](const QByteArray&, QString&) -> std::optional<QByteArray> { return kNewBlock; };
    editor.xmp = [](const QByteArray& packet, QString&) -> std::optional<QByteArray> {
        return packet + "<x/>";
    };
    const ContainerPlan plan = heif.plan(bytes, editor);
    if (!plan.error.isEmpty() || plan.changes.isEmpty()) return 0;
    qint64 end = 0;
    for (const SegmentChange& c : plan.changes) {
        if (c.offset < end || c.replacedSize < 0 || c.offset + c.replacedSize > bytes.size())
            fuzz::fail("splices out of order or outside the file");
        end = c.offset + c.replacedSize;
    }
    const QByteArray copy = applySegmentChanges(bytes, plan.changes);
    const ContainerLayout after = heif.layout(MemorySource(copy));
    if (!after.error.isEmpty()) fuzz::fail("the copy cannot be walked");
    bool found = false;
    for (const ByteRange& r : after.exif)
        found = found || copy.mid(r.offset, r.size) == kNewBlock;
    if (!found) fuzz::fail("the copy's Exif block is not the new one");
    return 0;
}
