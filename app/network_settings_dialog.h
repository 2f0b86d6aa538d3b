// SPDX-License-Identifier: Apache-2.0
// TfrmNetSettings: new network settings for one series R camera of the selection list. The fields
// start with what the camera's search reply says. OK refuses what core's check refuses, says why
// in the dialog and keeps it open; otherwise a Yes/No question names the camera by its MAC and
// its new address, and Yes accepts the dialog. The dialog sends nothing itself: whoever opened it
// sends Wanted() once it is accepted.
#pragma once

#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <string>

#include "discovery/dev_info.h"

class QCheckBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;

namespace camlift::gui {

class TfrmNetSettings : public QDialog {
  Q_OBJECT

 public:
  // row: the camera as the list has it; the account is the one the settings will carry (its
  // length is checked with the fields).
  TfrmNetSettings(const TDevInfo& row, std::string user, std::string password,
                  QWidget* parent = nullptr);

  const TDevInfo& Camera() const { return row_; }
  // The settings the user confirmed (once the dialog is accepted).
  const TDevInfo& Wanted() const { return wanted_; }
  // The line that says why OK refused the fields (hidden while there is nothing to say).
  QLabel* Problem() const { return lblProblem; }
  // The Yes/No question while it is open.
  QMessageBox* Confirmation() const { return confirm_; }

 private:
  void OkClicked();
  void DhcpToggled();

  TDevInfo row_;
  TDevInfo wanted_;
  std::string user_;
  std::string password_;
  QPointer<QMessageBox> confirm_;

  QLineEdit* edIP = nullptr;
  QLineEdit* edMask = nullptr;
  QLineEdit* edGateway = nullptr;
  QLineEdit* edDNS1 = nullptr;
  QLineEdit* edDNS2 = nullptr;
  QLineEdit* edPort = nullptr;
  QCheckBox* cbDHCP = nullptr;
  QLabel* lblProblem = nullptr;
  QDialogButtonBox* buttons_ = nullptr;
};

}  // namespace camlift::gui
