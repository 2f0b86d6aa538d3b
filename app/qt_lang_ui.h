// SPDX-License-Identifier: Apache-2.0
// Message boxes for the language layer. With CAMLIFT_NONINTERACTIVE=1 (tests, scripted runs) a
// box is written to stderr as "camlift-message: caption: text" and answered with its default
// (OK, or No for a question), so that nothing waits for a person who is not there.
#pragma once

#include <QWidget>

#include "i18n/str_res.h"

namespace camlift::gui {

class TQtLangUi final : public ILangUi {
 public:
  explicit TQtLangUi(QWidget* parent = nullptr) : parent_(parent) {}
  // Any thread: a call off the UI thread is handed to it and waits for the answer.
  int MessageBox(const std::string& text, const std::string& caption, int flags) override;
  void SetParent(QWidget* parent) { parent_ = parent; }
  static bool NonInteractive();
  // Loads Qt's own translations (its buttons, the file dialogs) for a language code of ours:
  // "cn" Simplified, "b5" Traditional Chinese, anything else none (English). True when loaded
  // or not needed.
  static bool UseQtTranslations(const std::string& code);

 private:
  int ShowBox(const std::string& text, const std::string& caption, int flags);

  QWidget* parent_;
};

}  // namespace camlift::gui
