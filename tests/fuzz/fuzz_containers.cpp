// SPDX-License-Identifier: GPL-3.0-or-later
// The TIFF, PNG and WebP readers and copy planners over fuzzed files: the layout's ranges lie in
// the file; a copy planned with a position written or the GPS directory erased has its splices in
// order inside the file and is a file of the same kind that walks again; a TIFF copy never shrinks.
#include "files/jpegsegments.h"
#include "geotag/gpsdirectoryedit.h"
#include "metadata/photocontainer.h"

#include <cstddef>
#include <cstdint>

namespace {

using namespace vantorel;

BlockEditor editorFor(const GpsDirectoryEdit& edit) {
    BlockEditor editor;
    editor.exif = [edit](const QByteArray& tiff, QString& error) -> std::optional<QByteArray> {
        if (tiff.isEmpty()) return edit.set.isEmpty() ? QByteArray() : newGpsBlock(edit.set);
        GpsDirectoryEditResult r = editGpsDirectory(tiff, edit);
        error = r.error;
        return r.block;
    };
    editor.xmp = [edit](const QByteArray& packet, QString&) -> std::optional<QByteArray> {
        return edit.set.isEmpty() ? QByteArray("<x/>") : packet + "    ";
    };
    return editor;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray file(reinterpret_cast<const char*>(data), qsizetype(size));
    const ContainerKind kind = sniffContainer(file.left(kSniffBytes));
    if (kind != ContainerKind::Tiff && kind != ContainerKind::Png && kind != ContainerKind::WebP) return 0;
    const PhotoContainer& container = *photoContainer(kind);
    const MemorySource source(file);
    const ContainerLayout layout = container.layout(source);
    for (const ByteRange& r : layout.exif + layout.xmp)
        if (r.offset < 0 || r.size < 0 || r.offset + r.size > file.size()) __builtin_trap();

    GpsDirectoryEdit written, erased;
    written.set = {{GpsLatitudeRef, TypeAscii, QByteArray("S\0", 2)},
                   {GpsLatitude, TypeRational, QByteArray(24, '\1')}};
    erased.removeDirectory = true;
    for (const GpsDirectoryEdit& edit : {written, erased}) {
        const ContainerPlan plan = container.plan(file, editorFor(edit));
        if (!plan.error.isEmpty()) continue;
        qint64 end = 0;
        for (const SegmentChange& c : plan.changes) {
            if (c.offset < end || c.replacedSize < 0 || c.offset + c.replacedSize > file.size())
                __builtin_trap();
            end = c.offset + c.replacedSize;
        }
        const QByteArray copy = applySegmentChanges(file, plan.changes);
        if (sniffContainer(copy.left(kSniffBytes)) != kind) __builtin_trap();
        const MemorySource copySource(copy);
        if (layout.error.isEmpty() && !container.layout(copySource).error.isEmpty()) __builtin_trap();
        if (kind == ContainerKind::Tiff && copy.size() < file.size()) __builtin_trap();
    }
    return 0;
}
