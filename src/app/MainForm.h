#pragma once

#include <QMainWindow>
#include <QMenu>
#include <QString>
#include <QTimer>
#include <memory>
#include <string>

#include "app/ConfigForm.h"
#include "app/DataGrid.h"
#include "app/DataTableModel.h"
#include "app/FindBar.h"
#include "app/QtEventLoop.h"
#include "app/StatusBarPresenter.h"
#include "app/TrayNotifier.h"
#include "jconv/JisConv.h"
#include "pop3/Pop3Client.h"
#include "run/ProcessingRun.h"
#include "run/RunReporter.h"
#include "table/DataTable.h"
#include "table/FormulaGuard.h"

namespace vexalo {

// The main window: a panel of eight picture buttons, the menus, the grid over
// the data table and the status bar, the polling timer, and the settings
// dialog it opens. It owns the table and everything a processing run needs;
// the commands themselves delegate to the run, the data files and the
// settings store.
//
// Every file it names lives in `programDir` (with a trailing "/"): the
// program passes its data folder, tests a folder of their own. The manual is
// the program's, wherever it was installed.
//
// Settings and data files are loaded once, right after the first paint; the
// settings are saved when the settings dialog is confirmed and when the
// window is asked to close, and a failed save there keeps it open. The
// window's place and its columns' widths are read when it is created and
// saved with the settings at the end.
class TMainForm final : public QMainWindow, private RunReporter {
  Q_OBJECT

 public:
  explicit TMainForm(std::string programDir, QWidget* parent = nullptr);
  ~TMainForm() override;

  // Starts a processing run (the fetch command).
  void MenuProcessClick();
  // Stops a fetch that is under way (Esc); nothing when none is.
  void MenuCancelClick();
  // Copies the selected cells to the clipboard, as spreadsheets paste them.
  void MenuCopyClick();
  // Opens the find box under the grid.
  void MenuFindClick();
  // Selects every visible cell, the title row included.
  void MenuSelectAllClick();
  // Asks for a file name and saves the selected cells there as CSV.
  void MenuSaveAsCSVClick();
  // Hides this window and shows the settings dialog; returns at once.
  void MenuConfigClick();
  // Shows where the program keeps its files and how many rows it holds.
  void MenuInfoClick();
  // Opens the manual index.html in the browser; when no browser can be
  // started, a message box names the manual's file instead.
  void MenuShowDocClick();
  // Opens the project's web page, or the manual when the program knows of
  // none; when no browser can be started, a message box names the address.
  void MenuGoWebClick();
  // Shows the version message.
  void MenuAboutClick();
  // Sets the polling timer from the settings dialog's interval field.
  // Raises the "... は整数ではありません" error with the timer left as it was.
  void ApplyPollingInterval();
  // A tick of the polling timer: a fetch, unless a run is busy (or its error
  // box is open) or the settings dialog is open.
  void TimerTimer();

  TConfigForm& ConfigForm() { return *configForm_; }
  DataTable& Table() { return table_; }
  DataGrid& Grid() { return *grid_; }
  const QTimer& PollingTimer() const { return timer_; }
  const TPop3Client& Pop3Client() const { return pop3Client_; }
  const TProcessingRun& Run() const { return run_; }
  QString StatusText() const { return status_->Text(); }
  const StatusBarPresenter& Status() const { return *status_; }
  TrayNotifier& Tray() { return tray_; }
  FindBar& Find() { return *findBar_; }

 signals:
  // The start-up loads after the first paint are done (whatever failed has
  // been reported); the grid shows the loaded table from its next paint.
  void StartUpLoaded();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;
  // FormCloseQuery: saves the settings; a failed write keeps the window open.
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildPanel();
  void BuildMenus();
  QAction* AddCommand(QMenu* menu, const char* name, const QString& caption,
                      const QKeySequence& shortcut, void (TMainForm::*handler)());
  // Runs `handler` as a command: an error that escapes goes to the error box.
  void Command(void (TMainForm::*handler)());

  // FormPaint: the start-up steps, once, after the first paint.
  void FormPaint();
  void LoadAtStartUp();
  // After the settings dialog was confirmed.
  void ConfigConfirmed();

  // RunReporter: how the run speaks through this window.
  void ShowStatus(const std::string& text) override;
  void ShowMessage(const std::string& text) override;
  void ShowRunError(const std::string& text, const RunFailure& failure) override;
  void OpenSettings() override;
  void TableChanged() override;
  void RunEnded(RunOutcome outcome) override;
  bool TrustCertificate(const CertificateQuestion& question) override;

  // The grid catches up once the step that took the rows is over, once for
  // all the rows of that step. While its last row was in sight it scrolls to
  // show the new ones; otherwise it stays where the user is, and the status
  // bar counts the rows that arrived until the user scrolls to the bottom.
  void ScheduleTableRefresh();
  // After the fetch command or a tick asked the run to start.
  void FetchRequested(bool automatic, bool wasBusy);
  // The status bar's next-fetch field and the tray icon follow the timer.
  void ShowPolling();
  void FindNext(const QString& text);
  // How a save or a copy writes cells that start like a formula (CSV_GUARD).
  FormulaGuard CellGuard() const;
  void SaveAtEnd();

  std::string FilePath(std::string_view name) const;

  const std::string programDir_;
  bool firstPaint_ = true;
  bool centred_ = false;
  bool placeRestored_ = false;
  bool refreshPending_ = false;
  bool automaticFetch_ = false;  // the run under way was started by the timer
  int rowsOutOfSight_ = 0;       // arrived since the grid was last at its bottom

  DataTable table_;
  DataTableModel model_;
  QtEventLoop eventLoop_;
  TPop3Client pop3Client_;
  TJisConv jisConv_;
  QTimer timer_;
  // Declared before the run, which reads the settings from its controls.
  std::unique_ptr<TConfigForm> configForm_;
  TProcessingRun run_;

  TrayNotifier tray_;

  QWidget* panel_ = nullptr;
  DataGrid* grid_ = nullptr;
  FindBar* findBar_ = nullptr;
  std::unique_ptr<StatusBarPresenter> status_;
  QAction* cancelAction_ = nullptr;
  QString lastSavedFolder_;  // where the save dialog opens next time
};

}  // namespace vexalo
