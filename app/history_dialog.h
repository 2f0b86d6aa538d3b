// SPDX-License-Identifier: Apache-2.0
// The record of past upgrades (history.jsonl) as a table, newest first: opened from the log
// menu's "History...".
#pragma once

#include <QDialog>
#include <string>

class QTreeWidget;

namespace camlift::gui {

class TfrmHistory : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmHistory(const std::string& path, QWidget* parent = nullptr);
  QTreeWidget* Table() const { return table_; }

 private:
  QTreeWidget* table_ = nullptr;
};

}  // namespace camlift::gui
