// SPDX-License-Identifier: GPL-3.0-or-later
#include "gridview.h"

#include <QHeaderView>

namespace vantorel {
namespace {

constexpr int kGridRowHeight = 18;

} // namespace

GridModel::GridModel(const StringGrid& grid, QColor fixedRowColor, QObject* parent)
    : QAbstractTableModel(parent), m_grid(grid), m_fixedRowColor(fixedRowColor),
      m_shownRevision(grid.revision()), m_shownFontColor(grid.fontColor) {}

int GridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_grid.rowCount();
}

int GridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_grid.colCount();
}

QVariant GridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    switch (role) {
    case Qt::DisplayRole:
        return m_grid.cell(index.column(), index.row());
    case Qt::ToolTipRole: {
        // Tool tips read markup: the cell's text (from the photo's file) is escaped into it.
        const QString text = m_grid.cell(index.column(), index.row());
        if (text.isEmpty()) return {};
        return QStringLiteral("<p style='white-space:pre'>%1</p>").arg(text.toHtmlEscaped());
    }
    case Qt::ForegroundRole:
        return QColor(m_grid.fontColor);
    case Qt::BackgroundRole:
        if (index.row() == 0) return m_fixedRowColor;
        return {};
    default:
        return {};
    }
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= m_grid.colCount()) return {};
    switch (role) {
    case Qt::DisplayRole:
        return m_grid.cell(section, 0);
    case Qt::ForegroundRole:
        return QColor(m_grid.fontColor);
    case Qt::BackgroundRole:
        return m_fixedRowColor;
    default:
        return {};
    }
}

bool GridModel::refresh() {
    if (m_grid.revision() == m_shownRevision && m_grid.fontColor == m_shownFontColor) return false;
    beginResetModel();
    m_shownRevision = m_grid.revision();
    m_shownFontColor = m_grid.fontColor;
    endResetModel();
    return true;
}

QTableView* makeGridView(QWidget* parent, GridModel* model, bool wholeRowSelection) {
    auto* view = new QTableView(parent);
    view->setModel(model);
    view->verticalHeader()->hide();
    view->verticalHeader()->setDefaultSectionSize(kGridRowHeight);
    // Row 0 is shown by the header, which stays in place while the data rows scroll.
    QHeaderView* header = view->horizontalHeader();
    header->setFixedHeight(kGridRowHeight);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setSectionsClickable(false);
    header->setHighlightSections(false);
    header->setSectionResizeMode(QHeaderView::Fixed);
    view->setRowHidden(0, true);
    QObject::connect(model, &QAbstractItemModel::modelReset, view, [view] { view->setRowHidden(0, true); });
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSelectionBehavior(wholeRowSelection ? QAbstractItemView::SelectRows
                                                 : QAbstractItemView::SelectItems);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setWordWrap(false);
    view->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    return view;
}

void applyColumnWidths(QTableView* view, const StringGrid& grid) {
    for (int col = 0; col < grid.colCount(); ++col) {
        const int width = col < grid.colWidths.size() ? grid.colWidths[col] : 64;
        view->setColumnHidden(col, width < 0);
        if (width >= 0) view->setColumnWidth(col, width);
    }
}

} // namespace vantorel

namespace vantorel {

int cellTextWidth(const QTableView* view, const QString& text) {
    // The item delegate's margin on either side of a cell's text.
    const int margin = view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
    return view->fontMetrics().horizontalAdvance(text) + 2 * margin;
}

bool textFitsColumn(const QTableView* view, const QString& text, int width) {
    return cellTextWidth(view, text) <= width;
}

void widenColumnsToTexts(QTableView* view, const StringGrid& grid, std::initializer_list<int> columns) {
    for (int col : columns) {
        if (col >= grid.colWidths.size() || grid.colWidths[col] < 0) continue;
        int width = grid.colWidths[col];
        for (int row = 1; row < grid.rowCount() && width < kWidestColumn; ++row) {
            const QString text = grid.cell(col, row);
            // Even at a pixel a character, longer texts pass the limit: no need to measure them.
            width = text.size() > kWidestColumn
                        ? kWidestColumn
                        : std::max(width, std::min(kWidestColumn, cellTextWidth(view, text)));
        }
        if (view->columnWidth(col) != width) view->setColumnWidth(col, width);
    }
}

} // namespace vantorel
