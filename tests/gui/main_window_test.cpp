// SPDX-License-Identifier: Apache-2.0
// The main window and the selection dialog under Qt Test (offscreen): field checks, the log,
// the upgrading state, the language chooser, and a whole upgrade of a simulated camera.
#include "main_window.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QSet>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <thread>

#include "fake_lang_ui.h"
#include "fleet/history.h"
#include "history_dialog.h"
#include "i18n/str_res.h"
#include "i18n/str_resource.h"
#include "options_dialog.h"
#include "platform/timing.h"
#include "qt_lang_ui.h"
#include "repository/repository_url.h"
#include "select_dialog.h"
#include "sim_camera.h"
#include "sim_repository.h"
#include "sim_scenario.h"
#include "standard_texts.h"
#include "support/fake_logind.h"
#include "support/process.h"
#include "support/temp_folder.h"
#include "util/ini_file.h"
#include "util/tools.h"

using namespace camlift;
using namespace camlift::gui;

namespace {

using test::TFakeLangUi;

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

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private:
  test::TTempFolder temp_;
  std::unique_ptr<TfrmStrRes> store_;
  TFakeLangUi ui_;
  std::unique_ptr<TfrmCamlift> window_;

  template <typename T>
  T* Find(const char* name) {
    T* child = window_->findChild<T*>(name);
    if (!child) qFatal("no child %s", name);
    return child;
  }

  void NewWindow() {
    window_.reset();
    window_ = std::make_unique<TfrmCamlift>();
    QVERIFY(window_->FormCreate());
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
  }

