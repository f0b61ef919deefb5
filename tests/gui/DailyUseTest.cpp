// The main window as an office uses it every day: fetching against a scripted
// server on 127.0.0.1, the status bar, the error box, stopping a fetch, the
// grid's columns, copying, finding, and the window's place kept.
#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QHeaderView>
#include <QScrollBar>
#include <QStatusBar>
#include <QTest>

#include "MainFormFixture.h"
#include "ModalBoxCatcher.h"
#include "ScriptedPop3Peer.h"
#include "app/QtEventLoop.h"

namespace vexalo {

namespace {

using namespace script;

constexpr char kFirstRow[] = ",,name,count\r\n";
constexpr char kAllData[] =
    "2024/05/01 9:00:00,uid-1,soy,11\r\n"
    "2024/05/02 10:30:00,uid-2,miso,3\r\n";

constexpr char kOrder[] =
    "Subject: order\r\n"
    "X-VEXALO: default\r\n"
    "\r\n"
    "name:vinegar\r\n"
    "count:2\r\n";

// Titles and `count` rows of old orders.
void WriteOldOrders(const ProgramFolder& folder, int count) {
  folder.Write("FirstRow.csv", kFirstRow);
  std::string rows;
  for (int i = 0; i < count; ++i) {
    rows += "2024/05/01 9:00:00,old-" + std::to_string(i) + ",soy,1\r\n";
  }
  folder.Write("AllData.csv", rows);
}

std::string Settings(const std::string& port, bool deleting) {
  return "[POP3]\r\nHOST=127.0.0.1\r\nPORT=" + port +
         "\r\nUSERNAME=bob\r\nPASSWORD=\r\n[MAIL]\r\nDELETE=" + (deleting ? "1" : "0") +
         "\r\nHEADER_TOKEN=X-VEXALO: default\r\nSPLIT_TOKEN=:\r\nINTERVAL=0\r\n";
}

// Up to the RETR of one picked message, message 1 of 1, as id `id`; small
// enough to be read whole at once.
std::vector<ScriptedPop3Peer::Step> UpToTheOrder(const std::string& id = "new-1") {
  return {Send("+OK ready\r\n"),
          Expect("USER bob"),
          Send("+OK\r\n"),
          Expect("PASS "),
          Send("+OK\r\n"),
          Expect("CAPA"),
          Send("-ERR unknown\r\n"),
          Expect("STAT"),
          Send("+OK 1 300\r\n"),
          Expect("UIDL"),
          Send("+OK\r\n1 " + id + "\r\n.\r\n"),
          Expect("LIST"),
          Send("+OK\r\n1 300\r\n.\r\n"),
          Expect("RETR 1"),
          Send(std::string("+OK\r\n") + kOrder + ".\r\n")};
}

// The whole fetch of that message, without deleting it.
std::vector<ScriptedPop3Peer::Step> FetchOfTheOrder(const std::string& id = "new-1") {
  auto steps = UpToTheOrder(id);
  steps.insert(steps.end(), {Expect("QUIT"), Send("+OK bye\r\n"), Close()});
  return steps;
}

}  // namespace

class DailyUseTest : public QObject {
  Q_OBJECT

