#include "app/DataTableModel.h"

#include <algorithm>

#include "app/GuiText.h"

namespace vexalo {

namespace {

constexpr int kStampColumn = 0;

int ViewRowCount(const DataTable& table) { return std::max(0, table.RowCount() - 1); }

}  // namespace

DataTableModel::DataTableModel(const DataTable& table, QObject* parent)
    : QAbstractTableModel(parent),
      table_(table),
      shownRows_(ViewRowCount(table)),
      shownCols_(table.ColCount()) {}

int DataTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : shownRows_;
}

int DataTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : shownCols_;
}

QVariant DataTableModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !checkIndex(index, CheckIndexOption::IndexIsValid)) return {};
  return FromCp932(table_.Cell(index.column(), order_.TableRow(GridRow(index.row()))));
}

QVariant DataTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole || orientation != Qt::Horizontal) return {};
  if (section < 0 || section >= shownCols_) return {};
  const std::string_view title = table_.Cell(section, 0);
  // The run writes no titles for its own two columns; the grid names them
  // all the same, while the file keeps what it holds.
  if (title.empty() && section == kStampColumn) return QStringLiteral("受信日時");
  if (title.empty() && section == DataTable::kIdColumn) return QStringLiteral("メールID");
  return FromCp932(title);
}

Qt::ItemFlags DataTableModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void DataTableModel::sort(int column, Qt::SortOrder order) {
  const bool descending = order == Qt::DescendingOrder;
  if (column < 0 || column >= shownCols_) column = -1;
  if (column == order_.Column() && (column < 0 || descending == order_.Descending())) return;
  ResetOrder(column, descending);
}

void DataTableModel::ResetOrder(int column, bool descending) {
  beginResetModel();
  if (column < 0) {
    order_.Clear();
  } else {
    order_.SortBy(table_, column, descending);
  }
  // The order covers every row the table has now, rows a pending
  // TableChanged has not yet reported among them.
  shownRows_ = ViewRowCount(table_);
  shownCols_ = table_.ColCount();
  endResetModel();
}

void DataTableModel::InsertSortedRows(int rows) {
  // One at a time, each into its place: a binary search and a move of the
  // rows below it, where sorting everything afresh would cost a second.
  while (shownRows_ < rows) {
    const int tableRow = GridRow(shownRows_);
    const int place = ViewRow(order_.PlaceFor(table_, tableRow));
    beginInsertRows({}, place, place);
    order_.InsertAt(GridRow(place), tableRow);
    ++shownRows_;
    endInsertRows();
  }
}

void DataTableModel::TableChanged() {
  const int rows = ViewRowCount(table_);
  const int cols = table_.ColCount();
  if (order_.IsSorted() && order_.Column() >= cols) {
    ResetOrder(-1, false);
  } else if (order_.IsSorted() && rows < shownRows_) {
    ResetOrder(order_.Column(), order_.Descending());
  }
  if (rows < shownRows_) {
    beginRemoveRows({}, rows, shownRows_ - 1);
    shownRows_ = rows;
    endRemoveRows();
  }
  if (cols < shownCols_) {
    beginRemoveColumns({}, cols, shownCols_ - 1);
    shownCols_ = cols;
    endRemoveColumns();
  }
  if (rows > shownRows_ && order_.IsSorted()) InsertSortedRows(rows);
  if (rows > shownRows_) {
    beginInsertRows({}, shownRows_, rows - 1);
    shownRows_ = rows;
    endInsertRows();
  }
  if (cols > shownCols_) {
    beginInsertColumns({}, shownCols_, cols - 1);
    shownCols_ = cols;
    endInsertColumns();
  }
  // Any cell may have been rewritten; the view repaints only what it shows.
  if (shownRows_ > 0 && shownCols_ > 0) {
    emit dataChanged(index(0, 0), index(shownRows_ - 1, shownCols_ - 1), {Qt::DisplayRole});
  }
  if (shownCols_ > 0) emit headerDataChanged(Qt::Horizontal, 0, shownCols_ - 1);
}

}  // namespace vexalo
