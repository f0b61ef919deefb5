#pragma once

#include <QAbstractTableModel>

#include "table/DataTable.h"
#include "table/RowOrder.h"

namespace vexalo {

// Presents a DataTable to a Qt view without copying it: every cell is read
// from the table (and converted from CP932) when the view asks for it, so a
// million rows cost nothing until they are scrolled into sight.
//
// Row 0 of the table, the titles, is the horizontal header; view row r is
// grid row r + 1 (see RowOrder), which is table row r + 1 in the file's order.
// The header is fixed above the rows and cannot be selected, exactly what the
// title row must be. The model shows the table's visible column and row
// counts, never the stored cells beyond them.
//
// The rows may be shown sorted by a column (sort); the table itself never
// changes order. Sorting compares the cells' CP932 bytes directly, never
// converting them to QString, so a million rows sort in under a second.
//
// The model cannot see writes to the table: whoever changes the table calls
// TableChanged afterwards, before control returns to the event loop.
class DataTableModel final : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit DataTableModel(const DataTable& table, QObject* parent = nullptr);

  static int GridRow(int viewRow) { return viewRow + 1; }
  static int ViewRow(int gridRow) { return gridRow - 1; }

  // The order the rows are shown in.
  const RowOrder& Order() const { return order_; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  // Shows the rows sorted by `column` in `order`, or in the file's order for
  // a column of -1 (or any the table does not show). A new order resets the
  // model: views lose their selection and current cell.
  void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

  // Brings the view up to date after any change of the table: its counts,
  // its cells or its titles. Rows and columns added or removed at the end are
  // reported as such, so the view keeps its selection and scroll position.
  //
  // While sorted, each added row is inserted where its text belongs, and the
  // rows already shown are taken to be unchanged (a run only adds rows). A
  // table with fewer rows than shown, a reloaded one, is sorted afresh; one
  // without the sorted column goes back to the file's order.
  void TableChanged();

 private:
  // Puts the rows in the order of `sort` and the model in step with the
  // table, telling views to start over.
  void ResetOrder(int column, bool descending);
  void InsertSortedRows(int rows);

  const DataTable& table_;
  RowOrder order_;
  // What the view was last told; compared with the table by TableChanged.
  int shownRows_ = 0;
  int shownCols_ = 0;
};

}  // namespace vexalo
