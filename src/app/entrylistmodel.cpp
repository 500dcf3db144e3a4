#include "entrylistmodel.h"

namespace vantorel {

EntryListModel::EntryListModel(const QStringList& entries, QObject* parent)
    : QAbstractListModel(parent), m_entries(entries), m_rows(entries.size()) {}

int EntryListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_entries.size());
}

QVariant EntryListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || index.row() < 0 || index.row() >= m_entries.size()) return {};
    return m_entries[index.row()];
}

void EntryListModel::catchUp() {
    if (m_rows == m_entries.size()) return;
    beginResetModel();
    endResetModel();
    m_rows = m_entries.size();
}

void EntryListModel::aboutToInsert(int first, int last) {
    m_changing = true;
    beginInsertRows({}, first, last);
}

void EntryListModel::inserted() {
    endInsertRows();
    m_rows = m_entries.size();
    m_changing = false;
}

void EntryListModel::aboutToRemove(int first, int last) {
    m_changing = true;
    beginRemoveRows({}, first, last);
}

void EntryListModel::removed() {
    endRemoveRows();
    m_rows = m_entries.size();
    m_changing = false;
}

void EntryListModel::aboutToReset() {
    m_changing = true;
    beginResetModel();
}

void EntryListModel::reset() {
    endResetModel();
    m_rows = m_entries.size();
    m_changing = false;
}

} // namespace vantorel
