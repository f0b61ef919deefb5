#include <gtest/gtest.h>

#include <QHeaderView>
#include <QLineEdit>
#include <QTest>

#include "app/DataGrid.h"

namespace vexalo {
namespace {

// A grid of 3 columns over a table with titles and three data rows, shown.
class DataGridTest : public testing::Test {
 protected:
  DataGridTest() : model_(table_), grid_(&model_) {
    table_.SetRowCount(4);
    for (int row = 0; row < 4; ++row) {
      for (int col = 0; col < 3; ++col) {
        table_.SetCell(col, row, std::to_string(col) + "," + std::to_string(row));
      }
    }
    model_.TableChanged();
    grid_.resize(400, 200);
    grid_.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&grid_));
  }

  QPoint CellCentre(int col, int viewRow) {
    return grid_.visualRect(model_.index(viewRow, col)).center();
  }

  DataTable table_;
  DataTableModel model_;
  DataGrid grid_;
};

TEST_F(DataGridTest, LooksAndBehavesAsTheTableGrid) {
  // The run stamp's column fits a stamp; the others are 100 wide.
  EXPECT_GE(grid_.columnWidth(0),
            grid_.fontMetrics().horizontalAdvance(QStringLiteral("2024/12/31 23:59:59")));
  EXPECT_EQ(grid_.columnWidth(1), 100);
  EXPECT_EQ(grid_.rowHeight(0), 15);
  EXPECT_FALSE(grid_.verticalHeader()->isVisible());
  EXPECT_EQ(grid_.editTriggers(), QAbstractItemView::NoEditTriggers);
  EXPECT_EQ(grid_.verticalHeader()->sectionResizeMode(0), QHeaderView::Fixed);
  EXPECT_EQ(grid_.horizontalHeader()->sectionResizeMode(0), QHeaderView::Interactive);

  // Tab moves from cell to cell, a double click edits nothing.
  grid_.setCurrentIndex(model_.index(0, 0));
  QTest::keyClick(&grid_, Qt::Key_Tab);
  EXPECT_EQ(grid_.currentIndex(), model_.index(0, 1));
  QTest::mouseDClick(grid_.viewport(), Qt::LeftButton, {}, CellCentre(1, 0));
  EXPECT_EQ(grid_.findChild<QLineEdit*>(), nullptr);
}

TEST_F(DataGridTest, SelectionIsOneRectangleInTableRows) {
  // Before anything is touched: the first cell below the titles.
  EXPECT_EQ(grid_.SelectedRect(), (GridRect{0, 1, 0, 1}));

  // A click, then a shift-click further up and left: normalised rectangle.
  QTest::mouseClick(grid_.viewport(), Qt::LeftButton, {}, CellCentre(2, 2));
  EXPECT_EQ(grid_.SelectedRect(), (GridRect{2, 3, 2, 3}));
  QTest::mouseClick(grid_.viewport(), Qt::LeftButton, Qt::ShiftModifier, CellCentre(1, 0));
  EXPECT_EQ(grid_.SelectedRect(), (GridRect{1, 1, 2, 3}));
  EXPECT_EQ(grid_.SelectedCells(), (CellBlock{1, 2, {1, 2, 3}}));
}

TEST_F(DataGridTest, ClicksOnATitleSortUpThenDownThenBackToTheFileOrder) {
  for (const auto& [row, text] : {std::pair{1, "10"}, {2, ""}, {3, "9"}})
    table_.SetCell(1, row, text);
  model_.TableChanged();
  const auto shownColumn1 = [this] {
    QStringList texts;
    for (int row = 0; row < model_.rowCount(); ++row)
      texts << model_.index(row, 1).data().toString();
    return texts;
  };
  QHeaderView* titles = grid_.horizontalHeader();
  const auto clickTitle = [titles](int col) {
    QTest::mouseClick(titles->viewport(), Qt::LeftButton, {},
                      QPoint(titles->sectionViewportPosition(col) + 30, 5));
  };
  QTest::mouseClick(grid_.viewport(), Qt::LeftButton, {}, CellCentre(2, 2));  // on "2,3"

  clickTitle(1);
  EXPECT_EQ(shownColumn1(), (QStringList{"9", "10", ""}));
  EXPECT_EQ(titles->sortIndicatorSection(), 1);
  EXPECT_EQ(titles->sortIndicatorOrder(), Qt::AscendingOrder);
  // The title selects no column, and the current cell stays on its row.
  EXPECT_FALSE(grid_.selectionModel()->isColumnSelected(1));
  EXPECT_EQ(grid_.SelectedCells(), (CellBlock{2, 2, {3}}));
  EXPECT_EQ(grid_.SelectedRect(), (GridRect{2, 1, 2, 1}));

  clickTitle(1);
  EXPECT_EQ(shownColumn1(), (QStringList{"10", "9", ""}));
  EXPECT_EQ(titles->sortIndicatorOrder(), Qt::DescendingOrder);

  // Dragging a column's edge resizes it and sorts nothing.
  const int edge = titles->sectionViewportPosition(1) + titles->sectionSize(1) - 1;
  QTest::mousePress(titles->viewport(), Qt::LeftButton, {}, QPoint(edge, 5));
  QTest::mouseMove(titles->viewport(), QPoint(edge + 40, 5));
  QTest::mouseRelease(titles->viewport(), Qt::LeftButton, {}, QPoint(edge + 40, 5));
  EXPECT_GT(grid_.columnWidth(1), 100);
  EXPECT_EQ(shownColumn1(), (QStringList{"10", "9", ""}));

  clickTitle(1);
  EXPECT_EQ(shownColumn1(), (QStringList{"10", "", "9"}));
  EXPECT_EQ(titles->sortIndicatorSection(), -1);
  EXPECT_FALSE(model_.Order().IsSorted());
}

