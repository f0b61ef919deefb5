#include <unistd.h>

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QMenuBar>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>
#include <QToolButton>
#include <algorithm>

#include "MainFormFixture.h"
#include "ModalBoxCatcher.h"

namespace vexalo {

namespace {

// Titles and two rows as a run would have left them; the rows are 4 cells wide.
constexpr char kFirstRow[] = ",,\x95\x69\x96\xbc,\x90\x94\x97\xca\r\n";  // ,,品名,数量
constexpr char kAllData[] =
    "2024/05/01 9:00:00,uid-1,\x94\x96\x8c\xfb,11\r\n"   // 薄口
    "2024/05/02 10:30:00,uid-2,\x96\xa1\x91\x58,3\r\n";  // 味噌

constexpr char kSettings[] =
    "[POP3]\r\nHOST=pop.example\r\nPORT=1110\r\nUSERNAME=\x8e\x52\x93\x63\r\nPASSWORD=\r\n"
    "[MAIL]\r\nDELETE=1\r\nHEADER_TOKEN=X-ORDER: shop\r\nSPLIT_TOKEN==\r\nINTERVAL=5\r\n";

QString Shown(TMainForm& form, int viewRow, int col) {
  QAbstractItemModel* model = form.Grid().model();
  return model->data(model->index(viewRow, col)).toString();
}

QString Title(TMainForm& form, int col) {
  return form.Grid().model()->headerData(col, Qt::Horizontal).toString();
}

}  // namespace

// Receives what the program asks the desktop to open.
class UrlCatcher : public QObject {
  Q_OBJECT

 public:
  UrlCatcher() {
    QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "Open");
    QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "Open");
  }
  ~UrlCatcher() override {
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
  }
  QList<QUrl> opened;

 public slots:
  void Open(const QUrl& url) { opened << url; }
};

class MainFormTest : public QObject {
  Q_OBJECT

 private slots:
  void WindowCarriesItsMenusButtonsAndCaption();
  void StartsWithoutAnyFileOnTheBuiltInValues();
  void StartsWithSettingsAndDataFilesLoadedOnce();
  void StoredIntervalThatIsNoIntegerIsReportedAndStartUpGoesOn();
  void UnreadableTitlesDoNotKeepTheRowsOut();
  void FetchWithoutAServerOpensTheSettings();
  void SelectAllThenSaveWritesTitlesAndRows();
  void SaveWithoutARangeWritesTheCurrentCellAndCancelWritesNothing();
  void ChoosingExcelInTheSaveDialogWritesAWorkbook();
  void IntervalThroughTheDialog_data();
  void IntervalThroughTheDialog();
  void ClosingSavesTheSettings();
  void UnwritableSettingsKeepTheWindowOpen();
  void HelpCommandsOpenTheManualAndTheSiteAndShowTheVersion();
  void ManualWithoutABrowserIsNamedInABox();
  void CancelledSettingsAreNeitherUsedNorSaved();
};

