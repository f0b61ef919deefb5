#pragma once

#include <QAbstractTableModel>

#include "processing/DataTable.h"

namespace vexalo {

// Presents a DataTable to a Qt view without copying it: every cell is read
// from the table (and converted from CP932) when the view asks for it, so a
// million rows cost nothing until they are scrolled into sight.
//
// Row 0 of the table, the titles, is the horizontal header; view row r is
// table row r + 1. The header is fixed above the rows and cannot be selected,
// exactly what the title row must be. The model shows the table's visible
// column and row counts, never the stored cells beyond them.
//
// The model cannot see writes to the table: whoever changes the table calls
// TableChanged afterwards, before control returns to the event loop.
class DataTableModel final : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit DataTableModel(const DataTable& table, QObject* parent = nullptr);

  static int TableRow(int viewRow) { return viewRow + 1; }
  static int ViewRow(int tableRow) { return tableRow - 1; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  // Brings the view up to date after any change of the table: its counts,
  // its cells or its titles. Rows and columns added or removed at the end are
  // reported as such, so the view keeps its selection and scroll position.
  void TableChanged();

 private:
  const DataTable& table_;
  // What the view was last told; compared with the table by TableChanged.
  int shownRows_ = 0;
  int shownCols_ = 0;
};

}  // namespace vexalo
