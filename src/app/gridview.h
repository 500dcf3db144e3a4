// SPDX-License-Identifier: GPL-3.0-or-later
// Shows a StringGrid: row 0 is the fixed header row in its own colour (the view's header, so it stays
// while the rows scroll), the grid's font colour on all.
#pragma once

#include "tables/stringgrid.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QTableView>

namespace vantorel {

class GridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    GridModel(const StringGrid& grid, QColor fixedRowColor, QObject* parent = nullptr);
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    // The columns' headers are the cells of row 0.
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // Re-reads the grid when the commands changed it since the last time; true when they had.
    bool refresh();

private:
    const StringGrid& m_grid;
    QColor m_fixedRowColor;
    quint64 m_shownRevision;
    Qt::GlobalColor m_shownFontColor;
};

// A table view over a grid, with the grid's column widths (-1 hides a column) and row height.
QTableView* makeGridView(QWidget* parent, GridModel* model, bool wholeRowSelection);
void applyColumnWidths(QTableView* view, const StringGrid& grid);
// Whether `text` is whole in a column `width` pixels wide, with the view's font and cell margins.
bool textFitsColumn(const QTableView* view, const QString& text, int width);
// Widens `columns` to their widest text (never narrower than the grid's own widths), up to a limit
// past which a text (a byte dump) is elided; its tool tip holds it whole.
void widenColumnsToTexts(QTableView* view, const StringGrid& grid, std::initializer_list<int> columns);
inline constexpr int kWidestColumn = 3000;
// The pixels a cell's text needs in `view`, margins included.
int cellTextWidth(const QTableView* view, const QString& text);

} // namespace vantorel
