// SPDX-License-Identifier: GPL-3.0-or-later
// A grid of texts that the commands write and later read back by column; the windows only show it.
#pragma once

#include <QString>
#include <QStringList>
#include <QVector>
#include <QtCore/qnamespace.h>

namespace vantorel {

class StringGrid {
public:
    StringGrid(int colCount, int rowCount);

    int colCount() const { return m_colCount; }
    int rowCount() const { return int(m_rows.size()); }
    // Rows added are empty; rows removed lose their texts.
    void setRowCount(int rows);

    // Out-of-range reads give an empty text; out-of-range writes are ignored.
    QString cell(int col, int row) const;
    void setCell(int col, int row, const QString& text);
    QStringList row(int row) const;
    // Changes whenever a text or the row count may have changed (a copy has the revision of the
    // grid it copies), so that a view re-reads the grid only then.
    quint64 revision() const { return m_revision; }

    // Empties cells firstCol..lastCol of rows firstRow..last row.
    void clearCells(int firstCol, int lastCol, int firstRow);

    // Fills a row from a comma text: items separated by commas, an item in double quotes may hold
    // commas and blanks ("" stands for one quote). Items beyond the last column are dropped.
    void setRowCommaText(int row, const QString& commaText);

    // One of Qt's named colours (Qt Core), turned into a colour by the window that shows it.
    Qt::GlobalColor fontColor = Qt::black;
    QVector<int> colWidths;

private:
    void changed();
    int m_colCount;
    quint64 m_revision = 0;
    QVector<QVector<QString>> m_rows;
};

QStringList splitCommaText(const QString& commaText);

} // namespace vantorel