 private slots:
  void initTestCase() {
    ::setenv("XDG_CONFIG_HOME", (temp_.path() + "config").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", (temp_.path() + "run").c_str(), 1);
    ::setenv("CAMLIFT_DATA_DIR", (temp_.path() + "data").c_str(), 1);
    ::setenv("LC_ALL", "C", 1);
    TTools::ForceDirs(temp_.path() + "run");
    // Search passes every 50 ms: rows live half a second without a reply.
    SetTimeScaleForTesting(0.05);
    store_ = std::make_unique<TfrmStrRes>();
    SetLangUi(&ui_);
    NewWindow();
  }

  void cleanupTestCase() {
    window_.reset();
    SetLangUi(nullptr);
  }

  void init() {
    Find<QPlainTextEdit>("Memo1")->clear();
    ui_.texts.clear();
  }

  // A test that failed half-way leaves no upgrade running for the next one.
  void cleanup() {
    if (window_ && window_->Upgrading()) {
      window_->RequestCancel();
      QTRY_VERIFY_WITH_TIMEOUT(!window_->Upgrading(), 30000);
    }
    ::unsetenv("CAMLIFT_REPOSITORY_URL");
    SetTimeScaleForTesting(0.05);
  }

  void startsInEnglishWithTheDefaults() {
    QCOMPARE(window_->windowTitle(), QString("The upgrade software for IP Cam, Version1.1"));
    QCOMPARE(Find<QComboBox>("cmbMType")->currentIndex(), 2);
    QVERIFY(Find<QComboBox>("cmbMType")->isVisible());  // the series is shown
    QVERIFY(!Find<QPushButton>("btnUpgrdUIByIP")->isVisible());
    QCOMPARE(Find<QLineEdit>("edPort")->text(), QString("81"));
    QCOMPARE(Find<QLineEdit>("edpwd")->echoMode(), QLineEdit::Password);
    QVERIFY(Find<QPlainTextEdit>("Memo1")->isReadOnly());
    // The start wrote the language into the user's options file.
    const TIniFile options(temp_.path() + "config/" +
                           std::filesystem::path(TTools::ModuleFileName()).filename().string() +
                           "/option.ini");
    QCOMPARE(QString::fromStdString(options.ReadString("Global", "lan", "")), QString("en"));
  }

  void fieldChecksLogTheFirstFailureAndMoveTheFocus() {
    struct Case {
      const char* account;
      const char* ip;
      const char* port;
      const char* expected;  // log text, empty: the upgrade would start
      const char* focus;
    };
    const Case cases[] = {
        {"admin", "127.0.0.1", "0", "Please input a valid port.", "edPort"},
        {"admin", "127.0.0.1", "", "Please input a valid port.", "edPort"},
        {"admin", "127.0.0.1", "abc", "Please input a valid port.", "edPort"},
        {"   ", "", "0", "User cannot by empty!", "edAcc"},
        {"admin", "  ", "81", "The IP address cannot be empty!", "edIP"},
    };
    window_->activateWindow();
    for (const Case& c : cases) {
      Find<QPlainTextEdit>("Memo1")->clear();
      Find<QLineEdit>("edAcc")->setText(c.account);
      Find<QLineEdit>("edIP")->setText(c.ip);
      Find<QLineEdit>("edPort")->setText(c.port);
      QApplication::setActiveWindow(window_.get());
      window_->btnUpgrdSysByIPClick();
      QCOMPARE(LogTexts(Find<QPlainTextEdit>("Memo1")), QStringList{c.expected});
      QCOMPARE(QApplication::focusWidget(), Find<QWidget>(c.focus));
      QVERIFY(!window_->Upgrading());
    }
    Find<QComboBox>("cmbMType")->setCurrentIndex(-1);
    Find<QPlainTextEdit>("Memo1")->clear();
    window_->btnUpgrdSysByIPClick();
    QCOMPARE(LogTexts(Find<QPlainTextEdit>("Memo1")), QStringList{"Please choose device type!"});
    Find<QComboBox>("cmbMType")->setCurrentIndex(2);
  }

  void logLinesCarryDateTimeAndColon() {
    window_->AddLog("hello");
    const QString line = Find<QPlainTextEdit>("Memo1")->toPlainText();
    QVERIFY2(QRegularExpression(R"(^\d\d/\d\d/\d\d \d\d:\d\d:\d\d:hello$)").match(line).hasMatch(),
             qPrintable(line));
  }

  void savingAnEmptyLogOpensNoDialogAndAFullOneIsWritten() {
    int asked = 0;
    const QString path = QString::fromStdString(temp_.path() + "log.txt");
    window_->SetSaveFileChooser([&] {
      ++asked;
      return path;
    });
    window_->N2Click();
    QCOMPARE(asked, 0);
    window_->AddLog("one");
    window_->AddLog("two");
    window_->N2Click();
    QCOMPARE(asked, 1);
    const std::string saved = test::ReadFile(path.toStdString());
    QCOMPARE(std::count(saved.begin(), saved.end(), '\n'), 2);
    QVERIFY(saved.find(":one\r\n") != std::string::npos);
    QVERIFY(saved.find(":two\r\n") != std::string::npos);
    // A file that cannot be written is reported in the log, not passed over.
    window_->SetSaveFileChooser(
        [&] { return QString::fromStdString(temp_.path() + "no/such/dir/x.txt"); });
    window_->N2Click();
    QVERIFY(LogTexts(Find<QPlainTextEdit>("Memo1")).last().contains("no/such/dir"));
    window_->N1Click();
    QVERIFY(Find<QPlainTextEdit>("Memo1")->toPlainText().isEmpty());
  }

  void languageSwitchRelocalisesAndIsStored() {
    QComboBox* languages = Find<QComboBox>("cmbLan");
    QCOMPARE(languages->count(), 3);
    const std::string options_path =
        temp_.path() + "config/" +
        std::filesystem::path(TTools::ModuleFileName()).filename().string() + "/option.ini";
    int chinese = -1;
    for (int i = 0; i < languages->count(); ++i) {
      if (languages->itemText(i).contains(QString::fromUtf8("简体"))) chinese = i;
    }
    QVERIFY(chinese >= 0);
    Find<QComboBox>("cmbMType")->setCurrentIndex(0);
    languages->setCurrentIndex(chinese);
    QCOMPARE(QString::fromStdString(CurrentLanguage()), QString("cn"));
    QCOMPARE(Find<QComboBox>("cmbMType")->currentIndex(), 0);  // the chosen series stays
    QVERIFY(window_->windowTitle() != QString("The upgrade software for IP Cam, Version1.1"));
    QCOMPARE(QString::fromStdString(TIniFile(options_path).ReadString("Global", "lan", "")),
             QString("cn"));
    int english = -1;
    for (int i = 0; i < languages->count(); ++i) {
      if (languages->itemText(i).contains("English")) english = i;
    }
    QVERIFY(english >= 0);
    languages->setCurrentIndex(english);
    QCOMPARE(QString::fromStdString(CurrentLanguage()), QString("en"));
    QCOMPARE(window_->windowTitle(), QString("The upgrade software for IP Cam, Version1.1"));
    QCOMPARE(QString::fromStdString(TIniFile(options_path).ReadString("Global", "lan", "")),
             QString("en"));
    QCOMPARE(Find<QComboBox>("cmbMType")->currentIndex(), 0);
    Find<QComboBox>("cmbMType")->setCurrentIndex(2);
  }

  void selectionDialogResults() {
    TfrmAdv_Main* dialog = window_->SelectDialog();
    QVERIFY(dialog);
    dialog->List().ClearList();
    // No row: OK answers Cancel with empty values.
    dialog->btnOKClick();
    QCOMPARE(dialog->result(), kModalCancel);
    QCOMPARE(dialog->nTYpe, -1);
    QCOMPARE(dialog->nPort, 0);
    TDevInfo r;
    r.DevType = 9;
    r.DevID = "00:11:22:33:44:55";
    r.IPAddr = "127.0.0.9";
    r.DevPort = 8081;
    r.DevName = "Yard";
    dialog->List().OnRecord(r);
    dialog->SyncView();
    QCOMPARE(dialog->ListView()->model()->rowCount(), 1);
    QCOMPARE(dialog->ListView()->model()->index(0, 2).data().toString(), QString("127.0.0.9"));
    dialog->btnOKClick();
    QCOMPARE(dialog->result(), kModalOk);
    QCOMPARE(QString::fromStdString(dialog->szIP), QString("127.0.0.9"));
    QCOMPARE(dialog->nPort, 8081);
    QCOMPARE(dialog->nTYpe, 3);
    dialog->List().ClearList();
  }

  void selectionDialogFindsSimulatedCamerasAndFillsTheFields() {
    // Cameras answering the 1010 and 8600 searches on loopback (the window's own search holds
    // the MO_I port 10000 of this host, so a series M camera here could not answer).
    auto recorder = std::make_shared<sim::TSimRecorder>();
    std::vector<std::unique_ptr<sim::TSimCamera>> cameras;
    int host = 1;
    for (sim::TSimSeries series : {sim::TSimSeries::P, sim::TSimSeries::R}) {
      sim::TCameraConfig config;
      config.series = series;
      config.ip = "127.0." + std::to_string(200 + static_cast<int>(::getpid() % 50)) + "." +
                  std::to_string(host);
      config.port = 0;
      config.upload_port = 0;
      config.mac = "02:00:00:00:00:0" + std::to_string(host);
      config.device_name = "cam" + std::to_string(host);
      ++host;
      cameras.push_back(
          std::make_unique<sim::TSimCamera>(config, recorder, sim::BuiltInCameraExtensions()));
      cameras.back()->Start();
    }
    TfrmAdv_Main* dialog = window_->SelectDialog();
    dialog->List().ClearList();
    auto found = [&](const sim::TSimCamera& camera) {
      for (const TDevInfo& row : dialog->List().Rows()) {
        if (row.IPAddr == camera.config().ip) return true;
      }
      return false;
    };
    // The dialog searches once a second in the background, hidden.
    QTRY_VERIFY_WITH_TIMEOUT(found(*cameras[0]) && found(*cameras[1]), 15000);
    QVERIFY(!dialog->isVisible());
    // Pick the series R camera and hand it to the main window.
    for (std::size_t i = 0; i < dialog->List().Rows().size(); ++i) {
      if (dialog->List().Rows()[i].IPAddr == cameras[1]->config().ip) {
        dialog->List().Select(static_cast<int>(i));
      }
    }
    QTimer::singleShot(0, dialog, [dialog] { dialog->btnOKClick(); });
    window_->btnFindCamClick();
    QCOMPARE(Find<QLineEdit>("edIP")->text(), QString::fromStdString(cameras[1]->config().ip));
    QCOMPARE(Find<QComboBox>("cmbMType")->currentIndex(), 3);
    QVERIFY(!dialog->isVisible());
    // Cancel leaves the fields as they are.
    Find<QLineEdit>("edIP")->setText("127.0.0.1");
    QTimer::singleShot(0, dialog, [dialog] { dialog->reject(); });
    window_->btnFindCamClick();
    QCOMPARE(Find<QLineEdit>("edIP")->text(), QString("127.0.0.1"));
    Find<QComboBox>("cmbMType")->setCurrentIndex(2);
    for (auto& camera : cameras) camera->Stop();
  }

  void closeIsRefusedAndClicksAreSwallowedWhileUpgrading() {
    // A camera that accepts and never answers keeps the worker busy for the read time-out.
    sim::TCameraConfig config;
    config.ip = "127.0.0.1";
    config.port = 0;
    config.faults = {sim::TCameraFault::NeverAnswers};
    sim::TSimCamera camera(config, std::make_shared<sim::TSimRecorder>());
    camera.Start();
    SetTimeScaleForTesting(0.1);  // 2 s for the camera page read
    ::setenv("CAMLIFT_REPOSITORY_URL", "http://127.0.0.1:1/FM/", 1);
    Find<QLineEdit>("edAcc")->setText("admin");
    Find<QLineEdit>("edIP")->setText("127.0.0.1");
    Find<QLineEdit>("edPort")->setText(QString::number(camera.http_port()));
    QSignalSpy finished(window_.get(), &TfrmCamlift::upgradeFinished);
    window_->btnUpgrdSysByIPClick();
    QVERIFY(window_->Upgrading());
    QVERIFY(!Find<QPushButton>("btnUpgrdSysByIP")->isEnabled());
    QVERIFY(!window_->close());
    QVERIFY(window_->isVisible());
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(window_.get(), &enter);
    QVERIFY(window_->MouseInside());
    QSignalSpy clicked(Find<QPushButton>("btnFindCam"), &QPushButton::clicked);
    QTest::mouseClick(Find<QPushButton>("btnFindCam"), Qt::LeftButton);
    QCOMPARE(clicked.count(), 0);
    QVERIFY(!window_->SelectDialog()->isVisible());
    QCOMPARE(ui_.texts.size(), std::size_t{2});
    QCOMPARE(QString::fromStdString(ui_.texts[0]),
             QString("INFORMATION: upgrading firmware, please wait."));
    QVERIFY(finished.wait(20000));
    QVERIFY(!window_->Upgrading());
    QVERIFY(Find<QPushButton>("btnUpgrdSysByIP")->isEnabled());
    QCOMPARE(LogTexts(Find<QPlainTextEdit>("Memo1")).last(),
             QString("IP Cam cannot be accessed, please check the device to make sure it work "
                     "correctly."));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(window_.get(), &leave);
    SetTimeScaleForTesting(0.05);
    ::unsetenv("CAMLIFT_REPOSITORY_URL");
    camera.Stop();
  }

  // While an upgrade runs, the status bar's Cancel and progress bar take clicks; the rest of the
  // window stays guarded.
  void cancelTakesClicksWhileUpgrading() {
    sim::TCameraConfig config;
    config.ip = "127.0.0.1";
    config.port = 0;
    config.faults = {sim::TCameraFault::NeverAnswers};
    sim::TSimCamera camera(config, std::make_shared<sim::TSimRecorder>());
    camera.Start();
    SetTimeScaleForTesting(0.1);
    ::setenv("CAMLIFT_REPOSITORY_URL", "http://127.0.0.1:1/FM/", 1);
    Find<QLineEdit>("edAcc")->setText("admin");
    Find<QLineEdit>("edIP")->setText("127.0.0.1");
    Find<QLineEdit>("edPort")->setText(QString::number(camera.http_port()));
    QSignalSpy finished(window_.get(), &TfrmCamlift::upgradeFinished);
    QTest::mouseClick(Find<QPushButton>("btnUpgrdSysByIP"), Qt::LeftButton);
    QVERIFY(window_->Upgrading());
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(window_.get(), &enter);
    QTest::mouseClick(Find<QProgressBar>("pbProgress"), Qt::LeftButton);
    QSignalSpy cancelled(Find<QPushButton>("btnCancelUpgrade"), &QPushButton::clicked);
    QTest::mouseClick(Find<QPushButton>("btnCancelUpgrade"), Qt::LeftButton);
    QCOMPARE(cancelled.count(), 1);
    QVERIFY2(ui_.texts.empty(), ui_.texts.empty() ? "" : ui_.texts[0].c_str());  // no box
    QVERIFY(!Find<QPushButton>("btnCancelUpgrade")->isEnabled());
    QVERIFY(LogTexts(Find<QPlainTextEdit>("Memo1"))
                .contains("Stopping the upgrade where it can safely stop..."));
    QTest::mouseClick(Find<QPushButton>("btnFindCam"), Qt::LeftButton);
    QCOMPARE(ui_.texts.size(), std::size_t{1});  // the rest is still guarded
    QVERIFY(finished.wait(20000));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(window_.get(), &leave);
    SetTimeScaleForTesting(0.05);
    ::unsetenv("CAMLIFT_REPOSITORY_URL");
    camera.Stop();
  }

  // While an upgrade runs the keyboard reaches Cancel only: Space on Cancel stops the upgrade;
  // Tab on to another control and Return there, or a mnemonic such as Alt+O, is guarded.
  void onlyCancelTakesKeysWhileUpgrading() {
    sim::TCameraConfig config;
    config.ip = "127.0.0.1";
    config.port = 0;
    config.faults = {sim::TCameraFault::NeverAnswers};
    sim::TSimCamera camera(config, std::make_shared<sim::TSimRecorder>());
    camera.Start();
    SetTimeScaleForTesting(0.1);
    ::setenv("CAMLIFT_REPOSITORY_URL", "http://127.0.0.1:1/FM/", 1);
    Find<QLineEdit>("edAcc")->setText("admin");
    Find<QLineEdit>("edIP")->setText("127.0.0.1");
    Find<QLineEdit>("edPort")->setText(QString::number(camera.http_port()));
    QSignalSpy finished(window_.get(), &TfrmCamlift::upgradeFinished);
    QTest::mouseClick(Find<QPushButton>("btnUpgrdSysByIP"), Qt::LeftButton);
    QVERIFY(window_->Upgrading());
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(window_.get(), &enter);
    window_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    // The hidden selection dialog may still hold the application's focus; keys and mnemonics
    // must go to this window.
    window_->SelectDialog()->hide();
    QApplication::setActiveWindow(window_.get());
    QCOMPARE(QApplication::activeWindow(), static_cast<QWidget*>(window_.get()));
    auto* cancel = Find<QPushButton>("btnCancelUpgrade");
    cancel->setFocus();
    QTest::keyClick(cancel, Qt::Key_Tab);
    QWidget* next = window_->focusWidget();
    QVERIFY(next && next != cancel);
    QSignalSpy find_clicked(Find<QPushButton>("btnFindCam"), &QPushButton::clicked);
    QTest::keyClick(next, Qt::Key_Return);
    QTest::keyClick(next, Qt::Key_Space);
    Find<QPushButton>("btnFindCam")->setFocus();
    QTest::keyClick(Find<QPushButton>("btnFindCam"), Qt::Key_Space);
    // Should the guard let Alt+O open the Options dialog, it is noted and closed again.
    bool options_opened = false;
    QTimer::singleShot(200, window_.get(), [&] {
      if (window_->OptionsDialog() && window_->OptionsDialog()->isVisible()) {
        options_opened = true;
        window_->OptionsDialog()->reject();
      }
    });
    QTest::keyClick(Find<QPushButton>("btnFindCam"), Qt::Key_O, Qt::AltModifier);
    QTest::qWait(300);
    QVERIFY(!options_opened);
    QCOMPARE(find_clicked.count(), 0);
    QVERIFY(!window_->SelectDialog()->isVisible());
    QVERIFY(!ui_.texts.empty());  // each said "upgrading firmware, please wait."
    QCOMPARE(QString::fromStdString(ui_.texts.back()),
             QString("INFORMATION: upgrading firmware, please wait."));
    QVERIFY(window_->Upgrading());
    ui_.texts.clear();
    cancel->setFocus();
    QSignalSpy cancelled(cancel, &QPushButton::clicked);
    QTest::keyClick(cancel, Qt::Key_Space);
    QCOMPARE(cancelled.count(), 1);
    QVERIFY(ui_.texts.empty());
    QVERIFY(finished.wait(20000));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(window_.get(), &leave);
    SetTimeScaleForTesting(0.05);
    ::unsetenv("CAMLIFT_REPOSITORY_URL");
    camera.Stop();
  }

  // Without a repository the window says where to set one; the Options dialog checks the
  // address, tests it in the background and stores it.
  void optionsDialogSetsAndTestsTheRepository() {
    ::unsetenv("CAMLIFT_REPOSITORY_URL");
    Find<QLineEdit>("edAcc")->setText("admin");
    Find<QLineEdit>("edIP")->setText("127.0.0.1");
    Find<QLineEdit>("edPort")->setText("81");
    QTest::mouseClick(Find<QPushButton>("btnUpgrdSysByIP"), Qt::LeftButton);
    QVERIFY(!window_->Upgrading());
    QCOMPARE(LogTexts(Find<QPlainTextEdit>("Memo1")),
             QStringList{"No firmware repository address is configured. Press Options... beside "
                         "the language chooser and enter the repository address."});
    QCOMPARE(Find<QPushButton>("btnOptions")->text(), QString("&Options..."));

    test::TTempFolder repo;
    TTools::ForceDirs(repo.path() + "system");
    test::WriteFile(repo.path() + "system/firmware.txt",
                    "[P100]\r\nSysVer=1\r\n[M1]\r\nSysVer=2\r\n");
    sim::TRepoConfig repo_config;
    repo_config.root = repo.path();
    sim::TSimRepository repository(repo_config, std::make_shared<sim::TSimRecorder>());
    repository.Start();

    QStringList results;
    QTimer::singleShot(0, window_.get(), [&] {
      TfrmOptions* options = window_->OptionsDialog();
      // Whatever fails below, the dialog closes, so the test ends instead of waiting.
      const auto close = qScopeGuard([options] {
        if (options && options->isVisible()) options->reject();
      });
      QVERIFY(options && options->isVisible());
      auto* field = options->findChild<QLineEdit*>("edRepository");
      auto* test = options->findChild<QPushButton*>("btnTest");
      auto* result = options->findChild<QLabel*>("lblTestResult");
      QCOMPARE(options->focusWidget(), static_cast<QWidget*>(field));
      QTest::keyClicks(field, "ftp://firmware.example/");
      QTest::mouseClick(test, Qt::LeftButton);
      results << result->text();
      QTest::mouseClick(options->findChild<QPushButton*>("btnOK"), Qt::LeftButton);
      QVERIFY(options->isVisible());  // an invalid address is not taken
      field->selectAll();
      QTest::keyClicks(field, QString::fromStdString(repository.BaseUrl()));
      QTest::mouseClick(test, Qt::LeftButton);
      QSignalSpy done(options, &TfrmOptions::testFinished);
      QVERIFY(done.wait(10000));
      results << result->text();
      QTest::keyClick(field, Qt::Key_Return);  // OK is the default button
    });
    QTest::mouseClick(Find<QPushButton>("btnOptions"), Qt::LeftButton);
    QCOMPARE(results.size(), 2);
    QVERIFY2(results[0].startsWith("The repository address must begin with http://"),
             qPrintable(results[0]));
    QCOMPARE(results[1],
             QString("The repository answers. Camera models in its system catalogue: 2"));
    const std::string options_path =
        temp_.path() + "config/" +
        std::filesystem::path(TTools::ModuleFileName()).filename().string() + "/option.ini";
    QCOMPARE(QString::fromStdString(TIniFile(options_path).ReadString("Global", "repository", "")),
             QString::fromStdString(repository.BaseUrl()));
    QCOMPARE(QString::fromStdString(ResolveRepositoryUrl("")),
             QString::fromStdString(repository.BaseUrl()));
    repository.Stop();

    // A repository that does not answer: the test says why, and Cancel keeps the stored address.
    QTimer::singleShot(0, window_.get(), [&] {
      TfrmOptions* options = window_->OptionsDialog();
      const auto close = qScopeGuard([options] {
        if (options->isVisible()) options->reject();
      });
      auto* field = options->findChild<QLineEdit*>("edRepository");
      QCOMPARE(field->text(), QString::fromStdString(repository.BaseUrl()));
      field->selectAll();
      QTest::keyClicks(field, "http://127.0.0.1:1/FM/");
      QSignalSpy done(options, &TfrmOptions::testFinished);
      QTest::mouseClick(options->findChild<QPushButton*>("btnTest"), Qt::LeftButton);
      QVERIFY(done.wait(10000));
      results << options->findChild<QLabel*>("lblTestResult")->text();
      QTest::keyClick(field, Qt::Key_Escape);
    });
    QTest::mouseClick(Find<QPushButton>("btnOptions"), Qt::LeftButton);
    QVERIFY2(results.value(2).startsWith("The system catalogue could not be fetched:"),
             qPrintable(results.value(2)));
    QVERIFY(results.value(2).contains("http://127.0.0.1:1/FM/system/firmware.txt"));
    QCOMPARE(QString::fromStdString(TIniFile(options_path).ReadString("Global", "repository", "")),
             QString::fromStdString(repository.BaseUrl()));
    TIniFile(options_path).WriteString("Global", "repository", "");
  }

  // A user name or password in the address is refused; OK writes only the address and keeps
  // every other key of the options file; a Test against a server that never answers leaves the
  // window responsive, and Cancel ends the dialog at once.
  void optionsDialogRefusesCredentialsKeepsOtherKeysAndNeverBlocks() {
    const std::string options_path =
        temp_.path() + "config/" +
        std::filesystem::path(TTools::ModuleFileName()).filename().string() + "/option.ini";
    TIniFile(options_path).WriteString("Global", "mine", "kept");
    TIniFile(options_path).WriteString("Other", "also", "kept too");
    TIniFile(options_path).WriteString("Global", "repository", "");

    QStringList results;
    QTimer::singleShot(0, window_.get(), [&] {
      TfrmOptions* options = window_->OptionsDialog();
      const auto close = qScopeGuard([options] {
        if (options && options->isVisible()) options->reject();
      });
      auto* field = options->findChild<QLineEdit*>("edRepository");
      QTest::keyClicks(field, "http://firmware.example.com@203.0.113.9/FM/");
      QTest::mouseClick(options->findChild<QPushButton*>("btnTest"), Qt::LeftButton);
      results << options->findChild<QLabel*>("lblTestResult")->text();
      QVERIFY(!options->Testing());  // nothing was fetched
      QTest::mouseClick(options->findChild<QPushButton*>("btnOK"), Qt::LeftButton);
      QVERIFY(options->isVisible());
      // A very long address (pasted by mistake): the answer about it keeps the dialog on screen.
      field->selectAll();
      field->insert("http://127.0.0.1:1/" + QString(2000, 'a') + "/");
      QSignalSpy done(options, &TfrmOptions::testFinished);
      QTest::mouseClick(options->findChild<QPushButton*>("btnTest"), Qt::LeftButton);
      QVERIFY(done.wait(10000));
      results << options->findChild<QLabel*>("lblTestResult")->text();
      QTest::qWait(50);
      QVERIFY2(options->width() <= 1200, qPrintable(QString::number(options->width())));
      field->selectAll();
      QTest::keyClicks(field, "http://127.0.0.1:9/FM/");
      QTest::mouseClick(options->findChild<QPushButton*>("btnOK"), Qt::LeftButton);
    });
    QTest::mouseClick(Find<QPushButton>("btnOptions"), Qt::LeftButton);

    // Return on the focused Cancel cancels: nothing is stored.
    QTimer::singleShot(0, window_.get(), [&] {
      TfrmOptions* options = window_->OptionsDialog();
      const auto close = qScopeGuard([options] {
        if (options && options->isVisible()) options->reject();
      });
      auto* field = options->findChild<QLineEdit*>("edRepository");
      field->selectAll();
      QTest::keyClicks(field, "http://127.0.0.1:7/other/");
      auto* cancel = options->findChild<QPushButton*>("btnCancel");
      cancel->setFocus();
      QTest::keyClick(cancel, Qt::Key_Return);
    });
    QTest::mouseClick(Find<QPushButton>("btnOptions"), Qt::LeftButton);
    QCOMPARE(results.value(0),
             QString("The repository address must not hold a user name or password (nothing "
                     "before \"@\")."));
    QVERIFY2(results.value(1).startsWith("The system catalogue could not be fetched:"),
             qPrintable(results.value(1)));
    QVERIFY2(results.value(1).size() < 300, qPrintable(results.value(1)));
    QCOMPARE(QString::fromStdString(TIniFile(options_path).ReadString("Global", "repository", "")),
             QString("http://127.0.0.1:9/FM/"));
    QCOMPARE(QString::fromStdString(TIniFile(options_path).ReadString("Global", "mine", "")),
             QString("kept"));
    QCOMPARE(QString::fromStdString(TIniFile(options_path).ReadString("Other", "also", "")),
             QString("kept too"));

    // A server that takes the connection and never answers, at full time-outs.
    sim::TCameraConfig config;
    config.ip = "127.0.0.1";
    config.port = 0;
    config.faults = {sim::TCameraFault::NeverAnswers};
    sim::TSimCamera silent(config, std::make_shared<sim::TSimRecorder>());
    silent.Start();
    SetTimeScaleForTesting(1.0);
    qint64 closed_after_ms = -1;
    int ticks = 0;
    QTimer::singleShot(0, window_.get(), [&] {
      TfrmOptions* options = window_->OptionsDialog();
      const auto close = qScopeGuard([options] {
        if (options && options->isVisible()) options->reject();
      });
      auto* field = options->findChild<QLineEdit*>("edRepository");
      field->selectAll();
      QTest::keyClicks(field, QString("http://127.0.0.1:%1/FM/").arg(silent.http_port()));
      QTest::mouseClick(options->findChild<QPushButton*>("btnTest"), Qt::LeftButton);
      QVERIFY(options->Testing());
      QTimer tick;
      QObject::connect(&tick, &QTimer::timeout, [&] { ++ticks; });
      tick.start(10);
      QTest::qWait(500);  // the UI thread keeps serving events meanwhile
      QVERIFY(options->Testing());
      QElapsedTimer clock;
      clock.start();
      QTest::mouseClick(options->findChild<QPushButton*>("btnCancel"), Qt::LeftButton);
      closed_after_ms = clock.elapsed();
    });
    QElapsedTimer whole;
    whole.start();
    QTest::mouseClick(Find<QPushButton>("btnOptions"), Qt::LeftButton);
    SetTimeScaleForTesting(0.05);
    QVERIFY2(ticks >= 10, qPrintable(QString::number(ticks)));
    QVERIFY2(closed_after_ms >= 0 && closed_after_ms < 3000,
             qPrintable(QString::number(closed_after_ms)));
    QVERIFY(!window_->OptionsDialog()->Testing());
    QVERIFY(whole.elapsed() < 10000);
    QCOMPARE(QString::fromStdString(TIniFile(options_path).ReadString("Global", "repository", "")),
             QString("http://127.0.0.1:9/FM/"));  // Cancel stores nothing
    silent.Stop();
    TIniFile(options_path).WriteString("Global", "repository", "");
  }

  // Labels are tied to their fields, so screen readers and UI automation can tell the fields
  // apart; buttons and the log are named in the current language.
  void fieldsButtonsAndTheLogHaveAccessibleNames() {
    const auto name = [](QObject* o) {
      QAccessibleInterface* a = QAccessible::queryAccessibleInterface(o);
      return a ? a->text(QAccessible::Name) : QString("<none>");
    };
    struct Field {
      const char* field;
      const char* label;
    } fields[] = {{"edIP", "lblIPCIP"},
                  {"edPort", "lblIPCPort"},
                  {"edAcc", "lblIPCUser"},
                  {"edpwd", "lblIPCPwd"}};
    QComboBox* languages = Find<QComboBox>("cmbLan");
    // Each language's list names the others in its own script.
    const std::map<std::string, QString> marks = {
        {"cn", QString::fromUtf8("简体")}, {"b5", QString::fromUtf8("繁")}, {"en", "English"}};
    for (const char* code : {"cn", "b5", "en"}) {
      for (int i = 0; i < languages->count(); ++i) {
        if (languages->itemText(i).contains(marks.at(code))) languages->setCurrentIndex(i);
      }
      QCOMPARE(QString::fromStdString(CurrentLanguage()), QString(code));
      QSet<QString> seen;
      for (const Field& f : fields) {
        const QString n = name(Find<QWidget>(f.field));
        QCOMPARE(n, Find<QLabel>(f.label)->text());
        QVERIFY2(!n.isEmpty() && !seen.contains(n), f.field);
        seen.insert(n);
      }
      // The language list names its choice; its label is tied to it as its label relation.
      QAccessibleInterface* list = QAccessible::queryAccessibleInterface(languages);
      bool labelled = false;
      for (const auto& [other, relation] : list->relations(QAccessible::Label)) {
        labelled = labelled || other->object() == Find<QLabel>("Label1");
      }
      QVERIFY(labelled);
      QCOMPARE(name(Find<QPlainTextEdit>("Memo1")), Find<QGroupBox>("GroupBox3")->title());
      for (const char* button : {"btnFindCam", "btnUpgrdSysByIP", "btnUpgrdFromFile", "btnOptions",
                                 "btnCancelUpgrade"}) {
        QCOMPARE(name(Find<QPushButton>(button)),
                 QString::fromStdString(
                     AccessibleText(Find<QPushButton>(button)->text().toStdString())));
      }
      QVERIFY(!name(Find<QPushButton>("btnCancelUpgrade")).isEmpty());
      if (QString(code) == "cn") {
        QCOMPARE(name(Find<QPushButton>("btnOptions")), QString::fromUtf8("选项..."));
      }
      if (QString(code) == "b5") {
        QCOMPARE(name(Find<QPushButton>("btnOptions")), QString::fromUtf8("選項..."));
      }
    }
    QCOMPARE(name(Find<QLineEdit>("edAcc")), QString::fromUtf8("Account："));
    QCOMPARE(name(Find<QPushButton>("btnOptions")), QString("Options..."));
  }

  // Log lines are UTF-8 from the worker on: a firmware path with Chinese letters, logged while
  // the window speaks Chinese, reads the same in the log, in the saved file and after a switch.
  void logLinesKeepUtf8WhateverTheLanguage() {
    sim::TCameraConfig config;
    config.ip = "127.0.0.1";
    config.port = 0;
    config.series = sim::TSimSeries::P;
    config.password = "abc";
    sim::TSimCamera camera(config, std::make_shared<sim::TSimRecorder>());
    camera.Start();
    SetLanguage("cn");
    Find<QLineEdit>("edAcc")->setText("admin");
    Find<QLineEdit>("edpwd")->setText("abc");
    Find<QLineEdit>("edIP")->setText("127.0.0.1");
    Find<QLineEdit>("edPort")->setText(QString::number(camera.http_port()));
    const QString path = QString::fromStdString(temp_.path()) + QString::fromUtf8("固件 ✓/新.zip");
    window_->SetOpenFileChooser([&] { return path; });
    QSignalSpy finished(window_.get(), &TfrmCamlift::upgradeFinished);
    QTest::mouseClick(Find<QPushButton>("btnUpgrdFromFile"), Qt::LeftButton);
    QVERIFY(finished.wait(30000));
    const QStringList log = LogTexts(Find<QPlainTextEdit>("Memo1"));
    QVERIFY2(log.join("\n").contains(path), qPrintable(log.join("\n")));
    QVERIFY(log.join("\n").contains(QString::fromUtf8("设备连接正常")));
    const QString saved = QString::fromStdString(temp_.path() + "utf8.txt");
    window_->SetSaveFileChooser([&] { return saved; });
    window_->N2Click();
    QVERIFY(QString::fromUtf8(test::ReadFile(saved.toStdString())).contains(path));
    SetLanguage("en");
    camera.Stop();
  }

  // Message boxes asked for on a worker thread are built on the UI thread.
  void aBoxAskedForOnAWorkerIsShownOnTheUiThread() {
    TQtLangUi lang_ui(window_.get());
    std::atomic<int> answer{0};
    QThread* box_thread = nullptr;
    // The box runs its own event loop: a timer inside it answers.
    std::function<void()> answer_box = [&] {
      QWidget* box = QApplication::activeModalWidget();
      if (!box) {
        QTimer::singleShot(10, window_.get(), answer_box);
        return;
      }
      box_thread = box->thread();
      QTest::keyClick(box, Qt::Key_Return);
    };
    QTimer::singleShot(10, window_.get(), answer_box);
    std::thread worker([&] { answer = lang_ui.MessageBox("from a worker", "Camlift", kMbOk); });
    const bool answered = QTest::qWaitFor([&] { return answer.load() != 0; }, 10000);
    worker.join();
    QVERIFY(answered);
    QCOMPARE(answer.load(), kIdOk);
    QCOMPARE(box_thread, QApplication::instance()->thread());
  }

  // Qt's own buttons and file dialogs speak the user's language even where Qt's translation
  // files for it are missing: the question's buttons, History's Close, the file dialog's labels.
  // The question is answered by a click on the button that reads "No" in that language.
  void standardButtonsAndFileDialogsSpeakTheLanguage() {
    struct TCase {
      const char* language;
      const char* no;
      const char* yes;
      const char* close;
      const char* save;
      const char* file_name;
    };
    const TCase cases[] = {
        {"en", "&No", "&Yes", "&Close", "&Save", "File name:"},
        {"cn", "否(&N)", "是(&Y)", "关闭(&C)", "保存(&S)", "文件名:"},
        {"b5", "否(&N)", "是(&Y)", "關閉(&C)", "儲存(&S)", "檔案名稱:"},
    };
    for (const TCase& c : cases) {
      SetLanguage(c.language);
      TQtLangUi lang_ui(window_.get());
      QStringList texts;
      int tries = 0;  // the box's own loop runs this; a box that never comes ends the wait
      std::function<void()> click_no = [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
          if (++tries < 1000) QTimer::singleShot(10, window_.get(), click_no);
          return;
        }
        for (QAbstractButton* button : box->buttons()) texts << button->text();
        for (QAbstractButton* button : box->buttons()) {
          if (button->text() == QString::fromUtf8(c.no)) QTest::mouseClick(button, Qt::LeftButton);
        }
      };
      QTimer::singleShot(10, window_.get(), click_no);
      const int answer = lang_ui.MessageBox("question", "Camlift", kMbYesNo);
      QCOMPARE(answer, kIdNo);
      texts.sort();
      QStringList expected{QString::fromUtf8(c.no), QString::fromUtf8(c.yes)};
      expected.sort();
      QCOMPARE(texts, expected);

      TfrmHistory history(temp_.path() + "no-history.jsonl", window_.get());
      auto* buttons = history.findChild<QDialogButtonBox*>();
      QVERIFY(buttons);
      QCOMPARE(buttons->button(QDialogButtonBox::Close)->text(), QString::fromUtf8(c.close));

      QString accept_label;
      QString name_label;
      tries = 0;
      std::function<void()> read_labels = [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog) {
          if (++tries < 1000) QTimer::singleShot(10, window_.get(), read_labels);
          return;
        }
        accept_label = dialog->labelText(QFileDialog::Accept);
        name_label = dialog->labelText(QFileDialog::FileName);
        QTest::keyClick(dialog, Qt::Key_Escape);
      };
      QTimer::singleShot(10, window_.get(), read_labels);
      QVERIFY(AskSaveFileName(window_.get(), "save", "x.txt", "*.txt").isEmpty());
      QCOMPARE(accept_label, QString::fromUtf8(c.save));
      QCOMPARE(name_label, QString::fromUtf8(c.file_name));
    }
    SetLanguage("en");
  }

  // The save dialog, used as a person does: the type chosen in its list gives a name typed
  // without a suffix its suffix (the export writes JSON for ".json"), and an existing file is
  // replaced only after the question is answered Yes; No leaves the dialog open.
  void saveDialogGivesTheChosenSuffixAndAsksBeforeReplacing() {
    const QString folder = QDir::cleanPath(QString::fromStdString(temp_.path()));
    const QString json = folder + "/cameras.json";
    std::filesystem::remove(json.toStdString());
    struct TStep {
      bool exists;
      QMessageBox::StandardButton answer;
      QString result;
    };
    for (const TStep& step :
         {TStep{false, QMessageBox::NoButton, json}, TStep{true, QMessageBox::No, QString()},
          TStep{true, QMessageBox::Yes, json}}) {
      if (step.exists) test::WriteFile(json.toStdString(), "old");
      int tries = 0;
      bool asked = false;
      std::function<void()> drive = [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
          asked = true;
          QTest::mouseClick(box->button(step.answer), Qt::LeftButton);
          // No: the dialog is still there; leave it.
          QTimer::singleShot(10, window_.get(), [&] {
            if (auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
              QTest::keyClick(d, Qt::Key_Escape);
            }
          });
          return;
        }
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        if (!dialog || !dialog->isVisible()) {
          if (++tries < 1000) QTimer::singleShot(10, window_.get(), drive);
          return;
        }
        auto* types = dialog->findChild<QComboBox*>("fileTypeCombo");
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        QVERIFY(types && name);
        QTest::keyClick(types, Qt::Key_Down);  // JSON (*.json)
        name->clear();
        QTest::keyClicks(name, "cameras");
        QTest::keyClick(name, Qt::Key_Return);
        if (step.exists) QTimer::singleShot(10, window_.get(), drive);
      };
      QTimer::singleShot(10, window_.get(), drive);
      const QString chosen = AskSaveFileName(window_.get(), "export", folder + "/cameras.csv",
                                             "CSV (*.csv);;JSON (*.json)");
      QCOMPARE(chosen, step.result);
      QCOMPARE(asked, step.exists);
    }
  }

  // Closing the window while the worker hands it a log line: the window serves the hand-off
  // while it waits for the worker, instead of both waiting for each other.
  void closingWhileTheWorkerWaitsForTheWindowDoesNotHang() {
    sim::TCameraConfig config;
    config.ip = "127.0.0.1";
    config.port = 0;
    config.faults = {sim::TCameraFault::NeverAnswers};
    sim::TSimCamera camera(config, std::make_shared<sim::TSimRecorder>());
    camera.Start();
    SetTimeScaleForTesting(0.01);  // the camera page read gives up after 200 ms
    ::setenv("CAMLIFT_REPOSITORY_URL", "http://127.0.0.1:1/FM/", 1);
    Find<QLineEdit>("edAcc")->setText("admin");
    Find<QLineEdit>("edIP")->setText("127.0.0.1");
    Find<QLineEdit>("edPort")->setText(QString::number(camera.http_port()));
    const int port = camera.http_port();
    const std::string history = temp_.path() + "data/history.jsonl";
    const std::size_t runs_before = ReadHistory(history).size();
    QTest::mouseClick(Find<QPushButton>("btnUpgrdSysByIP"), Qt::LeftButton);
    QVERIFY(window_->Upgrading());
    std::this_thread::sleep_for(std::chrono::milliseconds(600));  // the worker now waits in OnLog
    std::atomic<bool> closed{false};
    std::thread watchdog([&] {
      for (int i = 0; i < 200 && !closed; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      if (!closed) {
        std::fprintf(stderr, "the window's destructor and the worker wait for each other\n");
        std::abort();
      }
    });
    window_.reset();
    closed = true;
    watchdog.join();
    ::unsetenv("CAMLIFT_REPOSITORY_URL");
    SetTimeScaleForTesting(0.05);
    camera.Stop();
    NewWindow();
    // The run that ended as the window closed is on record: its result may have been handed over
    // while the destructor served the worker, before the window could finish the run itself.
    const std::vector<THistoryEntry> runs = ReadHistory(history);
    bool recorded = false;
    for (std::size_t i = runs_before; i < runs.size(); ++i) {
      recorded = recorded ||
                 (runs[i].ip == "127.0.0.1" && runs[i].port == port && !runs[i].result.empty());
    }
    QVERIFY(recorded);
  }

  // A "lan" value that no file name could hold starts the window in the default language.
  void anOverlongLanguageValueDoesNotStopTheWindow() {
    const std::string options_path =
        temp_.path() + "config/" +
        std::filesystem::path(TTools::ModuleFileName()).filename().string() + "/option.ini";
    QVERIFY(TIniFile(options_path).WriteString("Global", "lan", std::string(1000, 'x')));
    NewWindow();
    QCOMPARE(QString::fromStdString(CurrentLanguage()), QString("en"));
    QCOMPARE(QString::fromStdString(TIniFile(options_path).ReadString("Global", "lan", "")),
             QString("en"));
  }

  // The window holds the lock against sleep from the upload on and lets go of it when its
  // upgrade ends (here by Cancel while the camera is away), not when the window closes.
  void keepsTheComputerAwakeFromTheUploadUntilTheUpgradeEnds() {
    test::TFakeLogind logind;
    if (logind.ToolsMissing()) QSKIP(logind.Problem().c_str());
    QVERIFY2(logind.Ok(), logind.Problem().c_str());
    const std::string bus_before =
        std::getenv("DBUS_SYSTEM_BUS_ADDRESS") ? std::getenv("DBUS_SYSTEM_BUS_ADDRESS") : "";
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", logind.Address().c_str(), 1);
    auto restore_bus =
        qScopeGuard([&] { ::setenv("DBUS_SYSTEM_BUS_ADDRESS", bus_before.c_str(), 1); });

    test::TTempFolder repo;
    sim::TRepoAddOptions add;
    add.root = repo.path();
    add.folder = "system";
    add.section = "SIM100";
    add.series = sim::TSimSeries::P;
    add.version = "1.0.0.2";
    sim::TRepoAddResult added;
    std::string error;
    QVERIFY2(sim::RepoAdd(add, added, error), error.c_str());
    sim::TRepoConfig repo_config;
    repo_config.root = repo.path();
    auto recorder = std::make_shared<sim::TSimRecorder>();
    sim::TSimRepository repository(repo_config, recorder);
    repository.Start();
    ::setenv("CAMLIFT_REPOSITORY_URL", repository.BaseUrl().c_str(), 1);
    sim::TCameraConfig config;
    config.ip = "127.0.0.1";
    config.port = 0;
    config.series = sim::TSimSeries::P;
    config.faults = {sim::TCameraFault::NeverReturns};
    sim::TSimCamera camera(config, recorder);
    camera.Start();

    Find<QLineEdit>("edAcc")->setText("admin");
    Find<QLineEdit>("edpwd")->clear();
    Find<QLineEdit>("edIP")->setText("127.0.0.1");
    Find<QLineEdit>("edPort")->setText(QString::number(camera.http_port()));
    QSignalSpy finished(window_.get(), &TfrmCamlift::upgradeFinished);
    QTest::mouseClick(Find<QPushButton>("btnUpgrdSysByIP"), Qt::LeftButton);
    // The camera took its firmware and is away: the lock is held meanwhile.
    QTRY_VERIFY_WITH_TIMEOUT(LogTexts(Find<QPlainTextEdit>("Memo1"))
                                 .contains("Successfully upgrade ROM, it is going to reboot the "
                                           "device, please wait....."),
                             30000);
    const std::vector<std::string> held = {
        "sleep:idle|Camlift|Camera firmware upgrade in progress; cameras: 1|block"};
    QCOMPARE(logind.Inhibitors(), held);
    QTest::mouseClick(Find<QPushButton>("btnCancelUpgrade"), Qt::LeftButton);
    QVERIFY(finished.wait(30000));
    QTRY_VERIFY_WITH_TIMEOUT(logind.Inhibitors().empty(), 20000);
    QCOMPARE(logind.InhibitCalls(), held);
    QVERIFY(window_->isVisible());
    // The camera took its firmware: Cancel ended only the wait.
    QVERIFY(LogTexts(Find<QPlainTextEdit>("Memo1"))
                .contains("The firmware was sent and the camera took it; it is restarting now. "
                          "Only the wait for it was stopped."));
    camera.Stop();
    repository.Stop();
    ::unsetenv("CAMLIFT_REPOSITORY_URL");
  }

  void upgradesASimulatedCameraFromTheWindow() {
    test::TTempFolder repo;
    auto recorder = std::make_shared<sim::TSimRecorder>();
    sim::TRepoAddOptions add;
    add.root = repo.path();
    add.folder = "system";
    add.section = "SIM100";
    add.series = sim::TSimSeries::P;
    add.version = "1.0.0.2";
    sim::TRepoAddResult added;
    std::string error;
    QVERIFY2(sim::RepoAdd(add, added, error), error.c_str());
    sim::TRepoConfig repo_config;
    repo_config.root = repo.path();
    sim::TSimRepository repository(repo_config, recorder);
    repository.Start();
    ::setenv("CAMLIFT_REPOSITORY_URL", repository.BaseUrl().c_str(), 1);

    sim::TCameraConfig config;
    config.ip = "127.0.0.1";
    config.port = 0;
    config.series = sim::TSimSeries::P;
    config.password = "abc";
    sim::TSimCamera camera(config, recorder);
    camera.Start();

    Find<QLineEdit>("edAcc")->setText("Admin");
    Find<QLineEdit>("edpwd")->setText("AbC");
    Find<QLineEdit>("edIP")->setText("127.0.0.1");
    Find<QLineEdit>("edPort")->setText(QString::number(camera.http_port()));
    QSignalSpy finished(window_.get(), &TfrmCamlift::upgradeFinished);
    window_->btnUpgrdSysByIPClick();
    QVERIFY(finished.wait(30000));
    const QStringList log = LogTexts(Find<QPlainTextEdit>("Memo1"));
    QCOMPARE(log.size(), 9);
    QCOMPARE(log.first(), QString("Device connected normally"));
    // The tests' system bus does not exist: the window says so once, and the upgrade goes on.
    QCOMPARE(log.value(4),
             QString("The computer could not be kept from going to sleep during the upgrade; keep "
                     "it awake until the upgrade has ended:no system bus: No such file or "
                     "directory"));
    QCOMPARE(log.value(7), QString("IP Cam is Working!"));
    QCOMPARE(log.last(), QString("The camera now runs the version:1.0.0.2"));
    QCOMPARE(QString::fromStdString(camera.state().sys_version), QString("1.0.0.2"));
    // The account went out trimmed and lower-cased.
    bool saw_lower_case_account = false;
    for (const auto& entry : recorder->Entries()) {
      if (!entry.contains("headers")) continue;
      for (const auto& h : entry["headers"]) {
        if (h[0] == "Authorization" && h[1] == "Basic YWRtaW46YWJj") saw_lower_case_account = true;
      }
    }
    QVERIFY(saw_lower_case_account);

    // The same camera from a file on disk, without the repository.
    repository.Stop();
    ::unsetenv("CAMLIFT_REPOSITORY_URL");
    sim::TRepoAddOptions newer = add;
    newer.version = "1.0.0.3";
    QVERIFY2(sim::RepoAdd(newer, added, error), error.c_str());
    Find<QPlainTextEdit>("Memo1")->clear();
    window_->SetOpenFileChooser([&] { return QString::fromStdString(added.archive_path); });
    QSignalSpy again(window_.get(), &TfrmCamlift::upgradeFinished);
    window_->btnUpgrdFromFileClick();
    QVERIFY(again.wait(30000));
    const QStringList from_file = LogTexts(Find<QPlainTextEdit>("Memo1"));
    QCOMPARE(from_file.value(2),
             "Upgrading with the firmware file:" + QString::fromStdString(added.archive_path));
    QCOMPARE(from_file.last(), QString("The camera now runs the version:1.0.0.3"));
    camera.Stop();

    // Both runs are in the record, without the account.
    const std::string record = test::ReadFile(temp_.path() + "data/history.jsonl");
    QVERIFY(record.find("\"abc\"") == std::string::npos);
    QStringList after;
    // Each run once: recorded when the camera took the firmware, completed at the end.
    for (const std::string& line : test::Lines(record)) QVERIFY(ParseHistoryLine(line));
    for (const THistoryEntry& run : ReadHistory(temp_.path() + "data/history.jsonl")) {
      const THistoryEntry* entry = &run;
      if (entry->port != camera.http_port()) continue;
      QCOMPARE(QString::fromStdString(entry->source), QString("window"));
      QCOMPARE(QString::fromStdString(entry->result), QString("ok"));
      QCOMPARE(QString::fromStdString(entry->series), QString("P"));
      after << QString::fromStdString(entry->version_after);
    }
    QCOMPARE(after, (QStringList{"1.0.0.2", "1.0.0.3"}));

    // History... in the log menu shows them, newest first.
    QStringList shown;
    QTimer::singleShot(0, this, [&] {
      QTRY_VERIFY(qobject_cast<TfrmHistory*>(QApplication::activeModalWidget()));
      auto* dialog = qobject_cast<TfrmHistory*>(QApplication::activeModalWidget());
      for (int i = 0; i < dialog->Table()->topLevelItemCount(); ++i) {
        if (dialog->Table()->topLevelItem(i)->text(1).endsWith(
                ":" + QString::number(camera.http_port()))) {
          shown << dialog->Table()->topLevelItem(i)->text(5);
        }
      }
      dialog->reject();
    });
    QPlainTextEdit* memo = Find<QPlainTextEdit>("Memo1");
    emit memo->customContextMenuRequested(QPoint(10, 10));
    QMenu* menu = Find<QMenu>("PopupMenu1");
    QTRY_VERIFY(menu->isVisible());
    QAction* history = Find<QAction>("mnuHistory");
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(history).center());
    QTRY_COMPARE(shown, (QStringList{"1.0.0.3", "1.0.0.2"}));

    // A pipe in the record's place (a reader would wait on it for ever): the window opens at
    // once and shows that nothing is recorded.
    const std::string path = temp_.path() + "data/history.jsonl";
    std::filesystem::remove(path);
    QVERIFY(::mkfifo(path.c_str(), 0600) == 0);
    bool empty_shown = false;
    QTimer::singleShot(0, this, [&] {
      QTRY_VERIFY(qobject_cast<TfrmHistory*>(QApplication::activeModalWidget()));
      auto* dialog = qobject_cast<TfrmHistory*>(QApplication::activeModalWidget());
      empty_shown = dialog->Table()->topLevelItemCount() == 0 &&
                    dialog->findChild<QLabel*>("lblHistoryEmpty")->isVisibleTo(dialog);
      dialog->reject();
    });
    emit memo->customContextMenuRequested(QPoint(10, 10));
    QTRY_VERIFY(menu->isVisible());
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(history).center());
    QTRY_VERIFY(empty_shown);
  }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
