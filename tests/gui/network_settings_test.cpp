// SPDX-License-Identifier: Apache-2.0
// "Network settings..." of the selection dialog under Qt Test (offscreen), through real input
// against a simulated series R camera on loopback: a right click on the camera's row, the menu
// item, the typed fields, OK and the confirmation's buttons. Refused input is said in the dialog
// and nothing goes out; No sends nothing; Yes moves the camera, the main window's log says so
// and the list follows it to its new address; a window closed while the camera has not answered
// goes quietly.
#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTreeView>
#include <cstdlib>
#include <memory>

#include "device_list_model.h"
#include "discovery/dev_types.h"
#include "fake_lang_ui.h"
#include "i18n/str_res.h"
#include "i18n/str_resource.h"
#include "main_window.h"
#include "network_settings_dialog.h"
#include "platform/timing.h"
#include "select_dialog.h"
#include "support/r730_test_camera.h"
#include "support/temp_folder.h"
#include "util/tools.h"

using namespace camlift;
using namespace camlift::gui;

namespace {

constexpr const char* kPassword = "net-531642";

QString Address(int host) { return QString::fromStdString(test::ProcessLoopbackAddress(host)); }

constexpr std::uint8_t kMacLast = 0x32;
QString Mac() { return QString::fromStdString(test::ProcessMac(kMacLast)); }

// Log lines without their time stamp.
QStringList LogTexts(QPlainTextEdit* memo) {
  QStringList texts;
  static const QRegularExpression stamp(R"(^\d\d/\d\d/\d\d \d\d:\d\d:\d\d:)");
  for (const QString& line : memo->toPlainText().split('\n', Qt::SkipEmptyParts)) {
    const auto match = stamp.match(line);
    texts << (match.hasMatch() ? line.mid(match.capturedLength()) : "<no stamp> " + line);
  }
  return texts;
}

// Replaces a field's text as a user does: click, select all, type (or delete).
void Retype(QLineEdit* field, const QString& text) {
  QTest::mouseClick(field, Qt::LeftButton);
  QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
  if (text.isEmpty()) {
    QTest::keyClick(field, Qt::Key_Delete);
  } else {
    QTest::keyClicks(field, text);
  }
}

}  // namespace

class NetworkSettingsTest : public QObject {
  Q_OBJECT

 private:
  test::TTempFolder temp_;
  std::unique_ptr<TfrmStrRes> store_;
  test::TFakeLangUi ui_;
  std::unique_ptr<TfrmCamlift> window_;
  TfrmAdv_Main* dialog_ = nullptr;
  test::TR730TestCamera sim_{{.device_name = "porch",
                              .reboot_ms = 200,
                              .answers_search = true,
                              .password = kPassword,
                              .mac_last = kMacLast}};

  template <typename T>
  T* Find(QObject* parent, const char* name) {
    T* child = parent->findChild<T*>(name);
    if (!child) qFatal("no child %s", name);
    return child;
  }

  int sent_before_ = 0;

  int AllDatagrams() const { return static_cast<int>(sim_.Events("network-settings").size()); }
  // The settings datagrams the camera heard in this test.
  int Datagrams() const { return AllDatagrams() - sent_before_; }

  // The view's row of the camera with this DevID, -1 while it shows none.
  int RowOf(const QString& dev_id) {
    dialog_->SyncView();
    for (int row = 0; row < dialog_->Model()->rowCount(); ++row) {
      if (QString::fromStdString(dialog_->Model()->IdAt(row)) == dev_id) return row;
    }
    return -1;
  }

  QString ShownIp(const QString& dev_id) {
    const int row = RowOf(dev_id);
    return row < 0 ? QString() : dialog_->Model()->index(row, 2).data().toString();
  }

