// SPDX-License-Identifier: GPL-3.0-or-later
#include "entrylist.h"

#include <algorithm>
#include <tuple>
#include <vector>

namespace vantorel {
namespace {

// About 10 ms of sorting between two pumps on a slow machine.
constexpr qsizetype kSortSlice = 32 * 1024;

} // namespace

bool entryLess(const QString& a, const QString& b) {
    return QString::compare(a, b, Qt::CaseInsensitive) < 0;
}

namespace {

// Folds `n` code units from `in` into `out` as QString::compare without regard to case does.
void foldInto(const char16_t* in, qsizetype n, char16_t* out) {
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t ch = in[i];
        if (ch < 0x80) {
            out[i] = ch >= u'A' && ch <= u'Z' ? char16_t(ch + 32) : ch;
        } else if (QChar::isLowSurrogate(ch) && i > 0 && QChar::isHighSurrogate(in[i - 1])) {
            // A pair is folded whole; its first unit is compared as it is.
            out[i] = QChar::lowSurrogate(QChar::toCaseFolded(QChar::surrogateToUcs4(in[i - 1], ch)));
        } else {
            out[i] = char16_t(QChar::toCaseFolded(char32_t(ch)));
        }
    }
}

// Four code units of a key from `from` on, as one number that orders as they do (missing units as 0;
// a key that ends there is told apart by its length).
quint64 headOf(QStringView key, qsizetype from) {
    quint64 head = 0;
    for (qsizetype i = from; i < from + 4; ++i)
        head = (head << 16) | (i < key.size() ? key[i].unicode() : 0);
    return head;
}

// A key's place while sorting: the four units that decide it this round, how many units it has left
// from there (5: more than these four), and its arrival.
struct SortItem {
    quint64 head = 0;
    quint32 left = 0;
    qsizetype index = 0;
};

} // namespace

QString entryKey(const QString& entry) {
    QString key(entry.size(), Qt::Uninitialized);
    foldInto(reinterpret_cast<const char16_t*>(entry.utf16()), entry.size(),
             reinterpret_cast<char16_t*>(key.data()));
    return key;
}

SortedEntries sortEntries(const QStringList& added, const std::function<void()>& pump) {
    const qsizetype n = added.size();
    SortedEntries sorted;
    // Every key in one buffer: one allocation, not one per entry.
    qsizetype total = 0;
    for (const QString& entry : added)
        total += entry.size();
    sorted.keyText = QString(total, Qt::Uninitialized);
    auto* text = reinterpret_cast<char16_t*>(sorted.keyText.data());
    std::vector<QStringView> keys;
    keys.reserve(size_t(n));
    for (qsizetype i = 0; i < n; ++i) {
        const QString& entry = added[i];
        foldInto(reinterpret_cast<const char16_t*>(entry.utf16()), entry.size(), text);
        keys.emplace_back(text, entry.size());
        text += entry.size();
        if (pump && i % kSortSlice == kSortSlice - 1) pump();
    }

    // By key, then by arrival (equal entries keep their order), a few units at a time: a run of keys
    // that agree so far is sorted by the next four units after all they share, as numbers, then each
    // run that still agrees likewise. The keys' text is read once a round, never in a comparison.
    std::vector<SortItem> items(static_cast<size_t>(n));
    for (qsizetype i = 0; i < n; ++i)
        items[size_t(i)].index = i;
    struct Run {
        qsizetype begin, end, depth; // the keys of items[begin, end) agree on their first `depth` units
    };
    std::vector<Run> runs;
    if (n > 1) runs.push_back({0, n, 0});
    qsizetype sinceLastPump = 0;
    while (!runs.empty()) {
        const Run run = runs.back();
        runs.pop_back();
        const auto first = items.begin() + run.begin, last = items.begin() + run.end;
        const QStringView lead = keys[size_t(first->index)];
        // A long round (the first one holds every key) lets the window repaint between its passes.
        const auto between = [&] {
            if (pump && last - first > kSortSlice) pump();
        };
        qsizetype depth = lead.size();
        for (auto it = first + 1; it != last; ++it) {
            const QStringView key = keys[size_t(it->index)];
            qsizetype i = run.depth;
            const qsizetype most = std::min(depth, key.size());
            while (i < most && key[i] == lead[i])
                ++i;
            depth = i;
        }
        between();
        for (auto it = first; it != last; ++it) {
            const QStringView key = keys[size_t(it->index)];
            it->head = headOf(key, depth);
            it->left = quint32(std::min<qsizetype>(key.size() - depth, 5));
        }
        between();
        std::sort(first, last, [](const SortItem& a, const SortItem& b) {
            return std::tie(a.head, a.left, a.index) < std::tie(b.head, b.left, b.index);
        });
        // Keys that go on past these four units and agree on them: another round.
        for (auto it = first; it != last;) {
            auto same = it + 1;
            while (same != last && same->head == it->head && same->left == it->left)
                ++same;
            if (it->left == 5 && same - it > 1)
                runs.push_back({qsizetype(it - items.begin()), qsizetype(same - items.begin()), depth + 4});
            it = same;
        }
        sinceLastPump += run.end - run.begin;
        if (pump && sinceLastPump >= kSortSlice) {
            pump();
            sinceLastPump = 0;
        }
    }
    sorted.entries.reserve(n);
    sorted.keys.reserve(size_t(n));
    for (const SortItem& item : items) {
        sorted.entries << added[item.index];
        sorted.keys.push_back(keys[size_t(item.index)]);
    }
    return sorted;
}