void MainFormTest::WindowCarriesItsMenusButtonsAndCaption() {
  ProgramFolder folder;
  auto form = folder.StartMainForm();
  QVERIFY(form);
  QCOMPARE(form->windowTitle(), QStringLiteral("Vexalo ヴェクサロ Ver1.0"));
  QVERIFY(!form->windowIcon().isNull());
  QCOMPARE(form->font().pixelSize(), 16);
  QVERIFY(form->font().bold());

  QStringList menus;
  for (QAction* menu : form->menuBar()->actions()) menus << menu->text();
  QCOMPARE(menus, QStringList({"接続", "データ処理", "設定", "ヘルプ"}));
  QMenu* data = form->menuBar()->actions()[1]->menu();
  QCOMPARE(data->actions().size(), 5);
  QCOMPARE(data->actions()[3]->shortcut(), QKeySequence(QKeySequence::Copy));
  QCOMPARE(data->actions()[4]->shortcut(), QKeySequence(QKeySequence::Find));
  QAction* toSpreadsheet = data->actions()[2];
  QCOMPARE(toSpreadsheet->text(), QStringLiteral("選択されたセルをエクセルに転送"));
  QVERIFY(!toSpreadsheet->isVisible());
  QVERIFY(!toSpreadsheet->isEnabled());
  QMenu* help = form->menuBar()->actions()[3]->menu();
  QCOMPARE(help->actions().size(), 4);
  QVERIFY(help->actions()[2]->isSeparator());
  QCOMPARE(help->actions()[3]->text(), QStringLiteral("WEBサイトへ"));
  QCOMPARE(help->actions()[0]->shortcut(), QKeySequence(Qt::Key_F1));

  QList<QToolButton*> buttons =
      form->findChildren<QToolButton*>(QRegularExpression(QStringLiteral("Btn$")));
  std::sort(buttons.begin(), buttons.end(),
            [](QToolButton* a, QToolButton* b) { return a->x() < b->x(); });
  QStringList names;
  for (int i = 0; i < buttons.size(); ++i) {
    names << buttons[i]->objectName();
    QCOMPARE(buttons[i]->geometry().topLeft().x(), 32 * i);
    QCOMPARE(buttons[i]->size(), QSize(32, 32));
    QVERIFY(!buttons[i]->icon().isNull());
    QVERIFY(!buttons[i]->icon().pixmap(26, 26).isNull());  // the picture really loads
    QVERIFY(!buttons[i]->toolTip().isEmpty());
  }
  QCOMPARE(names, QStringList({"ProcessBtn", "SelectAllBtn", "SaveAsCSVBtn", "ConfigBtn", "InfoBtn",
                               "ShowDocBtn", "AboutBtn", "GoWebBtn"}));
  QCOMPARE(buttons[0]->toolTip(), QStringLiteral("メール受信処理を行います。"));

  // The information button tells where the files are.
  ModalBoxCatcher boxes;
  QTest::mouseClick(buttons[4], Qt::LeftButton);
  QVERIFY(form->isVisible());
  QCOMPARE(boxes.Seen().size(), size_t{1});
  const QString info = boxes.Seen()[0].text;
  QVERIFY2(info.contains(QString::fromStdString(folder.Path())), qPrintable(info));
  for (const char* name : {"Vexalo.ini", "AllData.csv", "FirstRow.csv"}) {
    QVERIFY2(info.contains(QLatin1String(name)), name);
  }
  QVERIFY(info.contains(QStringLiteral("（0件）")));
}

void MainFormTest::StartsWithoutAnyFileOnTheBuiltInValues() {
  ProgramFolder folder;
  auto form = folder.StartMainForm();
  QVERIFY(form);
  QCOMPARE(form->Grid().model()->columnCount(), 3);
  QCOMPARE(form->Grid().model()->rowCount(), 1);
  QCOMPARE(form->Run().StoredRowCount(), 0);
  QCOMPARE(form->StatusText(), QString());
  TConfigForm& settings = form->ConfigForm();
  QCOMPARE(settings.HostText(), "");
  QCOMPARE(settings.PortText(), "110");
  QCOMPARE(settings.HeaderTokenText(), "X-VEXALO: default");
  QCOMPARE(settings.SplitTokenText(), ":");
  QCOMPARE(settings.IntervalText(), "0");
  QVERIFY(!settings.DeleteAfterReading());
  QVERIFY(!form->PollingTimer().isActive());
  QVERIFY(!folder.Exists("Vexalo.ini"));  // nothing is written before the end
}

void MainFormTest::StartsWithSettingsAndDataFilesLoadedOnce() {
  ProgramFolder folder;
  folder.Write("Vexalo.ini", kSettings);
  folder.Write("FirstRow.csv", kFirstRow);
  folder.Write("AllData.csv", kAllData);
  auto form = folder.StartMainForm();
  QVERIFY(form);

  TConfigForm& settings = form->ConfigForm();
  QCOMPARE(settings.HostText(), "pop.example");
  QCOMPARE(settings.UserNameEdit->text(), QStringLiteral("山田"));
  QCOMPARE(settings.SplitTokenText(), "=");
  QVERIFY(settings.DeleteAfterReading());
  QVERIFY(form->PollingTimer().isActive());
  QCOMPARE(form->PollingTimer().interval(), 300000);

  QCOMPARE(form->Grid().model()->columnCount(), 4);
  QCOMPARE(form->Grid().model()->rowCount(), 2);
  QCOMPARE(Title(*form, 2), QStringLiteral("品名"));
  QCOMPARE(Shown(*form, 0, 2), QStringLiteral("薄口"));
  QCOMPARE(Shown(*form, 1, 1), QStringLiteral("uid-2"));
  QCOMPARE(form->Run().StoredRowCount(), 2);

  // Covering and uncovering repaints without reloading anything.
  folder.Write("AllData.csv", "");
  settings.SetHostText("typed.example");
  form->hide();
  form->show();
  QVERIFY(QTest::qWaitForWindowExposed(form.get()));
  form->repaint();
  QTest::qWait(50);
  QCOMPARE(form->Grid().model()->rowCount(), 2);
  QCOMPARE(settings.HostText(), "typed.example");
}

