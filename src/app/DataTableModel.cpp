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
  return FromCp932(table_.Cell(index.column(), TableRow(index.row())));
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

void DataTableModel::TableChanged() {
  const int rows = ViewRowCount(table_);
  const int cols = table_.ColCount();
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