TEST_F(DataGridTest, SortingKeepsASelectAllAndNewRowsGoInPlace) {
  grid_.horizontalHeader()->setSortIndicator(0, Qt::DescendingOrder);
  grid_.SelectCells(SelectAllRect(table_));
  EXPECT_EQ(grid_.SelectedCells(), (CellBlock{0, 2, {0, 3, 2, 1}}));
  grid_.horizontalHeader()->setSortIndicator(0, Qt::AscendingOrder);
  EXPECT_TRUE(grid_.TitleRowSelected());
  EXPECT_EQ(grid_.SelectedCells(), (CellBlock{0, 2, {0, 1, 2, 3}}));

  // A row added in the middle of the highlighted rows is among them.
  table_.SetRow(4, {"0,2a"});
  table_.SetRowCount(5);
  model_.TableChanged();
  EXPECT_EQ(model_.index(2, 0).data().toString(), "0,2a");
  EXPECT_TRUE(grid_.TitleRowSelected());
  EXPECT_EQ(grid_.SelectedCells(), (CellBlock{0, 2, {0, 1, 2, 4, 3}}));

  // Without the sorted column the file's order is back.
  grid_.horizontalHeader()->setSortIndicator(2, Qt::AscendingOrder);
  table_.SetColCount(2);
  model_.TableChanged();
  EXPECT_FALSE(model_.Order().IsSorted());
  EXPECT_EQ(grid_.horizontalHeader()->sortIndicatorSection(), -1);
}

TEST_F(DataGridTest, ANewRowSortedOutOfSightIsBroughtIntoView) {
  table_.SetRowCount(40);
  for (int row = 4; row < 40; ++row) table_.SetCell(0, row, "0," + std::to_string(row));
  model_.TableChanged();
  grid_.horizontalHeader()->setSortIndicator(0, Qt::AscendingOrder);
  grid_.scrollToBottom();
  table_.SetRow(40, {"0,0"});  // first of all
  table_.SetRowCount(41);
  model_.TableChanged();
  grid_.ShowTableRow(40);
  const QModelIndex shown = model_.index(0, 0);
  EXPECT_EQ(shown.data().toString(), "0,0");
  EXPECT_TRUE(grid_.viewport()->rect().contains(grid_.visualRect(shown)));
}

TEST_F(DataGridTest, SelectAllTakesInTheTitleRowUntilTheUserSelectsAgain) {
  grid_.SelectCells(SelectAllRect(table_));
  EXPECT_TRUE(grid_.TitleRowSelected());
  EXPECT_EQ(grid_.SelectedRect(), (GridRect{0, 0, 2, 3}));

  EXPECT_TRUE(grid_.selectionModel()->isSelected(model_.index(2, 2)));
  // The titles look selected too, away from their text.
  QHeaderView* titles = grid_.horizontalHeader();
  const QImage titleRow = titles->grab().toImage();
  EXPECT_EQ(titleRow.pixelColor(titles->sectionViewportPosition(1) + 90, titles->height() / 2),
            grid_.palette().color(QPalette::Highlight));
  // Rows a run adds afterwards stay outside, like any selected rectangle.
  table_.SetRowCount(5);
  model_.TableChanged();
  EXPECT_EQ(grid_.SelectedRect(), (GridRect{0, 0, 2, 3}));

  QTest::mouseClick(grid_.viewport(), Qt::LeftButton, {}, CellCentre(1, 1));
  EXPECT_FALSE(grid_.TitleRowSelected());
  EXPECT_FALSE(grid_.selectionModel()->isSelected(model_.index(2, 2)));
  EXPECT_EQ(grid_.SelectedRect(), (GridRect{1, 2, 1, 2}));
}

TEST_F(DataGridTest, ProgramSelectionsMayRunInAnyDirection) {
  grid_.SelectCells(GridRect{2, 3, 1, 2});
  EXPECT_FALSE(grid_.TitleRowSelected());
  EXPECT_EQ(grid_.SelectedRect(), (GridRect{1, 2, 2, 3}));
}

TEST_F(DataGridTest, SelectAllOfATableWithTitlesOnlyIsTheTitleRow) {
  table_.SetRowCount(1);
  model_.TableChanged();
  grid_.SelectCells(SelectAllRect(table_));
  EXPECT_EQ(grid_.SelectedRect(), (GridRect{0, 0, 2, 0}));
}

}  // namespace
}  // namespace vexalo