 private slots:
  void SummaryIsWholeAtTheDefaultSizeAndCutWholeWhenNarrow();
  void NewRowsFollowOnlyAViewAtItsBottom();
  void RefusedConnectionNamesItsCauseAndTicksWaitForTheBox();
  void StopCommandAbortsTheFetchWithNothingCommitted();
  void AutomaticFetchWithNewRowsGivesANotice();
  void ColumnsOfTheRunAreNamedAndTheStampFits();
  void CopyPutsTheSelectedRangeAsTabbedText();
  void FindMovesToTheNextMatchingCell();
  void PlaceAndColumnWidthsComeBackAndConfirmingSaves();
  void SortedGridIsWhatSelectionsCopyFindAndFetchGoBy();
};

void DailyUseTest::SummaryIsWholeAtTheDefaultSizeAndCutWholeWhenNarrow() {
  QtEventLoop loop;
  ProgramFolder folder;
  ScriptedPop3Peer peer(loop, FetchOfTheOrder());
  folder.Write("Vexalo.ini", Settings(peer.PortText(), false));
  WriteOldOrders(folder, 200);
  auto form = folder.StartMainForm();
  QVERIFY(form);
  form->MenuProcessClick();
  QTRY_VERIFY(peer.Finished());
  QTRY_VERIFY(!form->Run().IsBusy());
  QVERIFY2(peer.Problems().empty(), peer.Problems().c_str());

  QCOMPARE(form->StatusText(),
           QStringLiteral("受信完了しました。総メール数：1　受信対象新規メール数：1"
                          "　合計累積データ数：201"));
  // Whole at the default size even with four-digit counts and the next-fetch
  // field beside it.
  const ElidingLabel& label = form->Status().TextLabel();
  const QString longest = QStringLiteral(
      "受信完了しました。総メール数：9999　受信対象新規メール数：9999　合計累積データ数：99999");
  QVERIFY2(label.width() >= label.fontMetrics().horizontalAdvance(longest),
           qPrintable(QString::number(label.width())));
  QCOMPARE(label.toolTip(), form->StatusText());

  // Narrowed until the summary no longer fits, it is cut as a whole with
  // "…" rather than in the middle of a count; the tooltip keeps it whole.
  form->resize(320, form->height());
  QTRY_VERIFY(label.text().endsWith(QChar(0x2026)));
  QVERIFY(label.text().size() < form->StatusText().size());
  QCOMPARE(label.toolTip(), form->StatusText());
}

// While the user reads older rows, fetched rows leave the view where it is
// and the status bar counts them; once the user has scrolled to the bottom
// the count goes, and the next rows scroll into view as they arrive.
void DailyUseTest::NewRowsFollowOnlyAViewAtItsBottom() {
  QtEventLoop loop;
  ProgramFolder folder;
  ScriptedPop3Peer first(loop, FetchOfTheOrder("new-1"));
  ScriptedPop3Peer second(loop, FetchOfTheOrder("new-2"));
  ScriptedPop3Peer third(loop, FetchOfTheOrder("new-3"));
  folder.Write("Vexalo.ini", Settings(first.PortText(), false));
  WriteOldOrders(folder, 200);
  auto form = folder.StartMainForm();
  QVERIFY(form);
  const auto fetch = [&](ScriptedPop3Peer& peer) {
    form->ConfigForm().SetPortText(peer.PortText());
    form->MenuProcessClick();
    return QTest::qWaitFor([&] { return peer.Finished() && !form->Run().IsBusy(); }) &&
           peer.Problems().empty();
  };
  DataGrid& grid = form->Grid();
  QScrollBar* bar = grid.verticalScrollBar();
  const int reading = bar->value();
  QVERIFY(reading < bar->maximum());

  QVERIFY(fetch(first));
  QVERIFY(fetch(second));
  QCOMPARE(bar->value(), reading);
  QCOMPARE(form->Status().NewRowsText(), QStringLiteral("↓新着 2 件"));

  bar->setValue(bar->maximum());
  QCOMPARE(form->Status().NewRowsText(), QString());
  QVERIFY(fetch(third));
  const QModelIndex last = grid.model()->index(202, 1);
  QCOMPARE(last.data().toString(), QStringLiteral("new-3"));
  QTRY_VERIFY(grid.viewport()->rect().contains(grid.visualRect(last)));
  QVERIFY(grid.AtBottom());
  QCOMPARE(form->Status().NewRowsText(), QString());
}

void DailyUseTest::RefusedConnectionNamesItsCauseAndTicksWaitForTheBox() {
  ProgramFolder folder;
  folder.Write("Vexalo.ini", Settings(ClosedLoopbackPort(), false));
  auto form = folder.StartMainForm();
  QVERIFY(form);
  ModalBoxCatcher boxes;
  bool connectedInBox = true;
  boxes.WhileNextBoxOpen([&] {
    connectedInBox = form->Pop3Client().Connected();
    form->TimerTimer();        // a polling tick: nothing
    form->MenuProcessClick();  // F5: the busy message
  });
  form->MenuProcessClick();
  QTRY_COMPARE(boxes.Seen().size(), size_t{2});
  QTest::qWait(50);
  QCOMPARE(boxes.Seen().size(), size_t{2});

  const QString box = boxes.Seen()[0].text;
  QVERIFY2(box.contains(QStringLiteral("Connection refused (socket error #10061)")),
           qPrintable(box));
  QVERIFY(!box.contains(QStringLiteral("Winsock"), Qt::CaseInsensitive));
  QVERIFY(box.endsWith(
      QStringLiteral("接続を断られました。ポート番号が違うか、サーバーが止まっています。")));
  QVERIFY(boxes.Seen()[1].text.startsWith(QStringLiteral("接続中です。")));
  QVERIFY(!connectedInBox);
  QVERIFY(form->StatusText().startsWith(QStringLiteral("前回の受信は失敗しました（")));
  QVERIFY(!form->Run().IsBusy());
}

void DailyUseTest::StopCommandAbortsTheFetchWithNothingCommitted() {
  QtEventLoop loop;
  ProgramFolder folder;
  ScriptedPop3Peer peer(loop, [] {
    auto steps = UpToTheOrder();
    steps.push_back(Expect("DELE 1"));  // and then no answer: the user stops it
    return steps;
  }());
  folder.Write("Vexalo.ini", Settings(peer.PortText(), true));
  auto form = folder.StartMainForm();
  QVERIFY(form);
  QVERIFY(QTest::qWaitForWindowActive(form.get()));
  QTest::keyClick(form.get(), Qt::Key_F5);
  QTRY_VERIFY(peer.Finished());
  QTest::keyClick(form.get(), Qt::Key_Escape);
  QTRY_VERIFY(peer.ClientClosed());

  QVERIFY2(peer.Problems().empty(), peer.Problems().c_str());  // no QUIT: the DELE is not committed
  QVERIFY(!form->Run().IsBusy());
  QCOMPARE(form->StatusText(), QStringLiteral("受信を中止しました。"));
  QTRY_COMPARE(form->Grid().model()->rowCount(), 1);
  QVERIFY(folder.Read("AllData.csv").find(",new-1,vinegar,2\r\n") != std::string::npos);

  // Esc with no fetch under way does nothing.
  ModalBoxCatcher boxes;
  QTest::keyClick(form.get(), Qt::Key_Escape);
  QVERIFY(boxes.Seen().empty());
  QCOMPARE(form->StatusText(), QStringLiteral("受信を中止しました。"));
}

void DailyUseTest::AutomaticFetchWithNewRowsGivesANotice() {
  QtEventLoop loop;
  ProgramFolder folder;
  ScriptedPop3Peer peer(loop, FetchOfTheOrder());
  std::string settings = Settings(peer.PortText(), false);
  settings.replace(settings.find("INTERVAL=0"), 10, "INTERVAL=5");
  folder.Write("Vexalo.ini", settings);
  auto form = folder.StartMainForm();
  QVERIFY(form);
  QVERIFY(form->Status().NextFetchText().startsWith(QStringLiteral("次の自動受信 ")));
  QCOMPARE(form->Tray().IconShown(), QSystemTrayIcon::isSystemTrayAvailable());

  form->TimerTimer();
  QTRY_VERIFY(peer.Finished());
  QTRY_VERIFY(!form->Run().IsBusy());
  QCOMPARE(form->Tray().LastNotice(), QStringLiteral("新しい注文メールを1件受信しました。"));
}

void DailyUseTest::ColumnsOfTheRunAreNamedAndTheStampFits() {
  ProgramFolder folder;
  folder.Write("FirstRow.csv", kFirstRow);
  folder.Write("AllData.csv", kAllData);
  auto form = folder.StartMainForm();
  QVERIFY(form);
  QAbstractItemModel* model = form->Grid().model();
  QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("受信日時"));
  QCOMPARE(model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("メールID"));
  QCOMPARE(model->headerData(2, Qt::Horizontal).toString(), QStringLiteral("name"));
  QCOMPARE(folder.Read("FirstRow.csv"), kFirstRow);