EntryListModel::EntryListModel(QStringList& entries, QObject* parent)
    : QAbstractListModel(parent), m_entries(entries) {}

int EntryListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_entries.size());
}

QVariant EntryListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || index.parent().isValid() || index.row() < 0 ||
        index.row() >= m_entries.size())
        return {};
    return m_entries[index.row()];
}

void EntryListModel::inserting(int first, int last, const std::function<void()>& change) {
    m_changing = true;
    beginInsertRows({}, first, last);
    change();
    endInsertRows();
    m_changing = false;
}

void EntryListModel::removing(int first, int last, const std::function<void()>& change) {
    m_changing = true;
    beginRemoveRows({}, first, last);
    change();
    endRemoveRows();
    m_changing = false;
}

void EntryListModel::resetting(const std::function<void()>& change) {
    m_changing = true;
    beginResetModel();
    change();
    endResetModel();
    m_changing = false;
}

int findEntry(const QStringList& list, const QString& path) {
    // Entries equal without regard to case sit together; the exact one is among them.
    for (auto it = std::lower_bound(list.begin(), list.end(), path, entryLess);
         it != list.end() && !entryLess(path, *it); ++it)
        if (*it == path) return int(it - list.begin());
    return -1;
}

int mergeSortedEntries(QStringList& list, SortedEntries added, int selected) {
    const qsizetype n = list.size(), k = added.entries.size();
    if (selected >= n)
        selected += int(k);
    else if (selected >= 0) {
        const QString key = entryKey(list[selected]);
        const auto less = [](QStringView a, QStringView b) { return a.compare(b) < 0; };
        selected += int(std::lower_bound(added.keys.begin(), added.keys.end(), QStringView(key), less) -
                        added.keys.begin());
    }
    QStringList merged;
    merged.reserve(n + k);
    qsizetype i = 0, j = 0;
    QString front = n > 0 ? entryKey(list[0]) : QString();
    // An existing entry goes first unless the new one sorts strictly before it.
    while (i < n && j < k) {
        if (added.keys[size_t(j)].compare(front) < 0) {
            merged << std::move(added.entries[j++]);
        } else {
            merged << std::move(list[i++]);
            if (i < n) front = entryKey(list[i]);
        }
    }
    while (i < n)
        merged << std::move(list[i++]);
    while (j < k)
        merged << std::move(added.entries[j++]);
    list = std::move(merged);
    return selected;
}

} // namespace vantorel