void MainFormTest::StoredIntervalThatIsNoIntegerIsReportedAndStartUpGoesOn() {
  ProgramFolder folder;
  folder.Write("Vexalo.ini", "[MAIL]\r\nINTERVAL=abc\r\n");
  folder.Write("AllData.csv", kAllData);
  ModalBoxCatcher boxes;
  auto form = folder.StartMainForm();
  QVERIFY(form);
  QCOMPARE(boxes.Texts(), QStringLiteral("'abc' は整数ではありません."));
  QCOMPARE(boxes.Seen()[0].icon, QMessageBox::Critical);
  QVERIFY(!form->PollingTimer().isActive());
  QCOMPARE(form->Grid().model()->rowCount(), 2);
  QCOMPARE(form->Run().StoredRowCount(), 2);
}

void MainFormTest::UnreadableTitlesDoNotKeepTheRowsOut() {
  ProgramFolder folder;
  QVERIFY(QDir().mkdir(folder.QtPath("FirstRow.csv")));  // unreadable, also for root
  folder.Write("AllData.csv", kAllData);
  ModalBoxCatcher boxes;
  auto form = folder.StartMainForm();
  QVERIFY(form);
  QCOMPARE(boxes.Seen().size(), size_t{1});
  QCOMPARE(boxes.Seen()[0].icon, QMessageBox::Critical);
  // The rows, and with them the ids of the messages already taken, are there.
  QCOMPARE(form->Grid().model()->rowCount(), 2);
  QCOMPARE(form->Run().StoredRowCount(), 2);
}

void MainFormTest::FetchWithoutAServerOpensTheSettings() {
  ProgramFolder folder;
  auto form = folder.StartMainForm();
  QVERIFY(form);
  QVERIFY(QTest::qWaitForWindowActive(form.get()));
  ModalBoxCatcher boxes;
  QTest::keyClick(form.get(), Qt::Key_F5);
  QCOMPARE(boxes.Texts(),
           QStringLiteral("メールサーバ(POP3)への接続設定を完了したのち、処理を行ってください。"));
  QVERIFY(!form->isVisible());
  QVERIFY(form->ConfigForm().isVisible());
  QVERIFY(!form->Pop3Client().Connected());

  // Confirming brings the main window back.
  QTest::mouseClick(form->ConfigForm().OkBtn, Qt::LeftButton);
  QVERIFY(form->isVisible());
  QVERIFY(!form->ConfigForm().isVisible());
}

