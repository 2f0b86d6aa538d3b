// SPDX-License-Identifier: Apache-2.0
// The selection dialog under Qt Test (offscreen): its new column, context menu, export, address
// field and empty-list diagnosis, and a teardown while a listener thread waits for the GUI
// thread. The browser is never opened: the dialog's URL opener is replaced by a recorder.
#include "select_dialog.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "device_list_model.h"
#include "discovery/dev_types.h"
#include "discovery/device_export.h"
#include "discovery/list_order.h"
#include "discovery/udp_endpoint.h"
#include "i18n/str_res.h"
#include "i18n/str_resource.h"
#include "localize_form.h"
#include "platform/dispatcher.h"
#include "platform/socket.h"
#include "platform/timing.h"
#include "sim_camera.h"
#include "sim_repository.h"
#include "support/temp_folder.h"
#include "util/tools.h"

using namespace camlift;
using namespace camlift::gui;

namespace {

const QString kChineseName = QString::fromUtf8(
    "\xE5\x89\x8D\xE9\x97\xA8\xE6\x91\x84\xE5\x83\x8F"
    "\xE6\x9C\xBA");  // 前门摄像机

TDevInfo Camera(std::int32_t type, const QString& name, const char* ip, std::uint16_t port,
                const char* version) {
  TDevInfo d;
  d.DevType = type;
  d.DevID = std::string("id-") + ip;
  d.DevName = name.toStdString();
  d.IPAddr = ip;
  d.DevPort = port;
  d.Version = version;
  return d;
}

// The view's rows, once it has caught up with the list (it follows within a refresh interval).
QAbstractItemModel* Shown(TfrmAdv_Main* dialog) {
  dialog->SyncView();
  return dialog->ListView()->model();
}

QVariant Data(TfrmAdv_Main* dialog, int row, int column, int role = Qt::DisplayRole) {
  QAbstractItemModel* model = Shown(dialog);
  return model->data(model->index(row, column), role);
}

QString Cell(TfrmAdv_Main* dialog, int row, int column) {
  return Data(dialog, row, column).toString();
}

int RowCount(TfrmAdv_Main* dialog) { return Shown(dialog)->rowCount(); }

QRect RowRect(TfrmAdv_Main* dialog, int row) {
  return dialog->ListView()->visualRect(Shown(dialog)->index(row, 0));
}

QStringList ColumnTexts(TfrmAdv_Main* dialog, int column) {
  QAbstractItemModel* model = Shown(dialog);
  QStringList texts;
  for (int i = 0; i < model->rowCount(); ++i) texts << model->index(i, column).data().toString();
  return texts;
}

int RowOfIp(TfrmAdv_Main* dialog, const QString& ip) {
  for (int i = 0; i < RowCount(dialog); ++i) {
    if (Cell(dialog, i, 2) == ip) return i;
  }
  return -1;
}

QString Header(TfrmAdv_Main* dialog, int column) {
  return dialog->ListView()->model()->headerData(column, Qt::Horizontal).toString();
}

}  // namespace

class SelectDialogTest : public QObject {
  Q_OBJECT

 private:
  test::TTempFolder temp_;
  std::unique_ptr<TfrmStrRes> store_;
  std::unique_ptr<TfrmAdv_Main> dialog_;
  std::vector<QUrl> opened_;

  template <typename T>
  T* Find(const char* name) {
    T* child = dialog_->findChild<T*>(name);
    if (!child) qFatal("no child %s", name);
    return child;
  }

  // Only the rows this test put in: cameras of other tests on loopback may answer the search.
  void Fill() {
    dialog_->List().ClearList();
    dialog_->List().OnRecord(Camera(kType8600, kChineseName, "127.0.0.9", 8081, "3.10.0.2"));
    dialog_->List().OnRecord(Camera(kTypeMOI, "hall", "127.0.0.10", 81, "3.9.0.12"));
    dialog_->List().OnRecord(Camera(kType1010, "gate", "127.0.0.11", 0, "3.9.0.2"));
  }

