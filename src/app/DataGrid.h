#pragma once

#include <QTableView>

#include "app/DataTableModel.h"

namespace vexalo {

// A rectangle of table cells, by column and row index, both ends included.
struct CellRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
  bool operator==(const CellRect&) const = default;
};

// The main window's grid: the data table in a QTableView, the title row as
// its fixed header, columns 100 pixels wide and rows 15 high, one rectangle
// of cells selectable with mouse and keys, Tab from cell to cell, nothing
// editable. Columns can be resized by dragging, rows cannot.
//
// The user cannot select the title row; only SelectAllCells takes it into
// the selection, and any selection the user makes afterwards leaves it out
// again.
class DataGrid final : public QTableView {
  Q_OBJECT

 public:
  // `model` must outlive the grid.
  explicit DataGrid(DataTableModel* model, QWidget* parent = nullptr);

  // Selects every visible cell of the table, the title row included.
  void SelectAllCells();

  // The selection in table coordinates, left <= right and top <= bottom;
  // without a dragged range, the current cell alone.
  CellRect SelectedRect() const;

  bool TitleRowSelected() const { return titleRowSelected_; }

 protected:
  void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;

 private:
  bool titleRowSelected_ = false;
};

}  // namespace vexalo