void MainFormTest::SelectAllThenSaveWritesTitlesAndRows() {
  ProgramFolder folder;
  folder.Write("FirstRow.csv", kFirstRow);
  folder.Write("AllData.csv", kAllData);
  auto form = folder.StartMainForm();
  QVERIFY(form);
  QVERIFY(QTest::qWaitForWindowActive(form.get()));

  ModalBoxCatcher dialogs;
  QString suffix;
  QStringList filters;
  QStringList proposed;
  QString startFolder;
  dialogs.OnFileDialog([&](QFileDialog& dialog) {
    suffix = dialog.defaultSuffix();
    filters = dialog.nameFilters();
    proposed = dialog.selectedFiles();
    startFolder = dialog.directory().absolutePath();
    TypeFileName(dialog, folder.QtPath("export"));
    static_cast<QDialog&>(dialog).accept();   // what the Save button does
    if (dialog.isVisible()) dialog.reject();  // not replaced: the user gives up
  });
  folder.Write("export.csv", "to be replaced");
  form->Grid().setFocus();
  QTest::keyClick(&form->Grid(), Qt::Key_A, Qt::ControlModifier);
  QVERIFY(form->Grid().TitleRowSelected());

  // The user is asked before a file is replaced; "no" keeps it.
  dialogs.AnswerWith(QMessageBox::No);
  QTest::keyClick(&form->Grid(), Qt::Key_S, Qt::ControlModifier);
  QCOMPARE(dialogs.Seen().size(), size_t{1});
  QVERIFY(dialogs.Seen()[0].text.contains(QStringLiteral("export.csv")));
  QCOMPARE(folder.Read("export.csv"), "to be replaced");
  QCOMPARE(suffix, QStringLiteral("csv"));
  QCOMPARE(filters, (QStringList{QStringLiteral("コンマ区切りデータベース (*.csv)"),
                                 QStringLiteral("Excel ブック (*.xlsx)")}));
  QCOMPARE(QFileInfo(proposed.value(0)).fileName(),
           QStringLiteral("Vexalo_%1.csv").arg(QDate::currentDate().toString("yyyyMMdd")));
  const QDir documents(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
  QCOMPARE(startFolder, documents.exists() ? documents.absolutePath() : QDir::homePath());

  dialogs.AnswerWith(QMessageBox::Yes);
  form->MenuSaveAsCSVClick();
  QCOMPARE(dialogs.Seen().size(), size_t{2});
  QCOMPARE(folder.Read("export.csv"), std::string(kFirstRow) + kAllData);
  // The next save starts where the last one went.
  form->MenuSaveAsCSVClick();
  QCOMPARE(startFolder, QDir(folder.QtPath("")).absolutePath());
}

void MainFormTest::SaveWithoutARangeWritesTheCurrentCellAndCancelWritesNothing() {
  ProgramFolder folder;
  folder.Write("AllData.csv", kAllData);
  auto form = folder.StartMainForm();
  QVERIFY(form);
  DataGrid& grid = form->Grid();
  QTest::mouseClick(grid.viewport(), Qt::LeftButton, {},
                    grid.visualRect(grid.model()->index(1, 2)).center());

  ModalBoxCatcher dialogs;
  form->MenuSaveAsCSVClick();  // no handler: the user cancels
  QVERIFY(!folder.Exists("one.csv"));

  dialogs.OnFileDialog([&](QFileDialog& dialog) {
    TypeFileName(dialog, folder.QtPath("one.csv"));
    static_cast<QDialog&>(dialog).accept();  // what the Save button does
  });
  // One cell selected: the user is asked whether the whole table was meant;
  // "no" saves the cell, and the status bar names the file.
  dialogs.AnswerWith(QMessageBox::No);
  form->MenuSaveAsCSVClick();
  QCOMPARE(folder.Read("one.csv"), "\x96\xa1\x91\x58\r\n");
  QVERIFY(dialogs.Texts().contains(QStringLiteral("表全体を保存しますか")));
  QVERIFY(form->StatusText().contains(QStringLiteral("one.csv に保存しました")));

  dialogs.AnswerWith(QMessageBox::Yes);  // then again, the file exists: replace it
  form->MenuSaveAsCSVClick();
  QVERIFY(form->Grid().TitleRowSelected());
  QVERIFY(folder.Read("one.csv").size() > std::string("\x96\xa1\x91\x58\r\n").size());
}

void MainFormTest::ChoosingExcelInTheSaveDialogWritesAWorkbook() {
  ProgramFolder folder;
  folder.Write("FirstRow.csv", kFirstRow);
  folder.Write("AllData.csv", kAllData);
  auto form = folder.StartMainForm();
  QVERIFY(form);

  ModalBoxCatcher dialogs;
  QString proposed;
  dialogs.OnFileDialog([&](QFileDialog& dialog) {
    dialog.selectNameFilter(QStringLiteral("Excel ブック (*.xlsx)"));
    emit dialog.filterSelected(QStringLiteral("Excel ブック (*.xlsx)"));  // as a click does
    proposed = QFileInfo(dialog.selectedFiles().value(0)).fileName();
    TypeFileName(dialog, folder.QtPath("orders"));
    static_cast<QDialog&>(dialog).accept();  // what the Save button does
  });
  form->MenuSelectAllClick();
  form->MenuSaveAsCSVClick();
  QCOMPARE(proposed,
           QStringLiteral("Vexalo_%1.xlsx").arg(QDate::currentDate().toString("yyyyMMdd")));
  QVERIFY(folder.Exists("orders.xlsx"));
  QVERIFY(folder.Read("orders.xlsx").starts_with("PK"));  // a zip, as every workbook is
}

void MainFormTest::IntervalThroughTheDialog_data() {
  QTest::addColumn<QString>("typed");
  QTest::addColumn<bool>("running");
  QTest::addColumn<int>("interval");
  QTest::addColumn<bool>("refused");
  // Each starts from a timer running every 7 minutes; a refused interval
  // keeps the dialog open and the timer as it was.
  QTest::newRow("zero") << "0" << false << 0 << false;
  QTest::newRow("five") << "5" << true << 300000 << false;
  QTest::newRow("largest") << "9999" << true << 599940000 << false;
  QTest::newRow("negative") << "-5" << true << 420000 << true;
  QTest::newRow("letters") << "abc" << true << 420000 << true;
  QTest::newRow("empty") << "" << true << 420000 << true;
}

void MainFormTest::IntervalThroughTheDialog() {
  QFETCH(QString, typed);
  QFETCH(bool, running);
  QFETCH(int, interval);
  QFETCH(bool, refused);
  ProgramFolder folder;
  folder.Write("Vexalo.ini", "[MAIL]\r\nINTERVAL=7\r\n");
  auto form = folder.StartMainForm();
  QVERIFY(form);
  QCOMPARE(form->PollingTimer().interval(), 420000);

  form->MenuConfigClick();
  TConfigForm& settings = form->ConfigForm();
  QVERIFY(!form->isVisible());
  QVERIFY(settings.isVisible());
  settings.PageControl->setCurrentWidget(settings.MailTab);
  settings.IntervalEdit->selectAll();
  QTest::keyClick(settings.IntervalEdit, Qt::Key_Delete);
  QTest::keyClicks(settings.IntervalEdit, typed);

  ModalBoxCatcher boxes;
  QTest::mouseClick(settings.OkBtn, Qt::LeftButton);
  QCOMPARE(form->isVisible(), !refused);
  QCOMPARE(settings.isVisible(), refused);
  QCOMPARE(form->PollingTimer().isActive(), running);
  QCOMPARE(form->PollingTimer().interval(), interval);
  QCOMPARE(boxes.Texts().startsWith(QStringLiteral("自動受信の間隔「%1」").arg(typed)), refused);
  QCOMPARE(folder.Read("Vexalo.ini").find("INTERVAL=" + typed.toStdString() + "\r\n") !=
               std::string::npos,
           !refused);
}

void MainFormTest::ClosingSavesTheSettings() {
  ProgramFolder folder;
  auto form = folder.StartMainForm();
  QVERIFY(form);
  TConfigForm& settings = form->ConfigForm();
  settings.SetHostText("pop.example");
  settings.SetUserNameText("\x8e\x52\x93\x63");
  settings.SetPassWordText("secret");
  settings.SetDeleteAfterReading(true);
  QVERIFY(form->close());
  QVERIFY(!form->isVisible());

  const std::string ini = folder.Read("Vexalo.ini");
  const char* const expectedInOrder[] = {
      "[POP3]",        "HOST=pop.example", "PORT=110", "USERNAME=\x8e\x52\x93\x63",
      "PASSWORD=",     "[MAIL]",           "DELETE=1", "HEADER_TOKEN=X-VEXALO: default",
      "SPLIT_TOKEN=:", "INTERVAL=0"};
  size_t at = 0;
  for (const char* line : expectedInOrder) {
    const size_t found = ini.find(line, at);
    QVERIFY2(found != std::string::npos, line);
    at = found;
  }
  QVERIFY(ini.find("secret") == std::string::npos);

  // What was saved comes back in the next start.
  auto again = folder.StartMainForm();
  QVERIFY(again);
  QCOMPARE(again->ConfigForm().PassWordText(), "secret");
  QCOMPARE(again->ConfigForm().UserNameText(), "\x8e\x52\x93\x63");
}

void MainFormTest::UnwritableSettingsKeepTheWindowOpen() {
  ProgramFolder folder;
  folder.Write("Vexalo.ini", "[POP3]\r\nHOST=pop.example\r\n");
  auto form = folder.StartMainForm();
  QVERIFY(form);
  const QString path = folder.QtPath("Vexalo.ini");
  if (geteuid() != 0) {
    QFile::setPermissions(path, QFileDevice::ReadOwner);
  } else {
    // Permission bits do not stop root; a folder in the file's place does.
    QFile::remove(path);
    QVERIFY(QDir().mkdir(path));
  }

  ModalBoxCatcher boxes;
  QVERIFY(!form->close());
  QVERIFY(form->isVisible());
  QCOMPARE(boxes.Texts(), path + QStringLiteral(" に書き込めません."));
  QCOMPARE(boxes.Seen()[0].icon, QMessageBox::Critical);

  // Once the file can be written, closing goes through.
  if (geteuid() != 0) {
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
  } else {
    QVERIFY(QDir().rmdir(path));
  }
  QVERIFY(form->close());
}

void MainFormTest::HelpCommandsOpenTheManualAndTheSiteAndShowTheVersion() {
  ProgramFolder folder;
  auto form = folder.StartMainForm();
  QVERIFY(form);
  QVERIFY(QTest::qWaitForWindowActive(form.get()));
  UrlCatcher desktop;
  ModalBoxCatcher boxes;
  QTest::keyClick(form.get(), Qt::Key_F1);
  form->MenuGoWebClick();  // no project page built in: the manual
  QCOMPARE(desktop.opened.size(), 2);
  // The build puts the manual beside the executable, as a portable copy has it.
  QCOMPARE(desktop.opened[0],
           QUrl::fromLocalFile(QCoreApplication::applicationDirPath() + "/index.html"));
  QCOMPARE(desktop.opened[1], desktop.opened[0]);
  QVERIFY(boxes.Seen().empty());

  form->MenuAboutClick();
  QCOMPARE(boxes.Seen().size(), size_t{1});
  QVERIFY(boxes.Seen()[0].text.startsWith(QStringLiteral("Vexalo ヴェクサロ Ver1.0\n")));
  QCOMPARE(boxes.Seen()[0].text.count(QLatin1Char('\n')), 2);
}

// No browser to start (nothing on the path, no handler): F1 names the
// manual's file instead of doing nothing.
void MainFormTest::ManualWithoutABrowserIsNamedInABox() {
  ProgramFolder folder;
  auto form = folder.StartMainForm();
  QVERIFY(form);
  QVERIFY(QTest::qWaitForWindowActive(form.get()));
  const QByteArray path = qgetenv("PATH");
  qputenv("PATH", QFile::encodeName(QString::fromStdString(folder.Path())));
  qunsetenv("BROWSER");
  qunsetenv("DEFAULT_BROWSER");
  ModalBoxCatcher boxes;
  QTest::keyClick(form.get(), Qt::Key_F1);
  qputenv("PATH", path);
  QCOMPARE(boxes.Seen().size(), size_t{1});
  QVERIFY2(boxes.Seen()[0].text.endsWith(QStringLiteral("ブラウザーで開いてください。\n") +
                                         QCoreApplication::applicationDirPath() + "/index.html"),
           qPrintable(boxes.Seen()[0].text));
}

// Settings changed and then cancelled change nothing: the file keeps what
// was there, a fetch would use what was there, and the window comes back.
void MainFormTest::CancelledSettingsAreNeitherUsedNorSaved() {
  ProgramFolder folder;
  folder.Write("Vexalo.ini", "[POP3]\r\nHOST=pop.example\r\n[MAIL]\r\nINTERVAL=7\r\n");
  auto form = folder.StartMainForm();
  QVERIFY(form);
  const std::string before = folder.Read("Vexalo.ini");
  TConfigForm& settings = form->ConfigForm();
  form->MenuConfigClick();
  QVERIFY(QTest::qWaitForWindowExposed(&settings));
  settings.HostEdit->setText("other.example");
  settings.IntervalEdit->setText("abc");
  form->TimerTimer();  // a tick while the dialog is open fetches nothing
  QVERIFY(!form->Run().IsBusy());
  QTest::keyClick(settings.HostEdit, Qt::Key_Escape);

  QVERIFY(form->isVisible());
  QVERIFY(!settings.isVisible());
  QCOMPARE(settings.HostText(), "pop.example");
  QCOMPARE(settings.IntervalText(), "7");
  QCOMPARE(form->PollingTimer().interval(), 420000);
  QCOMPARE(folder.Read("Vexalo.ini"), before);
}

}  // namespace vexalo

QTEST_MAIN(vexalo::MainFormTest)
#include "MainFormTest.moc"
