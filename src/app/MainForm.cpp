#include "app/MainForm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QIcon>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <exception>

#include "app/Fonts.h"
#include "app/GuiText.h"
#include "app/MessageBoxes.h"
#include "app/PollingInterval.h"
#include "app/WindowPlacement.h"
#include "processing/DataFiles.h"
#include "processing/GridSelection.h"
#include "settings/ProgramDir.h"
#include "settings/SettingsStore.h"

namespace vexalo {

namespace {

constexpr int kPanelHeight = 34;
constexpr int kButtonSize = 32;
constexpr char kWebSite[] = "https://www.example.com/vexalo/";

}  // namespace

TMainForm::TMainForm(std::string programDir, QWidget* parent)
    : QMainWindow(parent),
      programDir_(std::move(programDir)),
      model_(table_),
      pop3Client_(eventLoop_),
      configForm_(std::make_unique<TConfigForm>()),
      run_(table_, *configForm_, pop3Client_, jisConv_,
           {FilePath(kAllDataFileName), FilePath(kFirstRowFileName)}, *this) {
  setWindowTitle(QStringLiteral("Vexalo ヴェクサロ Ver1.0"));
  setWindowIcon(QIcon(QStringLiteral(":/icons/vexalo.svg")));
  setFont(GothicFont(16, true));
  resize(519, 267);

  auto* centre = new QWidget(this);
  auto* layout = new QVBoxLayout(centre);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  panel_ = new QWidget(centre);
  panel_->setFixedHeight(kPanelHeight);
  layout->addWidget(panel_);
  grid_ = new DataGrid(&model_, centre);
  layout->addWidget(grid_, 1);
  setCentralWidget(centre);

  statusText_ = new QLabel(this);
  statusBar()->addWidget(statusText_, 1);
  statusBar()->setSizeGripEnabled(false);

  // Until a run sets its own.
  pop3Client_.SetHost("localhost");

  timer_.setSingleShot(false);
  connect(&timer_, &QTimer::timeout, this, [this] { Command(&TMainForm::TimerTimer); });
  connect(configForm_.get(), &TConfigForm::Confirmed, this, &TMainForm::ConfigConfirmed);

  BuildMenus();
  BuildPanel();

  // FormCreate: the status bar starts empty and the working position at
  // column 2, row 1 (the run's own starting values).
  ShowStatus({});
}

TMainForm::~TMainForm() {
  // The grid is a child widget and outlives the members; it must not reach
  // for the model once that is gone.
  grid_->setModel(nullptr);
}

void TMainForm::BuildMenus() {
  // Menus keep the desktop's font; only the window's own text is in the
  // program's typeface. Every property is marked as set, or the menu bar
  // would inherit the window's font all the same.
  QFont desktopFont = QApplication::font(menuBar());
  desktopFont.setResolveMask(QFont::AllPropertiesResolved);
  menuBar()->setFont(desktopFont);
  QMenu* connection = menuBar()->addMenu(QStringLiteral("接続"));
  QMenu* data = menuBar()->addMenu(QStringLiteral("データ処理"));
  QMenu* settings = menuBar()->addMenu(QStringLiteral("設定"));
  QMenu* help = menuBar()->addMenu(QStringLiteral("ヘルプ"));

  AddCommand(connection, "MenuProcess", QStringLiteral("新規メール取得"), Qt::Key_F5,
             &TMainForm::MenuProcessClick);
  AddCommand(data, "MenuSelectAll", QStringLiteral("全て選択"), QKeySequence(Qt::CTRL | Qt::Key_A),
             &TMainForm::MenuSelectAllClick);
  AddCommand(data, "MenuSaveAsCSV", QStringLiteral("選択されたセルをCSVで保存"),
             QKeySequence(Qt::CTRL | Qt::Key_S), &TMainForm::MenuSaveAsCSVClick);
  // Never offered: kept, hidden and disabled, with no action.
  QAction* toSpreadsheet = data->addAction(QStringLiteral("選択されたセルをエクセルに転送"));
  toSpreadsheet->setObjectName(QStringLiteral("MenuToExcel"));
  toSpreadsheet->setEnabled(false);
  toSpreadsheet->setVisible(false);
  AddCommand(settings, "MenuConfig", QStringLiteral("接続・メール処理の設定"), {},
             &TMainForm::MenuConfigClick);
  AddCommand(help, "MenuShowDoc", QStringLiteral("説明書"), Qt::Key_F1,
             &TMainForm::MenuShowDocClick);
  AddCommand(help, "MenuAbout", QStringLiteral("バージョン情報"), {}, &TMainForm::MenuAboutClick);
  help->addSeparator();
  AddCommand(help, "MenuGoWeb", QStringLiteral("WEBサイトへ"), {}, &TMainForm::MenuGoWebClick);
}

void TMainForm::AddCommand(QMenu* menu, const char* name, const QString& caption,
                           const QKeySequence& shortcut, void (TMainForm::*handler)()) {
  QAction* action = menu->addAction(caption);
  action->setObjectName(QString::fromLatin1(name));
  action->setShortcut(shortcut);
  connect(action, &QAction::triggered, this, [this, handler] { Command(handler); });
}

void TMainForm::BuildPanel() {
  const struct {
    const char* name;
    const char* icon;
    QString hint;
    void (TMainForm::*handler)();
  } buttons[] = {
      {"ProcessBtn", "process", QStringLiteral("メール受信処理を行います。"),
       &TMainForm::MenuProcessClick},
      {"SelectAllBtn", "selectall", QStringLiteral("全てのセルを選択します。"),
       &TMainForm::MenuSelectAllClick},
      {"SaveAsCSVBtn", "saveascsv", QStringLiteral("選択されているセルを保存します。"),
       &TMainForm::MenuSaveAsCSVClick},
      {"ConfigBtn", "config", QStringLiteral("接続やメール処理の設定を行います。"),
       &TMainForm::MenuConfigClick},
      {"InfoBtn", "info",
       QStringLiteral("カスタマイズ・改造・仕様変更・代理設定などのサービスのご案内です。"),
       &TMainForm::MenuInfoClick},
      {"ShowDocBtn", "showdoc", QStringLiteral("説明書を開きます。"), &TMainForm::MenuShowDocClick},
      {"AboutBtn", "about", QStringLiteral("バージョン・著作権情報を表示します。"),
       &TMainForm::MenuAboutClick},
      {"GoWebBtn", "goweb", QStringLiteral("本ソフトの公開用WEBサイトにアクセスします。"),
       &TMainForm::MenuGoWebClick},
  };
  int x = 0;
  for (const auto& entry : buttons) {
    auto* button = new QToolButton(panel_);
    button->setObjectName(QString::fromLatin1(entry.name));
    button->setGeometry(x, 1, kButtonSize, kButtonSize);
    button->setIcon(QIcon(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(entry.icon))));
    button->setIconSize(QSize(kButtonSize - 6, kButtonSize - 6));
    button->setToolTip(entry.hint);
    button->setFocusPolicy(Qt::NoFocus);
    connect(button, &QToolButton::clicked, this,
            [this, handler = entry.handler] { Command(handler); });
    x += kButtonSize;
  }
}

