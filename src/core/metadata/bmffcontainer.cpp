// SPDX-License-Identifier: GPL-3.0-or-later
// HEIF (HEIC, AVIF): the Exif item and the XMP items, found through `iinf` and `iloc`. A copy
// writes an edited item's data where it was when it fits (the rest zeroed), otherwise at the end
// of the file (the last `mdat` grown, or a new one) with the old bytes zeroed, and changes only
// the item's extent in `iloc`. A missing Exif item is added (`iinf`, `iloc`, `iref` 'cdsc' to the
// primary item); `meta` then grows and every item offset behind it follows. Every other byte of
// the file stays, in place or moved whole.
#include "bmffboxes.h"
#include "photocontainer.h"

#include <algorithm>

namespace vantorel {

namespace {

QString refusal(const QString& why) {
    return QStringLiteral("HEIF : %1").arg(why);
}

bool isTiffHeader(const QByteArray& bytes, qint64 at) {
    const QByteArray head = bytes.mid(at, 4);
    return head == QByteArrayLiteral("II*\0") || head == QByteArrayLiteral("MM\0*");
}

// Where the TIFF header lies in an Exif item's data: after the 4-byte offset that names it
// (usually past "Exif\0\0"); -1 when there is none.
qint64 exifTiffStart(const QByteArray& data) {
    if (data.size() < 12) return -1;
    const quint64 skip = (quint64(uchar(data[0])) << 24) | (quint64(uchar(data[1])) << 16) |
                         (quint64(uchar(data[2])) << 8) | quint64(uchar(data[3]));
    if (skip <= quint64(data.size() - 8) && isTiffHeader(data, 4 + qint64(skip))) return 4 + qint64(skip);
    // Writers that leave out the offset.
    if (data.startsWith(QByteArrayLiteral("Exif\0\0")) && isTiffHeader(data, 6)) return 6;
    if (isTiffHeader(data, 0)) return 0;
    return -1;
}

// One file range for an item's extents when they follow each other.
std::optional<ByteRange> contiguous(const QVector<ByteRange>& ranges) {
    if (ranges.isEmpty()) return std::nullopt;
    ByteRange out = ranges.first();
    for (int i = 1; i < ranges.size(); ++i) {
        if (ranges[i].offset != out.offset + out.size) return std::nullopt;
        out.size += ranges[i].size;
    }
    return out;
}

// ---- Writing boxes -------------------------------------------------------------------------

void putBE(QByteArray& out, quint64 value, int size) {
    for (int i = size - 1; i >= 0; --i)
        out.append(char((value >> (8 * i)) & 0xFF));
}

QByteArray fullBoxHead(int version, quint32 flags) {
    QByteArray out;
    putBE(out, quint64(version), 1);
    putBE(out, flags, 3);
    return out;
}

// A box of `payload`, its header as long as `headerSize` asks (16: a 64-bit size).
QByteArray boxBytes(quint32 type, const QByteArray& payload, qint64 headerSize = 8) {
    QByteArray out;
    if (headerSize == 16) {
        putBE(out, 1, 4);
        putBE(out, type, 4);
        putBE(out, quint64(payload.size()) + 16, 8);
    } else {
        putBE(out, quint64(payload.size()) + 8, 4);
        putBE(out, type, 4);
    }
    return out + payload;
}

struct IlocSizes {
    int version = 0, offset = 0, length = 0, base = 0, index = 0;
};

QByteArray ilocBytes(const Iloc& iloc, const IlocSizes& s, qint64 headerSize) {
    QByteArray payload = fullBoxHead(s.version, iloc.flags);
    putBE(payload, quint64((s.offset << 4) | s.length), 1);
    putBE(payload, quint64((s.base << 4) | s.index), 1);
    putBE(payload, quint64(iloc.items.size()), s.version < 2 ? 2 : 4);
    for (const IlocItem& item : iloc.items) {
        putBE(payload, item.id, s.version < 2 ? 2 : 4);
        if (s.version >= 1) putBE(payload, item.methodField, 2);
        putBE(payload, item.dataReference, 2);
        putBE(payload, item.baseOffset, s.base);
        putBE(payload, quint64(item.extents.size()), 2);
        for (const IlocExtent& extent : item.extents) {
            if (s.version >= 1) putBE(payload, extent.index, s.index);
            putBE(payload, extent.offset, s.offset);
            putBE(payload, extent.length, s.length);
        }
    }
    return boxBytes(fourCC("iloc"), payload, headerSize);
}

bool fits(quint64 value, int size) {
    return size == 8 || (size == 4 && value <= 0xFFFFFFFFull) || (size == 0 && value == 0);
}

// Where an extent goes in the copy.
struct ExtentTarget {
    qint64 start = 0;
    qint64 size = 0;
    bool toEnd = false; // stored as 0: to the end of the file
    quint64 index = 0;
};

// Sets the stored fields of `item` for `targets` (file positions); false when a value does not
// fit its field. The base offset is kept when it can be.
bool encodeExtents(IlocItem& item, const QVector<ExtentTarget>& targets, const IlocSizes& s) {
    qint64 lowest = INT64_MAX;
    for (const ExtentTarget& t : targets)
        lowest = std::min(lowest, t.start);
    for (const quint64 base : {item.baseOffset, quint64(lowest), quint64(0)}) {
        if (!fits(base, s.base)) continue;
        bool ok = true;
        for (const ExtentTarget& t : targets)
            ok = ok && quint64(t.start) >= base && fits(quint64(t.start) - base, s.offset) &&
                 fits(t.toEnd ? 0 : quint64(t.size), s.length) && (t.toEnd || t.size > 0);
        if (!ok) continue;
        item.baseOffset = base;
        item.extents.clear();
        for (const ExtentTarget& t : targets) {
            IlocExtent extent;
            extent.index = t.index;
            extent.offset = quint64(t.start) - base;
            extent.length = t.toEnd ? 0 : quint64(t.size);
            item.extents.append(extent);
        }
        return true;
    }
    return false;
}

// ---- The edit ------------------------------------------------------------------------------

struct ItemEdit {
    quint32 id = 0;
    QByteArray data;
    bool added = false;
    bool inPlace = false; // written over its old bytes
    qint64 oldStart = -1; // in place: where
    qint64 appendAt = 0;  // otherwise: where in the appended bytes
};

// A same-size change of the source's bytes.
struct BytePatch {
    qint64 offset = 0;
    QByteArray bytes;
};

bool overlaps(const ByteRange& a, const ByteRange& b) {
    return a.offset < b.offset + b.size && b.offset < a.offset + a.size;
}

bool inside(const ByteRange& range, qint64 from, qint64 to) {
    return range.offset >= from && range.offset + range.size <= to;
}

// Boxes that may hold absolute file offsets other than iloc's: the copy cannot move what they
// point at.
bool holdsOffsets(quint32 type) {
    static const quint32 kTypes[] = {fourCC("moov"), fourCC("moof"), fourCC("sidx"),
                                     fourCC("ssix"), fourCC("mfra"), fourCC("meco")};
    return std::find(std::begin(kTypes), std::end(kTypes), type) != std::end(kTypes);
}

class HeifEditor {
public:
    HeifEditor(const QByteArray& file, const BmffFile& parsed)
        : m_file(file), m_parsed(parsed), m_meta(*parsed.meta) {}