  const QHeaderView* titles = form->Grid().horizontalHeader();
  QVERIFY(titles->sectionSize(0) >=
          form->Grid().fontMetrics().horizontalAdvance(QStringLiteral("2024/12/31 23:59:59")));
  QCOMPARE(titles->sectionSize(2), 100);
}

void DailyUseTest::CopyPutsTheSelectedRangeAsTabbedText() {
  ProgramFolder folder;
  folder.Write("AllData.csv", kAllData);
  auto form = folder.StartMainForm();
  QVERIFY(form);
  QApplication::clipboard()->clear();
  form->Grid().SelectCells({1, 1, 3, 2});
  form->Grid().setFocus();
  QTest::keyClick(&form->Grid(), Qt::Key_C, Qt::ControlModifier);
  QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("uid-1\tsoy\t11\nuid-2\tmiso\t3\n"));
}

void DailyUseTest::FindMovesToTheNextMatchingCell() {
  ProgramFolder folder;
  folder.Write("AllData.csv", kAllData);
  auto form = folder.StartMainForm();
  QVERIFY(form);
  QVERIFY(QTest::qWaitForWindowActive(form.get()));
  form->Grid().setFocus();
  QTest::keyClick(&form->Grid(), Qt::Key_F, Qt::ControlModifier);
  FindBar& find = form->Find();
  QVERIFY(find.isVisible());
  QTest::keyClicks(find.Edit(), QStringLiteral("uid-"));
  QTest::keyClick(find.Edit(), Qt::Key_Return);
  QCOMPARE(form->Grid().SelectedRect(), (GridRect{1, 1, 1, 1}));
  QTest::keyClick(find.Edit(), Qt::Key_Return);
  QCOMPARE(form->Grid().SelectedRect(), (GridRect{1, 2, 1, 2}));
  QTest::keyClick(find.Edit(), Qt::Key_Return);  // round to the top
  QCOMPARE(form->Grid().SelectedRect(), (GridRect{1, 1, 1, 1}));
  // Typed full-width and in capitals, as an input method may leave it.
  find.Edit()->setText(QStringLiteral("ＭＩＳＯ"));
  QTest::keyClick(find.Edit(), Qt::Key_Return);
  QCOMPARE(form->Grid().SelectedRect(), (GridRect{2, 2, 2, 2}));
  QTest::keyClick(find.Edit(), Qt::Key_Escape);
  QVERIFY(!find.isVisible());
}

