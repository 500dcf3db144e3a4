// The photo list's order and its changes: entries sorted without regard to case, a new entry after
// the entries it equals; views follow the changes row by row through a ListObserver.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

namespace vantorel {

// Told of every change of the list before and after it is made, so a view can follow it.
class ListObserver {
public:
    virtual ~ListObserver() = default;
    virtual void aboutToInsert(int first, int last) = 0;
    virtual void inserted() = 0;
    virtual void aboutToRemove(int first, int last) = 0;
    virtual void removed() = 0;
    virtual void aboutToReset() = 0;
    virtual void reset() = 0;
};

bool entryLess(const QString& a, const QString& b);

// Sorts `added` as adding them one at a time would place them (stable, without regard to case),
// calling `pump` between slices of work so a window can repaint during a long sort.
void sortEntries(QStringList& added, const std::function<void()>& pump = {});

// Merges the sorted `added` into the sorted `list`, each after the entries it equals, as adding them
// one at a time would. Returns where the entry at `selected` went (`selected` moved past every
// entry placed before it; -1 stays -1).
int mergeSortedEntries(QStringList& list, QStringList added, int selected);

} // namespace vantorel
