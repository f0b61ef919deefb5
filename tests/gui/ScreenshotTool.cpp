// Takes the pictures under docs/screenshots: the main window with a few
// Japanese orders loaded, in the file's order and sorted, each page of the
// settings dialog (the connection page also set for OAuth 2.0) and the dialog
// refusing a port, the save dialog, the error box of a refused connection and
// of a plain connection that met TLS, the status bar at the default size with
// a long summary, and the tray notice. Meant to run on a real X server with
// real fonts and a system tray, e.g.
//   xvfb-run -a sh -c 'wmdocker & sleep 1; build/dev/bin/vexalo-screenshots docs/screenshots'
// Without a tray the notice is left out.
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QMessageBox>
#include <QScreen>
#include <QSignalSpy>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include "MainFormFixture.h"
#include "ScriptedPop3Peer.h"
#include "app/ElidingLabel.h"
#include "app/QtEventLoop.h"
#include "app/QtTranslations.h"
#include "auth/OAuthGrant.h"
#include "auth/SecretStore.h"
#include "jconv/Cp932Codec.h"

namespace {

constexpr char kTitles[] =
    ",,品名,数量,住所（〒）,住所（県名）,住所（その他）,電話番号,配達指定\r\n";
constexpr char kOrders[] =
    "2024/05/01 9:12:05,a1001,薄口しょうゆ,11,222-2222,神奈川,横浜市中区港町9-99,045-000-0000,"
    "夜間\r\n"
    "2024/05/01 9:12:05,a1002,濃口しょうゆ,3,150-0001,東京,渋谷区神宮前1-2-3,03-0000-1111,"
    "午前中\r\n"
    "2024/05/02 13:40:21,a1003,米みそ,2,530-0001,大阪,北区梅田4-5-6,06-0000-2222,指定なし\r\n"
    "2024/05/03 8:05:47,a1004,本みりん,6,812-0011,福岡,博多区博多駅前7-8,092-000-3333,夜間\r\n"
    "2024/05/03 8:05:47,a1005,穀物酢,1,060-0001,北海道,札幌市中央区北一条西9,011-000-4444,"
    "午後\r\n";
constexpr char kSettings[] =
    "[POP3]\r\nHOST=pop.example.jp\r\nPORT=110\r\nUSERNAME=orders\r\nPASSWORD=\r\n"
    "[MAIL]\r\nDELETE=1\r\nHEADER_TOKEN=X-VEXALO: default\r\nSPLIT_TOKEN=:\r\nINTERVAL=10\r\n";

bool SavePicture(const QPixmap& picture, const QDir& into, const char* name) {
  const QString path = into.filePath(QString::fromLatin1(name));
  if (!picture.save(path)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
  }
  std::printf("%s\n", qPrintable(path));
  return true;
}

bool Save(QWidget& window, const QDir& into, const char* name) {
  QTest::qWait(200);  // let the window settle at its final size and fonts
  return SavePicture(window.grab(), into, name);
}

// Runs `open`, which shows a modal dialog of type T and returns once it is
// closed; the dialog is pictured (with the screen around `behind` as well,
// when given) and then closed by `close`.
template <typename T>
bool SaveModal(const std::function<void()>& open, const std::function<void(T&)>& close,
               const QDir& into, const char* name, QWidget* behind = nullptr) {
  bool saved = false;
  QTimer poll;
  poll.setInterval(300);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      auto* dialog = qobject_cast<T*>(widget);
      if (dialog == nullptr || !dialog->isVisible()) continue;
      poll.stop();
      if (behind != nullptr) {
        // Below the window, so that the field it speaks of shows too.
        dialog->move(behind->frameGeometry().left(), behind->frameGeometry().bottom() + 8);
        QTest::qWait(300);
        const QRect around = behind->frameGeometry().united(dialog->frameGeometry());
        saved =
            SavePicture(QGuiApplication::primaryScreen()->grabWindow(0).copy(around), into, name);
      } else {
        saved = SavePicture(dialog->grab(), into, name);
      }
      close(*dialog);
      return;
    }
  });
  poll.start();
  open();
  return saved;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  vexalo::InstallJapaneseQtTexts(app);
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <folder for the pictures>\n", argv[0]);
    return 2;
  }
  const QDir into(QString::fromLocal8Bit(argv[1]));
  vexalo::ProgramFolder folder;
  folder.Write("FirstRow.csv", vexalo::Utf8ToCp932(kTitles));
  folder.Write("AllData.csv", vexalo::Utf8ToCp932(kOrders));
  folder.Write("Vexalo.ini", kSettings);

  auto form = folder.StartMainForm();
  if (!form) return 1;
  form->ConfigForm().SetPassWordText("secret");
  form->statusBar()
      ->findChild<QLabel*>(QStringLiteral("StatusText"))
      ->setText(QStringLiteral(
          "受信完了しました。総メール数：7　受信対象新規メール数：5　合計累積データ数：5"));
  form->Grid().setCurrentIndex(form->Grid().model()->index(1, 2));
  bool saved = Save(*form, into, "main-window.png");
  // Sorted by quantity, largest first, as two clicks on its title leave it.
  form->Grid().horizontalHeader()->setSortIndicator(3, Qt::DescendingOrder);
  saved = Save(*form, into, "main-window-sorted.png") && saved;
  form->Grid().horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);

  vexalo::TConfigForm& settings = form->ConfigForm();
  form->MenuConfigClick();
  if (!QTest::qWaitForWindowExposed(&settings)) return 1;
  saved = Save(settings, into, "settings-connection.png") && saved;
  // The same page set for Microsoft 365, after a sign-in (the grant in the
  // folder's file: no keyring is asked while the picture is drawn).
  unsetenv("DBUS_SESSION_BUS_ADDRESS");
  vexalo::OAuthGrant grant;
  grant.refreshToken = "rt-picture";
  grant.account = "orders@example.co.jp";
  grant.signedInAt = QDateTime(QDate(2026, 12, 10), QTime(9, 30)).toSecsSinceEpoch();
  vexalo::MakeFileSecretStore(folder.FilePath(vexalo::kGrantFileName))
      ->Save(vexalo::SerializeGrant(grant));
  settings.SetUserNameText("orders@example.co.jp");
  settings.SetAuthText("1");
  settings.SecurityBox->setCurrentIndex(1);  // SSL/TLS: a token never goes in the clear
  settings.SetOAuthClientIdText("3f2a9c1e-7d4b-4e0a-9b8c-2d1f0e6a5b4c");
  settings.hide();
  settings.show();
  if (!QTest::qWaitForWindowExposed(&settings)) return 1;
  saved = Save(settings, into, "settings-oauth.png") && saved;
  settings.SetAuthText("0");
  settings.SecurityBox->setCurrentIndex(0);
  settings.SetUserNameText("");
  settings.PageControl->setCurrentWidget(settings.MailTab);
  saved = Save(settings, into, "settings-mail.png") && saved;
  // A port typed with a letter O: refused on confirming, naming the field.
  settings.PageControl->setCurrentWidget(settings.MailTab);
  settings.PortEdit->setText(QStringLiteral("11O"));
  saved = SaveModal<QMessageBox>([&] { settings.OkBtnClick(); },
                                 [](QMessageBox& box) { box.done(QMessageBox::Ok); }, into,
                                 "settings-port-refused.png", &settings) &&
          saved;
  settings.PortEdit->setText(QStringLiteral("110"));
  settings.OkBtnClick();

  // The whole table selected: one cell would first ask whether it was meant.
  form->MenuSelectAllClick();
  saved = SaveModal<QFileDialog>([&] { form->MenuSaveAsCSVClick(); },
                                 [](QFileDialog& dialog) { dialog.reject(); }, into,
                                 "save-dialog.png") &&
          saved;
  form->Grid().setCurrentIndex(form->Grid().model()->index(1, 2));

  // A fetch against a port where nobody listens: the refused connection's box.
  settings.SetHostText("127.0.0.1");
  settings.SetPortText(vexalo::ClosedLoopbackPort());
  saved = SaveModal<QMessageBox>(
              [&] {
                form->MenuProcessClick();
                QTest::qWait(2000);  // the box comes from the loop, after the refusal
              },
              [](QMessageBox& box) { box.done(QMessageBox::Ok); }, into, "error-box.png") &&
          saved;

  // A plain connection whose server starts TLS: the box points at the
  // encryption setting.
  vexalo::QtEventLoop loop;
  vexalo::ScriptedPop3Peer tlsPeer(
      loop, {vexalo::script::Send(std::string("\x16\x03\x01\x00\x2a\x02\x00\x00\x26", 9))});
  settings.SetPortText(tlsPeer.PortText());
  saved = SaveModal<QMessageBox>(
              [&] {
                form->MenuProcessClick();
                QTest::qWait(2000);
              },
              [](QMessageBox& box) { box.done(QMessageBox::Ok); }, into, "tls-hint-box.png") &&
          saved;

  // The window at its default size after a run with much to say: the counts
  // stay whole, the rest is cut with "…", the next automatic fetch beside it.
  form->resize(860, 360);
  form->findChild<vexalo::ElidingLabel*>(QStringLiteral("StatusText"))
      ->SetFullText(QStringLiteral(
          "受信完了しました。総メール数：358　受信対象新規メール数：358　合計累積データ数：2000"
          "　サーバから受信できなかったメール：2件（17番：-ERR message locked、18番：-ERR "
          "message locked）　値のない注文：3件"));
  saved = Save(*form, into, "status-bar-long-summary.png") && saved;

  if (form->Tray().IconShown()) {
    QTest::qWait(500);
    form->Tray().NotifyTaken(3);
    QTest::qWait(1500);  // the notice appears near the tray
    // The notice sits by the tray, away from the window: the picture takes
    // in the screen around both.
    const QRect around = form->frameGeometry().united(QRect(0, 0, 1, 1)).adjusted(0, 0, 10, 10);
    saved = SavePicture(QGuiApplication::primaryScreen()->grabWindow(0).copy(around), into,
                        "tray-notice.png") &&
            saved;
  } else {
    std::fprintf(stderr, "no system tray: the tray notice is not pictured\n");
  }
  return saved ? 0 : 1;
}
