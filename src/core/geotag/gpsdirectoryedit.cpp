#include "gpsdirectoryedit.h"

#include "metadata/tiffview.h"

#include <algorithm>
#include <cstring>

namespace vantorel {
namespace {

struct Entry {
    quint16 tag = 0;
    quint16 type = 0;
    quint32 count = 0;
    QByteArray field;       // the 4 bytes of the value-or-offset field, in file order
    QByteArray outside;     // a new value longer than 4 bytes, in file order (new entries only)
    qint64 dataOffset = -1; // the value's place when it is outside the entry
    qint64 dataSize = 0;
};

class Block {
public:
    explicit Block(QByteArray bytes) : b(std::move(bytes)) {}
    QByteArray b;
    bool big = false;

    TiffView view() const { return {reinterpret_cast<const uchar*>(b.constData()), b.size(), big}; }
    bool has(qint64 offset, qint64 length) const { return view().has(offset, length); }
    quint16 u16(qint64 at) const { return view().u16(at); }
    quint32 u32(qint64 at) const { return view().u32(at); }
    QByteArray bytes16(quint16 v) const {
        QByteArray o(2, 0);
        o[big ? 0 : 1] = char(v >> 8);
        o[big ? 1 : 0] = char(v & 0xFF);
        return o;
    }
    QByteArray bytes32(quint32 v) const {
        QByteArray o(4, 0);
        for (int i = 0; i < 4; ++i)
            o[big ? 3 - i : i] = char((v >> (8 * i)) & 0xFF);
        return o;
    }

