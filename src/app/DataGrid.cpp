#include "app/DataGrid.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPainter>
#include <QScrollBar>
#include <QStyleOptionHeader>
#include <algorithm>

#include "app/Fonts.h"

namespace vexalo {

namespace {

constexpr int kColumnWidth = 100;
constexpr int kRowHeight = 15;
constexpr int kCellFontPixels = 13;

// The title row. It shows itself selected while the grid's selection takes it
// in, which a plain header has no notion of.
class TitleHeader final : public QHeaderView {
 public:
  explicit TitleHeader(const DataGrid& grid) : QHeaderView(Qt::Horizontal), grid_(grid) {}

 protected:
  void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override {
    // The style leaves an empty clip behind, which would hide the highlight.
    painter->save();
    QHeaderView::paintSection(painter, rect, logicalIndex);
    painter->restore();
    if (!grid_.TitleRowSelected()) return;
    const QPalette& colours = grid_.palette();
    painter->save();
    painter->fillRect(rect.adjusted(0, 0, -1, -1), colours.brush(QPalette::Highlight));
    painter->setPen(colours.color(QPalette::HighlightedText));
    painter->drawText(rect.adjusted(2, 0, -2, 0), Qt::AlignVCenter | Qt::AlignLeft,
                      model()->headerData(logicalIndex, Qt::Horizontal).toString());
    painter->restore();
    if (sortIndicatorSection() == logicalIndex) DrawSortArrow(painter, rect, logicalIndex);
  }

 private:
  // The sort direction on the highlight, which covered the style's arrow.
  void DrawSortArrow(QPainter* painter, const QRect& rect, int logicalIndex) const {
    QStyleOptionHeader arrow;
    initStyleOption(&arrow);
    initStyleOptionForIndex(&arrow, logicalIndex);
    arrow.rect = rect;
    arrow.rect = style()->subElementRect(QStyle::SE_HeaderArrow, &arrow, this);
    const QColor text = grid_.palette().color(QPalette::HighlightedText);
    arrow.palette.setColor(QPalette::ButtonText, text);
    arrow.palette.setColor(QPalette::WindowText, text);
    style()->drawPrimitive(QStyle::PE_IndicatorHeaderArrow, &arrow, painter, this);
  }

  const DataGrid& grid_;
};

}  // namespace

DataGrid::DataGrid(DataTableModel* model, QWidget* parent) : QTableView(parent), model_(*model) {
  setHorizontalHeader(new TitleHeader(*this));
  setModel(model);

  setFont(GothicFont(kCellFontPixels, false));
  QPalette colours = palette();
  colours.setColor(QPalette::Text, Qt::darkBlue);
  colours.setColor(QPalette::ButtonText, Qt::darkBlue);
  setPalette(colours);

  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionMode(QAbstractItemView::ContiguousSelection);
  setSelectionBehavior(QAbstractItemView::SelectItems);
  setTabKeyNavigation(true);
  setShowGrid(true);
  setWordWrap(false);
  setTextElideMode(Qt::ElideNone);  // a long text is cut at the cell's edge
  setCornerButtonEnabled(false);

  QHeaderView* titles = horizontalHeader();
  // A click on a title sorts; it must not select the column as a table view
  // makes it do, nor a drag along the titles select columns.
  disconnect(titles, SIGNAL(sectionPressed(int)), this, nullptr);
  disconnect(titles, SIGNAL(sectionEntered(int)), this, nullptr);
  titles->setSectionsClickable(true);
  titles->setSortIndicatorShown(true);
  titles->setSortIndicatorClearable(true);  // the third click: the file's order
  titles->setSortIndicator(-1, Qt::AscendingOrder);
  connect(titles, &QHeaderView::sortIndicatorChanged, this, &DataGrid::SortByTitle);
  connect(model, &QAbstractItemModel::modelReset, this, &DataGrid::ModelWasReset);
  connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
    if (AtBottom()) emit ReachedBottom();
  });
  titles->setHighlightSections(false);
  titles->setSectionResizeMode(QHeaderView::Interactive);
  titles->setDefaultSectionSize(kColumnWidth);
  titles->setMinimumSectionSize(1);
  titles->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  titles->setFixedHeight(kRowHeight + 2);

  QHeaderView* rows = verticalHeader();
  rows->hide();  // the grid has no fixed column
  rows->setMinimumSectionSize(1);
  rows->setSectionResizeMode(QHeaderView::Fixed);
  rows->setDefaultSectionSize(kRowHeight);

  connect(model, &QAbstractItemModel::columnsInserted, this,
          [this](const QModelIndex&, int first, int last) { ApplyWidths(first, last); });
  ApplyWidths(0, model->columnCount() - 1);
}

std::vector<int32_t> DataGrid::ColumnWidths() const {
  const QHeaderView* titles = horizontalHeader();
  std::vector<int32_t> widths;
  for (int col = 0; col < titles->count(); ++col) widths.push_back(titles->sectionSize(col));
  for (size_t col = widths.size(); col < wantedWidths_.size(); ++col) {
    widths.push_back(wantedWidths_[col]);
  }
  return widths;
}

