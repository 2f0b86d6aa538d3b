// SPDX-License-Identifier: Apache-2.0
#include "main_window.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTextBlock>
#include <QTimer>
#include <QVBoxLayout>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <thread>

#include "discovery/series.h"
#include "discovery/udp_endpoint.h"
#include "fleet/history.h"
#include "fleet/upgrader_setup.h"
#include "history_dialog.h"
#include "i18n/lang_format.h"
#include "i18n/language_list.h"
#include "i18n/str_res.h"
#include "localize_form.h"
#include "options_dialog.h"
#include "platform/dispatcher.h"
#include "platform/locale.h"
#include "qt_lang_ui.h"
#include "repository/repository_trust.h"
#include "repository/repository_url.h"
#include "select_dialog.h"
#include "standard_texts.h"
#include "upgrade/series_probe.h"
#include "upgrade/upgrade_fields.h"
#include "util/log_line.h"
#include "util/option_file.h"
#include "util/text.h"
#include "util/text_convert.h"

namespace camlift::gui {
namespace {

constexpr const char* kInstanceName = "IP Camera Camlift";
// The series the series list holds after start (a language change keeps the chosen one).
constexpr TSeries kStartSeries = TSeries::P;

QString Lang(const char* id) { return QString::fromStdString(GetLangStrUtf8(id)); }

QString LangFormatted(const char* id, const std::vector<std::string>& values) {
  return QString::fromStdString(LangFormat(GetLangStrUtf8(id), values));
}

// Sizes in the progress bar: KiB below a mebibyte, MiB with one decimal above.
QString SizeText(std::int64_t bytes) {
  if (bytes < (1 << 20)) return QString::number((bytes + 1023) / 1024) + " KiB";
  return QString::number(static_cast<double>(bytes) / (1 << 20), 'f', 1) + " MiB";
}

// The single-instance text formats the caption into its one "%s"; nothing else of the language
// text is taken as a format.
std::string FormatRunned(std::string text, const std::string& caption) {
  const auto at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, caption);
  return text;
}

}  // namespace

struct TfrmCamlift::TSeriesProbeState {
  std::mutex mutex;
  TfrmCamlift* window = nullptr;  // cleared by the window's destructor
  std::atomic<bool> stop{false};
};

TfrmCamlift::TfrmCamlift(QWidget* parent) : QWidget(parent), dispatcher_(this) {
  setObjectName("frmCamlift");
  BuildWidgets();
}

TfrmCamlift::~TfrmCamlift() {
  qApp->removeEventFilter(this);
  closing_ = true;
  if (probe_) {
    // A probe still asking its camera finds nobody to tell.
    probe_->stop = true;
    std::lock_guard lock(probe_->mutex);
    probe_->window = nullptr;
  }
  if (worker_) {
    worker_->RequestCancel();
    // The worker may be handing a log line to this thread right now: serve its hand-offs until
    // it has ended, then join. Its last hand-off (OnDone) queues UpgradeDone, which serving may
    // run too: with closing_ set it leaves the worker and the widgets alone.
    TUpgradeThread& worker = *worker_;
    WaitServingUi(dispatcher_, [&worker] { return worker.Finished(); });
    worker.Join();
    // The run ended as the window closed: it is still recorded.
    if (result_pending_) RecordRun(last_result_);
    if (FUpgrading) QApplication::restoreOverrideCursor();  // UpgradeDone will not run now
  }
  if (FSelectDialog) {
    FSelectDialog->isClose = true;
    FSelectDialog.reset();
  }
}

