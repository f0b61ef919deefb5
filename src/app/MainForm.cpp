#include "app/MainForm.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QIcon>
#include <QMenuBar>
#include <QStandardPaths>
#include <QStatusBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <exception>

#include "app/Fonts.h"
#include "app/GridSearch.h"
#include "app/GuiText.h"
#include "app/MessageBoxes.h"
#include "app/PollingInterval.h"
#include "app/WindowPlacement.h"
#include "auth/PasswordPlace.h"
#include "platform/ProgramDir.h"
#include "pop3/SocketErrors.h"
#include "run/FailureCause.h"
#include "settings/WindowLayout.h"
#include "table/DataFiles.h"
#include "table/GridSelection.h"
#include "table/TableExport.h"

namespace vexalo {

namespace {

constexpr int kPanelHeight = 34;
constexpr int kButtonSize = 32;
constexpr char kWebSite[] = VEXALO_HOMEPAGE;
// Wide enough for the run's summary with four-digit counts beside the
// next-fetch field.
constexpr int kDefaultWidth = 860;
constexpr int kDefaultHeight = 360;

// Where exports go first: the user's documents, or home where there is no
// such folder (a fresh account, a minimal desktop).
QString DocumentsFolder() {
  const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  return QDir(documents).exists() ? documents : QDir::homePath();
}

}  // namespace

TMainForm::TMainForm(std::string programDir, QWidget* parent)
    : QMainWindow(parent),
      programDir_(std::move(programDir)),
      model_(table_),
      pop3Client_(eventLoop_),
      configForm_(std::make_unique<TConfigForm>()),
      run_(table_, *configForm_, pop3Client_, jisConv_,
           {FilePath(kAllDataFileName), FilePath(kFirstRowFileName), FilePath(kUnpickedFileName)},
           *this) {
  configForm_->SetDataFolder(programDir_);
  setWindowTitle(QStringLiteral("Vexalo ヴェクサロ Ver1.0"));
  setWindowIcon(QIcon(QStringLiteral(":/icons/vexalo.svg")));
  setFont(GothicFont(16, true));
  resize(kDefaultWidth, kDefaultHeight);

  auto* centre = new QWidget(this);
  auto* layout = new QVBoxLayout(centre);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  panel_ = new QWidget(centre);
  panel_->setFixedHeight(kPanelHeight);
  layout->addWidget(panel_);
  grid_ = new DataGrid(&model_, centre);
  layout->addWidget(grid_, 1);
  findBar_ = new FindBar(centre);
  layout->addWidget(findBar_);
  setCentralWidget(centre);
  connect(findBar_, &FindBar::FindNext, this,
          [this](const QString& text) { CallShowingErrors(this, [&] { FindNext(text); }); });
  connect(findBar_, &FindBar::Closed, grid_, [this] { grid_->setFocus(); });

  status_ = std::make_unique<StatusBarPresenter>(statusBar());
  statusBar()->setSizeGripEnabled(false);
  connect(grid_, &DataGrid::ReachedBottom, this, [this] {
    rowsOutOfSight_ = 0;
    status_->ShowNewRows(0);
  });

  const WindowLayout stored = LoadWindowLayout(FilePath(kSettingsFileName));
  if (stored.HasPlace()) {
    placeRestored_ =
        RestorePlace(this, QRect(stored.left, stored.top, stored.width, stored.height));
  }
  grid_->SetColumnWidths(stored.columnWidths);
  connect(&tray_, &TrayNotifier::Activated, this, [this] {
    if (configForm_->isVisible()) return;  // the dialog is the window in use then
    showNormal();
    raise();
    activateWindow();
  });

  timer_.setSingleShot(false);
  connect(&timer_, &QTimer::timeout, this, [this] { Command(&TMainForm::TimerTimer); });
  connect(configForm_.get(), &TConfigForm::Confirmed, this, &TMainForm::ConfigConfirmed);
  connect(configForm_.get(), &TConfigForm::Discarded, this, [this] { show(); });

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
  QMenu* dataMenu = menuBar()->addMenu(QStringLiteral("データ処理"));
  QMenu* settings = menuBar()->addMenu(QStringLiteral("設定"));
  QMenu* help = menuBar()->addMenu(QStringLiteral("ヘルプ"));

  AddCommand(connection, "MenuProcess", QStringLiteral("新規メール取得"), Qt::Key_F5,
             &TMainForm::MenuProcessClick);
  cancelAction_ = AddCommand(connection, "MenuCancel", QStringLiteral("中止"), Qt::Key_Escape,
                             &TMainForm::MenuCancelClick);
  cancelAction_->setEnabled(false);
  AddCommand(dataMenu, "MenuSelectAll", QStringLiteral("全て選択"),
             QKeySequence(Qt::CTRL | Qt::Key_A), &TMainForm::MenuSelectAllClick);
  AddCommand(dataMenu, "MenuSaveAsCSV", QStringLiteral("選択されたセルをCSVで保存"),
             QKeySequence(Qt::CTRL | Qt::Key_S), &TMainForm::MenuSaveAsCSVClick);
  // Never offered: kept, hidden and disabled, with no action.
  QAction* toSpreadsheet = dataMenu->addAction(QStringLiteral("選択されたセルをエクセルに転送"));
  toSpreadsheet->setObjectName(QStringLiteral("MenuToExcel"));
  toSpreadsheet->setEnabled(false);
  toSpreadsheet->setVisible(false);
  AddCommand(dataMenu, "MenuCopy", QStringLiteral("選択されたセルをコピー"), QKeySequence::Copy,
             &TMainForm::MenuCopyClick);
  AddCommand(dataMenu, "MenuFind", QStringLiteral("検索"), QKeySequence::Find,
             &TMainForm::MenuFindClick);
  AddCommand(settings, "MenuConfig", QStringLiteral("接続・メール処理の設定"), {},
             &TMainForm::MenuConfigClick);
  AddCommand(help, "MenuShowDoc", QStringLiteral("説明書"), Qt::Key_F1,
             &TMainForm::MenuShowDocClick);
  AddCommand(help, "MenuAbout", QStringLiteral("バージョン情報"), {}, &TMainForm::MenuAboutClick);
  help->addSeparator();
  AddCommand(help, "MenuGoWeb", QStringLiteral("WEBサイトへ"), {}, &TMainForm::MenuGoWebClick);
}

QAction* TMainForm::AddCommand(QMenu* menu, const char* name, const QString& caption,
                               const QKeySequence& shortcut, void (TMainForm::*handler)()) {
  QAction* action = menu->addAction(caption);
  action->setObjectName(QString::fromLatin1(name));
  action->setShortcut(shortcut);
  connect(action, &QAction::triggered, this, [this, handler] { Command(handler); });
  return action;
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

void TMainForm::MenuProcessClick() {
  const bool wasBusy = run_.IsBusy();
  run_.MenuProcessClick();
  FetchRequested(false, wasBusy);
}

void TMainForm::MenuCancelClick() { run_.Cancel(); }

void TMainForm::MenuCopyClick() {
  QApplication::clipboard()->setText(
      FromCp932(SelectionAsTabText(table_, grid_->SelectedCells(), CellGuard())));
}

FormulaGuard TMainForm::CellGuard() const {
  return configForm_->CsvGuard() ? FormulaGuard::kOn : FormulaGuard::kOff;
}

void TMainForm::MenuFindClick() { findBar_->Open(); }

void TMainForm::FindNext(const QString& text) {
  const GridRect current = grid_->SelectedRect();
  const std::optional<CellPoint> found =
      FindNextCell(table_, model_.Order(), text, CellPoint{current.Left, std::max(current.Top, 1)});
  findBar_->ShowNotFound(!found);
  if (!found) return;
  grid_->SelectCells({found->X, found->Y, found->X, found->Y});
  grid_->setCurrentIndex(model_.index(DataTableModel::ViewRow(found->Y), found->X));
}

void TMainForm::MenuSelectAllClick() { grid_->SelectCells(SelectAllRect(table_)); }

void TMainForm::MenuSaveAsCSVClick() {
  // One cell is what is selected when nothing was chosen: a file of one cell
  // is rarely what Ctrl+S meant.
  const CellBlock selected = grid_->SelectedCells();
  if (selected.Left == selected.Right && selected.Rows.size() == 1 &&
      (table_.RowCount() > 1 || table_.ColCount() > 1) &&
      AskYesNo(this,
               ToCp932(QStringLiteral("選択されているのは1つのセルだけです。"
                                      "表全体を保存しますか？（いいえ：このセルだけを保存）")))) {
    MenuSelectAllClick();
  }
  QFileDialog saveDialog(this);
  saveDialog.setAcceptMode(QFileDialog::AcceptSave);
  saveDialog.setFileMode(QFileDialog::AnyFile);
  const QString csvFilter = QStringLiteral("コンマ区切りデータベース (*.csv)");
  const QString xlsxFilter = QStringLiteral("Excel ブック (*.xlsx)");
  saveDialog.setDefaultSuffix(QStringLiteral("csv"));
  saveDialog.setNameFilters({csvFilter, xlsxFilter});
  // The name decides what is written; a change of kind changes the suffix
  // of the name proposed or typed so far, so that the two agree.
  connect(&saveDialog, &QFileDialog::filterSelected, &saveDialog, [&](const QString& filter) {
    const bool toXlsx = filter == xlsxFilter;
    const QString suffix = toXlsx ? QStringLiteral("xlsx") : QStringLiteral("csv");
    saveDialog.setDefaultSuffix(suffix);
    const QFileInfo typed(saveDialog.selectedFiles().value(0));
    const QString other = toXlsx ? QStringLiteral("csv") : QStringLiteral("xlsx");
    if (typed.suffix().compare(other, Qt::CaseInsensitive) == 0) {
      saveDialog.selectFile(typed.completeBaseName() + QLatin1Char('.') + suffix);
    }
  });
  // The dialog asks before it replaces a file: an export chosen by mistake
  // must not silently cut another one to a few lines.
  saveDialog.setDirectory(lastSavedFolder_.isEmpty() ? DocumentsFolder() : lastSavedFolder_);
  saveDialog.selectFile(QStringLiteral("Vexalo_%1.csv")
                            .arg(QDate::currentDate().toString(QStringLiteral("yyyyMMdd"))));
  if (saveDialog.exec() != QDialog::Accepted) return;
  const QStringList chosen = saveDialog.selectedFiles();
  if (chosen.isEmpty()) return;
  lastSavedFolder_ = QFileInfo(chosen.first()).absolutePath();
  // Written whole under another name first: a failed save leaves the file
  // that was there.
  ExportCells(table_, grid_->SelectedCells(), QFile::encodeName(chosen.first()).toStdString(),
              CellGuard());
  status_->ShowText(
      QStringLiteral("%1 に保存しました").arg(QDir::toNativeSeparators(chosen.first())));
}

void TMainForm::MenuConfigClick() {
  hide();
  configForm_->show();
  configForm_->raise();
  configForm_->activateWindow();
}

void TMainForm::MenuInfoClick() {
  ShowPlainMessageBox(
      this, QStringLiteral("このソフトのファイルは次のフォルダにあります。\n%1\n\n"
                           "設定：%2\nデータ：%3（%4件）\n項目名：%5")
                .arg(QFile::decodeName(QByteArray::fromStdString(programDir_)),
                     QString::fromUtf8(kSettingsFileName.data(),
                                       static_cast<qsizetype>(kSettingsFileName.size())),
                     QString::fromLatin1(kAllDataFileName), QString::number(run_.StoredRowCount()),
                     QString::fromLatin1(kFirstRowFileName)));
}

void TMainForm::MenuShowDocClick() {
  const QString manual = QFile::decodeName(QByteArray::fromStdString(ManualFile()));
  if (QDesktopServices::openUrl(QUrl::fromLocalFile(manual))) return;
  ShowPlainMessageBox(this, QStringLiteral("説明書を開くブラウザーが見つかりませんでした。"
                                           "次のファイルをブラウザーで開いてください。\n%1")
                                .arg(QDir::toNativeSeparators(manual)));
}

void TMainForm::MenuGoWebClick() {
  if (kWebSite[0] == '\0') {
    MenuShowDocClick();
    return;
  }
  const QString site = QString::fromLatin1(kWebSite);
  if (QDesktopServices::openUrl(QUrl(site))) return;
  ShowPlainMessageBox(this, QStringLiteral("ブラウザーが見つかりませんでした。"
                                           "次のアドレスをブラウザーで開いてください。\n%1")
                                .arg(site));
}

void TMainForm::MenuAboutClick() {
  ShowMessageBox(this, ToCp932(QStringLiteral("Vexalo ヴェクサロ Ver1.0\r\n"
                                              "Copyright (C) 2001-2025 Vexalo Project\r\n"
                                              "Programmed by the Vexalo developers")));
}

void TMainForm::ApplyPollingInterval() {
  ApplyIntervalText(timer_, configForm_->IntervalText());
  ShowPolling();
}

void TMainForm::TimerTimer() {
  // Settings being edited are not settings yet: the next tick after the
  // dialog closes fetches with whatever it left.
  if (!configForm_->isVisible()) {
    const bool wasBusy = run_.IsBusy();
    run_.TimerTimer();
    FetchRequested(true, wasBusy);
  }
  ShowPolling();
}

void TMainForm::FetchRequested(bool automatic, bool wasBusy) {
  if (wasBusy || !run_.IsBusy()) return;
  automaticFetch_ = automatic;
  cancelAction_->setEnabled(true);
}

void TMainForm::ShowPolling() {
  status_->ShowNextFetch(timer_.isActive()
                             ? QDateTime::currentDateTime().addMSecs(timer_.remainingTime())
                             : QDateTime());
  tray_.SetPolling(timer_.isActive());
}

void TMainForm::ShowStatus(const std::string& text) { status_->ShowText(FromCp932(text)); }

void TMainForm::ShowMessage(const std::string& text) { ShowMessageBox(this, text); }

void TMainForm::ShowRunError(const std::string& text, const RunFailure& failure) {
  QString shown = FromCp932Lines(ShownSocketText(text));
  const std::string cause = FailureCauseLine(failure);
  if (!cause.empty()) shown += QStringLiteral("\n\n") + FromCp932(cause);
  ShowPlainMessageBox(this, shown);
}

void TMainForm::OpenSettings() { MenuConfigClick(); }

void TMainForm::TableChanged() { ScheduleTableRefresh(); }

void TMainForm::RunEnded(RunOutcome outcome) {
  cancelAction_->setEnabled(false);
  if (outcome == RunOutcome::failed) status_->ShowFailure(QDateTime::currentDateTime());
  if (outcome == RunOutcome::completed && automaticFetch_) {
    tray_.NotifyTaken(run_.Counts().taken);
  }
}

bool TMainForm::TrustCertificate(const CertificateQuestion& question) {
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
        const int shownRows = model_.rowCount();
        const bool followNewest = grid_->AtBottom();
        model_.TableChanged();
        const int arrived = model_.rowCount() - shownRows;
        if (arrived <= 0) return;
        if (followNewest) {
          grid_->ShowTableRow(table_.RowCount() - 1);
          return;
        }
        // Someone reading older rows keeps their place.
        rowsOutOfSight_ += arrived;
        status_->ShowNewRows(rowsOutOfSight_);
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
  CallShowingErrors(this, [this] { LoadSettingsAndPassword(*configForm_, programDir_); });
  // A stored interval that is no integer is reported, and start-up goes on
  // with the timer off: the data files must be loaded all the same, or the
  // next run would take every message again.
  Command(&TMainForm::ApplyPollingInterval);
  run_.LoadTable([this](const std::exception& error) { ShowErrorBox(this, error.what()); });
  model_.TableChanged();
  emit StartUpLoaded();
}

void TMainForm::ConfigConfirmed() {
  show();
  // Kept at once: a crash or a logout before the window closes must not
  // take the confirmed settings with it.
  CallShowingErrors(this, [this] { SaveSettingsAndPassword(*configForm_, programDir_); });
  Command(&TMainForm::ApplyPollingInterval);
}

void TMainForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (centred_) return;
  centred_ = true;
  if (!placeRestored_) CentreOnScreen(this);
}

void TMainForm::closeEvent(QCloseEvent* event) {
  // FormCloseQuery: a settings file that cannot be written keeps the window
  // open, so the user can make it writable and close again.
  try {
    SaveAtEnd();
    event->accept();
  } catch (const std::exception& error) {
    event->ignore();
    ShowErrorBox(this, error.what());
  }
}

void TMainForm::SaveAtEnd() {
  const std::string iniFile = FilePath(kSettingsFileName);
  SaveSettingsAndPassword(*configForm_, programDir_);
  const QRect place = geometry();
  SaveWindowLayout({place.x(), place.y(), place.width(), place.height(), grid_->ColumnWidths()},
                   iniFile);
}

std::string TMainForm::FilePath(std::string_view name) const {
  return programDir_ + std::string(name);
}

}  // namespace vexalo