void DataGrid::SetColumnWidths(std::vector<int32_t> widths) {
  wantedWidths_ = std::move(widths);
  ApplyWidths(0, horizontalHeader()->count() - 1);
}

void DataGrid::ApplyWidths(int first, int last) {
  QHeaderView* titles = horizontalHeader();
  for (int col = first; col <= last; ++col) {
    if (static_cast<size_t>(col) < wantedWidths_.size()) {
      titles->resizeSection(col, wantedWidths_[static_cast<size_t>(col)]);
    } else if (col == 0) {
      // The run stamp column fits a stamp with a two-digit hour.
      titles->resizeSection(
          col, fontMetrics().horizontalAdvance(QStringLiteral("2026/12/31 23:59:59")) + 8);
    }
  }
}

void DataGrid::SortByTitle(int column, Qt::SortOrder order) {
  const QModelIndex current = currentIndex();
  const int currentRow =
      current.isValid() ? model_.Order().TableRow(DataTableModel::GridRow(current.row())) : -1;
  const bool allSelected = titleRowSelected_;
  model_.sort(column, order);
  if (allSelected) {
    SelectCells({0, 0, model_.columnCount() - 1, model_.rowCount()});
  } else if (currentRow >= 0) {
    const QModelIndex moved =
        model_.index(DataTableModel::ViewRow(model_.Order().GridRow(currentRow)), current.column());
    setCurrentIndex(moved);
    scrollTo(moved);
  }
}

void DataGrid::ModelWasReset() {
  titleRowSelected_ = false;
  QHeaderView* titles = horizontalHeader();
  titles->viewport()->update();
  const RowOrder& order = model_.Order();
  const Qt::SortOrder direction = order.Descending() ? Qt::DescendingOrder : Qt::AscendingOrder;
  if (titles->sortIndicatorSection() == order.Column() &&
      (!order.IsSorted() || titles->sortIndicatorOrder() == direction)) {
    return;
  }
  titles->setSortIndicator(order.Column(), direction);
}

void DataGrid::ShowTableRow(int tableRow) {
  const int gridRow = model_.Order().GridRow(tableRow);
  // The leftmost column in sight, so that the grid does not scroll sideways.
  const QModelIndex cell = model_.index(DataTableModel::ViewRow(gridRow), std::max(0, columnAt(0)));
  if (!cell.isValid()) return;
  // Rows just inserted are not yet within the scroll bar's range, which the
  // view would widen only later.
  executeDelayedItemsLayout();
  updateGeometries();
  scrollTo(cell);
}

bool DataGrid::AtBottom() const {
  const QScrollBar* bar = verticalScrollBar();
  return bar->value() >= bar->maximum();
}

void DataGrid::SelectCells(GridRect rect) {
  rect = NormalizedRect(rect);
  const int lastRow = model()->rowCount() - 1;
  const int lastCol = model()->columnCount() - 1;
  const int top = std::max(0, DataTableModel::ViewRow(rect.Top));
  const int bottom = std::min(lastRow, DataTableModel::ViewRow(rect.Bottom));
  const int left = std::max(0, rect.Left);
  const int right = std::min(lastCol, rect.Right);
  if (top <= bottom && left <= right) {
    selectionModel()->select(
        QItemSelection(model()->index(top, left), model()->index(bottom, right)),
        QItemSelectionModel::ClearAndSelect);
  } else {
    selectionModel()->clearSelection();
  }
  // After the selection change, which clears it.
  titleRowSelected_ = rect.Top == 0;
  withTitleRow_ = rect;
  horizontalHeader()->viewport()->update();
}

GridRect DataGrid::SelectedRect() const {
  const QItemSelection selection = selectionModel()->selection();
  if (!selection.isEmpty()) {
    // Rows a run adds after a select-all stay outside it, as they would stay
    // outside any rectangle the user dragged: below it in the file's order;
    // while sorted, a row added inside the highlighted rows is inside.
    GridRect rect{selection.first().left(), selection.first().top(), selection.first().right(),
                  selection.first().bottom()};
    for (const QItemSelectionRange& range : selection) {
      rect.Left = std::min(rect.Left, range.left());
      rect.Top = std::min(rect.Top, range.top());
      rect.Right = std::max(rect.Right, range.right());
      rect.Bottom = std::max(rect.Bottom, range.bottom());
    }
    rect.Top = titleRowSelected_ ? 0 : DataTableModel::GridRow(rect.Top);
    rect.Bottom = DataTableModel::GridRow(rect.Bottom);
    return rect;
  }
  if (titleRowSelected_) return withTitleRow_;  // a table of titles alone
  const QModelIndex current = currentIndex();
  // Before the user has touched the grid its current cell is the first one
  // below the titles.
  const int col = current.isValid() ? current.column() : 0;
  const int row = DataTableModel::GridRow(current.isValid() ? current.row() : 0);
  return {col, row, col, row};
}

CellBlock DataGrid::SelectedCells() const { return ShownCells(SelectedRect(), model_.Order()); }

void DataGrid::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) {
  QTableView::selectionChanged(selected, deselected);
  if (titleRowSelected_) {
    titleRowSelected_ = false;
    horizontalHeader()->viewport()->update();
  }
}

}  // namespace vexalo