void TfrmCamlift::BuildWidgets() {
  setWindowTitle("The upgrade software for IP Cam, Version1.1");
  auto* top = new QVBoxLayout(this);

  lblSoftName = new QLabel("T", this);
  lblSoftName->setObjectName("lblSoftName");
  QFont bold = lblSoftName->font();
  bold.setBold(true);
  lblSoftName->setFont(bold);
  lblSoftMemo = new QLabel(this);
  lblSoftMemo->setObjectName("lblSoftMemo");
  lblSoftMemo->setWordWrap(true);
  Image1 = new QLabel(this);
  Image1->setObjectName("Image1");
  // The bold "T" stands over the blanks that begin the description.
  lblSoftName->setParent(lblSoftMemo);
  lblSoftName->move(0, 0);
  auto* title = new QHBoxLayout;
  title->addWidget(lblSoftMemo, 1);
  title->addWidget(Image1);
  top->addLayout(title);

  lblIPMemo = new QLabel(this);
  lblIPMemo->setObjectName("lblIPMemo");
  lblIPMemo->setWordWrap(true);
  top->addWidget(lblIPMemo);

  auto* fields = new QGridLayout;
  auto add_field = [&](const char* label_name, const char* text, QWidget* field, int row,
                       int column) {
    auto* label = new QLabel(text, this);
    label->setObjectName(label_name);
    // Tied to its field: screen readers and UI automation name the field after it.
    label->setBuddy(field);
    fields->addWidget(label, row, column * 2);
    fields->addWidget(field, row, column * 2 + 1);
  };
  edIP = new QLineEdit("192.168.1.126", this);
  edIP->setObjectName("edIP");
  edPort = new QLineEdit("81", this);
  edPort->setObjectName("edPort");
  edAcc = new QLineEdit("admin", this);
  edAcc->setObjectName("edAcc");
  edpwd = new QLineEdit("531642", this);
  edpwd->setObjectName("edpwd");
  edpwd->setEchoMode(QLineEdit::Password);
  add_field("lblIPCIP", "IP address:", edIP, 0, 0);
  add_field("lblIPCPort", "Port:", edPort, 0, 1);
  add_field("lblIPCUser", "Account:", edAcc, 1, 0);
  add_field("lblIPCPwd", "Password:", edpwd, 1, 1);
  cmbMType = new QComboBox(this);
  cmbMType->setObjectName("cmbMType");
  // Item i is the series of index i.
  for (const TSeries series : kAllSeries) {
    cmbMType->addItem(QString::fromStdString(SeriesLetter(series)) + " series");
  }
  cmbMType->setCurrentIndex(SeriesIndex(kStartSeries));
  // The series decides how the camera is read and flashed: it is shown, and it follows the
  // address (a pick in the selection dialog, a choice here, or the camera's own answers).
  add_field("lblIPCType", "IP Cam Type:", cmbMType, 2, 0);
  top->addLayout(fields);

  auto* buttons = new QHBoxLayout;
  btnFindCam = new QPushButton("Search LAN IP camera", this);
  btnFindCam->setObjectName("btnFindCam");
  btnUpgrdSysByIP = new QPushButton("Upgrade System", this);
  btnUpgrdSysByIP->setObjectName("btnUpgrdSysByIP");
  btnUpgrdUIByIP = new QPushButton("Upgrade UI", this);
  btnUpgrdUIByIP->setObjectName("btnUpgrdUIByIP");
  btnUpgrdUIByIP->setVisible(false);
  btnUpgrdFromFile = new QPushButton("Upgrade from file...", this);
  btnUpgrdFromFile->setObjectName("btnUpgrdFromFile");
  Label1 = new QLabel("Language:", this);
  Label1->setObjectName("Label1");
  cmbLan = new QComboBox(this);
  cmbLan->setObjectName("cmbLan");
  Label1->setBuddy(cmbLan);
  btnOptions = new QPushButton("Options...", this);
  btnOptions->setObjectName("btnOptions");
  buttons->addWidget(btnFindCam);
  buttons->addWidget(btnUpgrdSysByIP);
  buttons->addWidget(btnUpgrdUIByIP);
  buttons->addWidget(btnUpgrdFromFile);
  buttons->addStretch(1);
  buttons->addWidget(Label1);
  buttons->addWidget(cmbLan);
  buttons->addWidget(btnOptions);
  top->addLayout(buttons);

  GroupBox3 = new QGroupBox("Operation Log", this);
  GroupBox3->setObjectName("GroupBox3");
  Memo1 = new QPlainTextEdit(GroupBox3);
  Memo1->setObjectName("Memo1");
  Memo1->setReadOnly(true);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setMinimumHeight(220);
  auto* log_layout = new QVBoxLayout(GroupBox3);
  log_layout->addWidget(Memo1);
  top->addWidget(GroupBox3, 1);
  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName("PopupMenu1");
  // The design-time captions; the language files give each language its own.
  QAction* n2 = PopupMenu1->addAction(QString::fromUtf8("保存日志"));
  n2->setObjectName("N2");
  QAction* n1 = PopupMenu1->addAction(QString::fromUtf8("清空日志"));
  n1->setObjectName("N1");
  QAction* history = PopupMenu1->addAction("History...");
  history->setObjectName("mnuHistory");
  connect(history, &QAction::triggered, this, [this] { HistoryClick(); });
  connect(n2, &QAction::triggered, this, [this] { N2Click(); });
  connect(n1, &QAction::triggered, this, [this] { N1Click(); });
  Memo1->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(Memo1, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { PopupMenu1->popup(Memo1->mapToGlobal(at)); });

  StatusBar1 = new QStatusBar(this);
  StatusBar1->setObjectName("StatusBar1");
  StatusBar1->setSizeGripEnabled(false);
  panel0_ = new QLabel(StatusBar1);
  StatusBar1->addWidget(panel0_);
  progress_ = new QProgressBar(StatusBar1);
  progress_->setObjectName("pbProgress");
  progress_->setMinimumWidth(300);
  progress_->setVisible(false);
  cancel_ = new QPushButton(StatusBar1);
  cancel_->setObjectName("btnCancelUpgrade");
  cancel_->setVisible(false);
  StatusBar1->addPermanentWidget(progress_);
  StatusBar1->addPermanentWidget(cancel_);
  top->addWidget(StatusBar1);

  connect(btnUpgrdSysByIP, &QPushButton::clicked, this, [this] { btnUpgrdSysByIPClick(); });
  connect(btnUpgrdUIByIP, &QPushButton::clicked, this, [this] { btnUpgrdUIByIPClick(); });
  connect(btnUpgrdFromFile, &QPushButton::clicked, this, [this] { btnUpgrdFromFileClick(); });
  connect(btnFindCam, &QPushButton::clicked, this, [this] { btnFindCamClick(); });
  connect(btnOptions, &QPushButton::clicked, this, [this] { btnOptionsClick(); });
  connect(cancel_, &QPushButton::clicked, this, [this] { RequestCancel(); });
  // An address typed by hand may be another camera of another series; a series the user picks
  // in the list is his answer to that.
  // Another address or port may be another camera (cameras behind one router differ by port).
  connect(edIP, &QLineEdit::textEdited, this, [this] { series_known_ = false; });
  connect(edPort, &QLineEdit::textEdited, this, [this] { series_known_ = false; });
  connect(cmbMType, &QComboBox::activated, this, [this] { series_known_ = true; });
  connect(cmbLan, &QComboBox::currentIndexChanged, this, [this](int) {
    if (!filling_languages_) cmbLanChange();
  });
}

