// SPDX-License-Identifier: GPL-3.0-or-later
#include "tables/stringgrid.h"

#include <atomic>

namespace vantorel {

void StringGrid::changed() {
    // One count for all grids: a grid assigned over another never takes a revision it had already.
    static std::atomic<quint64> lastRevision{0};
    m_revision = ++lastRevision;
}

StringGrid::StringGrid(int colCount, int rowCount) : m_colCount(colCount) {
    setRowCount(rowCount);
}

void StringGrid::setRowCount(int rows) {
    rows = std::max(rows, 0);
    const int old = rowCount();
    m_rows.resize(rows);
    for (int r = old; r < rows; ++r)
        m_rows[r] = QVector<QString>(m_colCount);
    changed();
}

QString StringGrid::cell(int col, int row) const {
    if (row < 0 || row >= rowCount() || col < 0 || col >= m_colCount) return {};
    return m_rows[row][col];
}

void StringGrid::setCell(int col, int row, const QString& text) {
    if (row < 0 || row >= rowCount() || col < 0 || col >= m_colCount) return;
    m_rows[row][col] = text;
    changed();
}

QStringList StringGrid::row(int row) const {
    if (row < 0 || row >= rowCount()) return {};
    return QStringList(m_rows[row].begin(), m_rows[row].end());
}

void StringGrid::clearCells(int firstCol, int lastCol, int firstRow) {
    for (int r = std::max(firstRow, 0); r < rowCount(); ++r)
        for (int c = std::max(firstCol, 0); c <= lastCol && c < m_colCount; ++c)
            m_rows[r][c].clear();
    changed();
}

void StringGrid::setRowCommaText(int row, const QString& commaText) {
    const QStringList items = splitCommaText(commaText);
    for (int c = 0; c < m_colCount; ++c)
        setCell(c, row, c < items.size() ? items[c] : QString());
}

QStringList splitCommaText(const QString& text) {
    QStringList items;
    int i = 0;
    const int n = int(text.size());
    if (n == 0) return items;
    while (true) {
        QString item;
        if (i < n && text[i] == u'"') {
            ++i;
            while (i < n) {
                if (text[i] == u'"') {
                    if (i + 1 < n && text[i + 1] == u'"') {
                        item += u'"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                item += text[i++];
            }
            while (i < n && text[i] != u',')
                ++i;
        } else {
            while (i < n && text[i] != u',')
                item += text[i++];
        }
        items << item;
        if (i >= n) break;
        ++i; // the comma
        if (i >= n) {
            items << QString();
            break;
        }
    }
    return items;
}

} // namespace vantorel
