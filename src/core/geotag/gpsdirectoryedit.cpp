// SPDX-License-Identifier: GPL-3.0-or-later
#include "gpsdirectoryedit.h"

#include "metadata/tiffblock.h"

#include <algorithm>

namespace vantorel {
namespace {

using Range = std::pair<qint64, qint64>; // offset, size

constexpr qint64 kMaxSegmentGrowth = 65536; // an Exif block never grows past its segment

bool overlaps(const Range& a, const Range& b) {
    return a.first < b.first + b.second && b.first < a.first + a.second;
}

// One entry of a directory about to be written: its 12 bytes, and a value that goes after the
// table when it does not fit in them.
struct NewEntry {
    quint16 tag = 0;
    QByteArray bytes;
    QByteArray outside;
};

NewEntry keptEntry(const TiffBlock& tiff, const TiffEntry& e) {
    return {e.tag, tiff.bytes().mid(e.at, 12), {}};
}

NewEntry itemEntry(const TiffBlock& tiff, const PropertyItem& item) {
    const QByteArray value = tiff.swapped(item.type, item.value);
    NewEntry e{quint16(item.id),
               tiff.encode16(quint16(item.id)) + tiff.encode16(item.type) +
                   tiff.encode32(quint32(value.size() / tiffUnitSize(item.type))),
               {}};
    if (value.size() <= 4)
        e.bytes += value + QByteArray(4 - value.size(), '\0');
    else
        e.outside = value;
    return e;
}

// A new entry goes before the first entry of a higher tag (at the end when none): where a sorted
// directory wants it, the others keeping their order even when a damaged file left them unsorted.
void insertInOrder(QVector<NewEntry>& entries, NewEntry entry) {
    const auto higher =
        std::find_if(entries.begin(), entries.end(), [&](const NewEntry& e) { return e.tag > entry.tag; });
    entries.insert(higher, std::move(entry));
}

// The GPS version a new directory states, as readers require.
PropertyItem versionItem() {
    return {0, TypeByte, QByteArray("\x02\x03\x00\x00", 4)};
}

// The table of `entries`, in the order given, laid out at `at`, the values that do not fit in an
// entry right after it. Entries are never re-sorted: those an edit keeps keep their order.
QByteArray directoryBytes(const TiffBlock& tiff, QVector<NewEntry> entries, quint32 next, qint64 at) {
    qint64 data = at + 2 + qint64(entries.size()) * 12 + 4;
    QByteArray table = tiff.encode16(quint16(entries.size()));
    QByteArray values;
    for (NewEntry& e : entries) {
        if (!e.outside.isEmpty()) {
            e.bytes.replace(8, 4, tiff.encode32(quint32(data + values.size())));
            values += e.outside;
            if (values.size() % 2) values.append('\0');
        }
        table += e.bytes;
    }
    return table + tiff.encode32(next) + values;
}

qint64 appendDirectory(TiffBlock& tiff, const QVector<NewEntry>& entries, quint32 next) {
    const qint64 at = tiff.size() + tiff.size() % 2;
    tiff.append(directoryBytes(tiff, entries, next, at));
    return at;
}

// Every directory of the block (main, Exif, GPS unless `followGps` is false, interoperability,
// thumbnail), as far as they can be followed, each given once to `visit`.
template <typename Visit> void forEachDirectory(const TiffBlock& tiff, bool followGps, Visit visit) {
    QVector<qint64> pending{tiff.firstDirectory()}, seen;
    while (!pending.isEmpty() && seen.size() < 16) {
        const qint64 at = pending.takeFirst();
        if (seen.contains(at)) continue;
        seen.append(at);
        const auto dir = tiff.directory(at);
        if (!dir) continue;
        visit(*dir);
        for (const TiffEntry& e : dir->entries)
            if (e.tag == kExifPointerTag || (followGps && e.tag == kGpsPointerTag) ||
                e.tag == kInteropPointerTag)
                if (const auto sub = tiff.pointer(e)) pending.append(*sub);
        if (seen.size() == 1 && dir->next) pending.append(dir->next);
    }
}

// Every table and value the block's directories use.
QVector<Range> usedRanges(const TiffBlock& tiff, bool followGps = true) {
    QVector<Range> used;
    forEachDirectory(tiff, followGps, [&](const TiffDirectory& dir) {
        used.append({dir.offset, dir.tableSize()});
        for (const TiffEntry& e : dir.entries)
            // A value that runs past the block is read by no one: it keeps nothing.
            if (tiff.valueInside(e) && !e.valueInEntry()) used.append({e.valueAt, e.valueSize});
    });
    return used;
}

// Whether a value of a directory lies, wholly or in part, past the block's end within reach of
// what an edit could append there: a reader that follows it would read the new bytes.
bool valuesPastTheEnd(const TiffBlock& tiff) {
    bool past = false;
    forEachDirectory(tiff, true, [&](const TiffDirectory& dir) {
        for (const TiffEntry& e : dir.entries)
            if (e.known() && !e.valueInEntry() && e.valueSize > 0 && e.valueAt + e.valueSize > tiff.size() &&
                e.valueAt < tiff.size() + kMaxSegmentGrowth)
                past = true;
    });
    return past;
}

// Zeroes what the edit freed but the bytes a directory still uses (a damaged file may share a
// value between two entries, or lay a directory over a maker note): those bytes stay, every other
// byte of the freed ranges goes.
void zeroFreed(TiffBlock& tiff, const QVector<Range>& freed) {
    QVector<Range> used = usedRanges(tiff);
    std::sort(used.begin(), used.end());
    for (const Range& range : freed) {
        qint64 from = std::max<qint64>(range.first, 0);
        const qint64 end = std::min(range.first + range.second, tiff.size());
        for (const Range& u : used) {
            if (u.first + u.second <= from || u.second <= 0) continue;
            if (u.first >= end) break;
            if (u.first > from) tiff.zero(from, u.first - from);
            from = std::max(from, u.first + u.second);
        }
        if (from < end) tiff.zero(from, end - from);
    }
}

// Latitude, longitude and the destination's: the values that state a place.
bool isCoordinateTag(quint16 tag) {
    return tag == 2 || tag == 4 || tag == 0x14 || tag == 0x16;
}

// Whether a latitude or longitude of `removed` still has a byte that is not zero after the freed
// bytes were zeroed: another entry of a damaged directory shares its value, so it survives.
bool positionValueLeft(const TiffBlock& tiff, const QVector<TiffEntry>& removed) {
    for (const TiffEntry& e : removed) {
        if (!isCoordinateTag(e.tag)) continue;
        if (!tiff.valueInside(e) || e.valueInEntry()) continue;
        const QByteArray bytes = tiff.bytes().mid(e.valueAt, e.valueSize);
        if (bytes.count('\0') != bytes.size()) return true;
    }
    return false;
}

// The values of `entries` that lie outside their entries (the entries' own bytes go with the table).
QVector<Range> valuesOf(const TiffBlock& tiff, const QVector<TiffEntry>& entries) {
    QVector<Range> out;
    for (const TiffEntry& e : entries)
        if (tiff.valueInside(e) && !e.valueInEntry()) out.append({e.valueAt, e.valueSize});
    return out;
}

// Latitudes and longitudes: the values whose bytes must not outlive an edit.
void notePositions(const TiffBlock& tiff, const QVector<TiffEntry>& entries, QVector<QByteArray>& out) {
    for (const TiffEntry& e : entries) {
        if (!isCoordinateTag(e.tag)) continue;
        if (!tiff.valueInside(e) || e.valueSize < 16) continue;
        const QByteArray bytes = tiff.bytes().mid(e.valueAt, e.valueSize);
        if (bytes.count('\0') != bytes.size()) out.append(bytes);
    }
}

GpsDirectoryEditResult refused(const QString& why) {
    GpsDirectoryEditResult r;
    r.error = why;
    return r;
}

} // namespace

namespace {

GpsDirectoryEditResult editDirectory(const QByteArray& bytes, const GpsDirectoryEdit& edit);

} // namespace

GpsDirectoryEditResult editGpsDirectory(const QByteArray& bytes, const GpsDirectoryEdit& edit) {
    GpsDirectoryEditResult result = editDirectory(bytes, edit);
    // A coordinate written again with its old value (a new latitude beside the same longitude) is
    // the new position, not a trace of the old one.
    if (const auto tiff = TiffBlock::parse(bytes))
        result.oldPositions.removeIf([&](const QByteArray& old) {
            return std::any_of(edit.set.begin(), edit.set.end(), [&](const PropertyItem& item) {
                return old == tiff->swapped(item.type, item.value);
            });
        });
    return result;
}

namespace {

GpsDirectoryEditResult editDirectory(const QByteArray& bytes, const GpsDirectoryEdit& edit) {
    GpsDirectoryEditResult result;
    auto parsed = TiffBlock::parse(bytes);
    if (!parsed) return refused(QStringLiteral("en-tête Exif illisible"));
    TiffBlock& tiff = *parsed;
    const auto ifd0 = tiff.directory(tiff.firstDirectory());
    if (!ifd0) return refused(QStringLiteral("répertoire Exif principal illisible"));
    for (const PropertyItem& item : edit.set)
        if (tiffUnitSize(item.type) == 0 || item.value.isEmpty() ||
            item.value.size() % tiffUnitSize(item.type))
            return refused(QStringLiteral("valeur GPS mal formée"));

    const QVector<int> pointers = ifd0->indexesOf(kGpsPointerTag);
    std::optional<qint64> gpsAt;
    for (int k : pointers) {
        const auto at = tiff.pointer(ifd0->entries[k]);
        if (gpsAt && at && *at != *gpsAt) return refused(QStringLiteral("plusieurs répertoires GPS"));
        if (at) gpsAt = at;
    }
    std::optional<TiffDirectory> gps;
    if (gpsAt) {
        gps = tiff.directory(*gpsAt);
        if (!gps || !gps->complete) return refused(QStringLiteral("répertoire GPS illisible"));
        // A directory laid over another one's table or values (a maker note, a damaged file)
        // can be neither rewritten nor wiped without damaging what shares its bytes.
        QVector<Range> own = valuesOf(tiff, gps->entries);
        own.append({gps->offset, gps->tableSize()});
        const QVector<Range> others = usedRanges(tiff, false);
        for (const Range& r : own)
            if (std::any_of(others.begin(), others.end(), [&](const Range& u) { return overlaps(u, r); }))
                return refused(QStringLiteral("répertoire GPS mêlé à d'autres données"));
    }

    if (edit.removeDirectory) {
        if (pointers.isEmpty()) {
            result.block = bytes;
            return result;
        }
        if (!ifd0->complete) return refused(QStringLiteral("répertoire Exif principal illisible"));
        // The main directory loses its GPS pointers in its own place; its tail is freed.
        QVector<NewEntry> entries;
        for (const TiffEntry& e : ifd0->entries)
            if (e.tag != kGpsPointerTag) entries.append(keptEntry(tiff, e));
        const QByteArray table = directoryBytes(tiff, entries, ifd0->next, ifd0->offset);
        QVector<Range> freed{{ifd0->offset + table.size(), ifd0->tableSize() - table.size()}};
        tiff.replace(ifd0->offset, table);
        if (gps) {
            freed.append({gps->offset, gps->tableSize()});
            freed += valuesOf(tiff, gps->entries);
            result.removedItems = int(gps->entries.size());
            notePositions(tiff, gps->entries, result.oldPositions);
        }
        zeroFreed(tiff, freed);
        if (gps && positionValueLeft(tiff, gps->entries))
            return refused(QStringLiteral("répertoire GPS mêlé à d'autres données"));
        result.block = tiff.bytes();
        return result;
    }

    if (!gps && (edit.set.isEmpty() || !edit.addDirectory)) {
        result.block = bytes; // nothing to remove
        return result;
    }

    const auto entriesOf = [&](quint16 tag) {
        QVector<TiffEntry> out;
        if (gps)
            for (const TiffEntry& e : gps->entries)
                if (e.tag == tag) out.append(e);
        return out;
    };
    bool removing = false;
    for (quint16 tag : edit.remove)
        if (!entriesOf(tag).isEmpty()) removing = true;
    if (!removing && edit.set.isEmpty()) {
        result.block = bytes;
        return result;
    }

    // New values whose type and count stay are written where the old ones are.
    bool inPlace = gps.has_value() && !removing;
    for (const PropertyItem& item : edit.set) {
        const QVector<TiffEntry> old = entriesOf(quint16(item.id));
        if (old.isEmpty()) inPlace = false;
        for (const TiffEntry& e : old)
            if (e.type != item.type || e.valueSize != item.value.size() || !tiff.valueInside(e))
                inPlace = false;
    }
    if (inPlace) {
        for (const PropertyItem& item : edit.set) {
            notePositions(tiff, entriesOf(quint16(item.id)), result.oldPositions);
            for (const TiffEntry& e : entriesOf(quint16(item.id)))
                tiff.replace(e.valueAt, tiff.swapped(item.type, item.value));
        }
        result.block = tiff.bytes();
        return result;
    }

    // The directory's new entries: the untouched ones as they are (even those of a type this
    // editor does not know), then the new items.
    QList<quint16> changed = edit.remove;
    for (const PropertyItem& item : edit.set)
        changed.append(quint16(item.id));
    QVector<NewEntry> entries;
    QVector<TiffEntry> dropped;
    if (gps)
        for (const TiffEntry& e : gps->entries) {
            if (!changed.contains(e.tag))
                entries.append(keptEntry(tiff, e));
            else
                dropped.append(e);
        }
    for (const TiffEntry& e : dropped)
        if (edit.remove.contains(e.tag)) ++result.removedItems;
    notePositions(tiff, dropped, result.oldPositions);
    bool outside = false;
    QVector<PropertyItem> items = edit.set;
    // A directory made here states its version, as readers require.
    if (!gps && std::none_of(items.begin(), items.end(), [](const PropertyItem& i) { return i.id == 0; }))
        items.prepend(versionItem());
    std::stable_sort(items.begin(), items.end(),
                     [](const PropertyItem& x, const PropertyItem& y) { return x.id < y.id; });
    for (const PropertyItem& item : items) {
        NewEntry entry = itemEntry(tiff, item);
        outside = outside || !entry.outside.isEmpty();
        insertInOrder(entries, std::move(entry));
    }

    QVector<Range> freed = valuesOf(tiff, dropped);
    if (gps && !outside && entries.size() <= gps->entries.size()) {
        // Fewer entries: the directory keeps its place and its tail is freed.
        const QByteArray table = directoryBytes(tiff, entries, gps->next, gps->offset);
        freed.append({gps->offset + table.size(), gps->tableSize() - table.size()});
        tiff.replace(gps->offset, table);
    } else {
        // Appended bytes would become the values that out-of-range offsets of a damaged file
        // point at: phantom tags for every reader.
        if (valuesPastTheEnd(tiff))
            return refused(QStringLiteral("des valeurs Exif désignent la place après le bloc"));
        if (gps) freed.append({gps->offset, gps->tableSize()});
        const qint64 newGps = appendDirectory(tiff, entries, gps ? gps->next : 0);
        if (!pointers.isEmpty()) {
            for (int k : pointers) {
                const qint64 at = ifd0->entries[k].at;
                tiff.replace(at + 2,
                             tiff.encode16(TypeLong) + tiff.encode32(1) + tiff.encode32(quint32(newGps)));
            }
        } else {
            // The main directory gets a GPS pointer: a copy of it with one more entry takes its place.
            if (!ifd0->complete) return refused(QStringLiteral("répertoire Exif principal illisible"));
            QVector<NewEntry> main;
            for (const TiffEntry& e : ifd0->entries)
                main.append(keptEntry(tiff, e));
            insertInOrder(main, {kGpsPointerTag,
                                 tiff.encode16(kGpsPointerTag) + tiff.encode16(TypeLong) + tiff.encode32(1) +
                                     tiff.encode32(quint32(newGps)),
                                 {}});
            const qint64 newMain = appendDirectory(tiff, main, ifd0->next);
            tiff.replace(4, tiff.encode32(quint32(newMain)));
        }
    }
    zeroFreed(tiff, freed);
    if (positionValueLeft(tiff, dropped))
        return refused(QStringLiteral("répertoire GPS mêlé à d'autres données"));
    result.block = tiff.bytes();
    return result;
}

} // namespace

QByteArray newGpsBlock(const QVector<PropertyItem>& items, const QVector<PropertyItem>& mainItems) {
    // A main directory with `mainItems` and the GPS pointer, then the GPS directory.
    auto tiff = TiffBlock::parse(QByteArrayLiteral("II\x2A\x00\x08\x00\x00\x00"));
    QVector<NewEntry> gps;
    if (std::none_of(items.begin(), items.end(), [](const PropertyItem& i) { return i.id == 0; }))
        gps.append(itemEntry(*tiff, versionItem()));
    for (const PropertyItem& item : items)
        insertInOrder(gps, itemEntry(*tiff, item));
    QVector<NewEntry> main;
    for (const PropertyItem& item : mainItems)
        insertInOrder(main, itemEntry(*tiff, item));
    const auto pointerTo = [&](quint32 at) {
        return NewEntry{kGpsPointerTag,
                        tiff->encode16(kGpsPointerTag) + tiff->encode16(TypeLong) + tiff->encode32(1) +
                            tiff->encode32(at),
                        {}};
    };
    insertInOrder(main, pointerTo(0));
    const qint64 gpsAt = 8 + directoryBytes(*tiff, main, 0, 8).size();
    for (NewEntry& e : main)
        if (e.tag == kGpsPointerTag) e = pointerTo(quint32(gpsAt));
    tiff->append(directoryBytes(*tiff, main, 0, 8));
    tiff->append(directoryBytes(*tiff, gps, 0, gpsAt));
    return tiff->bytes();
}

} // namespace vantorel