bool TfrmCamlift::FormCreate() {
  qApp->installEventFilter(this);
  // A value that is no language code (a long text, a path) is never used as a file name.
  SetCurrentLanguageDirect(StartLanguageCode(TOptionFile().ReadString("Global", "lan", "")));

  // Window texts are read as the file holds them; the message is UTF-8.
  const std::string caption =
      LangToUtf8(ReadLangValue("Form_frmCamlift", "Caption"), CurrentLanguage());
  instance_ = std::make_unique<TSingleInstance>(kInstanceName);
  if (!instance_->IsFirst()) {
    const std::string text = FormatRunned(GetLangStr("IDS_RUNNED"), caption);
    ShowLangMessage(text, GetLangStrUtf8("IDS_WARNING"), kMbIconWarning);
    // Ask the first copy to come to the front.
    QLocalSocket socket;
    socket.connectToServer(QString::fromStdString(instance_->ChannelName()));
    if (socket.waitForConnected(1000)) {
      socket.write("activate\n");
      socket.waitForBytesWritten(1000);
      socket.disconnectFromServer();
    }
    return false;
  }
  if (!instance_->Guarded()) {
    // Better a second copy than no copy at all.
    std::fprintf(stderr, "camlift: running without the single-copy guard: %s\n",
                 instance_->Problem().c_str());
  }
  OpenActivationChannel();

  SetFontSizes(CurrentLanguage() == "en");
  LocalizeForm(this);
  FLanguageFiles = OfferedLanguageFiles();
  Image1->setVisible(false);
  lblSoftMemo->setFixedWidth(720);
  lblSoftMemo->setText(Lang("IDS_SOFTMEMO"));
  cmbMType->setCurrentIndex(SeriesIndex(kStartSeries));
  FillLanguageCombo();
  UpdateStatusBar();
  CutSoftMemo();
  FSelectDialog = std::make_unique<TfrmAdv_Main>(this);
  // The update check reads the cameras with the account typed in here.
  FSelectDialog->SetAccountSource([this] {
    return std::pair<std::string, std::string>(edAcc->text().toStdString(),
                                               edpwd->text().toStdString());
  });
  // What the dialog does to a camera (its network settings) is said in this window's log.
  FSelectDialog->SetLogSink([this](const std::string& utf8_text) { AddLog(utf8_text); });
  cmbLanChange();

  setFixedSize(sizeHint().expandedTo(QSize(760, 560)));
  if (QScreen* screen = QApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
  return true;
}

void TfrmCamlift::OpenActivationChannel() {
  if (!instance_->Guarded()) return;
  const QString channel = QString::fromStdString(instance_->ChannelName());
  activation_ = new QLocalServer(this);
  // We hold the lock: a socket of ours left in the runtime folder is a crashed copy's.
  RemoveStaleChannel(instance_->ChannelName());
  if (!activation_->listen(channel)) {
    std::fprintf(stderr, "camlift: a second copy cannot bring this window to the front: %s: %s\n",
                 channel.toLocal8Bit().constData(),
                 activation_->errorString().toLocal8Bit().constData());
    return;
  }
  connect(activation_, &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* peer = activation_->nextPendingConnection()) peer->deleteLater();
    Activate();
  });
}