  // A right click on the row (the press selects it; the platform then sends the context menu
  // event), and the list's menu shows.
  bool RightClickRow(const QString& dev_id) {
    QTreeView* view = dialog_->ListView();
    const int row = RowOf(dev_id);
    if (row < 0) return false;
    const QPoint at = view->visualRect(dialog_->Model()->index(row, 0)).center();
    QTest::mouseClick(view->viewport(), Qt::RightButton, {}, at);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, view->viewport()->mapToGlobal(at));
    QApplication::sendEvent(view->viewport(), &event);
    return QTest::qWaitFor([&] { return dialog_->ListMenu()->isVisible(); }, 5000);
  }

  QAction* MenuItem() { return Find<QAction>(dialog_, "mnuNetSettings"); }

  // Right click on the camera's row, then a click on "Network settings...": the dialog shown.
  TfrmNetSettings* OpenSettings() {
    if (!RightClickRow(Mac())) return nullptr;
    QMenu* menu = dialog_->ListMenu();
    if (!MenuItem()->isEnabled()) return nullptr;
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(MenuItem()).center());
    TfrmNetSettings* shown = nullptr;
    (void)QTest::qWaitFor(
        [&] {
          for (auto* d : dialog_->findChildren<TfrmNetSettings*>()) {
            if (d->isVisible()) shown = d;
          }
          return shown != nullptr;
        },
        5000);
    return shown;
  }

  static void ClickOk(TfrmNetSettings* settings) {
    QTest::mouseClick(settings->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok),
                      Qt::LeftButton);
  }

  static QMessageBox* WaitForConfirmation(TfrmNetSettings* settings) {
    (void)QTest::qWaitFor(
        [&] { return settings->Confirmation() && settings->Confirmation()->isVisible(); }, 5000);
    return settings->Confirmation();
  }

 private slots:
  void initTestCase() {
    // The settings datagram carries the account: it never leaves loopback, with or without ctest.
    ::setenv("CAMLIFT_BROADCAST_ADDR", "127.255.255.255", 1);
    ::setenv("XDG_CONFIG_HOME", (temp_.path() + "config").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", (temp_.path() + "run").c_str(), 1);
    ::setenv("CAMLIFT_DATA_DIR", (temp_.path() + "data").c_str(), 1);
    ::setenv("LC_ALL", "C", 1);
    TTools::ForceDirs(temp_.path() + "run");
    // Search passes every 50 ms: a camera at its new address is listed there at once.
    SetTimeScaleForTesting(0.05);
    store_ = std::make_unique<TfrmStrRes>();
    SetLangUi(&ui_);
    window_ = std::make_unique<TfrmCamlift>();
    QVERIFY(window_->FormCreate());
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    // The account the settings carry is the one typed into the main window.
    Retype(Find<QLineEdit>(window_.get(), "edpwd"), kPassword);

    sim_.Start();

    dialog_ = window_->SelectDialog();
    dialog_->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog_));
    QTRY_VERIFY_WITH_TIMEOUT(RowOf(Mac()) >= 0, 20000);
  }

  void cleanupTestCase() {
    window_.reset();
    sim_.Stop();
    SetLangUi(nullptr);
  }

  void init() {
    window_->Log()->clear();
    sent_before_ = AllDatagrams();
  }

  void offeredOnlyForASeriesRCameraOfTheSearch() {
    struct Case {
      std::int32_t type;
      const char* id;
      bool enabled;
    };
    const Case cases[] = {
        {kType1010, "0a0b0c0d0e0f", false},  // series P: no settings datagram
        {kTypeManual, "manual:127.0.0.1:81", false},
        {kType8600, "", false},  // a reply without MAC
    };
    for (const Case& c : cases) {
      TDevInfo row;
      row.DevType = c.type;
      row.DevID = c.id;
      row.NormID = NormalizeID(row.DevID);
      row.IPAddr = "127.0.0.1";
      row.DevPort = 81;
      dialog_->List().OnRecord(row);
      QVERIFY2(RightClickRow(c.id), c.id);
      QCOMPARE(MenuItem()->isEnabled(), c.enabled);
      QTest::keyClick(dialog_->ListMenu(), Qt::Key_Escape);
      QTRY_VERIFY(!dialog_->ListMenu()->isVisible());
      dialog_->List().RemoveRow(dialog_->List().RowOf(c.id));
    }
    QVERIFY(RightClickRow(Mac()));
    QVERIFY(MenuItem()->isEnabled());
    QTest::keyClick(dialog_->ListMenu(), Qt::Key_Escape);
  }

  void fieldsStartWithTheCameraAndDhcpGreysTheAddresses() {
    TfrmNetSettings* settings = OpenSettings();
    QVERIFY(settings);
    QVERIFY(settings->windowTitle().contains(Mac()));
    const QString port = QString::number(sim_.Camera().http_port());
    QCOMPARE(Find<QLineEdit>(settings, "edIP")->text(), Address(1));
    QCOMPARE(Find<QLineEdit>(settings, "edMask")->text(), QString("255.0.0.0"));
    QCOMPARE(Find<QLineEdit>(settings, "edGateway")->text(), QString("127.0.0.1"));
    QCOMPARE(Find<QLineEdit>(settings, "edPort")->text(), port);
    auto* dhcp = Find<QCheckBox>(settings, "cbDHCP");
    QVERIFY(!dhcp->isChecked());
    QTest::mouseClick(dhcp, Qt::LeftButton, {}, QPoint(5, dhcp->height() / 2));
    for (const char* name : {"edIP", "edMask", "edGateway", "edDNS1", "edDNS2"}) {
      QVERIFY2(!Find<QLineEdit>(settings, name)->isEnabled(), name);
    }
    QVERIFY(Find<QLineEdit>(settings, "edPort")->isEnabled());
    QTest::mouseClick(dhcp, Qt::LeftButton, {}, QPoint(5, dhcp->height() / 2));
    QVERIFY(Find<QLineEdit>(settings, "edIP")->isEnabled());
    QTest::keyClick(settings, Qt::Key_Escape);
    QTRY_VERIFY(!settings->isVisible());
    QCOMPARE(Datagrams(), 0);
  }

  void refusedInputIsSaidInTheDialogAndNothingIsSent() {
    struct Case {
      const char* field;
      const char* typed;
      const char* reason;
    };
    const Case cases[] = {
        {"edIP", "127.0.0.256", "The IP address is not one a camera can have."},
        {"edIP", "", "The IP address is not one a camera can have."},
        {"edMask", "255.0.255.0", "The subnet mask is not valid."},
        {"edGateway", "10.0.0.1", "The gateway is not on the subnet of the IP address and mask."},
        {"edGateway", "gateway", "The gateway is not valid."},
        {"edDNS2", "8.8.8", "The DNS server address is not valid."},
        {"edPort", "0", "The port must be between 1 and 65535."},
        {"edPort", "65536", "The port must be between 1 and 65535."},
    };
    for (const Case& c : cases) {
      const QString what = QString("%1=%2").arg(c.field, c.typed);
      TfrmNetSettings* settings = OpenSettings();
      QVERIFY2(settings, qPrintable(what));
      Retype(Find<QLineEdit>(settings, c.field), c.typed);
      ClickOk(settings);
      QCOMPARE(settings->Problem()->text(), QString(c.reason));
      QVERIFY2(settings->Problem()->isVisible(), qPrintable(what));
      QVERIFY2(settings->isVisible(), qPrintable(what));  // kept open for a correction
      QVERIFY2(!settings->Confirmation(), qPrintable(what));
      QTest::mouseClick(settings->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel),
                        Qt::LeftButton);
      QTRY_VERIFY(!settings->isVisible());
    }
    QCOMPARE(Datagrams(), 0);
    QVERIFY(LogTexts(window_->Log()).isEmpty());
  }

  void noAtTheConfirmationSendsNothingAndYesMovesTheCamera() {
    const QString port = QString::number(sim_.Camera().http_port());
    const QString moved = Address(9);
    TfrmNetSettings* settings = OpenSettings();
    QVERIFY(settings);
    Retype(Find<QLineEdit>(settings, "edIP"), moved);
    ClickOk(settings);
    QMessageBox* box = WaitForConfirmation(settings);
    QVERIFY(box);
    QCOMPARE(box->text(),
             "Send new network settings to camera " + Mac() + " (now at " + Address(1) + ":" +
                 port + ")?\nNew address: " + moved + ":" + port +
                 "\n\nThe settings go out by broadcast with the account in them: every host on "
                 "this network segment can read the account.");
    QCOMPARE(box->button(QMessageBox::No)->text(), QString("&No"));
    QTest::mouseClick(box->button(QMessageBox::No), Qt::LeftButton);
    QTRY_VERIFY(!settings->Confirmation());
    QVERIFY(settings->isVisible());  // the user may correct and try again
    QCOMPARE(Datagrams(), 0);
    QVERIFY(LogTexts(window_->Log()).isEmpty());

    ClickOk(settings);
    box = WaitForConfirmation(settings);
    QVERIFY(box);
    QTest::mouseClick(box->button(QMessageBox::Yes), Qt::LeftButton);
    QTRY_VERIFY(!settings->isVisible());
    const QString taken = "Camera " + Mac() + " took the network settings: " + moved + ":" + port +
                          ". It restarts there; the camera list shows it at its new address once "
                          "it answers.";
    QTRY_VERIFY_WITH_TIMEOUT(LogTexts(window_->Log()).contains(taken), 20000);
    QCOMPARE(LogTexts(window_->Log()), (QStringList{"Sending network settings to camera " + Mac() +
                                                        ": " + moved + ":" + port + " ...",
                                                    taken}));
    QCOMPARE(Datagrams(), 1);
    // The camera answers the search from its new address: its row follows it there.
    QTRY_COMPARE_WITH_TIMEOUT(ShownIp(Mac()), moved, 20000);
    QCOMPARE(QString::fromStdString(sim_.State().Settings().netmask), QString("255.0.0.0"));
  }

  void aCameraThatDoesNotTakeThemIsSaidInTheLog() {
    Retype(Find<QLineEdit>(window_.get(), "edpwd"), "wrong");
    TfrmNetSettings* settings = OpenSettings();
    QVERIFY(settings);
    const QString where = Find<QLineEdit>(settings, "edIP")->text() + ":" +
                          Find<QLineEdit>(settings, "edPort")->text();
    ClickOk(settings);
    QMessageBox* box = WaitForConfirmation(settings);
    QVERIFY(box);
    QTest::mouseClick(box->button(QMessageBox::Yes), Qt::LeftButton);
    const QString refused = "Camera " + Mac() + " refused the network settings " + where +
                            ": a wrong account is the usual cause.";
    QTRY_VERIFY_WITH_TIMEOUT(LogTexts(window_->Log()).contains(refused), 20000);
    QCOMPARE(Datagrams(), 1);
    Retype(Find<QLineEdit>(window_.get(), "edpwd"), kPassword);
  }

  // Last: the window goes while the camera keeps silent.
  void closingTheWindowWhileTheCameraHasNotAnsweredGoesQuietly() {
    // The wait for the reply lasts 5 s unscaled: long enough, however busy the machine, for the
    // window to go while it runs.
    SetTimeScaleForTesting(1.0);
    sim::TR730SimBehaviour silent;
    silent.faults = {sim::TCameraFault::NetworkSettingsSilent};
    sim_.State().SetBehaviour(silent);
    TfrmNetSettings* settings = OpenSettings();
    QVERIFY(settings);
    ClickOk(settings);
    QMessageBox* box = WaitForConfirmation(settings);
    QVERIFY(box);
    QTest::mouseClick(box->button(QMessageBox::Yes), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(Datagrams(), 1, 20000);
    QVERIFY(dialog_->ChangingNetwork());
    // While it waits, the menu item is off: one change at a time.
    QVERIFY(RightClickRow(Mac()));
    QVERIFY(!MenuItem()->isEnabled());
    QTest::keyClick(dialog_->ListMenu(), Qt::Key_Escape);
    dialog_ = nullptr;
    window_.reset();
    // Anything left queued for the window would run now.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
  }
};

QTEST_MAIN(NetworkSettingsTest)
#include "network_settings_test.moc"
