// TfrmAdv_Main: the dialog in which the user picks a camera found on the LAN. It exists for the
// whole run and searches once a second from its creation, visible or not; closing only hides it.
#pragma once

#include <QDialog>
#include <QTimer>
#include <memory>
#include <string>

#include "discovery/device_list.h"
#include "discovery/find_hisi.h"
#include "discovery/search_engine.h"
#include "qt_dispatcher.h"

class QLabel;
class QPushButton;
class QTreeWidget;
class QGroupBox;

namespace camlift::gui {

class TfrmAdv_Main : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmAdv_Main(QWidget* parent = nullptr);
  ~TfrmAdv_Main() override;

  // Exchange with the main window.
  std::string szIP;
  std::int32_t nPort = 0;
  std::int32_t nTYpe = -1;
  bool isClose = false;

  // Shows the dialog modally (one extra search pass first) and returns its result.
  int ShowModal();
  TDeviceList& List() { return list_; }
  TSearchEngine& Engine() { return *engine_; }
  QTreeWidget* ListView() const { return list_view_; }

  // The buttons' actions (public for tests).
  void btnOKClick();
  void btnFindClick();
  // Ctrl+Alt+Shift+D.
  void ServiceShortcut();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void Teardown();
  void Refresh();
  void UpdateCount();

  TQtDispatcher dispatcher_;
  TDeviceList list_;
  std::unique_ptr<TFind_Hisi> finder_;
  std::unique_ptr<TSearchEngine> engine_;
  QTimer timer_;
  bool refreshing_ = false;
  bool torn_down_ = false;

  QGroupBox* group_ = nullptr;
  QTreeWidget* list_view_ = nullptr;
  QLabel* info_ = nullptr;
  QLabel* count_ = nullptr;
  QPushButton* find_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;
};

}  // namespace camlift::gui
