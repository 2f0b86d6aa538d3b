// SPDX-License-Identifier: Apache-2.0
// TfrmOptions: the window's Options dialog. It sets the firmware repository address (key
// "repository" of section "Global" in the options file) and tests it: Test fetches the system
// catalogue on a worker thread and says how many camera models it lists, or why it failed.
#pragma once

#include <QDialog>
#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "qt_dispatcher.h"
#include "repository/repository_check.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace camlift::gui {

class TfrmOptions : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmOptions(QWidget* parent = nullptr);
  ~TfrmOptions() override;

  // Fills the field from the options file and shows the dialog modally; on OK the address is
  // stored (only when it changed). Returns the dialog's result.
  int ShowModal();
  // True while a Test runs.
  bool Testing() const { return test_thread_.joinable(); }

 signals:
  void testFinished();

 private:
  void btnTestClick();
  void btnOKClick();
  void ShowResult(const QString& text, bool good);
  void StopTest();

  TQtDispatcher dispatcher_;
  std::string loaded_;
  std::atomic<bool> cancel_test_{false};
  std::atomic<bool> test_finished_{false};
  int test_generation_ = 0;  // UI thread only
  std::thread test_thread_;

  QLabel* lblRepository = nullptr;
  QLineEdit* edRepository = nullptr;
  QLabel* lblRepositoryHint = nullptr;
  QLabel* lblTestResult = nullptr;
  QPushButton* btnTest = nullptr;
  QPushButton* btnOK = nullptr;
  QPushButton* btnCancel = nullptr;
};

}  // namespace camlift::gui
