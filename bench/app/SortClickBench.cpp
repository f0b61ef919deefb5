// A click on a title of the grid showing 1,000,000 rows: from the click to
// the grid's next paint, rows in the new order (the sort, the model's reset
// and the layout of a million rows). Ascending by the run stamp and by a
// quantity column; each pass starts from the file's order. The goal is
// about a second. Run on the offscreen platform unless another is set.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QHeaderView>
#include <QTest>
#include <string>

#include "PaintCounter.h"
#include "app/DataGrid.h"
#include "app/DataTableModel.h"

namespace vexalo {
namespace {

constexpr int kRows = 1000000;

// Stamps of a month with unpadded hours, unique ids, quantities 0 .. 96.
void FillOrders(DataTable& table) {
  table.SetRow(0, {"", "", "\x95\x69\x96\xbc", "\x90\x94\x97\xca"});
  for (int row = 1; row <= kRows; ++row) {
    const std::string stamp = "2024/05/" + std::to_string(1 + row % 28) + " " +
                              std::to_string(row % 24) + ":12:" + std::to_string(10 + row % 50);
    const std::string id = "uid-" + std::to_string(row);
    const std::string quantity = std::to_string(row * 7 % 97);
    table.SetRow(row, {stamp, id, "\x94\x96\x8c\xfb\x82\xb5\x82\xe5\x82\xa4\x82\xe4", quantity});
  }
  table.SetColCount(4);
  table.SetRowCount(kRows + 1);
}

void BM_TitleClickSortsMillionRows(benchmark::State& state) {
  DataTable table;
  FillOrders(table);
  DataTableModel model(table);
  DataGrid grid(&model);
  grid.resize(800, 600);
  grid.show();
  if (!QTest::qWaitForWindowExposed(&grid)) state.SkipWithError("the grid was never shown");
  QHeaderView* titles = grid.horizontalHeader();
  const int col = static_cast<int>(state.range(0));
  const QPoint title(titles->sectionViewportPosition(col) + 20, titles->height() / 2);
  bench::PaintCounter gridPaints;
  grid.viewport()->installEventFilter(&gridPaints);
  for (auto _ : state) {
    gridPaints.paints = 0;
    QTest::mouseClick(titles->viewport(), Qt::LeftButton, {}, title);
    const QDeadlineTimer deadline(60000);
    while (gridPaints.paints == 0 && !deadline.hasExpired()) {
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    }
    if (!model.Order().IsSorted() || gridPaints.paints == 0) {
      state.SkipWithError("the click did not sort the grid");
      break;
    }
    state.PauseTiming();
    titles->setSortIndicator(-1, Qt::AscendingOrder);  // back to the file's order
    QCoreApplication::processEvents();
    state.ResumeTiming();
  }
}
// Column 0 the run stamp, 3 the quantity.
BENCHMARK(BM_TitleClickSortsMillionRows)
    ->Arg(0)
    ->Arg(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

}  // namespace
}  // namespace vexalo