    QString collect(const BlockEditor& editor);
    QString place();
    QString build(ContainerPlan& plan);
    bool changed() const { return !m_edits.isEmpty(); }

private:
    std::optional<QByteArray> itemData(quint32 id) const;
    bool exclusive(quint32 id, const QVector<ByteRange>& ranges) const;
    bool inMediaData(const ByteRange& range) const;
    std::optional<qint64> mapped(qint64 position, qint64 delta) const;
    QByteArray newIinf() const;
    QByteArray newIref(bool& added) const;

    const QByteArray& m_file;
    const BmffFile& m_parsed;
    const BmffMeta& m_meta;
    QVector<ItemEdit> m_edits;
    QVector<BytePatch> m_patches; // zeroed old bytes, in-place data
    qint64 m_appendFrom = 0;      // the source's bytes from here are replaced by the appended ones
    bool m_growLastMdat = false;
    QByteArray m_appended;
    quint32 m_newId = 0;
    // Children of meta rebuilt, and how many bytes each grows.
    QVector<QPair<quint32, qint64>> m_growth;
};

std::optional<QByteArray> HeifEditor::itemData(quint32 id) const {
    const auto ranges = itemRanges(m_meta, id, m_file.size());
    if (!ranges) return std::nullopt;
    QByteArray out;
    for (const ByteRange& range : *ranges) {
        if (out.size() + range.size > kMaxMetaSize) return std::nullopt;
        out += m_file.mid(range.offset, range.size);
    }
    return out;
}

QString HeifEditor::collect(const BlockEditor& editor) {
    QString error;
    const QVector<quint32> exif = exifItems(m_meta);
    if (editor.exif) {
        for (quint32 id : exif) {
            const auto data = itemData(id);
            const qint64 tiffAt = data ? exifTiffStart(*data) : -1;
            if (tiffAt < 0) return refusal(QStringLiteral("bloc Exif illisible"));
            const QByteArray tiff = data->mid(tiffAt);
            const auto edited = editor.exif(tiff, error);
            if (!edited) return error.isEmpty() ? refusal(QStringLiteral("bloc Exif refusé")) : error;
            if (*edited == tiff) continue;
            if (edited->isEmpty())
                return refusal(QStringLiteral("retrait d'un bloc Exif non pris en charge"));
            m_edits.append(ItemEdit{id, data->left(tiffAt) + *edited});
        }
        if (exif.isEmpty()) {
            const auto edited = editor.exif(QByteArray(), error);
            if (!edited) return error.isEmpty() ? refusal(QStringLiteral("bloc Exif refusé")) : error;
            if (!edited->isEmpty()) {
                ItemEdit added;
                added.data = QByteArrayLiteral("\0\0\0\x06"
                                               "Exif\0\0") +
                             *edited;
                added.added = true;
                m_edits.append(added);
            }
        }
    }
    if (editor.xmp) {
        for (quint32 id : xmpItems(m_meta)) {
            const auto data = itemData(id);
            if (!data) return refusal(QStringLiteral("paquet XMP illisible"));
            const auto edited = editor.xmp(*data, error);
            if (!edited) return error.isEmpty() ? refusal(QStringLiteral("paquet XMP refusé")) : error;
            if (*edited == *data) continue;
            if (edited->isEmpty())
                return refusal(QStringLiteral("retrait d'un paquet XMP non pris en charge"));
            m_edits.append(ItemEdit{id, *edited});
        }
    }
    return QString();
}

bool HeifEditor::exclusive(quint32 id, const QVector<ByteRange>& ranges) const {
    for (const IlocItem& other : m_meta.iloc.items) {
        if (other.id == id) continue;
        for (const IlocExtent& extent : other.extents)
            for (const ByteRange& range : ranges)
                if (extent.start >= 0 && overlaps(range, ByteRange{extent.start, extent.size})) return false;
    }
    return true;
}

bool HeifEditor::inMediaData(const ByteRange& range) const {
    if (m_meta.idatPayload >= 0 && inside(range, m_meta.idatPayload, m_meta.idatPayload + m_meta.idatSize))
        return true;
    for (const BmffBox& box : m_parsed.boxes)
        if (box.type == fourCC("mdat") && inside(range, box.payload(), box.end())) return true;
    return false;
}

// Decides where each item's new data goes.
QString HeifEditor::place() {
    const qint64 fileSize = m_file.size();
    const BmffBox& last = m_parsed.boxes.last();
    m_growLastMdat = last.type == fourCC("mdat") && last.end() == fileSize;
    m_appendFrom = fileSize;
    for (ItemEdit& edit : m_edits) {
        if (edit.added) continue;
        const IlocItem* item = m_meta.iloc.item(edit.id);
        const QVector<ByteRange> ranges = *itemRanges(m_meta, edit.id, fileSize);
        for (const ByteRange& range : ranges)
            if (!inMediaData(range))
                return refusal(QStringLiteral("données d'un élément hors de mdat et idat"));
        const bool alone = exclusive(edit.id, ranges);
        const bool single = ranges.size() == 1 && item->method() == 0;
        if (alone && single && edit.data.size() <= ranges[0].size) {
            edit.inPlace = true;
            edit.oldStart = ranges[0].offset;
            m_patches.append(
                {ranges[0].offset, edit.data + QByteArray(ranges[0].size - edit.data.size(), '\0')});
        } else if (alone && single && m_growLastMdat && ranges[0].offset + ranges[0].size == fileSize &&
                   ranges[0].offset >= last.payload()) {
            m_appendFrom = ranges[0].offset; // the data ending the file grows where it is
        } else if (alone) {
            for (const ByteRange& range : ranges)
                m_patches.append({range.offset, QByteArray(range.size, '\0')});
        }
    }
    // The data that does not stay in place, the one ending the file first.
    std::stable_sort(m_edits.begin(), m_edits.end(), [&](const ItemEdit& a, const ItemEdit& b) {
        auto ends = [&](const ItemEdit& e) {
            if (e.added || e.inPlace) return false;
            const auto ranges = itemRanges(m_meta, e.id, fileSize);
            return ranges && ranges->size() == 1 && ranges->first().offset == m_appendFrom;
        };
        return ends(a) && !ends(b);
    });
    for (ItemEdit& edit : m_edits) {
        if (edit.inPlace) continue;
        edit.appendAt = m_appended.size();
        m_appended += edit.data;
    }
    // A last box sized "to the end of the file" would take in a new mdat.
    if (!m_appended.isEmpty() && last.toEnd && !m_growLastMdat)
        return refusal(QStringLiteral("structure inhabituelle"));
    return QString();
}

QByteArray HeifEditor::newIinf() const {
    const BmffBox& iinf = *m_meta.child(fourCC("iinf"));
    QByteArray entry = fullBoxHead(2, 1); // hidden: not a picture to show
    putBE(entry, m_newId, 2);
    putBE(entry, 0, 2); // not protected
    putBE(entry, fourCC("Exif"), 4);
    entry.append('\0'); // no name
    // Version and flags as stored, one more entry.
    QByteArray payload = m_meta.bytes.mid(iinf.payload() - m_meta.box.offset, 4);
    putBE(payload, m_meta.iinfCount + 1, m_meta.iinfVersion == 0 ? 2 : 4);
    const qint64 entriesAt = iinf.payload() + 4 + (m_meta.iinfVersion == 0 ? 2 : 4) - m_meta.box.offset;
    payload += m_meta.bytes.mid(entriesAt, iinf.end() - m_meta.box.offset - entriesAt);
    payload += boxBytes(fourCC("infe"), entry);
    return boxBytes(fourCC("iinf"), payload, iinf.headerSize);
}

QByteArray HeifEditor::newIref(bool& added) const {
    QByteArray reference;
    const int idSize = m_meta.irefVersion == 0 ? 2 : 4;
    putBE(reference, m_newId, idSize);
    putBE(reference, 1, 2);
    putBE(reference, *m_meta.primary, idSize);
    const QByteArray cdsc = boxBytes(fourCC("cdsc"), reference);
    const BmffBox* iref = m_meta.child(fourCC("iref"));
    added = !iref;
    if (!iref) return boxBytes(fourCC("iref"), fullBoxHead(0, 0) + cdsc);
    const qint64 from = iref->payload() - m_meta.box.offset;
    return boxBytes(fourCC("iref"), m_meta.bytes.mid(from, iref->end() - iref->payload()) + cdsc,
                    iref->headerSize);
}

std::optional<qint64> HeifEditor::mapped(qint64 position, qint64 delta) const {
    if (delta == 0 || position < m_meta.box.offset) return position;
    if (position >= m_meta.box.end()) return position + delta;
    // Inside meta: only the children kept as they are hold data (idat), moved by the growth of
    // the rebuilt children before them.
    qint64 shift = 0;
    for (const BmffBox& child : m_meta.children) {
        qint64 grows = 0;
        for (const auto& growth : m_growth)
            if (growth.first == child.type) grows = growth.second;
        if (position >= child.offset && position < child.end()) {
            if (grows != 0 || child.type == fourCC("iloc") || child.type == fourCC("iinf") ||
                child.type == fourCC("iref"))
                return std::nullopt;
            return position + shift;
        }
        shift += grows;
    }
    return std::nullopt;
}

QString HeifEditor::build(ContainerPlan& plan) {
    const qint64 fileSize = m_file.size();
    const bool adding =
        std::any_of(m_edits.begin(), m_edits.end(), [](const ItemEdit& e) { return e.added; });
    const BmffBox* ilocBox = m_meta.child(fourCC("iloc"));
    const BmffBox* iinfBox = m_meta.child(fourCC("iinf"));
    if (!ilocBox || !iinfBox) return refusal(QStringLiteral("pas d'iloc ou d'iinf"));
    if (ilocBox->toEnd || iinfBox->toEnd) return refusal(QStringLiteral("iloc inhabituel"));

    // The stored iloc must come back as it is, or it cannot be rewritten safely.
    const IlocSizes stored{m_meta.iloc.version, m_meta.iloc.offsetSize, m_meta.iloc.lengthSize,
                           m_meta.iloc.baseOffsetSize, m_meta.iloc.indexSize};
    const QByteArray storedIloc = m_meta.bytes.mid(ilocBox->offset - m_meta.box.offset, ilocBox->size);
    if (ilocBytes(m_meta.iloc, stored, ilocBox->headerSize) != storedIloc)
        return refusal(QStringLiteral("iloc inhabituel"));

    for (int i = 0; i < m_meta.iloc.items.size(); ++i)
        for (int j = 0; j < i; ++j)
            if (m_meta.iloc.items[i].id == m_meta.iloc.items[j].id)
                return refusal(QStringLiteral("iloc inhabituel"));

    Iloc iloc = m_meta.iloc;
    QByteArray iinfBytes, irefBytes;
    bool irefAdded = false;
    m_growth.clear();
    if (adding) {
        if (!m_meta.primary) return refusal(QStringLiteral("pas d'image principale"));
        // 16-bit ids, so that iloc, iinf and iref keep their versions.
        if (m_meta.largestId >= 0xFFFF || *m_meta.primary > 0xFFFF || m_meta.iinfCount >= 0xFFFF)
            return refusal(QStringLiteral("trop d'éléments pour en ajouter un"));
        if (m_meta.iinfCount != quint32(m_meta.infos.size()))
            return refusal(QStringLiteral("iinf inhabituel"));
        m_newId = m_meta.largestId + 1;
        // A box sized "to the end of its parent" would take in what is added after it.
        if (m_meta.iinfOpen || m_meta.irefOpen ||
            (!m_meta.child(fourCC("iref")) && !m_meta.children.isEmpty() && m_meta.children.last().toEnd))
            return refusal(QStringLiteral("structure inhabituelle"));
        for (ItemEdit& edit : m_edits)
            if (edit.added) edit.id = m_newId;
        IlocItem item;
        item.id = m_newId;
        item.extents.append(IlocExtent{});
        iloc.items.append(item);
        iinfBytes = newIinf();
        irefBytes = newIref(irefAdded);
        m_growth.append({fourCC("iinf"), iinfBytes.size() - iinfBox->size});
        const BmffBox* iref = m_meta.child(fourCC("iref"));
        if (iref) m_growth.append({fourCC("iref"), irefBytes.size() - iref->size});
    }

    // Each edited item's data becomes one extent in this file.
    for (IlocItem& item : iloc.items)
        for (const ItemEdit& edit : m_edits)
            if (edit.id == item.id && !edit.added) {
                const quint64 index = item.extents.isEmpty() ? 0 : item.extents.first().index;
                item.extents = {IlocExtent{}};
                item.extents.first().index = index;
                item.methodField &= 0xFFF0;
            }

    const bool appending = !m_appended.isEmpty();
    const BmffBox& last = m_parsed.boxes.last();
    const qint64 newMdatHeader = appending && !m_growLastMdat ? 8 : 0;
    // First the fields exiv2 reads (4-byte offsets and lengths, no base offset: it reads nothing
    // else), then the stored ones.
    IlocSizes readable = stored;
    readable.offset = 4;
    readable.length = 4;
    readable.base = 0;
    // Where they take less room, a free box after iloc takes the rest, so that nothing moves;
    // when they would take more, the stored ones.
    const qint64 readableSize = ilocBytes(iloc, readable, ilocBox->headerSize).size();
    const qint64 storedSize = ilocBytes(iloc, stored, ilocBox->headerSize).size();
    const qint64 spare = storedSize - readableSize;
    IlocSizes sizes = spare == 0 || spare >= 8 ? readable : stored;
    auto same = [](const IlocSizes& a, const IlocSizes& b) {
        return a.offset == b.offset && a.length == b.length && a.base == b.base;
    };
    qint64 padding = 0;
    const QVector<QPair<quint32, qint64>> baseGrowth = m_growth;
    QByteArray newIloc;
    qint64 delta = 0;
    bool done = false;
    for (int round = 0; round < 8 && !done; ++round) {
        // iloc's size depends on the field sizes only, not on the values.
        const qint64 ilocSize = ilocBytes(iloc, sizes, ilocBox->headerSize).size();
        m_growth = baseGrowth;
        padding = same(sizes, readable) && spare >= 8 ? spare : 0;
        m_growth.append({fourCC("iloc"), ilocSize + padding - ilocBox->size});
        delta = 0;
        for (const auto& g : m_growth)
            delta += g.second;
        if (irefAdded) delta += irefBytes.size();
        const auto appendStart = mapped(m_appendFrom, delta);
        if (!appendStart) return refusal(QStringLiteral("structure inhabituelle"));
        const qint64 appendData = *appendStart + newMdatHeader;

        bool fitted = true;
        bool lengthFailed = false, offsetFailed = false;
        Iloc candidate = iloc;
        for (IlocItem& item : candidate.items) {
            const IlocItem* source = m_meta.iloc.item(item.id);
            const auto edit = std::find_if(m_edits.begin(), m_edits.end(),
                                           [&](const ItemEdit& e) { return e.id == item.id; });
            QVector<ExtentTarget> targets;
            if (edit != m_edits.end()) {
                ExtentTarget target;
                if (edit->inPlace) {
                    const auto start = mapped(edit->oldStart, delta);
                    if (!start) return refusal(QStringLiteral("structure inhabituelle"));
                    target.start = *start;
                } else {
                    target.start = appendData + edit->appendAt;
                }
                target.size = edit->data.size();
                target.index = item.extents.isEmpty() ? 0 : item.extents.first().index;
                targets.append(target);
                item.methodField &= 0xFFF0; // in this file
            } else {
                // Positions in this file move with what grows before them; positions inside idat
                // or another item, and in other files, do not.
                const bool absolute = item.method() == 0 && item.dataReference == 0;
                const bool moves = absolute && delta != 0;
                const bool toEndGrows = absolute && appending &&
                                        std::any_of(item.extents.begin(), item.extents.end(),
                                                    [](const IlocExtent& e) { return e.length == 0; });
                bool storedFits = fits(item.baseOffset, sizes.base);
                for (const IlocExtent& e : item.extents)
                    storedFits = storedFits && fits(e.offset, sizes.offset) && fits(e.length, sizes.length);
                if (!moves && !toEndGrows && storedFits) continue;
                for (const IlocExtent& extent : source->extents) {
                    ExtentTarget target;
                    target.index = extent.index;
                    if (absolute) {
                        if (extent.start < 0) return refusal(QStringLiteral("élément hors du fichier"));
                        const auto start = mapped(extent.start, delta);
                        if (!start) return refusal(QStringLiteral("structure inhabituelle"));
                        target.start = *start;
                        target.size = extent.size;
                        target.toEnd = extent.length == 0 && !appending;
                    } else {
                        target.start =
                            qint64(std::min<quint64>(source->baseOffset + extent.offset, INT64_MAX / 2));
                        target.size = qint64(std::min<quint64>(extent.length, INT64_MAX / 2));
                        target.toEnd = extent.length == 0;
                    }
                    targets.append(target);
                }
            }
            if (!encodeExtents(item, targets, sizes)) {
                fitted = false;
                for (const ExtentTarget& t : targets) {
                    lengthFailed = lengthFailed || !fits(t.toEnd ? 0 : quint64(t.size), sizes.length);
                    offsetFailed = true;
                }
            }
        }
        if (fitted) {
            newIloc = ilocBytes(candidate, sizes, ilocBox->headerSize);
            done = true;
            break;
        }
        // The fields as stored, then wider ones (iloc grows, and meta with it).
        if (same(sizes, readable) && !same(stored, readable)) {
            sizes = stored;
            continue;
        }
        if (lengthFailed && sizes.length < 8) sizes.length = sizes.length == 0 ? 4 : 8;
        if (offsetFailed) {
            if (sizes.offset < 8)
                sizes.offset = sizes.offset == 0 ? 4 : 8;
            else if (sizes.base < 8)
                sizes.base = sizes.base == 0 ? 4 : 8;
        }
    }
    if (!done) return refusal(QStringLiteral("décalages trop grands pour iloc"));

    if (delta != 0) {
        // Whatever follows meta moves: only boxes whose positions iloc alone names may.
        for (const BmffBox& box : m_parsed.boxes) {
            if (holdsOffsets(box.type))
                return refusal(QStringLiteral("une séquence d'images ne peut pas être décalée"));
            if (box.offset >= m_meta.box.end() && box.type != fourCC("mdat") && box.type != fourCC("free") &&
                box.type != fourCC("skip"))
                return refusal(QStringLiteral("boîte inconnue après meta"));
        }
        if (m_meta.box.toEnd) return refusal(QStringLiteral("meta inhabituelle"));
    }

    // meta, with the patches inside it and its rebuilt children.
    QByteArray metaBytes = m_meta.bytes;
    QVector<SegmentChange> changes;
    for (const BytePatch& patch : m_patches) {
        const ByteRange range{patch.offset, patch.bytes.size()};
        if (inside(range, m_meta.box.offset, m_meta.box.end()))
            metaBytes.replace(patch.offset - m_meta.box.offset, patch.bytes.size(), patch.bytes);
        else if (overlaps(range, ByteRange{m_meta.box.offset, m_meta.box.size}))
            return refusal(QStringLiteral("structure inhabituelle"));
        else if (patch.offset < m_appendFrom)
            changes.append({patch.offset, patch.bytes.size(), patch.bytes});
    }
    QByteArray newMeta = metaBytes.left(m_meta.box.headerSize + 4);
    for (const BmffBox& child : m_meta.children) {
        if (child.offset == ilocBox->offset) {
            newMeta += newIloc;
            if (padding > 0) newMeta += boxBytes(fourCC("free"), QByteArray(padding - 8, '\0'));
        } else if (adding && child.offset == iinfBox->offset)
            newMeta += iinfBytes;
        else if (adding && !irefAdded && child.type == fourCC("iref") &&
                 child.offset == m_meta.child(fourCC("iref"))->offset)
            newMeta += irefBytes;
        else
            newMeta += metaBytes.mid(child.offset - m_meta.box.offset, child.size);
    }
    if (irefAdded) newMeta += irefBytes;
    if (newMeta.size() - m_meta.box.size != delta) return refusal(QStringLiteral("structure inhabituelle"));
    if (m_meta.box.headerSize == 16) {
        QByteArray size;
        putBE(size, quint64(newMeta.size()), 8);
        newMeta.replace(8, 8, size);
    } else {
        if (quint64(newMeta.size()) > 0xFFFFFFFFull) return refusal(QStringLiteral("meta trop grande"));
        QByteArray size;
        putBE(size, quint64(newMeta.size()), 4);
        newMeta.replace(0, 4, size);
    }
    if (newMeta != m_meta.bytes) changes.append({m_meta.box.offset, m_meta.box.size, newMeta});

    if (appending) {
        if (m_growLastMdat) {
            if (!last.toEnd) {
                const quint64 grown = quint64(m_appendFrom - last.offset) + quint64(m_appended.size());
                QByteArray size;
                if (last.headerSize == 16) {
                    putBE(size, grown, 8);
                    changes.append({last.offset + 8, 8, size});
                } else {
                    if (grown > 0xFFFFFFFFull) return refusal(QStringLiteral("mdat trop grande"));
                    putBE(size, grown, 4);
                    changes.append({last.offset, 4, size});
                }
            }
            changes.append({m_appendFrom, fileSize - m_appendFrom, m_appended});
        } else {
            if (quint64(m_appended.size()) + 8 > 0xFFFFFFFFull)
                return refusal(QStringLiteral("données trop grandes"));
            changes.append({fileSize, 0, boxBytes(fourCC("mdat"), m_appended)});
        }
    }
    std::sort(changes.begin(), changes.end(),
              [](const SegmentChange& a, const SegmentChange& b) { return a.offset < b.offset; });
    for (int i = 1; i < changes.size(); ++i)
        if (changes[i - 1].offset + changes[i - 1].replacedSize > changes[i].offset)
            return refusal(QStringLiteral("structure inhabituelle"));
    plan.changes = changes;
    return QString();
}

// A CR3 keeps its Exif in four TIFF blocks of its own in a Canon box of moov: CMT1 (the main
// directory), CMT2 (the Exif directory), CMT3 (the maker note) and CMT4 (the GPS directory as the
// block's first directory); its XMP packet in a box of its own at the top.
ContainerLayout cr3Layout(const ByteSource& file, const BmffFile& parsed) {
    static const QByteArray kCanonBox = QByteArray::fromHex("85c0b687820f11e08111f4ce462b6a48");
    static const QByteArray kXmpBox = QByteArray::fromHex("be7acfcb97a942e89c71999491e3afac");
    ContainerLayout out;
    for (const BmffBox& box : parsed.boxes) {
        if (box.type == fourCC("uuid") && boxUserType(file, box) == kXmpBox && box.end() <= file.size())
            out.xmp.append(ByteRange{box.payload(), box.end() - box.payload()});
        if (box.type != fourCC("moov") || !out.exif.isEmpty()) continue;
        const auto children = readChildBoxes(file, box.payload(), box.end());
        if (!children) {
            out.error = QStringLiteral("structure endommagée (moov)");
            return out;
        }
        for (const BmffBox& child : *children) {
            if (child.type != fourCC("uuid") || boxUserType(file, child) != kCanonBox) continue;
            const auto blocks = readChildBoxes(file, child.payload(), child.end());
            if (!blocks) {
                out.error = QStringLiteral("structure endommagée (CR3)");
                return out;
            }
            for (const quint32 type : {fourCC("CMT1"), fourCC("CMT2"), fourCC("CMT4")})
                for (const BmffBox& block : *blocks) {
                    if (block.type != type) continue;
                    const QByteArray head = file.read(block.payload(), 4);
                    if (head == QByteArrayLiteral("II*\0") || head == QByteArrayLiteral("MM\0*"))
                        out.exif.append(ByteRange{block.payload(), block.end() - block.payload()});
                    break;
                }
            break;
        }
    }
    return out;
}

class BmffContainer final : public PhotoContainer {
public:
    ContainerKind kind() const override { return ContainerKind::IsoBmff; }

