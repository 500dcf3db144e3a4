// SPDX-License-Identifier: GPL-3.0-or-later
// The photo list's order and its changes: entries sorted without regard to case, a new entry after
// the entries it equals; views follow the changes row by row through the list's model.
#pragma once

#include <QAbstractListModel>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace vantorel {

// The list's entries as a list model: every change is made through it, and the views are told
// which rows changed (not a reset), so a change costs what it changes.
class EntryListModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit EntryListModel(QStringList& entries, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // True while a change is under way: a view's selection moves on its own then.
    bool changing() const { return m_changing; }

    // Makes `change` to the entries, the rows [first, last] being inserted (after it) or removed
    // (before it), or every row starting over.
    void inserting(int first, int last, const std::function<void()>& change);
    void removing(int first, int last, const std::function<void()>& change);
    void resetting(const std::function<void()>& change);

private:
    QStringList& m_entries;
    bool m_changing = false;
};

// The list's order: QString::compare without regard to case.
bool entryLess(const QString& a, const QString& b);

// An entry folded as that comparison folds it, code unit by code unit: two keys compare (as plain
// strings) as their entries do without regard to case, many times faster when sorting many.
QString entryKey(const QString& entry);

// New entries in the order adding them one at a time would place them among themselves, with
// their keys (views into one buffer, kept alive with them).
struct SortedEntries {
    QStringList entries;
    std::vector<QStringView> keys;
    QString keyText;
};

// Sorts `added` stably, calling `pump` between slices of work so a window can repaint during a
// long sort.
SortedEntries sortEntries(const QStringList& added, const std::function<void()>& pump = {});

// The first entry equal to `path` in the sorted `list` (found by halving, not by a walk through
// 200,000 entries), or -1.
int findEntry(const QStringList& list, const QString& path);

// Merges sorted entries into the sorted `list`, each after the entries it equals, as adding them
// one at a time would. Returns where the entry at `selected` went (moved past every entry placed
// before it; -1 stays -1).
int mergeSortedEntries(QStringList& list, SortedEntries added, int selected);

} // namespace vantorel
