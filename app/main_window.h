// SPDX-License-Identifier: Apache-2.0
// TfrmCamlift: the program's main window. It checks the connection fields, starts one upgrade
// worker at a time and shows every report of it as a time-stamped log line; while an upgrade
// runs it refuses to close and swallows clicks and key presses over the window.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "discovery/series.h"
#include "platform/single_instance.h"
#include "qt_dispatcher.h"
#include "upgrade/keep_awake.h"
#include "upgrade/upgrade_thread.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QLocalServer;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QStatusBar;

namespace camlift::gui {

class TfrmAdv_Main;
class TfrmOptions;

class TfrmCamlift : public QWidget, public IUpgradeObserver {
  Q_OBJECT

 public:
  explicit TfrmCamlift(QWidget* parent = nullptr);
  ~TfrmCamlift() override;

  // The creation steps; false when another copy runs (this one must end without a window).
  bool FormCreate();

  // Handlers, public for tests.
  void btnUpgrdSysByIPClick() { UpgradeByIP(true); }
  void btnUpgrdUIByIPClick() { UpgradeByIP(false); }
  // Upgrades the system firmware of the camera in the fields from a file chosen on disk.
  void btnUpgrdFromFileClick();
  void btnFindCamClick();
  void btnOptionsClick();
  void cmbLanChange();
  void N1Click();       // clear the log
  void N2Click();       // save the log
  void HistoryClick();  // the record of past upgrades
  void AddLog(const std::string& utf8_text);

  bool Upgrading() const { return FUpgrading; }
  bool MouseInside() const { return FMouseInside; }
  TfrmAdv_Main* SelectDialog() const { return FSelectDialog.get(); }
  TfrmOptions* OptionsDialog() const { return options_; }
  QPlainTextEdit* Log() const { return Memo1; }
  // Where the save dialog's answer comes from (tests replace the file dialog).
  void SetSaveFileChooser(std::function<QString()> chooser) { save_chooser_ = std::move(chooser); }
  void SetOpenFileChooser(std::function<QString()> chooser) { open_chooser_ = std::move(chooser); }
  // Cancel button: asks the running worker to stop where it safely can.
  void RequestCancel();
  // SIGTERM: ends the window; a running upgrade first ends as Cancel ends it, and is recorded.
  void Terminate();
  // Whether the series in the series list belongs to the address in the fields (false once the
  // address was typed by hand, until a pick, a choice in the list or the camera tells it).
  bool SeriesKnown() const { return series_known_; }

  // IUpgradeObserver: called on the UI thread.
  void OnLog(const std::string& text) override;
  bool AskYesNo(TQuestion question, const std::string& text, const std::string& caption) override;
  void OnProgress(TProgressStage stage, std::int64_t done, std::int64_t total) override;
  void OnUploadAccepted(const TUpgradeResult& so_far) override;
  void OnDone(const TUpgradeResult& result) override;

  // The application-wide filter: swallows clicks and key presses over the window while upgrading.
  bool eventFilter(QObject* watched, QEvent* event) override;

 signals:
  void upgradeFinished();
  // A probe of a typed address for its series has ended (with or without an answer).
  void seriesProbeFinished();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  void BuildWidgets();
  void FillLanguageCombo();
  void SetFontSizes(bool english);
  void UpdateStatusBar();
  void CutSoftMemo();
  void UpgradeByIP(bool system, const std::string& local_firmware = "");
  void StartUpgrade(const std::string& user, const std::string& password, bool system, int port,
                    const std::string& ip, const std::string& local_firmware);
  void UpgradeDone();
  void StartSeriesProbe(bool system, const std::string& local_firmware);
  void SetUpgradeButtonsEnabled(bool enabled);
  void RecordRun(const TUpgradeResult& result);
  void ShowUpgradeInfo();
  void Activate();
  void OpenActivationChannel();
  void UpdateAccessibleNames();

  bool FUpgrading = false;
  bool FMouseInside = false;
  std::vector<std::string> FLanguageFiles;
  std::unique_ptr<TfrmAdv_Main> FSelectDialog;
  std::unique_ptr<TSingleInstance> instance_;
  QLocalServer* activation_ = nullptr;
  TQtDispatcher dispatcher_;
  // The computer stays awake from the upload to the end of the upgrade; ends after the worker.
  std::unique_ptr<TKeepAwake> keep_awake_;
  std::unique_ptr<TUpgradeThread> worker_;
  TSeries worker_series_ = TSeries::None;  // for the record of the run
  TUpgradeResult last_result_;
  bool result_pending_ = false;  // OnDone has handed over last_result_, UpgradeDone has not run
  std::string run_;              // the history run of the upgrade in progress
  bool series_known_ = true;
  bool quit_after_upgrade_ = false;
  struct TSeriesProbeState;
  std::shared_ptr<TSeriesProbeState> probe_;  // shared with a probe thread still running
  std::function<QString()> save_chooser_;
  std::function<QString()> open_chooser_;
  bool filling_languages_ = false;
  bool closing_ = false;
  TfrmOptions* options_ = nullptr;

  QLabel* lblSoftName = nullptr;
  QLabel* lblSoftMemo = nullptr;
  QLabel* Image1 = nullptr;
  QLabel* lblIPMemo = nullptr;
  QPushButton* btnFindCam = nullptr;
  QPushButton* btnUpgrdSysByIP = nullptr;
  QPushButton* btnUpgrdUIByIP = nullptr;
  QPushButton* btnUpgrdFromFile = nullptr;
  QComboBox* cmbLan = nullptr;
  QLabel* Label1 = nullptr;
  QPushButton* btnOptions = nullptr;
  QComboBox* cmbMType = nullptr;
  QLineEdit* edIP = nullptr;
  QLineEdit* edPort = nullptr;
  QLineEdit* edAcc = nullptr;
  QLineEdit* edpwd = nullptr;
  QGroupBox* GroupBox3 = nullptr;
  QPlainTextEdit* Memo1 = nullptr;
  QMenu* PopupMenu1 = nullptr;
  QStatusBar* StatusBar1 = nullptr;
  QLabel* panel0_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QPushButton* cancel_ = nullptr;

  friend class TMainWindowTestAccess;
};

}  // namespace camlift::gui