 private slots:
  void initTestCase() {
    ::setenv("XDG_CONFIG_HOME", (temp_.path() + "config").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", (temp_.path() + "run").c_str(), 1);
    ::setenv("CAMLIFT_DATA_DIR", (temp_.path() + "data").c_str(), 1);
    TTools::ForceDirs(temp_.path() + "run");
    SetTimeScaleForTesting(0.01);
    store_ = std::make_unique<TfrmStrRes>();
    SetLanguage("en");
    dialog_ = std::make_unique<TfrmAdv_Main>();
    dialog_->SetUrlOpener([this](const QUrl& url) {
      opened_.push_back(url);
      return true;
    });
    dialog_->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog_.get()));
  }

  void cleanupTestCase() {
    if (dialog_) dialog_->isClose = true;
    dialog_.reset();
  }

  // A new dialog sends its first search pass once the event loop runs, not in its constructor
  // and not twice; the once-a-second rhythm follows (time scale 1 here, so that the two show
  // apart).
  void firstSearchPassGoesOutOnceBehindTheFirstPaint() {
    SetTimeScaleForTesting(1);
    auto dialog = std::make_unique<TfrmAdv_Main>();
    SetTimeScaleForTesting(0.01);
    QCOMPARE(dialog->Engine().TickNumber(), 0);
    dialog->show();
    QVERIFY(QTest::qWaitFor([&] { return dialog->Engine().TickNumber() > 0; }, 500));
    QTest::qWait(300);
    QCOMPARE(dialog->Engine().TickNumber(), 1);
    QVERIFY(QTest::qWaitFor([&] { return dialog->Engine().TickNumber() == 2; }, 2000));
    dialog->isClose = true;
  }

  void versionColumnShowsAndSortsByDottedNumbers() {
    Fill();
    QTreeView* view = dialog_->ListView();
    QCOMPARE(view->model()->columnCount(), 7);
    QCOMPARE(Header(dialog_.get(), 4), QString("Version"));
    QCOMPARE(Header(dialog_.get(), 5), QString("Latest"));
    QCOMPARE(Header(dialog_.get(), 6), QString("State"));
    QCOMPARE(ColumnTexts(dialog_.get(), 2), (QStringList{"127.0.0.9", "127.0.0.10", "127.0.0.11"}));
    QCOMPARE(Cell(dialog_.get(), 0, 1), kChineseName);
    view->header()->sectionClicked(4);
    QCOMPARE(ColumnTexts(dialog_.get(), 4), (QStringList{"3.9.0.2", "3.9.0.12", "3.10.0.2"}));
    view->header()->sectionClicked(4);
    QCOMPARE(ColumnTexts(dialog_.get(), 4), (QStringList{"3.10.0.2", "3.9.0.12", "3.9.0.2"}));
    view->header()->sectionClicked(2);
    QCOMPARE(ColumnTexts(dialog_.get(), 2), (QStringList{"127.0.0.9", "127.0.0.10", "127.0.0.11"}));
  }

  void contextMenuCopiesOpensAndPicksTheRowUnderTheMouse() {
    Fill();
    QTreeView* view = dialog_->ListView();
    // A right click on the second row selects it and offers the row's actions.
    const QRect second = RowRect(dialog_.get(), 1);
    emit view->customContextMenuRequested(second.center());
    QTRY_VERIFY(dialog_->ListMenu()->isVisible());
    QCOMPARE(dialog_->List().Selected(), 1);
    QVERIFY(Find<QAction>("mnuCopyIP")->isEnabled());
    QVERIFY(Find<QAction>("mnuOpenWeb")->isEnabled());
    QVERIFY(Find<QAction>("mnuExport")->isEnabled());
    dialog_->ListMenu()->hide();

    Find<QAction>("mnuCopyIP")->trigger();
    QCOMPARE(QGuiApplication::clipboard()->text(), QString("127.0.0.10"));
    opened_.clear();
    Find<QAction>("mnuOpenWeb")->trigger();
    QCOMPARE(opened_.size(), std::size_t{1});
    QCOMPARE(opened_[0], QUrl("http://127.0.0.10:81/"));
    // A camera without a port gets the web port.
    dialog_->List().Select(2);
    Find<QAction>("mnuOpenWeb")->trigger();
    QCOMPARE(opened_.back(), QUrl("http://127.0.0.11:80/"));

    // An address that is no plain host never reaches the browser.
    dialog_->List().ClearList();
    dialog_->List().OnRecord(Camera(kType8600, "odd", "1.2.3.4/x?y", 80, ""));
    dialog_->List().Select(0);
    opened_.clear();
    QVERIFY(!dialog_->OpenSelectedWebPage());
    QVERIFY(opened_.empty());
    emit view->customContextMenuRequested(RowRect(dialog_.get(), 0).center());
    QTRY_VERIFY(dialog_->ListMenu()->isVisible());
    QVERIFY(!Find<QAction>("mnuOpenWeb")->isEnabled());
    dialog_->ListMenu()->hide();
  }

  void exportWritesACsvASpreadsheetOpens() {
    Fill();
    const std::string path = temp_.path() + "cameras.csv";
    dialog_->SetExportPathChooser([&] { return QString::fromStdString(path); });
    Find<QAction>("mnuExport")->trigger();
    const std::string bytes = test::ReadFile(path);
    QVERIFY(bytes.rfind("\xEF\xBB\xBF", 0) == 0);  // the UTF-8 byte order mark
    const QStringList lines = QString::fromUtf8(bytes.substr(3)).split("\r\n", Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 4);
    QVERIFY(lines[0].startsWith("Type,Series,Name,IP address,Port,Version,"));
    QVERIFY(lines[1].startsWith("R,R," + kChineseName + ",127.0.0.9,8081,3.10.0.2,"));
    QCOMPARE(bytes, DevicesToCsv(dialog_->List().Rows()));
    // JSON by its name; a cancelled chooser writes nothing.
    const std::string json = temp_.path() + "cameras.json";
    dialog_->SetExportPathChooser([&] { return QString::fromStdString(json); });
    QVERIFY(dialog_->ExportList());
    QCOMPARE(test::ReadFile(json), DevicesToJson(dialog_->List().Rows()));
    dialog_->SetExportPathChooser([] { return QString(); });
    QVERIFY(!dialog_->ExportList());
  }

  void emptyListShowsWhereItSearchedUnderTheNoCameraText() {
    dialog_->List().ClearList();
    QFrame* panel = dialog_->InfoPanel();
    dialog_->SyncView();
    QVERIFY(panel->isVisible());
    QLabel* caption = Find<QLabel>("plInfo");
    QCOMPARE(caption->text(), QString("There is no camera found in the LAN."));
    const QString details = dialog_->InfoDetails()->text();
    QVERIFY2(details.contains("Addresses searched: 127.255.255.255"), qPrintable(details));
    QVERIFY2(details.contains("The search address is fixed by CAMLIFT_BROADCAST_ADDR."),
             qPrintable(details));
    QVERIFY(dialog_->InfoDetails()->isVisible());
    QVERIFY(dialog_->InfoDetails()->geometry().top() >= caption->geometry().bottom());
    QVERIFY(panel->geometry().bottom() <= dialog_->ListView()->viewport()->geometry().bottom());
    dialog_->List().OnRecord(Camera(kTypeMOI, "hall", "127.0.0.10", 81, ""));
    QTRY_VERIFY(!panel->isVisible());  // within a refresh of the view
  }

  // OK is the default: Return on a chosen row takes that camera, Escape cancels, and Return in
  // the address field asks that address once and leaves the dialog and its list as they are.
  void keysReturnTakesTheRowEscapeCancelsAndTheFieldProbesOnce() {
    QVERIFY(Find<QPushButton>("btnOK")->isDefault());
    QVERIFY(!Find<QPushButton>("btnFind")->isDefault());
    QTreeView* view = dialog_->ListView();
    QTimer::singleShot(0, dialog_.get(), [&] {
      Fill();  // rows without replies live a tenth of a second at this time scale
      const QRect second = RowRect(dialog_.get(), 1);
      QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, second.center());
      QTest::keyClick(view, Qt::Key_Return);
    });
    QCOMPARE(dialog_->ShowModal(), kModalOk);
    QCOMPARE(QString::fromStdString(dialog_->szIP), QString("127.0.0.10"));
    QCOMPARE(dialog_->nTYpe, 1);

    QTimer::singleShot(0, dialog_.get(), [&] { QTest::keyClick(view, Qt::Key_Escape); });
    QCOMPARE(dialog_->ShowModal(), kModalCancel);

    // Return on a button that has the focus presses that button, not OK: Tab to Cancel and
    // Return cancels even with a row chosen; Return on Find searches and the dialog stays.
    bool open_after_find = false;
    QTimer::singleShot(0, dialog_.get(), [&] {
      Fill();
      QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, RowRect(dialog_.get(), 1).center());
      auto* find = Find<QPushButton>("btnFind");
      find->setFocus();
      QTest::keyClick(find, Qt::Key_Return);
      open_after_find = dialog_->isVisible();
      auto* cancel = Find<QPushButton>("btnCancel");
      cancel->setFocus();
      QTest::keyClick(cancel, Qt::Key_Return);
    });
    dialog_->szIP.clear();
    QCOMPARE(dialog_->ShowModal(), kModalCancel);
    QVERIFY(open_after_find);
    QCOMPARE(QString::fromStdString(dialog_->szIP), QString());

    auto recorder = std::make_shared<sim::TSimRecorder>();
    sim::TCameraConfig config;
    config.series = sim::TSimSeries::P;
    config.ip = "127.0.0.73";
    config.port = 0;
    config.oem = "typed";
    sim::TSimCamera camera(config, recorder);
    camera.Start();
    const auto oem_reads = [&] {
      int reads = 0;
      for (const auto& entry : recorder->Entries()) {
        if (entry.dump().find("/oem.txt") != std::string::npos) ++reads;
      }
      return reads;
    };
    bool still_open = false;
    bool probed = false;
    QTimer::singleShot(0, dialog_.get(), [&] {
      QLineEdit* field = dialog_->ManualAddressField();
      field->clear();
      QTest::mouseClick(field, Qt::LeftButton);
      QTest::keyClicks(field, "127.0.0.73:" + QString::number(camera.http_port()));
      QTest::keyClick(field, Qt::Key_Return);
      // Rows of this test expire within a tenth of a second here: the camera's record of the
      // requests tells what happened.
      probed = QTest::qWaitFor(
          [&] { return oem_reads() >= 1 && dialog_->Engine().ManualProbe().Running() == 0; },
          10000);
      QTest::qWait(200);
      still_open = dialog_->isVisible();
      QTest::keyClick(field, Qt::Key_Escape);
    });
    QCOMPARE(dialog_->ShowModal(), kModalCancel);
    QVERIFY(probed);
    QVERIFY(still_open);
    QCOMPARE(oem_reads(), 1);
    dialog_->ManualAddressField()->clear();
    camera.Stop();
    dialog_->show();
  }

  // Find with a typed address: a listed camera is chosen in its own row, a new one that answers
  // gets its row and the choice, a silent one is reported and the choice stays. OK hands over
  // the typed camera, never another.
  void findWithTypedAddressChoosesThatCamera() {
    sim::TCameraConfig config;
    config.series = sim::TSimSeries::P;
    config.ip = "127.0.0.74";
    config.port = 0;
    config.oem = "acme";
    sim::TSimCamera camera(config, nullptr);
    camera.Start();
    const QString port = QString::number(camera.http_port());
    // Two cameras the search found; the first one is chosen.
    const auto listed = [&] {
      dialog_->List().OnRecord(Camera(kType8600, "one", "127.0.0.73", camera.http_port(), ""));
      dialog_->List().OnRecord(Camera(kType8600, "two", "127.0.0.74", camera.http_port(), ""));
    };
    QTimer answers;
    connect(&answers, &QTimer::timeout, dialog_.get(), listed);
    dialog_->List().ClearList();
    listed();
    answers.start(5);
    QLineEdit* field = dialog_->ManualAddressField();
    const auto typed = [&](const QString& text) {
      field->setFocus();
      field->selectAll();
      QTest::keyClicks(field, text);
    };
    const auto ok = [&] {
      QTimer::singleShot(0, dialog_.get(),
                         [&] { QTest::mouseClick(Find<QPushButton>("btnOK"), Qt::LeftButton); });
      return dialog_->ShowModal();
    };
    // Already listed (typed without its port): Find chooses its row, no typed-in row.
    typed("127.0.0.74");
    QTest::mouseClick(Find<QPushButton>("btnFind"), Qt::LeftButton);
    QTRY_COMPARE(QString::fromStdString(dialog_->List().SelectedEntry()
                                            ? dialog_->List().SelectedEntry()->IPAddr
                                            : std::string()),
                 QString("127.0.0.74"));
    for (const TDevInfo& d : dialog_->List().Rows()) QVERIFY(d.DevType != kTypeManual);
    QCOMPARE(ok(), kModalOk);
    QCOMPARE(QString::fromStdString(dialog_->szIP), QString("127.0.0.74"));
    QCOMPARE(dialog_->nTYpe, 3);
    dialog_->show();

    // Silent: reported, and the choice stays where it was.
    dialog_->List().Select(dialog_->List().RowAt("127.0.0.73", 0));
    typed("127.0.0.79:9");  // nothing listens there
    QTest::keyClick(field, Qt::Key_Return);
    QTRY_VERIFY_WITH_TIMEOUT(dialog_->Notice()->isVisible(), 15000);
    QVERIFY2(dialog_->Notice()->text().contains("127.0.0.79"),
             qPrintable(dialog_->Notice()->text()));
    QCOMPARE(dialog_->List().SelectedEntry()->IPAddr, std::string("127.0.0.73"));

    // New and answering: the search does not list it (it stops answering broadcasts here).
    answers.stop();
    dialog_->List().ClearList();
    dialog_->List().OnRecord(Camera(kType8600, "one", "127.0.0.73", camera.http_port(), ""));
    typed("127.0.0.74:" + port);
    QTest::keyClick(field, Qt::Key_Return);
    QTRY_VERIFY_WITH_TIMEOUT(
        dialog_->List().SelectedEntry() && dialog_->List().SelectedEntry()->DevType == kTypeManual,
        15000);
    QCOMPARE(dialog_->List().SelectedEntry()->IPAddr, std::string("127.0.0.74"));
    QCOMPARE(ok(), kModalOk);
    QCOMPARE(QString::fromStdString(dialog_->szIP), QString("127.0.0.74"));
    QVERIFY(dialog_->isManual);
    // The typed-in row carries the series its probe told (series P here), so the window takes
    // the series with the camera and does not ask again.
    QCOMPARE(dialog_->List().SelectedEntry()->ProbedSeries, TSeries::P);
    QCOMPARE(dialog_->nTYpe, 2);
    field->clear();
    camera.Stop();
    dialog_->List().ClearList();
    dialog_->show();
  }

  void findAsksTheTypedAddressWithoutWaitingForIt() {
    sim::TCameraConfig config;
    config.series = sim::TSimSeries::P;
    config.ip = "127.0.0.71";
    config.port = 0;
    config.oem = "acme";
    sim::TSimCamera camera(config, nullptr);
    camera.Start();
    dialog_->ManualAddressField()->setText("127.0.0.71:" + QString::number(camera.http_port()));
    dialog_->btnFindClick();
    const auto manual_row = [&] {
      for (const TDevInfo& d : dialog_->List().Rows()) {
        if (d.DevType == kTypeManual) return &d - dialog_->List().Rows().data();
      }
      return std::ptrdiff_t{-1};
    };
    QTRY_VERIFY_WITH_TIMEOUT(manual_row() >= 0, 10000);
    const int row = static_cast<int>(manual_row());
    QCOMPARE(Cell(dialog_.get(), row, 0), QString("manual"));
    QCOMPARE(Cell(dialog_.get(), row, 1), QString("acme"));
    QCOMPARE(Cell(dialog_.get(), row, 2), QString("127.0.0.71"));

    // An address that accepts and never answers: Find returns long before the probe's time-out.
    sim::TCameraConfig stuck_config = config;
    stuck_config.ip = "127.0.0.72";
    stuck_config.faults = {sim::TCameraFault::NeverAnswers};
    sim::TSimCamera stuck(stuck_config, nullptr);
    stuck.Start();
    SetTimeScaleForTesting(1);
    dialog_->ManualAddressField()->setText("127.0.0.72:" + QString::number(stuck.http_port()));
    const auto before = std::chrono::steady_clock::now();
    dialog_->btnFindClick();
    const auto took = std::chrono::steady_clock::now() - before;
    SetTimeScaleForTesting(0.01);
    QVERIFY(took < std::chrono::milliseconds(Millis(Wait::HttpGetNet)));
    QVERIFY(took < std::chrono::seconds(2));
    QCOMPARE(dialog_->Engine().ManualProbe().Running(), 1);
    dialog_->ManualAddressField()->clear();
    dialog_->Engine().ManualProbe().Stop();
  }

  // "Check for updates" reads every listed camera in the background with the main window's
  // account; the list goes on taking rows meanwhile, and each row ends with its state. The
  // account goes only to rows whose reply came from the address they name: a reply that names
  // another camera's address is marked in the list, that camera is read without the account and
  // its state says why.
  void checkForUpdatesFillsLatestAndStateWithoutBlockingTheList() {
    const std::string repo_root = temp_.path() + "repo";
    sim::TRepoAddOptions add;
    add.root = repo_root;
    add.folder = "system";
    add.section = "P100";
    add.series = sim::TSimSeries::P;
    add.version = "2.0.0.1";
    sim::TRepoAddResult added;
    std::string error;
    QVERIFY2(sim::RepoAdd(add, added, error), error.c_str());
    sim::TRepoConfig repo_config;
    repo_config.root = repo_root;
    repo_config.ip = "127.0.0.1";
    repo_config.port = 0;
    sim::TSimRepository repository(repo_config, nullptr);
    repository.Start();
    ::setenv("CAMLIFT_REPOSITORY_URL", repository.BaseUrl().c_str(), 1);

    auto camera = [](const char* ip, const char* version, const char* password) {
      sim::TCameraConfig config;
      config.series = sim::TSimSeries::P;
      config.ip = ip;
      config.port = 0;
      config.model = "P100";
      config.sys_version = version;
      config.password = password;
      return config;
    };
    sim::TSimCamera old_one(camera("127.0.0.81", "2.0.0.0", "secret7"), nullptr);
    sim::TSimCamera new_one(camera("127.0.0.82", "2.0.0.1", "secret7"), nullptr);
    sim::TSimCamera other_account(camera("127.0.0.83", "2.0.0.0", "another"), nullptr);
    sim::TCameraConfig stuck_config = camera("127.0.0.84", "2.0.0.0", "secret7");
    stuck_config.faults = {sim::TCameraFault::NeverAnswers};
    sim::TSimCamera stuck(stuck_config, nullptr);
    // A camera whose address another host names in its replies: what it receives is recorded.
    auto named_record = std::make_shared<sim::TSimRecorder>();
    sim::TSimCamera named(camera("127.0.0.87", "2.0.0.0", "secret7"), named_record);
    for (sim::TSimCamera* c : {&old_one, &new_one, &other_account, &stuck, &named}) c->Start();

    // The cameras answer every search pass, as on a LAN, so their rows stay in the list; each
    // reply came from the address it names, but one: 127.0.0.88 speaks for 127.0.0.87.
    std::vector<TDevInfo> answering;
    for (sim::TSimCamera* c : {&old_one, &new_one, &other_account, &stuck, &named}) {
      answering.push_back(Camera(kType1010, "cam", c->config().ip.c_str(),
                                 static_cast<std::uint16_t>(c->http_port()), ""));
      answering.back().ReplyFrom = c == &named ? "127.0.0.88" : c->config().ip;
    }
    QTimer answers;
    connect(&answers, &QTimer::timeout, this, [&] {
      for (const TDevInfo& d : answering) dialog_->List().OnRecord(d);
    });
    dialog_->List().ClearList();
    answers.start(5);
    for (const TDevInfo& d : answering) dialog_->List().OnRecord(d);
    dialog_->List().OnRecord(Camera(kTypeManual, "typed", "127.0.0.85", 81, ""));
    dialog_->SetAccountSource(
        [] { return std::pair<std::string, std::string>("admin", "secret7"); });

    // The silent camera holds its reader for a while: the check is still running when the
    // list changes, and the change shows at once.
    SetTimeScaleForTesting(0.1);
    QPushButton* check = dialog_->CheckUpdatesButton();
    QVERIFY(check->isEnabled());
    QTest::mouseClick(check, Qt::LeftButton);
    QVERIFY(dialog_->CheckingForUpdates());
    QVERIFY(!check->isEnabled());
    answering.push_back(Camera(kType1010, "late", "127.0.0.86", 81, ""));
    answering.back().ReplyFrom = "127.0.0.86";
    dialog_->List().OnRecord(answering.back());
    QTreeView* view = dialog_->ListView();
    QCOMPARE(RowCount(dialog_.get()), 7);
    QVERIFY(dialog_->CheckingForUpdates());
    // A row still waiting shows an ellipsis, and says so in words to a screen reader.
    const int waiting = RowOfIp(dialog_.get(), "127.0.0.86");
    QVERIFY(waiting >= 0);
    // Columns 5 and 6: Latest and State.
    QCOMPARE(Cell(dialog_.get(), waiting, 6), QString("\u2026"));
    QCOMPARE(Data(dialog_.get(), waiting, 6, Qt::AccessibleTextRole).toString(),
             QString("checking..."));
    QTRY_VERIFY_WITH_TIMEOUT(!dialog_->CheckingForUpdates(), 20000);
    SetTimeScaleForTesting(0.01);
    QVERIFY(check->isEnabled());

    const auto row_of = [&](const char* ip) { return RowOfIp(dialog_.get(), ip); };
    const auto text = [&](const char* ip, int column) {
      return Cell(dialog_.get(), row_of(ip), column);
    };
    const int latest = 5, state = 6;
    struct Expected {
      const char* ip;
      const char* latest;
      const char* state;
    };
    for (const Expected& e : {Expected{"127.0.0.81", "2.0.0.1", "update available"},
                              {"127.0.0.82", "2.0.0.1", "up to date"},
                              {"127.0.0.83", "", "account refused"},
                              {"127.0.0.84", "", "unreachable"},
                              {"127.0.0.85", "", "unknown series"},
                              {"127.0.0.86", "", ""},  // came after the check started
                              {"127.0.0.87 (reply from 127.0.0.88)", "",
                               "account not sent: the search reply came from 127.0.0.88"}}) {
      const int row = row_of(e.ip);
      QVERIFY2(row >= 0, e.ip);
      QCOMPARE(text(e.ip, latest), QString(e.latest));
      QCOMPARE(text(e.ip, state), QString(e.state));
      // The colour and icon are for the eye; the same text goes to screen readers.
      QCOMPARE(Data(dialog_.get(), row, state, Qt::AccessibleTextRole).toString(),
               QString(e.state));
      QCOMPARE(Data(dialog_.get(), row, state, Qt::DecorationRole).isNull(),
               QString(e.state).isEmpty());
    }
    QVERIFY(Data(dialog_.get(), row_of("127.0.0.81"), state, Qt::ForegroundRole) !=
            Data(dialog_.get(), row_of("127.0.0.83"), state, Qt::ForegroundRole));
    // The camera at the named address was read, without the account in any form.
    int requests = 0;
    for (const auto& entry : named_record->Entries()) {
      if (!entry.contains("method")) continue;
      ++requests;
      const std::string text = entry.dump();
      QVERIFY2(text.find("secret7") == std::string::npos, text.c_str());
      QVERIFY2(text.find("YWRtaW46c2VjcmV0Nw") == std::string::npos,
               text.c_str());  // admin:secret7
    }
    QVERIFY(requests > 0);

    // The context menu runs the same check; the late camera is read this time.
    emit view->customContextMenuRequested(RowRect(dialog_.get(), 0).center());
    QTRY_VERIFY(dialog_->ListMenu()->isVisible());
    QAction* action = Find<QAction>("mnuCheckUpdates");
    QVERIFY(action->isEnabled());
    QTest::mouseClick(dialog_->ListMenu(), Qt::LeftButton, {},
                      dialog_->ListMenu()->actionGeometry(action).center());
    QTRY_VERIFY_WITH_TIMEOUT(!dialog_->CheckingForUpdates(), 20000);
    QCOMPARE(text("127.0.0.86", state), QString("unreachable"));
    QCOMPARE(text("127.0.0.81", state), QString("update available"));
    named.Stop();
    ::unsetenv("CAMLIFT_REPOSITORY_URL");
    answers.stop();
    // The IP column was sized for "127.0.0.87 (reply from 127.0.0.88)"; once the list empties
    // it narrows again, so that a later list shows Latest and State without scrolling.
    QHeaderView* header = view->header();
    const int wide = header->sectionSize(kColumnIP);
    QVERIFY(wide >= dialog_->Model()->NeededWidths()[kColumnIP]);
    dialog_->List().ClearList();
    QTRY_VERIFY(header->sectionSize(kColumnIP) < wide);
  }

  // A site of thousands of cameras through real input: a click on a header sorts, the camera
  // the user clicked stays chosen while the rows around it change and move, and the Latest and
  // State columns are in sight at the dialog's own size.
  void thousandsOfRowsSortKeepTheChoiceAndShowEveryColumn() {
    dialog_->List().ClearList();
    constexpr int kRows = 2000;  // within the list's bound of 2048 rows
    const auto row_of = [](int i, int generation) {
      TDevInfo d = Camera(kType8600, QString("cam%1").arg(i), "", 81, "2.0.0.1");
      d.DevID = "site-" + std::to_string(i);
      d.IPAddr = "10." + std::to_string(i / 250) + "." + std::to_string(i % 250) + "." +
                 std::to_string(1 + generation % 200);
      d.Version = "2.0." + std::to_string(i % 7) + "." + std::to_string(i % 13);
      if (i % 5 == 0) d.Version = "1.2.3.4:5.6.7." + std::to_string(i % 9);  // MO_I form
      return d;
    };
    for (int i = 0; i < kRows; ++i) dialog_->List().OnRecord(row_of(i, 0));
    QTRY_COMPARE(RowCount(dialog_.get()), kRows);
    QTreeView* view = dialog_->ListView();
    QHeaderView* header = view->header();

    // A click on the Version header: ascending by dotted numbers, MO_I versions among them.
    QTest::mouseClick(
        header->viewport(), Qt::LeftButton, {},
        QPoint(header->sectionViewportPosition(kColumnVersion) + 5, header->height() / 2));
    QCOMPARE(dialog_->List().SortColumn(), static_cast<int>(kColumnVersion));
    const QStringList versions = ColumnTexts(dialog_.get(), kColumnVersion);
    for (int i = 1; i < versions.size(); ++i) {
      QVERIFY2(CompareOptionalDotted(versions[i - 1].toStdString(), versions[i].toStdString()) <= 0,
               qPrintable(versions[i - 1] + " > " + versions[i]));
    }
    // Back to the IP address, then choose the fourth row with the mouse.
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(kColumnIP) + 5, header->height() / 2));
    view->scrollToTop();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, RowRect(dialog_.get(), 3).center());
    const std::string chosen = dialog_->List().SelectedEntry()->DevID;
    QCOMPARE(Cell(dialog_.get(), 3, 1),
             QString::fromStdString(dialog_->List().SelectedEntry()->DevName));

    // Replies that change and move rows (new addresses), the chosen one among them.
    const int chosen_index = std::stoi(chosen.substr(5));
    const std::size_t syncs = dialog_->Model()->SyncCount();
    for (int generation = 1; generation <= 5; ++generation) {
      for (int i = 0; i < kRows; i += 7) dialog_->List().OnRecord(row_of(i, generation));
      dialog_->List().OnRecord(row_of(chosen_index, generation));
      QTest::qWait(Millis(Wait::ListViewRefresh) + 5);
    }
    QTRY_VERIFY(!QString::fromStdString(dialog_->List().SelectedEntry()->IPAddr).endsWith(".1"));
    QCOMPARE(dialog_->List().SelectedEntry()->DevID, chosen);
    const QModelIndexList selected = view->selectionModel()->selectedRows();
    QCOMPARE(selected.size(), 1);
    QCOMPARE(selected[0].data().toString(), QString("R"));
    QCOMPARE(Cell(dialog_.get(), selected[0].row(), 2),
             QString::fromStdString(dialog_->List().SelectedEntry()->IPAddr));
    // A changed reply costs the view its rows, not a redraw of thousands: far fewer catch-ups
    // than replies.
    QVERIFY(dialog_->Model()->SyncCount() - syncs < 100);

    // Every column in sight, none cut: Latest and State without scrolling sideways.
    QVERIFY(header->sectionViewportPosition(kColumnState) + 20 <= view->viewport()->width());
    for (int c = 0; c + 1 < kAllListColumns; ++c) {
      QVERIFY2(header->sectionSize(c) >= dialog_->Model()->NeededWidths()[c],
               qPrintable(QString::number(c)));
    }
    // The count says what the list holds.
    QVERIFY(Find<QLabel>("lblDevNum")->text().endsWith(QString::number(kRows)));
    dialog_->List().ClearList();
    dialog_->SyncView();
  }

  // A click chooses the camera the view shows under the mouse, also when the list has moved on
  // since the view last caught up with it (here a camera came that sorts above the others).
  void aClickChoosesTheCameraShownWhileTheViewLagsBehind() {
    dialog_->List().ClearList();
    while (dialog_->List().SortColumn() != kColumnIP || !dialog_->List().SortAscending()) {
      dialog_->List().ClickColumn(kColumnIP);
    }
    dialog_->List().OnRecord(Camera(kType8600, "first", "127.0.0.40", 81, ""));
    dialog_->List().OnRecord(Camera(kType8600, "second", "127.0.0.50", 81, ""));
    QCOMPARE(Cell(dialog_.get(), 1, kColumnName), QString("second"));
    const QRect second = RowRect(dialog_.get(), 1);
    // No event loop in between: the view still shows the two rows when the click comes.
    dialog_->List().OnRecord(Camera(kType8600, "newcomer", "127.0.0.30", 81, ""));
    QTest::mouseClick(dialog_->ListView()->viewport(), Qt::LeftButton, {}, second.center());
    QCOMPARE(dialog_->List().SelectedEntry()->DevName, std::string("second"));
    // Once the view caught up, the highlight is on that camera, in its new row.
    dialog_->SyncView();
    const QModelIndexList selected = dialog_->ListView()->selectionModel()->selectedRows();
    QCOMPARE(selected.size(), 1);
    QCOMPARE(Cell(dialog_.get(), selected[0].row(), kColumnName), QString("second"));
    dialog_->List().ClearList();
    dialog_->SyncView();
  }

  // The dialog can be made larger, and opens at that size next time.
  void resizedDialogKeepsItsSize() {
    dialog_->resize(900, 520);
    dialog_->hide();
    auto second = std::make_unique<TfrmAdv_Main>();
    QCOMPARE(second->size(), QSize(900, 520));
    second->isClose = true;
    second.reset();
    dialog_->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog_.get()));
  }

  // "Check for updates" without a repository, or with one that does not answer: the reason once
  // above the list, no "no firmware" on any row. Return on the focused button presses it, the
  // dialog stays.
  void checkWithoutRepositorySaysWhyOnce() {
    Fill();
    ::unsetenv("CAMLIFT_REPOSITORY_URL");
    QLabel* notice = dialog_->Notice();
    QPushButton* check = dialog_->CheckUpdatesButton();
    bool stayed = false;
    QTimer::singleShot(0, dialog_.get(), [&] {
      check->setFocus();
      QTest::keyClick(check, Qt::Key_Return);
      stayed = dialog_->isVisible();
      dialog_->done(kModalCancel);
    });
    dialog_->ShowModal();
    QVERIFY(stayed);
    dialog_->show();
    QVERIFY(notice->isVisible());
    QVERIFY2(notice->text().startsWith("No firmware repository address is configured."),
             qPrintable(notice->text()));
    for (const QString& state : ColumnTexts(dialog_.get(), kColumnState))
      QCOMPARE(state, QString());

    // A repository address where nothing listens.
    ::setenv("CAMLIFT_REPOSITORY_URL", "http://127.0.0.1:9/fw/", 1);
    QTest::mouseClick(check, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!dialog_->CheckingForUpdates(), 20000);
    QVERIFY(notice->isVisible());
    QVERIFY2(notice->text().startsWith("The firmware catalogue could not be read") &&
                 notice->text().contains("http://127.0.0.1:9/fw/"),
             qPrintable(notice->text()));
    for (const QString& state : ColumnTexts(dialog_.get(), kColumnState))
      QCOMPARE(state, QString());
    ::unsetenv("CAMLIFT_REPOSITORY_URL");
    notice->hide();
  }

  // A confirmed upgrade shows the camera's new version in its row and drops the stale state.
  void confirmedUpgradeUpdatesTheRow() {
    dialog_->List().ClearList();
    dialog_->List().OnRecord(Camera(kType8600, "cam", "127.0.0.90", 81, "2.0.0.1"));
    dialog_->List().SetCheckMarks({{"127.0.0.90:81", {"2.0.0.1", "2.0.0.5", 1, ""}}});
    QCOMPARE(Cell(dialog_.get(), 0, kColumnState), QString("update available"));
    dialog_->ConfirmUpgrade("127.0.0.90", 81, "2.0.0.5");
    QCOMPARE(Cell(dialog_.get(), 0, kColumnVersion), QString("2.0.0.5"));
    QCOMPARE(Cell(dialog_.get(), 0, kColumnState), QString("up to date"));
    dialog_->List().ClearList();
  }

  void textsComeFromTheLanguage() {
    SetLanguage("cn");
    LocalizeForm(dialog_.get());
    QCOMPARE(Header(dialog_.get(), 4), QString::fromUtf8("版本"));
    QCOMPARE(Find<QAction>("mnuCopyIP")->text(), QString::fromUtf8("复制 IP 地址"));
    QCOMPARE(Find<QAction>("mnuExport")->text(), QString::fromUtf8("导出列表..."));
    QCOMPARE(Find<QLabel>("lblManualIP")->text(), QString::fromUtf8("地址："));
    QCOMPARE(Header(dialog_.get(), 6), QString::fromUtf8("状态"));
    QCOMPARE(Find<QAction>("mnuCheckUpdates")->text(), QString::fromUtf8("检查更新"));
    TDevInfo manual = Camera(kTypeManual, "x", "10.0.0.1", 80, "");
    QCOMPARE(QString::fromStdString(RowTexts(manual)[0]), QString::fromUtf8("手动"));
    SetLanguage("en");
    LocalizeForm(dialog_.get());
    QCOMPARE(Find<QAction>("mnuOpenWeb")->text(), QString("Open the camera's web page"));
    QCOMPARE(Find<QLabel>("lblManualIP")->text(), QString::fromUtf8("Address："));
  }

  // Screen readers and UI automation tell the controls apart by their accessible names.
  void controlsHaveAccessibleNamesInTheLanguage() {
    const auto name = [](QObject* o) {
      QAccessibleInterface* a = QAccessible::queryAccessibleInterface(o);
      return a ? a->text(QAccessible::Name) : QString("<none>");
    };
    for (const char* code : {"en", "cn"}) {
      SetLanguage(code);
      dialog_->hide();
      dialog_->show();  // showing localises
      QCOMPARE(name(dialog_->ManualAddressField()), Find<QLabel>("lblManualIP")->text());
      QCOMPARE(name(dialog_->ListView()), Find<QGroupBox>("GroupBox1")->title());
    }
    // Buttons by their captions without the access key.
    QCOMPARE(name(Find<QPushButton>("btnOK")), QString::fromUtf8("确定"));
    QCOMPARE(name(Find<QPushButton>("btnFind")), QString::fromUtf8("查找"));
    SetLanguage("b5");
    dialog_->hide();
    dialog_->show();
    QCOMPARE(name(dialog_->ManualAddressField()), Find<QLabel>("lblManualIP")->text());
    QVERIFY(!name(dialog_->ManualAddressField()).isEmpty());
    QCOMPARE(name(Find<QPushButton>("btnOK")), QString::fromUtf8("確定"));
    QCOMPARE(name(Find<QPushButton>("btnFind")), QString::fromUtf8("尋找"));
    QCOMPARE(name(Find<QPushButton>("btnCancel")), QString::fromUtf8("取消"));
    SetLanguage("en");
    dialog_->hide();
    dialog_->show();
    QCOMPARE(name(dialog_->ListView()), QString("IP Camera List"));
    QCOMPARE(name(Find<QPushButton>("btnCancel")), QString("Cancel"));
  }

  // The GUI thread tears the search down while a listener thread waits in a hand-off to it:
  // the wait must run that hand-off, or the two wait for each other for ever.
  void teardownServesAHandOffWaitingForTheGuiThread() {
    {
      TQtDispatcher dispatcher(dialog_.get());
      std::atomic<bool> invoking{false};
      bool ran = false;
      std::thread worker([&] {
        invoking = true;
        dispatcher.Invoke([&] { ran = true; });
      });
      while (!invoking) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      std::this_thread::sleep_for(std::chrono::milliseconds(50));  // inside Invoke now
      WaitServingUi(dispatcher, [&] { return ran; });
      worker.join();
      QVERIFY(ran);
    }
    // The same through the dialog: a datagram is on its way to the GUI thread when it goes.
    auto dialog = std::make_unique<TfrmAdv_Main>();
    const std::uint16_t port = dialog->Engine().Endpoint(4).Port();
    QVERIFY(port != 0);
    TSocketHandle sender = MakeUdpSocket(false);
    const char text[] = "REPLY\r\n-mac 02:00:00:00:00:77\r\n";
    QVERIFY(SendDatagram(sender.get(), htonl(INADDR_LOOPBACK), port, text, sizeof text - 1));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // no event loop meanwhile
    dialog->isClose = true;
    dialog.reset();
  }
};

QTEST_MAIN(SelectDialogTest)
#include "select_dialog_test.moc"