void TMainForm::Command(void (TMainForm::*handler)()) {
  CallShowingErrors(this, [this, handler] { (this->*handler)(); });
}

void TMainForm::MenuProcessClick() { run_.MenuProcessClick(); }

void TMainForm::MenuSelectAllClick() { grid_->SelectCells(SelectAllRect(table_)); }

void TMainForm::MenuSaveAsCSVClick() {
  QFileDialog saveDialog(this);
  saveDialog.setAcceptMode(QFileDialog::AcceptSave);
  saveDialog.setFileMode(QFileDialog::AnyFile);
  saveDialog.setDefaultSuffix(QStringLiteral("csv"));
  saveDialog.setNameFilter(QStringLiteral("コンマ区切りデータベース (*.csv)"));
  saveDialog.setOption(QFileDialog::DontConfirmOverwrite);
  if (!lastSavedFolder_.isEmpty()) saveDialog.setDirectory(lastSavedFolder_);
  if (saveDialog.exec() != QDialog::Accepted) return;
  const QStringList chosen = saveDialog.selectedFiles();
  if (chosen.isEmpty()) return;
  lastSavedFolder_ = saveDialog.directory().absolutePath();
  SaveSelectionAsCsv(table_, grid_->SelectedRect(),
                     QFile::encodeName(chosen.first()).toStdString());
}