void DailyUseTest::PlaceAndColumnWidthsComeBackAndConfirmingSaves() {
  ProgramFolder folder;
  folder.Write("AllData.csv", kAllData);
  QRect place;
  {
    auto form = folder.StartMainForm();
    QVERIFY(form);
    form->resize(700, 300);
    form->Grid().horizontalHeader()->resizeSection(2, 150);
    QTest::qWait(20);
    place = form->geometry();

    // Confirming the settings writes them at once.
    form->MenuConfigClick();
    form->ConfigForm().SetHostText("pop.example");
    QTest::mouseClick(form->ConfigForm().OkBtn, Qt::LeftButton);
    QVERIFY(folder.Read("Vexalo.ini").find("HOST=pop.example") != std::string::npos);
    QVERIFY(form->close());
  }
  QVERIFY(folder.Read("Vexalo.ini").find("[WINDOW]") != std::string::npos);
  auto again = folder.StartMainForm();
  QVERIFY(again);
  QCOMPARE(again->size(), place.size());
  QCOMPARE(again->Grid().horizontalHeader()->sectionSize(2), 150);
}

namespace {

QStringList ShownColumn(DataGrid& grid, int col) {
  QStringList texts;
  for (int row = 0; row < grid.model()->rowCount(); ++row) {
    texts << grid.model()->index(row, col).data().toString();
  }
  return texts;
}

void ClickTitle(DataGrid& grid, int col) {
  QHeaderView* titles = grid.horizontalHeader();
  QTest::mouseClick(titles->viewport(), Qt::LeftButton, {},
                    QPoint(titles->sectionViewportPosition(col) + 30, titles->height() / 2));
}

}  // namespace

