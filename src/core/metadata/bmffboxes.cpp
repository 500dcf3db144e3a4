// SPDX-License-Identifier: GPL-3.0-or-later
#include "bmffboxes.h"

#include <algorithm>
#include <climits>

namespace vantorel {

namespace {

// Big-endian fields read in order, each checked against the end given.
class FieldReader {
public:
    FieldReader(const QByteArray& bytes, qint64 at, qint64 end)
        : m_bytes(bytes), m_at(at), m_end(std::min<qint64>(end, bytes.size())) {}
    bool ok() const { return m_ok; }
    qint64 at() const { return m_at; }
    qint64 left() const { return m_ok ? m_end - m_at : 0; }
    quint64 take(int size) {
        if (!m_ok || size < 0 || size > 8 || m_at + size > m_end) {
            m_ok = false;
            return 0;
        }
        quint64 value = 0;
        for (int i = 0; i < size; ++i)
            value = (value << 8) | uchar(m_bytes[m_at + i]);
        m_at += size;
        return value;
    }
    quint8 u8() { return quint8(take(1)); }
    quint16 u16() { return quint16(take(2)); }
    quint32 u32() { return quint32(take(4)); }
    // A string ended by a zero byte (kept without it); the end of the box also ends it.
    QByteArray text() {
        if (!m_ok) return {};
        const qint64 start = m_at;
        while (m_at < m_end && m_bytes[m_at] != '\0')
            ++m_at;
        const QByteArray out = m_bytes.mid(start, m_at - start);
        if (m_at < m_end) ++m_at;
        return out;
    }

private:
    const QByteArray& m_bytes;
    qint64 m_at;
    qint64 m_end;
    bool m_ok = true;
};

constexpr int kMaxBoxes = 10000;   // top-level boxes, and boxes in one parent
constexpr int kMaxEntries = 65536; // items, references, associations

QString damaged(const char* what) {
    return QStringLiteral("structure endommagée (%1)").arg(QLatin1String(what));
}

// The child boxes of [from, to) in `bytes` (whose first byte is at `base` in the file).
bool childBoxes(const QByteArray& bytes, qint64 from, qint64 to, qint64 base, QVector<BmffBox>& out) {
    out.clear();
    for (qint64 at = from; at < to;) {
        if (out.size() >= kMaxBoxes) return false;
        BmffBox box;
        if (!parseBoxHeader(bytes, at, to, base, box)) return false;
        out.append(box);
        at = box.end() - base;
    }
    return true;
}

// Where the relative positions of a box's payload start in `meta.bytes`.
qint64 local(const BmffMeta& meta, qint64 fileOffset) {
    return fileOffset - meta.box.offset;
}

bool parseInfe(const BmffMeta& meta, const BmffBox& box, ItemInfo& info) {
    FieldReader r(meta.bytes, local(meta, box.payload()), local(meta, box.end()));
    const quint8 version = r.u8();
    r.take(3);
    if (version < 2) { // the old entries name no item type
        info.id = r.u16();
        return r.ok();
    }
    info.id = version == 2 ? r.u16() : r.u32();
    r.u16(); // protection index
    info.type = r.u32();
    r.text(); // name
    if (info.type == fourCC("mime")) info.contentType = r.text();
    return r.ok();
}

bool parseIinf(BmffMeta& meta, const BmffBox& box) {
    FieldReader r(meta.bytes, local(meta, box.payload()), local(meta, box.end()));
    meta.iinfVersion = r.u8();
    r.take(3);
    meta.iinfCount = meta.iinfVersion == 0 ? r.u16() : r.u32();
    if (!r.ok()) return false;
    QVector<BmffBox> entries;
    if (!childBoxes(meta.bytes, r.at(), local(meta, box.end()), meta.box.offset, entries)) return false;
    meta.iinfOpen = !entries.isEmpty() && entries.last().toEnd;
    for (const BmffBox& entry : entries) {
        if (entry.type != fourCC("infe")) continue;
        ItemInfo info;
        if (!parseInfe(meta, entry, info)) return false;
        meta.infos.append(info);
    }
    return true;
}

bool parseIloc(BmffMeta& meta, const BmffBox& box) {
    Iloc& iloc = meta.iloc;
    iloc.offset = box.offset;
    iloc.size = box.size;
    iloc.headerSize = box.headerSize;
    FieldReader r(meta.bytes, local(meta, box.payload()), local(meta, box.end()));
    iloc.version = r.u8();
    iloc.flags = quint32(r.take(3));
    if (iloc.version > 2) return false;
    const quint8 sizes1 = r.u8(), sizes2 = r.u8();
    iloc.offsetSize = sizes1 >> 4;
    iloc.lengthSize = sizes1 & 0xF;
    iloc.baseOffsetSize = sizes2 >> 4;
    iloc.indexSize = iloc.version >= 1 ? (sizes2 & 0xF) : 0;
    for (int size : {iloc.offsetSize, iloc.lengthSize, iloc.baseOffsetSize, iloc.indexSize})
        if (size != 0 && size != 4 && size != 8) return false;
    const quint32 count = iloc.version < 2 ? r.u16() : r.u32();
    if (!r.ok() || count > quint32(kMaxEntries)) return false;
    for (quint32 i = 0; i < count; ++i) {
        IlocItem item;
        item.id = iloc.version < 2 ? r.u16() : r.u32();
        if (iloc.version >= 1) item.methodField = r.u16();
        item.dataReference = r.u16();
        item.baseOffset = r.take(iloc.baseOffsetSize);
        const quint16 extents = r.u16();
        // Every extent takes at least one byte unless every field size is 0.
        const int extentBytes = iloc.indexSize + iloc.offsetSize + iloc.lengthSize;
        if (!r.ok() || (extentBytes > 0 && extents > r.left() / extentBytes) ||
            (extentBytes == 0 && extents > 1))
            return false;
        for (quint16 e = 0; e < extents; ++e) {
            IlocExtent extent;
            extent.index = r.take(iloc.indexSize);
            extent.offset = r.take(iloc.offsetSize);
            extent.length = r.take(iloc.lengthSize);
            item.extents.append(extent);
        }
        if (!r.ok()) return false;
        iloc.items.append(item);
    }
    return r.left() == 0;
}

bool parseIref(BmffMeta& meta, const BmffBox& box) {
    FieldReader r(meta.bytes, local(meta, box.payload()), local(meta, box.end()));
    meta.irefVersion = r.u8();
    r.take(3);
    if (!r.ok()) return false;
    QVector<BmffBox> refs;
    if (!childBoxes(meta.bytes, r.at(), local(meta, box.end()), meta.box.offset, refs)) return false;
    meta.irefOpen = !refs.isEmpty() && refs.last().toEnd;
    const int idSize = meta.irefVersion == 0 ? 2 : 4;
    for (const BmffBox& ref : refs) {
        FieldReader f(meta.bytes, local(meta, ref.payload()), local(meta, ref.end()));
        ItemReference reference;
        reference.type = ref.type;
        reference.from = quint32(f.take(idSize));
        const quint16 count = f.u16();
        if (!f.ok() || count > f.left() / idSize) return false;
        for (quint16 i = 0; i < count; ++i)
            reference.to.append(quint32(f.take(idSize)));
        meta.references.append(reference);
        if (meta.references.size() > kMaxEntries) return false;
    }
    return true;
}

// The primary item's ispe, through ipma's associations with ipco's properties.
bool parseIprp(BmffMeta& meta, const BmffBox& box) {
    QVector<BmffBox> children;
    if (!childBoxes(meta.bytes, local(meta, box.payload()), local(meta, box.end()), meta.box.offset,
                    children))
        return false;
    QVector<BmffBox> properties;
    bool haveProperties = false;
    for (const BmffBox& child : children)
        if (child.type == fourCC("ipco") && !haveProperties) {
            if (!childBoxes(meta.bytes, local(meta, child.payload()), local(meta, child.end()),
                            meta.box.offset, properties))
                return false;
            haveProperties = true;
        }
    if (!meta.primary) return true;
    for (const BmffBox& child : children) {
        if (child.type != fourCC("ipma")) continue;
        FieldReader r(meta.bytes, local(meta, child.payload()), local(meta, child.end()));
        const quint8 version = r.u8();
        const quint32 flags = quint32(r.take(3));
        const quint32 count = r.u32();
        if (!r.ok() || count > quint32(kMaxEntries)) return false;
        for (quint32 i = 0; i < count; ++i) {
            const quint32 id = version < 1 ? r.u16() : r.u32();
            const quint8 associations = r.u8();
            for (quint8 a = 0; a < associations; ++a) {
                const quint32 index = (flags & 1) ? (r.u16() & 0x7FFF) : (r.u8() & 0x7F);
                if (!r.ok()) return false;
                if (id != *meta.primary || index == 0 || index > quint32(properties.size())) continue;
                const BmffBox& property = properties[int(index - 1)];
                if (property.type != fourCC("ispe") || meta.primarySize) continue;
                FieldReader p(meta.bytes, local(meta, property.payload()), local(meta, property.end()));
                p.take(4);
                const quint32 width = p.u32(), height = p.u32();
                if (p.ok() && width > 0 && height > 0 && width <= quint32(INT_MAX) &&
                    height <= quint32(INT_MAX))
                    meta.primarySize = QSize(int(width), int(height));
            }
            if (!r.ok()) return false;
        }
    }
    return true;
}

void noteLargestIds(BmffMeta& meta) {
    for (const ItemInfo& info : meta.infos)
        meta.largestId = std::max(meta.largestId, info.id);
    for (const IlocItem& item : meta.iloc.items)
        meta.largestId = std::max(meta.largestId, item.id);
    if (meta.primary) meta.largestId = std::max(meta.largestId, *meta.primary);
    if (const BmffBox* groups = meta.child(fourCC("grpl"))) { // entity groups share the ids
        QVector<BmffBox> children;
        if (!childBoxes(meta.bytes, local(meta, groups->payload()), local(meta, groups->end()),
                        meta.box.offset, children))
            return;
        for (const BmffBox& group : children) {
            FieldReader r(meta.bytes, local(meta, group.payload()) + 4, local(meta, group.end()));
            const quint32 id = r.u32();
            if (r.ok()) meta.largestId = std::max(meta.largestId, id);
        }
    }
}

// Resolves each extent against the file or idat.
void resolveExtents(BmffMeta& meta, qint64 fileSize) {
    for (IlocItem& item : meta.iloc.items) {
        for (IlocExtent& extent : item.extents) {
            extent.start = -1;
            qint64 origin = 0, end = fileSize;
            if (item.dataReference != 0) continue;
            if (item.method() == 1) {
                if (meta.idatPayload < 0) continue;
                origin = meta.idatPayload;
                end = meta.idatPayload + meta.idatSize;
            } else if (item.method() != 0) {
                continue;
            }
            const quint64 relative = item.baseOffset + extent.offset;
            if (relative < item.baseOffset || relative > quint64(end - origin)) continue;
            const qint64 start = origin + qint64(relative);
            const qint64 size =
                extent.length == 0 ? end - start : qint64(std::min<quint64>(extent.length, INT64_MAX));
            if (size > end - start) continue;
            extent.start = start;
            extent.size = size;
        }
    }
}

bool parseMeta(BmffMeta& meta, qint64 fileSize, QString& error) {
    FieldReader r(meta.bytes, meta.box.headerSize, meta.bytes.size());
    r.take(4); // version and flags
    if (!r.ok() ||
        !childBoxes(meta.bytes, meta.box.headerSize + 4, meta.bytes.size(), meta.box.offset, meta.children)) {
        error = damaged("meta");
        return false;
    }
    if (const BmffBox* hdlr = meta.child(fourCC("hdlr"))) {
        FieldReader h(meta.bytes, local(meta, hdlr->payload()) + 8, local(meta, hdlr->end()));
        meta.handler = h.u32();
    }
    if (const BmffBox* pitm = meta.child(fourCC("pitm"))) {
        FieldReader p(meta.bytes, local(meta, pitm->payload()), local(meta, pitm->end()));
        const quint8 version = p.u8();
        p.take(3);
        const quint32 id = version == 0 ? p.u16() : p.u32();
        if (p.ok()) meta.primary = id;
    }
    if (const BmffBox* idat = meta.child(fourCC("idat"))) {
        meta.idatPayload = idat->payload();
        meta.idatSize = idat->end() - idat->payload();
    }
    // In this order: ipma's associations are read for the primary item only.
    const struct {
        quint32 type;
        const char* name;
        bool (*parse)(BmffMeta&, const BmffBox&);
    } parts[] = {{fourCC("iinf"), "iinf", parseIinf},
                 {fourCC("iloc"), "iloc", parseIloc},
                 {fourCC("iref"), "iref", parseIref},
                 {fourCC("iprp"), "iprp", parseIprp}};
    for (const auto& part : parts) {
        const BmffBox* box = meta.child(part.type);
        if (box && !part.parse(meta, *box)) {
            error = damaged(part.name);
            return false;
        }
    }
    noteLargestIds(meta);
    resolveExtents(meta, fileSize);
    return true;
}

bool describes(const BmffMeta& meta, quint32 item, quint32 target) {
    for (const ItemReference& reference : meta.references)
        if (reference.type == fourCC("cdsc") && reference.from == item && reference.to.contains(target))
            return true;
    return false;
}

QVector<quint32> itemsWhere(const BmffMeta& meta, const std::function<bool(const ItemInfo&)>& wanted) {
    QVector<quint32> first, others;
    for (const ItemInfo& info : meta.infos) {
        if (!wanted(info)) continue;
        if (meta.primary && describes(meta, info.id, *meta.primary))
            first.append(info.id);
        else
            others.append(info.id);
    }
    return first + others;
}

} // namespace

bool parseBoxHeader(const QByteArray& bytes, qint64 at, qint64 limit, qint64 base, BmffBox& box) {
    FieldReader r(bytes, at, bytes.size());
    const quint64 size = r.u32();
    box.type = r.u32();
    box.offset = base + at;
    box.headerSize = 8;
    box.toEnd = false;
    quint64 whole = size;
    if (size == 1) {
        whole = r.take(8);
        box.headerSize = 16;
    } else if (size == 0) {
        whole = quint64(limit - at);
        box.toEnd = true;
    }
    if (box.type == fourCC("uuid")) {
        r.take(8);
        r.take(8);
        box.headerSize += 16;
    }
    if (!r.ok() || whole < quint64(box.headerSize) || whole > quint64(limit - at)) return false;
    box.size = qint64(whole);
    return true;
}

const IlocItem* Iloc::item(quint32 id) const {
    for (const IlocItem& item : items)
        if (item.id == id) return &item;
    return nullptr;
}

const BmffBox* BmffMeta::child(quint32 type) const {
    for (const BmffBox& box : children)
        if (box.type == type) return &box;
    return nullptr;
}

const ItemInfo* BmffMeta::info(quint32 id) const {
    for (const ItemInfo& item : infos)
        if (item.id == id) return &item;
    return nullptr;
}

BmffFile parseBmff(const ByteSource& file) {
    BmffFile out;
    const qint64 fileSize = file.size();
    for (qint64 at = 0; at < fileSize;) {
        if (out.boxes.size() >= kMaxBoxes) {
            out.error = damaged("trop de boîtes");
            return out;
        }
        const QByteArray head = file.read(at, 32);
        BmffBox box;
        if (!parseBoxHeader(head, 0, fileSize - at, at, box)) {
            // A last box cut short by a truncated copy: what came before stays readable.
            BmffBox cut;
            if (head.size() >= 8 && parseBoxHeader(head, 0, INT64_MAX - at, at, cut) &&
                cut.end() > fileSize) {
                cut.size = fileSize - at;
                out.boxes.append(cut);
                out.truncated = true;
                break;
            }
            out.error = damaged("boîte illisible");
            return out;
        }
        if (out.boxes.isEmpty()) {
            if (box.type != fourCC("ftyp")) {
                out.error = damaged("ftyp");
                return out;
            }
            const QByteArray ftyp =
                file.read(box.payload(), std::min<qint64>(box.size - box.headerSize, 1024));
            for (qint64 i = 0; i + 4 <= ftyp.size(); i += 4)
                if (i != 4 && ftyp.mid(i, 4) == "crx ") out.cr3 = true;
        }
        if (box.type == fourCC("meta") && !out.meta) {
            if (box.size > kMaxMetaSize) {
                out.error = damaged("meta trop grande");
                return out;
            }
            BmffMeta meta;
            meta.box = box;
            meta.bytes = file.read(box.offset, box.size);
            if (meta.bytes.size() != box.size) {
                out.error = damaged("meta");
                return out;
            }
            // Positions in the meta bytes are relative to the box: re-read its header there.
            if (!parseMeta(meta, fileSize, out.error)) return out;
            out.meta = std::move(meta);
        }
        out.boxes.append(box);
        at = box.end();
    }
    if (out.boxes.isEmpty()) out.error = damaged("vide");
    return out;
}

std::optional<QVector<BmffBox>> readChildBoxes(const ByteSource& file, qint64 from, qint64 to) {
    QVector<BmffBox> out;
    to = std::min(to, file.size());
    for (qint64 at = from; at < to;) {
        BmffBox box;
        if (out.size() >= kMaxBoxes || !parseBoxHeader(file.read(at, 32), 0, to - at, at, box))
            return std::nullopt;
        out.append(box);
        at = box.end();
    }
    return out;
}

QByteArray boxUserType(const ByteSource& file, const BmffBox& box) {
    if (box.type != fourCC("uuid")) return {};
    return file.read(box.payload() - 16, 16);
}

QVector<quint32> exifItems(const BmffMeta& meta) {
    return itemsWhere(meta, [](const ItemInfo& info) { return info.type == fourCC("Exif"); });
}

QVector<quint32> xmpItems(const BmffMeta& meta) {
    return itemsWhere(meta, [](const ItemInfo& info) {
        return info.type == fourCC("mime") && info.contentType == "application/rdf+xml";
    });
}

std::optional<QVector<ByteRange>> itemRanges(const BmffMeta& meta, quint32 id, qint64 fileSize) {
    const IlocItem* item = meta.iloc.item(id);
    if (!item || item->extents.isEmpty()) return std::nullopt;
    QVector<ByteRange> out;
    for (const IlocExtent& extent : item->extents) {
        if (extent.start < 0 || extent.start + extent.size > fileSize) return std::nullopt;
        out.append(ByteRange{extent.start, extent.size});
    }
    return out;
}

} // namespace vantorel