void TfrmCamlift::Activate() {
  showNormal();
  raise();
  activateWindow();
  if (TQtLangUi::NonInteractive()) {
    std::fprintf(stderr, "camlift-message: activated\n");
    std::fflush(stderr);
  }
}

void TfrmCamlift::SetFontSizes(bool english) {
  auto size = [](QWidget* w, int points) {
    QFont f = w->font();
    f.setPointSize(points);
    w->setFont(f);
  };
  size(lblSoftName, english ? 10 : 11);
  size(lblSoftMemo, english ? 9 : 10);
  size(lblIPMemo, english ? 10 : 11);
}

void TfrmCamlift::UpdateStatusBar() {
  btnUpgrdFromFile->setText(Lang("IDS_UPGRADEFROMFILE"));
  cancel_->setText(Lang("IDS_CANCEL"));
  UpdateAccessibleNames();
  panel0_->setText(Lang("IDS_NOTE"));
  panel0_->setFixedWidth(CurrentLanguage() == "en" ? 600 : 300);
}

void TfrmCamlift::UpdateAccessibleNames() {
  // Fields take their names from their labels (buddies); buttons are named by their captions
  // (again here: some captions are set after the localisation pass); the log by its box.
  for (QAbstractButton* button : findChildren<QAbstractButton*>()) {
    button->setAccessibleName(QString::fromStdString(AccessibleText(button->text().toStdString())));
  }
  Memo1->setAccessibleName(GroupBox3->title());
}

void TfrmCamlift::CutSoftMemo() {
  const QString text = lblSoftMemo->text();
  const int at = text.indexOf("QQ");
  if (at >= 0) lblSoftMemo->setText(text.left(at));
  // The title letter of the new language, in its new size: a label that kept the old size cut
  // the first character of the description in half.
  lblSoftName->adjustSize();
  lblSoftName->raise();
}

