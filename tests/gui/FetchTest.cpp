#include <QSignalSpy>
#include <QTest>
#include <string>
#include <vector>

#include "DovecotServer.h"
#include "MainFormFixture.h"
#include "ModalBoxCatcher.h"

namespace vexalo {

namespace {

std::string OrderMail(const std::string& subject, const std::string& trigger,
                      const std::string& body) {
  return "From: shop@example.jp\r\nTo: orders@example.jp\r\nSubject: " + subject +
         "\r\nMIME-Version: 1.0\r\n" + trigger +
         "Content-Type: text/plain; charset=Shift_JIS\r\n\r\n" + body;
}

// Two orders and, between them, a mail without the trigger line.
void FillMailbox(DovecotServer& server) {
  server.AddMessage(
      "m1", OrderMail("order 1", "X-VEXALO: default\r\n",
                      "\x95\x69\x96\xbc:\x94\x96\x8c\xfb\x82\xb5\x82\xe5\x82\xa4\x82\xe4\r\n"
                      "\x90\x94\x97\xca:11\r\n"));
  server.AddMessage("m2", OrderMail("hello", "", "\x95\x69\x96\xbc:none\r\n"));
  server.AddMessage("m3", OrderMail("order 3", "x-vexalo: DEFAULT\r\n",
                                    "\x95\x69\x96\xbc:\x96\xa1\x91\x58\r\n"
                                    "%:comment\r\n"
                                    "\x90\x94\x97\xca:3\r\n"
                                    "\x94\xf5\x8d\x6c:a,b\r\n"));
}

void PointAt(TConfigForm& settings, const DovecotServer& server) {
  settings.SetHostText(server.Host());
  settings.SetPortText(std::to_string(server.Port()));
  settings.SetUserNameText(server.User());
  settings.SetPassWordText(server.Password());
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end = text.find("\r\n"); end != std::string::npos; end = text.find("\r\n", start)) {
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

QString Shown(TMainForm& form, int viewRow, int col) {
  QAbstractItemModel* model = form.Grid().model();
  return model->data(model->index(viewRow, col)).toString();
}

constexpr int kRunTimeoutMs = 30000;

}  // namespace

class FetchTest : public QObject {
  Q_OBJECT

 private slots:
  void FetchFillsTheGridAndTheFiles();
  void FetchDuringARunIsRefusedAndClosingDoesNotWait();
};

void FetchTest::FetchFillsTheGridAndTheFiles() {
  DovecotServer server;
  FillMailbox(server);
  ProgramFolder folder;
  auto form = folder.StartMainForm();
  QVERIFY(form);
  PointAt(form->ConfigForm(), server);

  ModalBoxCatcher boxes;
  form->MenuProcessClick();
  QTRY_VERIFY_WITH_TIMEOUT(form->StatusText().startsWith(QStringLiteral("受信完了")),
                           kRunTimeoutMs);
  QCOMPARE(boxes.Texts(), QString());
  QCOMPARE(form->StatusText(),
           QStringLiteral(
               "受信完了しました。総メール数：3　受信対象新規メール数：2　合計累積データ数：2"));

  // The grid shows both orders under the titles of the last one.
  QAbstractItemModel* model = form->Grid().model();
  QTRY_COMPARE(model->rowCount(), 2);
  QCOMPARE(model->columnCount(), 5);
  QCOMPARE(model->headerData(2, Qt::Horizontal).toString(), QStringLiteral("品名"));
  QCOMPARE(model->headerData(4, Qt::Horizontal).toString(), QStringLiteral("備考"));
  QCOMPARE(Shown(*form, 0, 1), QStringLiteral("m1"));
  QCOMPARE(Shown(*form, 0, 2), QStringLiteral("薄口しょうゆ"));
  QCOMPARE(Shown(*form, 1, 1), QStringLiteral("m3"));
  QCOMPARE(Shown(*form, 1, 4), QStringLiteral("a，b"));
  QVERIFY(!Shown(*form, 0, 0).isEmpty());

  // The files hold the same: one line per order, the titles apart.
  const std::vector<std::string> rows = Lines(folder.Read("AllData.csv"));
  QCOMPARE(rows.size(), size_t{2});
  const std::string stamp(form->Table().Cell(0, 1));
  QCOMPARE(rows[0], stamp + ",m1,\x94\x96\x8c\xfb\x82\xb5\x82\xe5\x82\xa4\x82\xe4,11");
  QCOMPARE(rows[1], stamp +
                        ",m3,\x96\xa1\x91\x58,3,a\x81\x43"
                        "b");
  QCOMPARE(folder.Read("FirstRow.csv"), ",,\x95\x69\x96\xbc,\x90\x94\x97\xca,\x94\xf5\x8d\x6c\r\n");
  QCOMPARE(server.MessagesOnServer().size(), size_t{3});  // deleting is off

  // A second run finds nothing new; a restart reads the same table back.
  form->MenuProcessClick();
  QTRY_VERIFY_WITH_TIMEOUT(form->StatusText().contains(QStringLiteral("新規メール数：0")),
                           kRunTimeoutMs);
  QCOMPARE(Lines(folder.Read("AllData.csv")).size(), size_t{2});
  form.reset();
  auto again = folder.StartMainForm();
  QVERIFY(again);
  QCOMPARE(again->Grid().model()->rowCount(), 2);
  QCOMPARE(Shown(*again, 1, 4), QStringLiteral("a，b"));
}

void FetchTest::FetchDuringARunIsRefusedAndClosingDoesNotWait() {
  DovecotServer server;
  FillMailbox(server);
  ProgramFolder folder;
  auto form = folder.StartMainForm();
  QVERIFY(form);
  QVERIFY(QTest::qWaitForWindowActive(form.get()));
  PointAt(form->ConfigForm(), server);

  ModalBoxCatcher boxes;
  QTest::keyClick(form.get(), Qt::Key_F5);
  QCOMPARE(form->StatusText(), QStringLiteral("メール受信中"));
  QTest::keyClick(form.get(), Qt::Key_F5);
  QCOMPARE(boxes.Texts(), QStringLiteral("接続中です。処理が終了するまで待ってください。"
                                         "もしいつまでたっても終了しない場合は、"
                                         "ソフトを再起動してみてください。"));
  // A timer tick meanwhile starts nothing and says nothing.
  form->TimerTimer();
  QCOMPARE(boxes.Seen().size(), size_t{1});

  // Closing in the middle of the run saves the settings and does not wait.
  QTRY_VERIFY_WITH_TIMEOUT(form->Pop3Client().Connected(), kRunTimeoutMs);
  QVERIFY(form->close());
  QVERIFY(folder.Read("Vexalo.ini").find("HOST=127.0.0.1") != std::string::npos);
  form.reset();
  QCOMPARE(boxes.Seen().size(), size_t{1});
}

}  // namespace vexalo

QTEST_MAIN(vexalo::FetchTest)
#include "FetchTest.moc"
