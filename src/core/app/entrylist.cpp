#include "entrylist.h"

#include <algorithm>
#include <numeric>
#include <vector>

namespace vantorel {
namespace {

// About 10 ms of sorting between two pumps on a slow machine.
constexpr qsizetype kSortSlice = 32 * 1024;

} // namespace

bool entryLess(const QString& a, const QString& b) {
    return QString::compare(a, b, Qt::CaseInsensitive) < 0;
}

QString entryKey(const QString& entry) {
    const qsizetype n = entry.size();
    QString key(n, Qt::Uninitialized);
    const auto* in = reinterpret_cast<const char16_t*>(entry.utf16());
    auto* out = reinterpret_cast<char16_t*>(key.data());
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
    return key;
}

SortedEntries sortEntries(const QStringList& added, const std::function<void()>& pump) {
    const qsizetype n = added.size();
    QStringList keys;
    keys.reserve(n);
    for (const QString& entry : added)
        keys << entryKey(entry);
    if (pump && n > kSortSlice) pump();
    // Positions sorted by key, then by arrival: equal entries keep their order.
    std::vector<qsizetype> order(static_cast<size_t>(n));
    std::iota(order.begin(), order.end(), 0);
    auto less = [&keys](qsizetype a, qsizetype b) {
        const int c = QString::compare(keys[a], keys[b], Qt::CaseSensitive);
        return c < 0 || (c == 0 && a < b);
    };
    auto at = [&](qsizetype i) { return order.begin() + std::min(i, n); };
    for (qsizetype i = 0; i < n; i += kSortSlice) {
        std::sort(at(i), at(i + kSortSlice), less);
        if (pump && n > kSortSlice) pump();
    }
    for (qsizetype run = kSortSlice; run < n; run *= 2) {
        for (qsizetype i = 0; i + run < n; i += 2 * run) {
            std::inplace_merge(at(i), at(i + run), at(i + 2 * run), less);
            if (pump) pump();
        }
    }
    SortedEntries sorted;
    sorted.entries.reserve(n);
    sorted.keys.reserve(n);
    for (qsizetype i : order) {
        sorted.entries << added[i];
        sorted.keys << std::move(keys[i]);
    }
    return sorted;
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
    else if (selected >= 0)
        selected += int(std::lower_bound(added.keys.begin(), added.keys.end(), entryKey(list[selected])) -
                        added.keys.begin());
    QStringList merged;
    merged.reserve(n + k);
    qsizetype i = 0, j = 0;
    QString front = n > 0 ? entryKey(list[0]) : QString();
    // An existing entry goes first unless the new one sorts strictly before it.
    while (i < n && j < k) {
        if (added.keys[j] < front) {
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