    // The entries of the directory at `offset`, each checked to lie inside the block; a lenient
    // reading (for what other directories use) clips values that run beyond it instead.
    std::optional<QVector<Entry>> directory(qint64 offset, bool lenient = false) const {
        if (!has(offset, 2)) return std::nullopt;
        const int count = u16(offset);
        if (count > kMaxDirectoryEntries || !has(offset + 2, qint64(count) * 12 + 4)) return std::nullopt;
        QVector<Entry> entries;
        for (int k = 0; k < count; ++k) {
            const qint64 e = offset + 2 + qint64(k) * 12;
            Entry entry;
            entry.tag = u16(e);
            entry.type = u16(e + 2);
            entry.count = u32(e + 4);
            entry.field = b.mid(e + 8, 4);
            const int unit = tiffUnitSize(entry.type);
            if (unit == 0 && !lenient) return std::nullopt;
            const qint64 size = qint64(entry.count) * unit;
            if (size > 4) {
                entry.dataOffset = u32(e + 8);
                entry.dataSize = size;
                if (!has(entry.dataOffset, size)) {
                    if (!lenient) return std::nullopt;
                    entry.dataSize = std::max<qint64>(0, b.size() - entry.dataOffset);
                }
            }
            entries.append(entry);
        }
        return entries;
    }
};

// A new item's value in the file's byte order (rationals are pairs of 32-bit numbers).
QByteArray fileOrder(const PropertyItem& item, bool big) {
    QByteArray v = item.value;
    const int unit = item.type == TypeRational || item.type == TypeSRational ? 4 : tiffUnitSize(item.type);
    if (big && unit > 1)
        for (qsizetype i = 0; i + unit <= v.size(); i += unit)
            std::reverse(v.begin() + i, v.begin() + i + unit);
    return v;
}

bool overlaps(qint64 a, qint64 aSize, qint64 b, qint64 bSize) {
    return a < b + bSize && b < a + aSize;
}

// Writes a directory of `entries` (sorted by tag) at the block's end, values longer than 4 bytes
// after it; returns its offset.
qint64 appendDirectory(Block& block, QVector<Entry> entries, quint32 next) {
    std::sort(entries.begin(), entries.end(), [](const Entry& x, const Entry& y) { return x.tag < y.tag; });
    if (block.b.size() % 2) block.b.append('\0');
    const qint64 start = block.b.size();
    qint64 data = start + 2 + qint64(entries.size()) * 12 + 4;
    QByteArray table = block.bytes16(quint16(entries.size()));
    QByteArray values;
    for (Entry& e : entries) {
        QByteArray field = e.field;
        if (!e.outside.isEmpty()) {
            field = block.bytes32(quint32(data + values.size()));
            values += e.outside;
            if (values.size() % 2) values.append('\0');
        }
        table += block.bytes16(e.tag) + block.bytes16(e.type) + block.bytes32(e.count) + field;
    }
    table += block.bytes32(next);
    block.b += table + values;
    return start;
}

} // namespace

std::optional<QByteArray> editGpsDirectory(const QByteArray& tiff, const QVector<PropertyItem>& set,
                                           const QList<quint16>& remove) {
    Block block(tiff);
    if (tiff.size() < 8) return std::nullopt;
    if (tiff.startsWith("II"))
        block.big = false;
    else if (tiff.startsWith("MM"))
        block.big = true;
    else
        return std::nullopt;
    if (block.u16(2) != 42) return std::nullopt;
    const qint64 ifd0 = block.u32(4);
    const auto main = block.directory(ifd0);
    if (!main) return std::nullopt;

    qint64 gps = -1;
    int pointerIndex = -1;
    for (int k = 0; k < main->size(); ++k)
        if ((*main)[k].tag == kGpsPointerTag) {
            const Entry& p = (*main)[k];
            if ((p.type != TypeLong && p.type != kTypeIfd) || p.count != 1) return std::nullopt;
            gps = block.u32(ifd0 + 2 + qint64(k) * 12 + 8);
            pointerIndex = k;
        }

    QVector<Entry> old;
    if (gps >= 0) {
        const auto entries = block.directory(gps);
        if (!entries) return std::nullopt;
        old = *entries;
    } else if (set.isEmpty()) {
        return tiff; // nothing to remove
    }

    if (set.isEmpty() &&
        std::none_of(old.begin(), old.end(), [&](const Entry& e) { return remove.contains(e.tag); }))
        return tiff; // nothing to remove

    QList<quint16> changed = remove;
    for (const PropertyItem& item : set)
        changed.append(quint16(item.id));

    // New values for items whose type and count stay: written where the old ones are.
    QVector<Entry> kept;
    bool inPlace = gps >= 0;
    for (const PropertyItem& item : set) {
        const int unit = tiffUnitSize(item.type);
        if (unit == 0 || item.value.size() % unit) return std::nullopt;
        const auto found =
            std::find_if(old.begin(), old.end(), [&](const Entry& e) { return e.tag == item.id; });
        if (found == old.end() || found->type != item.type ||
            qint64(found->count) * unit != item.value.size())
            inPlace = false;
    }
    if (inPlace && remove.isEmpty()) {
        for (const PropertyItem& item : set) {
            const int k =
                int(std::find_if(old.begin(), old.end(), [&](const Entry& e) { return e.tag == item.id; }) -
                    old.begin());
            const QByteArray value = fileOrder(item, block.big);
            const qint64 at = old[k].dataOffset >= 0 ? old[k].dataOffset : gps + 2 + qint64(k) * 12 + 8;
            block.b.replace(at, value.size(), value);
        }
        return block.b;
    }

    // The directory's new entries: the untouched ones as they are, then the new items.
    QVector<Entry> entries;
    for (const Entry& e : old)
        if (!changed.contains(e.tag)) entries.append(e);
    for (const PropertyItem& item : set) {
        Entry e;
        e.tag = quint16(item.id);
        e.type = item.type;
        e.count = quint32(item.value.size() / tiffUnitSize(item.type));
        const QByteArray value = fileOrder(item, block.big);
        if (value.size() <= 4)
            e.field = value + QByteArray(4 - value.size(), '\0');
        else
            e.outside = value;
        entries.append(e);
    }

    // What no directory uses any more: the old GPS table and the values of the changed items
    // (unless a kept entry, maybe in another directory, shares them: then they stay).
    QVector<std::pair<qint64, qint64>> freed;
    if (gps >= 0) {
        freed.append({gps, 2 + qint64(old.size()) * 12 + 4});
        for (const Entry& e : old)
            if (changed.contains(e.tag) && e.dataOffset >= 0) freed.append({e.dataOffset, e.dataSize});
    }
    // Everything the directories use (tables and values).
    QVector<std::pair<qint64, qint64>> used;
    for (const Entry& e : entries)
        if (e.dataOffset >= 0) used.append({e.dataOffset, e.dataSize});
    QVector<qint64> others{ifd0};
    for (int i = 0; i < others.size() && i < 8; ++i) {
        const qint64 at = others[i];
        const auto dir = block.directory(at, true);
        if (!dir) continue; // a damaged directory no reader can follow
        used.append({at, 2 + qint64(dir->size()) * 12 + 4});
        for (const Entry& e : *dir) {
            if (e.dataOffset >= 0) used.append({e.dataOffset, e.dataSize});
            if ((e.tag == 0x8769 || e.tag == 0xA005) && e.count == 1 &&
                (e.type == TypeLong || e.type == kTypeIfd))
                others.append(block.u32(at + 2 + qint64(&e - dir->data()) * 12 + 8));
        }
        if (i == 0)
            if (const quint32 ifd1 = block.u32(at + 2 + qint64(dir->size()) * 12); ifd1 != 0)
                others.append(ifd1);
    }
    // What another directory still uses (a damaged file may point two directories at one table)
    // is left as it is.
    QVector<std::pair<qint64, qint64>> zeroed;
    for (const auto& range : freed)
        if (std::none_of(used.begin(), used.end(), [&](const auto& u) {
                return overlaps(u.first, u.second, range.first, range.second);
            }))
            zeroed.append(range);

    const quint32 next = gps >= 0 ? block.u32(gps + 2 + qint64(old.size()) * 12) : 0;
    const qint64 newGps = appendDirectory(block, entries, next);
    if (pointerIndex >= 0) {
        block.b.replace(ifd0 + 2 + qint64(pointerIndex) * 12 + 8, 4, block.bytes32(quint32(newGps)));
    } else {
        // The main directory gets a GPS pointer: a copy of it with one more entry takes its place.
        QVector<Entry> mainEntries = *main;
        Entry pointer;
        pointer.tag = kGpsPointerTag;
        pointer.type = TypeLong;
        pointer.count = 1;
        pointer.field = block.bytes32(quint32(newGps));
        mainEntries.append(pointer);
        const quint32 mainNext = block.u32(ifd0 + 2 + qint64(main->size()) * 12);
        const qint64 newMain = appendDirectory(block, mainEntries, mainNext);
        block.b.replace(4, 4, block.bytes32(quint32(newMain)));
    }
    for (const auto& [at, size] : zeroed)
        std::memset(block.b.data() + at, 0, size_t(size));
    return block.b;
}

} // namespace vantorel
