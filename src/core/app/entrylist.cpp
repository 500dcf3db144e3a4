#include "entrylist.h"

#include <algorithm>
#include <iterator>

namespace vantorel {
namespace {

// About 10 ms of sorting between two pumps on this kind of machine.
constexpr qsizetype kSortSlice = 16 * 1024;

} // namespace

bool entryLess(const QString& a, const QString& b) {
    return QString::compare(a, b, Qt::CaseInsensitive) < 0;
}

void sortEntries(QStringList& added, const std::function<void()>& pump) {
    const qsizetype n = added.size();
    auto at = [&](qsizetype i) { return added.begin() + std::min(i, n); };
    for (qsizetype i = 0; i < n; i += kSortSlice) {
        std::stable_sort(at(i), at(i + kSortSlice), entryLess);
        if (pump && n > kSortSlice) pump();
    }
    // Stable merges of neighbouring runs keep equal entries in their order of arrival.
    for (qsizetype run = kSortSlice; run < n; run *= 2) {
        for (qsizetype i = 0; i + run < n; i += 2 * run) {
            std::inplace_merge(at(i), at(i + run), at(i + 2 * run), entryLess);
            if (pump) pump();
        }
    }
}

int mergeSortedEntries(QStringList& list, QStringList added, int selected) {
    if (selected >= list.size())
        selected += int(added.size());
    else if (selected >= 0)
        selected +=
            int(std::lower_bound(added.begin(), added.end(), list[selected], entryLess) - added.begin());
    QStringList merged;
    merged.reserve(list.size() + added.size());
    // std::merge takes from the first range on ties: existing entries stay before equal new ones.
    std::merge(std::make_move_iterator(list.begin()), std::make_move_iterator(list.end()),
               std::make_move_iterator(added.begin()), std::make_move_iterator(added.end()),
               std::back_inserter(merged), entryLess);
    list = std::move(merged);
    return selected;
}

} // namespace vantorel
