#pragma once

#include <QTableView>
#include <cstdint>
#include <vector>

#include "app/DataTableModel.h"
#include "table/GridSelection.h"

namespace vexalo {

// The main window's grid: the data table in a QTableView, the title row as
// its fixed header, columns 100 pixels wide and rows 15 high, one rectangle
// of cells selectable with mouse and keys, Tab from cell to cell, nothing
// editable. Columns can be resized by dragging, rows cannot.
//
// A click on a title sorts the rows by that column, ascending; a second click
// sorts them descending and a third shows them in the file's order again.
// The title shows the direction while sorted. Sorting keeps the current cell
// on its row and a select-all selects all; any other selection is dropped.
//
// The user cannot select the title row; only the program takes it into the
// selection (select-all), and any selection the user makes afterwards leaves
// it out again.
class DataGrid final : public QTableView {
  Q_OBJECT

 public:
  // `model` must outlive the grid.
  explicit DataGrid(DataTableModel* model, QWidget* parent = nullptr);

  // Selects the cells of `rect` (grid rows as shown, any direction), the
  // title row too when the rectangle reaches row 0.
  void SelectCells(GridRect rect);

  // The selection in grid rows as shown, left <= right and top <= bottom;
  // without a dragged range, the current cell alone.
  GridRect SelectedRect() const;
  // The selected cells of the table, rows in the order shown.
  CellBlock SelectedCells() const;

  // Scrolls the grid up or down, not sideways, until table row `tableRow`
  // is in sight.
  void ShowTableRow(int tableRow);

  // Whether the last row is in sight at the bottom (also when every row fits):
  // rows that arrive then are followed, as a log view follows its end.
  bool AtBottom() const;

  bool TitleRowSelected() const { return titleRowSelected_; }

  // The widths of the columns from column 0, as the user left them; widths
  // given to SetColumnWidths for columns the table does not have yet follow.
  std::vector<int32_t> ColumnWidths() const;
  // Gives the columns these widths from column 0, now and as they appear.
  // Columns without one are 100 pixels wide, the run stamp's column as wide
  // as a stamp.
  void SetColumnWidths(std::vector<int32_t> widths);

 signals:
  // The user (or the program) scrolled down to the last row.
  void ReachedBottom();

 protected:
  void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;

 private:
  void ApplyWidths(int first, int last);
  void SortByTitle(int column, Qt::SortOrder order);
  // A reset model has no selection, and may have dropped its order: the
  // title row shows neither any longer.
  void ModelWasReset();

  DataTableModel& model_;
  std::vector<int32_t> wantedWidths_;
  bool titleRowSelected_ = false;
  GridRect withTitleRow_;  // what SelectCells was given while titleRowSelected_
};

}  // namespace vexalo