void TfrmCamlift::FillLanguageCombo() {
  filling_languages_ = true;
  cmbLan->clear();
  int selected = -1;
  for (const TLanguageChoice& choice : LanguageChoices(FLanguageFiles, selected)) {
    cmbLan->addItem(QString::fromStdString(choice.name));
  }
  cmbLan->setCurrentIndex(selected);
  filling_languages_ = false;
}

void TfrmCamlift::cmbLanChange() {
  const int index = cmbLan->currentIndex();
  if (index >= 0 && index < static_cast<int>(FLanguageFiles.size())) {
    const std::string path = FLanguageFiles[static_cast<std::size_t>(index)];
    SetFontSizes(UsesEnglishFontSizes(path));
    const std::string code = LanguageCodeOfFile(path);
    if (!code.empty()) {
      // The series chosen for the camera in the fields stays what it is in every language.
      const int series = cmbMType->currentIndex();
      SetLanguage(code);
      LocalizeForm(this);
      FillLanguageCombo();
      cmbMType->setCurrentIndex(series);
    }
  }
  // The user's own file always ends up holding the language; it is rewritten only when its
  // value differs, since the write ends in an fsync that would keep the window waiting.
  TOptionFile().StoreString("Global", "lan", CurrentLanguage());
  // Qt's own texts (Yes, No, Close, the file dialogs) in the same language.
  TQtLangUi::UseQtTranslations(CurrentLanguage());
  UpdateStatusBar();
  CutSoftMemo();
  if (FSelectDialog) LocalizeForm(FSelectDialog.get());
}

void TfrmCamlift::btnUpgrdFromFileClick() {
  const QString name =
      open_chooser_ ? open_chooser_() : AskOpenFileName(this, QString(), "*.zip *.bin *.pk2;;*");
  if (name.isEmpty()) return;
  UpgradeByIP(true, name.toStdString());
}

void TfrmCamlift::UpgradeByIP(bool system, const std::string& local_firmware) {
  TUpgradeFields fields;
  fields.series = SeriesFromIndex(cmbMType->currentIndex());
  fields.account = edAcc->text().toStdString();
  fields.password = edpwd->text().toStdString();
  fields.address = edIP->text().toStdString();
  fields.port = edPort->text().toStdString();
  const TFieldCheck check = CheckUpgradeFields(fields);
  if (!check.failure_key.empty()) {
    AddLog(GetLangStrUtf8(check.failure_key));
    switch (check.focus) {
      case TUpgradeField::Series:
        if (cmbMType->isVisible()) cmbMType->setFocus();
        break;
      case TUpgradeField::Account:
        edAcc->setFocus();
        break;
      case TUpgradeField::Address:
        edIP->setFocus();
        break;
      case TUpgradeField::Port:
        edPort->setFocus();
        break;
      case TUpgradeField::None:
        break;
    }
    return;
  }
  if (local_firmware.empty() && ResolveRepositoryUrl("").empty()) {
    // Said before anything is asked of the camera, and pointing at the place to fix it.
    AddLog(GetLangStrUtf8("IDS_NOREPOSITORYGUI"));
    btnOptions->setFocus();
    return;
  }
  if (!series_known_) {
    // A typed address never runs as whatever series the list happened to show.
    StartSeriesProbe(system, local_firmware);
    return;
  }
  StartUpgrade(check.user, check.password, system, check.port, check.ip, local_firmware);
}

void TfrmCamlift::SetUpgradeButtonsEnabled(bool enabled) {
  btnUpgrdUIByIP->setEnabled(enabled);
  btnUpgrdSysByIP->setEnabled(enabled);
  btnUpgrdFromFile->setEnabled(enabled);
}