    ContainerLayout layout(const ByteSource& file) const override {
        ContainerLayout out;
        const BmffFile parsed = parseBmff(file);
        if (!parsed.error.isEmpty()) {
            out.error = parsed.error;
            return out;
        }
        if (!parsed.meta) {
            if (parsed.cr3) return cr3Layout(file, parsed);
            out.error = refusal(QStringLiteral("pas de boîte meta"));
            return out;
        }
        const BmffMeta& meta = *parsed.meta;
        out.pixelSize = meta.primarySize;
        for (quint32 id : exifItems(meta)) {
            const auto ranges = itemRanges(meta, id, file.size());
            const auto range = ranges ? contiguous(*ranges) : std::nullopt;
            if (!range) continue;
            const QByteArray head = file.read(range->offset, std::min<qint64>(range->size, 4 + 256 + 8));
            qint64 tiffAt = exifTiffStart(head);
            if (tiffAt < 0 && range->size > head.size()) { // a long prefix: read its end
                const QByteArray whole = file.read(range->offset, std::min<qint64>(range->size, 65536));
                tiffAt = exifTiffStart(whole);
            }
            if (tiffAt < 0) continue;
            out.exif.append(ByteRange{range->offset + tiffAt, range->size - tiffAt});
        }
        for (quint32 id : xmpItems(meta)) {
            const auto ranges = itemRanges(meta, id, file.size());
            const auto range = ranges ? contiguous(*ranges) : std::nullopt;
            if (range && range->size > 0) out.xmp.append(*range);
        }
        return out;
    }

    ContainerPlan plan(const QByteArray& file, const BlockEditor& editor) const override {
        ContainerPlan out;
        const MemorySource source(file);
        const BmffFile parsed = parseBmff(source);
        if (!parsed.error.isEmpty()) {
            out.error = parsed.error;
            return out;
        }
        if (!parsed.meta) {
            out.error = parsed.cr3 ? QStringLiteral("CR3 : écriture dans le fichier non prise en charge")
                                   : refusal(QStringLiteral("pas de boîte meta"));
            return out;
        }
        if (parsed.truncated) {
            out.error = refusal(QStringLiteral("fichier tronqué"));
            return out;
        }
        if (parsed.meta->handler != fourCC("pict")) {
            out.error = refusal(QStringLiteral("pas une image"));
            return out;
        }
        HeifEditor edit(file, parsed);
        out.error = edit.collect(editor);
        if (out.error.isEmpty() && edit.changed()) out.error = edit.place();
        if (out.error.isEmpty() && edit.changed()) out.error = edit.build(out);
        if (!out.error.isEmpty()) out.changes.clear();
        return out;
    }
};

} // namespace

const PhotoContainer& bmffContainer() {
    static const BmffContainer container;
    return container;
}

} // namespace vantorel
