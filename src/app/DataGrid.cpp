#include "app/DataGrid.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPainter>
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
    QHeaderView::paintSection(painter, rect, logicalIndex);
    if (!grid_.TitleRowSelected()) return;
    const QPalette& colours = grid_.palette();
    painter->save();
    painter->fillRect(rect.adjusted(0, 0, -1, -1), colours.brush(QPalette::Highlight));
    painter->setPen(colours.color(QPalette::HighlightedText));
    painter->drawText(rect.adjusted(2, 0, -2, 0), Qt::AlignVCenter | Qt::AlignLeft,
                      model()->headerData(logicalIndex, Qt::Horizontal).toString());
    painter->restore();
  }

 private:
  const DataGrid& grid_;
};

}  // namespace

DataGrid::DataGrid(DataTableModel* model, QWidget* parent) : QTableView(parent) {
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
  setCornerButtonEnabled(false);

  QHeaderView* titles = horizontalHeader();
  titles->setSectionsClickable(false);  // a click on a title must not select a column
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
}

void DataGrid::SelectAllCells() {
  const int rows = model()->rowCount();
  const int cols = model()->columnCount();
  if (rows > 0 && cols > 0) {
    selectionModel()->select(
        QItemSelection(model()->index(0, 0), model()->index(rows - 1, cols - 1)),
        QItemSelectionModel::ClearAndSelect);
  } else {
    selectionModel()->clearSelection();
  }
  // After the selection change, which would clear it again.
  titleRowSelected_ = cols > 0;
  horizontalHeader()->viewport()->update();
}

CellRect DataGrid::SelectedRect() const {
  const QItemSelection selection = selectionModel()->selection();
  const int cols = model()->columnCount();
  if (titleRowSelected_) {
    // The whole table at the moment of selecting; rows added since then are
    // outside it, as they would be outside a rectangle the user dragged.
    int bottom = 0;
    for (const QItemSelectionRange& range : selection) {
      bottom = std::max(bottom, DataTableModel::TableRow(range.bottom()));
    }
    return {0, 0, std::max(0, cols - 1), bottom};
  }
  if (!selection.isEmpty()) {
    CellRect rect{selection.first().left(), selection.first().top(), selection.first().right(),
                  selection.first().bottom()};
    for (const QItemSelectionRange& range : selection) {
      rect.Left = std::min(rect.Left, range.left());
      rect.Top = std::min(rect.Top, range.top());
      rect.Right = std::max(rect.Right, range.right());
      rect.Bottom = std::max(rect.Bottom, range.bottom());
    }
    rect.Top = DataTableModel::TableRow(rect.Top);
    rect.Bottom = DataTableModel::TableRow(rect.Bottom);
    return rect;
  }
  const QModelIndex current = currentIndex();
  // Before the user has touched the grid its current cell is the first one
  // below the titles.
  const int col = current.isValid() ? current.column() : 0;
  const int row = DataTableModel::TableRow(current.isValid() ? current.row() : 0);
  return {col, row, col, row};
}

void DataGrid::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) {
  QTableView::selectionChanged(selected, deselected);
  if (titleRowSelected_) {
    titleRowSelected_ = false;
    horizontalHeader()->viewport()->update();
  }
}

}  // namespace vexalo
