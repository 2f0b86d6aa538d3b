// SPDX-License-Identifier: Apache-2.0
// TfrmAdv_Main: the dialog in which the user picks a camera found on the LAN. It exists for the
// whole run and searches once a second from its creation, visible or not; closing only hides it.
// A context menu on the list copies a camera's address, opens its web page, sends new network
// settings to a series R camera (on a worker; the outcome goes to the main window's log) and
// exports the list;
// Find also asks an address typed into the field below the list. "Check for updates" reads
// each listed camera's version against the catalogue without blocking the list.
#pragma once

#include <QDialog>
#include <QTimer>
#include <QUrl>
#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "discovery/device_list.h"
#include "discovery/find_hisi.h"
#include "discovery/search_engine.h"
#include "fleet/fleet_check.h"
#include "qt_dispatcher.h"
#include "r730/network_change.h"

class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTreeView;
class QGroupBox;

namespace camlift::gui {

class TDeviceListModel;
struct TRowCells;

class TfrmAdv_Main : public QDialog {
  Q_OBJECT

 public:
  // Opens a URL in the default browser (QDesktopServices); tests put a recorder in.
  using TUrlOpener = std::function<bool(const QUrl&)>;
  // Asks where to export the list (a save dialog); an empty text cancels.
  using TExportPathChooser = std::function<QString()>;
  // The account the update check reads the cameras with: the main window's fields.
  using TAccountSource = std::function<std::pair<std::string, std::string>()>;
  // Where a line for the main window's log goes (UTF-8, without time stamp).
  using TLogSink = std::function<void(const std::string& utf8_text)>;

  explicit TfrmAdv_Main(QWidget* parent = nullptr);
  ~TfrmAdv_Main() override;

  // Exchange with the main window.
  std::string szIP;
  std::int32_t nPort = 0;
  std::int32_t nTYpe = -1;
  bool isClose = false;
  // Out after OK: the camera was typed in (its row came from asking the address).
  bool isManual = false;

  // Shows the dialog modally (one extra search pass first) and returns its result.
  int ShowModal();
  // Escape and the close box: the Cancel result, as the Cancel button gives.
  void reject() override;
  TDeviceList& List() { return list_; }
  TSearchEngine& Engine() { return *engine_; }
  QTreeView* ListView() const { return list_view_; }
  TDeviceListModel* Model() const { return model_; }
  // Brings the view up to date with the list now (it follows on its own within
  // Wait::ListViewRefresh).
  void SyncView();
  // The line above the list that says why the last check or Find gave no answer (hidden when
  // there is nothing to say).
  QLabel* Notice() const { return notice_; }
  QLineEdit* ManualAddressField() const { return manual_edit_; }
  QMenu* ListMenu() const { return menu_; }
  // The diagnosis shown under the "no camera" text while the list is empty.
  QLabel* InfoDetails() const { return info_details_; }
  QFrame* InfoPanel() const { return info_panel_; }

  void SetUrlOpener(TUrlOpener opener) { url_opener_ = std::move(opener); }
  void SetExportPathChooser(TExportPathChooser chooser) { export_chooser_ = std::move(chooser); }
  void SetAccountSource(TAccountSource source) { account_source_ = std::move(source); }
  void SetLogSink(TLogSink sink) { log_sink_ = std::move(sink); }

  // "Check for updates": the status read of every listed camera, in the background. Its
  // answers fill the Latest and State columns as they come. False while a check runs.
  bool CheckForUpdates();
  // True from the start of a check until its last answer is in the list.
  bool CheckingForUpdates() const { return check_timer_.isActive(); }
  QPushButton* CheckUpdatesButton() const { return check_; }
  // Where the two columns of the check sit.
  static constexpr int kColumnLatest = camlift::kColumnLatest;
  static constexpr int kColumnState = camlift::kColumnState;
  // An upgrade of this camera ended with the camera confirming version: its rows show it, with
  // the state the last check's catalogue version gives.
  void ConfirmUpgrade(const std::string& ip, int port, const std::string& version);

  // The buttons' actions (public for tests).
  void btnOKClick();
  void btnFindClick();
  // Ctrl+Alt+Shift+D.
  void ServiceShortcut();
  // The context menu's actions on the selected row.
  void CopySelectedIP();
  bool OpenSelectedWebPage();
  bool ExportList();
  // "Network settings...": opens the settings dialog for the selected series R camera (with the
  // account of the main window); what it confirms goes to the camera on a worker.
  void OpenNetworkSettings();
  // True from the confirmation until the camera's answer is in the log.
  bool ChangingNetwork() const { return net_change_ && net_change_->Running(); }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Teardown();
  void ProbeTypedAddress();
  void UpdateAccessibleNames();
  void ListChanged();
  void ShowSelection();
  void RedrawView();
  void FitColumns();
  void UpdateCount();
  void UpdateHeaders();
  void PlaceInfoPanel();
  void ShowListMenu(const QPoint& at);
  void CollectCheckResults();
  void ShowNotice(const std::string& utf8_text);
  TRowCells Paint(const TDevInfo& row) const;
  void StopCatalogueRead();
  std::pair<std::string, std::string> Account() const;
  void Log(const std::string& utf8_text);
  void StartNetworkChange(const TDevInfo& camera, const TDevInfo& wanted, const std::string& user,
                          const std::string& password);

  TQtDispatcher dispatcher_;
  TDeviceList list_;
  std::unique_ptr<TFind_Hisi> finder_;
  std::unique_ptr<TSearchEngine> engine_;
  QTimer timer_;
  QTimer sync_timer_;
  std::array<int, kAllListColumns> fitted_widths_{};  // the widths FitColumns last set (0: none)
  bool syncing_ = false;
  bool torn_down_ = false;
  TUrlOpener url_opener_;
  TExportPathChooser export_chooser_;
  TAccountSource account_source_;
  TLogSink log_sink_;
  std::unique_ptr<TNetworkChange> net_change_;
  TFleetCheck fleet_check_;
  QTimer check_timer_;
  // The catalogue read that comes before the cameras are asked, on a thread of its own.
  struct TCatalogueRead {
    std::mutex mutex;
    std::atomic<bool> cancel{false};
    bool done = false;
    bool ok = false;
    std::string problem;  // UTF-8, when not ok
  };
  std::shared_ptr<TCatalogueRead> catalogue_read_;
  std::thread catalogue_thread_;
  std::vector<TCameraEntry> pending_cameras_;
  TStatusOptions pending_options_;
  bool check_waiting_ = false;  // rows show the ellipsis until their answer is in

  QGroupBox* group_ = nullptr;
  QTreeView* list_view_ = nullptr;
  TDeviceListModel* model_ = nullptr;
  QLabel* notice_ = nullptr;
  QFrame* info_panel_ = nullptr;
  QLabel* info_ = nullptr;
  QLabel* info_details_ = nullptr;
  QLabel* count_ = nullptr;
  QLabel* manual_label_ = nullptr;
  QLineEdit* manual_edit_ = nullptr;
  QPushButton* find_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QMenu* menu_ = nullptr;
  QAction* copy_ip_ = nullptr;
  QAction* open_web_ = nullptr;
  QAction* net_settings_ = nullptr;
  QAction* export_ = nullptr;
  QPushButton* check_ = nullptr;
  QAction* check_action_ = nullptr;
};

}  // namespace camlift::gui