void TfrmCamlift::StartSeriesProbe(bool system, const std::string& local_firmware) {
  const std::string ip = TrimText(edIP->text().toStdString());
  const int port = ReadDecimal(TrimText(edPort->text().toStdString()), 0);
  const std::string where = ip + ":" + std::to_string(port);
  AddLog(LangFormat(GetLangStrUtf8("IDS_SERIESASK"), {where}));
  SetUpgradeButtonsEnabled(false);
  probe_ = std::make_shared<TSeriesProbeState>();
  probe_->window = this;
  // The camera may take its page time-out to answer: asked on a thread of its own, which the
  // window never waits for (it owns its share of the state).
  std::thread([state = probe_, ip, port, where, system, local_firmware] {
    const TRunControl control({}, TStopToken(&state->stop));
    const TSeries series = ProbeSeries(ip, port, control);
    std::lock_guard lock(state->mutex);
    if (!state->window) return;
    QMetaObject::invokeMethod(
        state->window,
        [window = state->window, state, series, ip, port, where, system, local_firmware] {
          if (window->probe_ != state) return;
          window->probe_.reset();
          window->SetUpgradeButtonsEnabled(true);
          // The fields may name another camera by now (typed over, or picked with Find): this
          // answer is the series of the camera asked, never of the one in the fields.
          if (TrimText(window->edIP->text().toStdString()) != ip ||
              ReadDecimal(TrimText(window->edPort->text().toStdString()), 0) != port) {
            window->AddLog(LangFormat(GetLangStrUtf8("IDS_SERIESSTALE"), {where}));
          } else if (series == TSeries::None) {
            window->AddLog(LangFormat(GetLangStrUtf8("IDS_SERIESUNKNOWN"), {where}));
            window->cmbMType->setFocus();
          } else {
            window->cmbMType->setCurrentIndex(SeriesIndex(series));
            window->series_known_ = true;
            window->AddLog(LangFormat(GetLangStrUtf8("IDS_SERIESFOUND"),
                                      {where, window->cmbMType->currentText().toStdString()}));
            window->UpgradeByIP(system, local_firmware);
          }
          emit window->seriesProbeFinished();
        },
        Qt::QueuedConnection);
  }).detach();
}

void TfrmCamlift::StartUpgrade(const std::string& user, const std::string& password, bool system,
                               int port, const std::string& ip, const std::string& local_firmware) {
  worker_series_ = SeriesFromIndex(cmbMType->currentIndex());
  TCameraEntry camera;
  camera.ip = ip;
  camera.port = port;
  camera.series = worker_series_;
  camera.user = user;
  camera.password = password;
  TUpgraderSettings settings;
  settings.system = system;
  settings.repository_url = ResolveRepositoryUrl("");
  settings.trust = ResolveRepositoryTrust("");
  auto upgrader = SetUpUpgrader(camera, settings);
  if (!upgrader) return;  // no series chosen: the checks before the start name it
  FUpgrading = true;
  btnUpgrdUIByIP->setEnabled(false);
  btnUpgrdSysByIP->setEnabled(false);
  btnUpgrdFromFile->setEnabled(false);
  Memo1->setFocus();
  QApplication::setOverrideCursor(Qt::WaitCursor);
  run_ = NewHistoryRun();

  progress_->setRange(0, 0);
  progress_->setValue(0);
  progress_->setVisible(true);
  cancel_->setText(Lang("IDS_CANCEL"));
  cancel_->setEnabled(true);
  cancel_->setVisible(true);
  last_result_ = TUpgradeResult();
  worker_ = std::make_unique<TUpgradeThread>(std::move(upgrader), "", "", dispatcher_, *this);
  TUpgradeOptions options;
  options.local_firmware = local_firmware;
  keep_awake_ = std::make_unique<TKeepAwake>(1);
  options.keep_awake = keep_awake_.get();
  worker_->SetOptions(options);
  worker_->Start();
}

void TfrmCamlift::RequestCancel() {
  if (!worker_) return;
  worker_->RequestCancel();
  cancel_->setEnabled(false);
  AddLog(GetLangStrUtf8("IDS_CANCELASKED"));
}

// The worker's texts are UTF-8 (language texts are converted when they are looked up).
void TfrmCamlift::OnLog(const std::string& text) { AddLog(text); }

bool TfrmCamlift::AskYesNo(TQuestion question, const std::string& text,
                           const std::string& caption) {
  // The window is going away: nobody answers, so it is No.
  if (closing_ || quit_after_upgrade_) return false;
  const int icon = question == TQuestion::Downgrade ? kMbIconWarning : kMbIconQuestion;
  return ShowLangMessage(text, caption, kMbYesNo | icon) == kIdYes;
}