void TMainForm::MenuConfigClick() {
  hide();
  configForm_->show();
  configForm_->raise();
  configForm_->activateWindow();
}

void TMainForm::MenuInfoClick() {}

void TMainForm::MenuShowDocClick() {
  QDesktopServices::openUrl(
      QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(ManualFile()))));
}

void TMainForm::MenuGoWebClick() { QDesktopServices::openUrl(QUrl(QString::fromLatin1(kWebSite))); }

void TMainForm::MenuAboutClick() {
  ShowMessageBox(this, ToCp932(QStringLiteral("Vexalo ヴェクサロ Ver1.0\r\n"
                                              "Copyright (C) 2001-2025 Vexalo Project\r\n"
                                              "Programmed by the Vexalo developers")));
}

void TMainForm::ApplyPollingInterval() { ApplyIntervalText(timer_, configForm_->IntervalText()); }

void TMainForm::TimerTimer() { run_.TimerTimer(); }

void TMainForm::ShowStatus(const std::string& text) {
  statusText_->setText(FromCp932(text));
  // Status texts come between the run's steps; the table may have changed
  // in the same step, right after the text.
  ScheduleTableRefresh();
}

void TMainForm::ShowMessage(const std::string& text) {
  ScheduleTableRefresh();
  ShowMessageBox(this, text);
}

void TMainForm::OpenSettings() { MenuConfigClick(); }

bool TMainForm::TrustCertificate(const CertificateQuestion& question) {
  ScheduleTableRefresh();
  return AskYesNo(
      this,
      CertificateFactsText(question) +
          ToCp932(QStringLiteral("\r\n\r\nこのサーバーについて、この証明書を信頼しますか？")));
}

void TMainForm::ScheduleTableRefresh() {
  if (refreshPending_) return;
  refreshPending_ = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        refreshPending_ = false;
        model_.TableChanged();
      },
      Qt::QueuedConnection);
}

void TMainForm::paintEvent(QPaintEvent* event) {
  QMainWindow::paintEvent(event);
  FormPaint();
}

void TMainForm::FormPaint() {
  if (!firstPaint_) return;
  firstPaint_ = false;
  // Loading a large table from inside a paint would resize and repaint the
  // grid while it is being painted: the work follows right after instead.
  QMetaObject::invokeMethod(this, &TMainForm::LoadAtStartUp, Qt::QueuedConnection);
}

void TMainForm::LoadAtStartUp() {
  CallShowingErrors(this, [this] { LoadSettings(*configForm_, FilePath(kSettingsFileName)); });
  // A stored interval that is no integer is reported, and start-up goes on
  // with the timer off: the data files must be loaded all the same, or the
  // next run would take every message again.
  Command(&TMainForm::ApplyPollingInterval);
  // Each file on its own: titles that cannot be read must not keep the rows,
  // and with them the record of taken messages, out of the table.
  CallShowingErrors(this, [this] { LoadFirstRow(table_, FilePath(kFirstRowFileName)); });
  CallShowingErrors(
      this, [this] { LoadAllData(table_, FilePath(kAllDataFileName), run_.State().CellPos); });
  model_.TableChanged();
  emit StartUpLoaded();
}

void TMainForm::ConfigConfirmed() {
  show();
  Command(&TMainForm::ApplyPollingInterval);
}

void TMainForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (centred_) return;
  centred_ = true;
  CentreOnScreen(this);
}

void TMainForm::closeEvent(QCloseEvent* event) {
  // FormCloseQuery: a settings file that cannot be written keeps the window
  // open, so the user can make it writable and close again.
  try {
    SaveSettings(*configForm_, FilePath(kSettingsFileName));
    event->accept();
  } catch (const std::exception& error) {
    event->ignore();
    ShowErrorBox(this, error.what());
  }
}

std::string TMainForm::FilePath(std::string_view name) const {
  return programDir_ + std::string(name);
}

}  // namespace vexalo