void DailyUseTest::SortedGridIsWhatSelectionsCopyFindAndFetchGoBy() {
  QtEventLoop loop;
  ProgramFolder folder;
  ScriptedPop3Peer peer(loop, FetchOfTheOrder());
  folder.Write("Vexalo.ini", Settings(peer.PortText(), false));
  folder.Write("FirstRow.csv", kFirstRow);
  const std::string allData =
      "2024/05/02 10:30:00,uid-a,miso,3\r\n"
      "2024/05/02 9:15:00,uid-b,kelp,\r\n"
      "2024/05/01 9:00:00,uid-c,soy,11\r\n";
  folder.Write("AllData.csv", allData);
  auto form = folder.StartMainForm();
  QVERIFY(form);
  QVERIFY(QTest::qWaitForWindowActive(form.get()));
  DataGrid& grid = form->Grid();

  // The stamp's hour has no leading zero, and still sorts by time.
  ClickTitle(grid, 0);
  QCOMPARE(ShownColumn(grid, 1), (QStringList{"uid-c", "uid-b", "uid-a"}));
  // Numbers by value; the empty cell last.
  ClickTitle(grid, 3);
  QCOMPARE(ShownColumn(grid, 1), (QStringList{"uid-a", "uid-c", "uid-b"}));
  QCOMPARE(folder.Read("AllData.csv"), allData);
  QCOMPARE(folder.Read("FirstRow.csv"), kFirstRow);

  // Copy and export take the rows as shown.
  grid.SelectCells({1, 1, 2, 2});
  grid.setFocus();
  QTest::keyClick(&grid, Qt::Key_C, Qt::ControlModifier);
  QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("uid-a\tmiso\nuid-c\tsoy\n"));
  ModalBoxCatcher dialogs;
  dialogs.OnFileDialog([&](QFileDialog& dialog) {
    TypeFileName(dialog, folder.QtPath("sorted.csv"));
    static_cast<QDialog&>(dialog).accept();  // what the Save button does
  });
  QTest::keyClick(&grid, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(&grid, Qt::Key_S, Qt::ControlModifier);
  QCOMPARE(folder.Read("sorted.csv"),
           ",,name,count\r\n"
           "2024/05/02 10:30:00,uid-a,miso,3\r\n"
           "2024/05/01 9:00:00,uid-c,soy,11\r\n"
           "2024/05/02 9:15:00,uid-b,kelp,\r\n");

  // Find goes down the rows as shown.
  grid.SelectCells({1, 1, 1, 1});
  QTest::keyClick(&grid, Qt::Key_F, Qt::ControlModifier);
  QTest::keyClicks(form->Find().Edit(), QStringLiteral("uid-"));
  QTest::keyClick(form->Find().Edit(), Qt::Key_Return);
  QCOMPARE(grid.SelectedCells(), (CellBlock{1, 1, {3}}));
  QTest::keyClick(form->Find().Edit(), Qt::Key_Escape);

  // A fetched row goes to its place in the order, in sight; the file gets it
  // at the end.
  form->MenuProcessClick();
  QTRY_VERIFY(peer.Finished());
  QTRY_VERIFY(!form->Run().IsBusy());
  QTRY_COMPARE(grid.model()->rowCount(), 4);
  QCOMPARE(ShownColumn(grid, 1), (QStringList{"new-1", "uid-a", "uid-c", "uid-b"}));
  QTRY_VERIFY(grid.viewport()->rect().intersects(grid.visualRect(grid.model()->index(0, 1))));
  QVERIFY(folder.Read("AllData.csv").starts_with(allData));
  QVERIFY(folder.Read("AllData.csv").ends_with(",new-1,vinegar,2\r\n"));

  // Descending, then the file's order again.
  ClickTitle(grid, 3);
  QCOMPARE(ShownColumn(grid, 1), (QStringList{"uid-c", "uid-a", "new-1", "uid-b"}));
  ClickTitle(grid, 3);
  QCOMPARE(ShownColumn(grid, 1), (QStringList{"uid-a", "uid-b", "uid-c", "new-1"}));
  QCOMPARE(grid.horizontalHeader()->sortIndicatorSection(), -1);
  QCOMPARE(folder.Read("FirstRow.csv"), kFirstRow);
}

}  // namespace vexalo

QTEST_MAIN(vexalo::DailyUseTest)
#include "DailyUseTest.moc"