void TfrmCamlift::OnProgress(TProgressStage stage, std::int64_t done, std::int64_t total) {
  // Each stage runs from 0 to 100 % on its own; its name (and what it counts) is in the bar.
  if (total <= 0) {
    progress_->setRange(0, 0);  // size unknown: a busy bar
    return;
  }
  // Percent keeps the bar within int range for files of any size.
  progress_->setRange(0, 100);
  progress_->setValue(static_cast<int>(std::min<std::int64_t>(100, done * 100 / total)));
  QString text;
  switch (stage) {
    case TProgressStage::Download:
      text = Lang("IDS_STAGEDOWNLOAD") + " %p%";
      break;
    case TProgressStage::Verify:
      text = Lang("IDS_STAGEVERIFY") + " %p%";
      break;
    case TProgressStage::Upload:
      text = Lang("IDS_STAGEUPLOAD") + " %p% (" + SizeText(done) + " / " + SizeText(total) + ")";
      break;
    case TProgressStage::RebootWait:
      // Time waited against the longest wait, not a share of work done.
      text = LangFormatted("IDS_STAGEWAIT",
                           {std::to_string(done / 1000), std::to_string((total + 999) / 1000)});
      break;
  }
  progress_->setFormat(text);
}

void TfrmCamlift::OnUploadAccepted(const TUpgradeResult& so_far) {
  // On record from the moment the camera holds the firmware: a window killed while the camera
  // restarts still leaves the run in the history.
  RecordRun(so_far);
}

void TfrmCamlift::RecordRun(const TUpgradeResult& result) {
  if (!worker_) return;
  THistoryEntry entry = HistoryEntryOf("window", worker_series_, worker_->Upgrader(), result,
                                       worker_->VerifiedMd5(), "");
  entry.run = run_;
  AppendHistory(entry);
}

void TfrmCamlift::Terminate() {
  if (!worker_) {
    QApplication::quit();
    return;
  }
  // As Cancel: the run stops where it safely can, is recorded, and then the window ends.
  quit_after_upgrade_ = true;
  RequestCancel();
}

void TfrmCamlift::OnDone(const TUpgradeResult& result) {
  last_result_ = result;
  result_pending_ = true;
  // The worker thread ends right after this returns; it is joined once the call is over.
  QTimer::singleShot(0, this, [this] { UpgradeDone(); });
}

void TfrmCamlift::UpgradeDone() {
  if (closing_) return;  // the destructor joins the worker and records the run
  result_pending_ = false;
  if (worker_) {
    worker_->Join();
    RecordRun(last_result_);
    // The camera confirmed its new version: the camera list shows it (and drops a stale state).
    if (FSelectDialog && last_result_.status == TUpgradeStatus::Working) {
      FSelectDialog->ConfirmUpgrade(worker_->Upgrader().IPAddress(), worker_->Upgrader().Port(),
                                    last_result_.reported_version);
    }
    worker_.reset();
  }
  keep_awake_.reset();
  btnUpgrdUIByIP->setEnabled(true);
  btnUpgrdSysByIP->setEnabled(true);
  btnUpgrdFromFile->setEnabled(true);
  FUpgrading = false;
  QApplication::restoreOverrideCursor();
  progress_->setVisible(false);
  cancel_->setVisible(false);
  emit upgradeFinished();
  if (quit_after_upgrade_) QTimer::singleShot(0, qApp, [] { QApplication::quit(); });
}

void TfrmCamlift::AddLog(const std::string& utf8_text) {
  Memo1->appendPlainText(QString::fromStdString(FormatLogLine(utf8_text)));
}

void TfrmCamlift::N1Click() { Memo1->clear(); }

void TfrmCamlift::HistoryClick() {
  TfrmHistory dialog(HistoryFilePath(), this);
  dialog.exec();
}

