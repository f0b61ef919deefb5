#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QSignalSpy>

#include "app/DataTableModel.h"

namespace vexalo {
namespace {

QString Shown(const DataTableModel& model, int viewRow, int col) {
  return model.data(model.index(viewRow, col)).toString();
}

QString Title(const DataTableModel& model, int col) {
  return model.headerData(col, Qt::Horizontal).toString();
}

TEST(DataTableModelTest, TitleRowIsTheHeaderAndTheRestAreRowsBelowIt) {
  DataTable table;
  table.SetCell(2, 0, "\x95\x69\x96\xbc");  // 品名
  table.SetCell(0, 1, "2001/09/10 11:43:30");
  table.SetCell(2, 1, "\x94\x96\x8c\xfb");  // 薄口
  DataTableModel model(table);
  QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);

  EXPECT_EQ(model.columnCount(), 3);
  EXPECT_EQ(model.rowCount(), 1);  // table rows 0 and 1: one below the titles
  EXPECT_EQ(Title(model, 2), QStringLiteral("品名"));
  EXPECT_EQ(Shown(model, 0, 0), "2001/09/10 11:43:30");
  EXPECT_EQ(Shown(model, 0, 2), QStringLiteral("薄口"));
  EXPECT_EQ(Shown(model, 0, 1), "");
  EXPECT_FALSE(model.headerData(0, Qt::Vertical).isValid());

  const Qt::ItemFlags flags = model.flags(model.index(0, 0));
  EXPECT_TRUE(flags & Qt::ItemIsSelectable);
  EXPECT_FALSE(flags & Qt::ItemIsEditable);
}

TEST(DataTableModelTest, ShowsTheVisibleCountsAndFollowsTheirChanges) {
  DataTable table;
  DataTableModel model(table);
  QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
  QSignalSpy rowsInserted(&model, &QAbstractItemModel::rowsInserted);
  QSignalSpy cellsChanged(&model, &QAbstractItemModel::dataChanged);

  // A run commits a message: cells written in the working row, then the
  // counts raised to take it in.
  table.SetCell(0, 2, "stamp");
  table.SetCell(4, 2, "beyond");
  EXPECT_EQ(model.rowCount(), 1) << "the model waits to be told";
  table.SetColCount(5);
  table.SetRowCount(3);
  model.TableChanged();
  EXPECT_EQ(model.rowCount(), 2);
  EXPECT_EQ(model.columnCount(), 5);
  ASSERT_EQ(rowsInserted.size(), 1);
  EXPECT_EQ(rowsInserted[0][1].toInt(), 1);  // appended, not a reset
  EXPECT_EQ(Shown(model, 1, 4), "beyond");
  EXPECT_FALSE(cellsChanged.isEmpty());

  // Lowering the counts hides cells; raising them shows them again.
  table.SetColCount(2);
  table.SetRowCount(1);
  model.TableChanged();
  EXPECT_EQ(model.rowCount(), 0);
  EXPECT_EQ(model.columnCount(), 2);
  table.SetColCount(5);
  table.SetRowCount(3);
  model.TableChanged();
  EXPECT_EQ(Shown(model, 1, 4), "beyond");

  // A changed cell or title alone reaches the view as well.
  QSignalSpy titlesChanged(&model, &QAbstractItemModel::headerDataChanged);
  table.SetCell(3, 0, "title");
  model.TableChanged();
  EXPECT_EQ(titlesChanged.size(), 1);
  EXPECT_EQ(Title(model, 3), "title");
}

TEST(DataTableModelTest, BytesThatAreNoCp932StillShowAsSomething) {
  DataTable table;
  table.SetCell(0, 1, "a\x82");  // lead byte cut off at the end
  DataTableModel model(table);
  EXPECT_EQ(Shown(model, 0, 0), QString("a") + QChar(0xFFFD));
}

TEST(DataTableModelTest, SortedRowsTakeNewRowsInPlaceAndASmallerTableIsSortedAfresh) {
  DataTable table;
  const auto setRows = [&table](std::initializer_list<const char*> texts) {
    int row = 1;
    for (const char* text : texts) table.SetRow(row++, {"s", text});
    table.SetRowCount(row);
  };
  setRows({"b", "c", "a"});
  DataTableModel model(table);
  QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
  const auto shown = [&model] {
    QStringList texts;
    for (int row = 0; row < model.rowCount(); ++row) texts << Shown(model, row, 1);
    return texts;
  };

  model.sort(1, Qt::DescendingOrder);
  EXPECT_EQ(shown(), (QStringList{"c", "b", "a"}));
  // Two rows added before the model hears of them, each into its place.
  QSignalSpy rowsInserted(&model, &QAbstractItemModel::rowsInserted);
  setRows({"b", "c", "a", "d", "bb"});
  model.TableChanged();
  EXPECT_EQ(shown(), (QStringList{"d", "c", "bb", "b", "a"}));
  ASSERT_EQ(rowsInserted.size(), 2);
  EXPECT_EQ(rowsInserted[0][1].toInt(), 0);
  EXPECT_EQ(rowsInserted[1][1].toInt(), 2);

  // A reloaded, shorter table.
  table.SetRowCount(1);
  setRows({"x", "z", "y"});
  model.TableChanged();
  EXPECT_EQ(shown(), (QStringList{"z", "y", "x"}));

  model.sort(-1);
  EXPECT_EQ(shown(), (QStringList{"x", "z", "y"}));
}

}  // namespace
}  // namespace vexalo
