// ListBox1's entries as a list model over the controller's list: the view is told which rows
// changed, so a change costs what it changes, not a rebuild of the whole list.
#pragma once

#include "controller/entrylist.h"

#include <QAbstractListModel>
#include <QStringList>

namespace vantorel {

class EntryListModel : public QAbstractListModel, public ListObserver {
    Q_OBJECT
public:
    EntryListModel(const QStringList& entries, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // True while a change is under way: the view's selection moves on its own then.
    bool changing() const { return m_changing; }
    // Starts over when the list was changed without telling (a safety net, one comparison of sizes).
    void catchUp();

    void aboutToInsert(int first, int last) override;
    void inserted() override;
    void aboutToRemove(int first, int last) override;
    void removed() override;
    void aboutToReset() override;
    void reset() override;

private:
    const QStringList& m_entries;
    qsizetype m_rows = 0; // as the view last learnt it
    bool m_changing = false;
};

} // namespace vantorel