void TfrmCamlift::N2Click() {
  if (Memo1->document()->isEmpty()) return;
  const QString name =
      save_chooser_ ? save_chooser_() : AskSaveFileName(this, QString(), QString(), "*.txt;;*.*");
  if (name.isEmpty()) return;
  // The name is the one the dialog asked about before replacing a file: with the type "*.txt" it
  // has its ".txt" already, with "*.*" it is the name as typed. Adding a suffix here would write
  // a file nobody was asked about.
  const QString path = name;
  QByteArray bytes;
  for (QTextBlock block = Memo1->document()->begin(); block.isValid(); block = block.next()) {
    bytes += block.text().toUtf8() + "\r\n";
  }
  QFile file(path);
  // A log that could not be written is said so; nobody should believe it was saved.
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size() ||
      !file.flush()) {
    AddLog(GetLangStrUtf8("IDS_SAVELOGERR") + path.toStdString());
  }
}

void TfrmCamlift::btnFindCamClick() {
  if (!FSelectDialog) return;
  FSelectDialog->szIP = edIP->text().toStdString();
  FSelectDialog->nPort = ReadDecimal(edPort->text().toStdString(), 81);
  FSelectDialog->nTYpe = cmbMType->currentIndex();
  const int result = FSelectDialog->ShowModal();
  if (result == kModalOk) {
    edIP->setText(QString::fromStdString(FSelectDialog->szIP));
    edPort->setText(QString::number(FSelectDialog->nPort));
    cmbMType->setCurrentIndex(FSelectDialog->nTYpe);
    // A row without a series leaves the list empty: the camera is asked at the upgrade.
    series_known_ = FSelectDialog->nTYpe >= 0;
  }
  FSelectDialog->hide();
}

void TfrmCamlift::ShowUpgradeInfo() {
  LangMessageBox("IDS_UPGRADEINFO", "IDS_INFORMATION", kMbIconInformation);
}
void TfrmCamlift::btnOptionsClick() {
  if (!options_) options_ = new TfrmOptions(this);
  options_->ShowModal();
  options_->hide();
}

void TfrmCamlift::closeEvent(QCloseEvent* event) {
  if (FUpgrading) {
    ShowUpgradeInfo();
    event->ignore();
    return;
  }
  event->accept();
}

void TfrmCamlift::enterEvent(QEnterEvent* event) {
  FMouseInside = true;
  QWidget::enterEvent(event);
}

void TfrmCamlift::leaveEvent(QEvent* event) {
  FMouseInside = false;
  QWidget::leaveEvent(event);
}

bool TfrmCamlift::eventFilter(QObject* watched, QEvent* event) {
  if (!FUpgrading || !FMouseInside) return false;
  const QEvent::Type type = event->type();
  // A mnemonic (Alt+O) reaches its button as a Shortcut event, without a key press.
  bool swallow = type == QEvent::KeyPress || type == QEvent::Shortcut;
  if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) {
    const auto button = static_cast<QMouseEvent*>(event)->button();
    swallow = button == Qt::LeftButton || button == Qt::RightButton;
  }
  if (!swallow) return false;
  // Only what is aimed at this window; the information box itself must stay usable.
  auto* widget = qobject_cast<QWidget*>(watched);
  if (!widget || (widget != this && !isAncestorOf(widget))) return false;
  // The status bar holds the running upgrade's own controls, Cancel and the progress bar: they
  // take clicks and keys. A press that a control leaves travels on to its parents, so what counts
  // is the control under the mouse (or with the focus), not the widget that sees the event now.
  QWidget* aimed = widget;
  if (type == QEvent::KeyPress) {
    // Keys go to this window's focus control (and from there to its parents).
    if (QWidget* focus = widget->window()->focusWidget()) aimed = focus;
  } else if (type != QEvent::Shortcut) {  // a mnemonic is sent to its own control
    if (QWidget* child = widget->childAt(static_cast<QMouseEvent*>(event)->position().toPoint())) {
      aimed = child;
    }
  }
  if (aimed == StatusBar1 || StatusBar1->isAncestorOf(aimed)) return false;
  ShowUpgradeInfo();
  return true;
}

}  // namespace camlift::gui
